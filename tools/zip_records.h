// The record signatures of the ZIP format and little-endian field access,
// shared by the tool's readers and writers of archives.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint32_t LocalHeaderSignature = 0x04034B50;
constexpr uint32_t CentralHeaderSignature = 0x02014B50;
constexpr uint32_t EndRecordSignature = 0x06054B50;
constexpr uint32_t Zip64EndRecordSignature = 0x06064B50;
constexpr uint32_t Zip64LocatorSignature = 0x07064B50;
constexpr uint32_t DataDescriptorSignature = 0x08074B50;

constexpr uint32_t LocalHeaderBytes = 30;
constexpr uint32_t CentralHeaderBytes = 46;
constexpr uint32_t EndRecordBytes = 22;

inline uint32_t Get16(const std::vector<uint8_t>& b, uint64_t at)
{
    return b[at] | uint32_t(b[at + 1]) << 8;
}

inline uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at)
{
    return Get16(b, at) | Get16(b, at + 2) << 16;
}

inline uint64_t Get64(const std::vector<uint8_t>& b, uint64_t at)
{
    return Get32(b, at) | uint64_t(Get32(b, at + 4)) << 32;
}

inline void Put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// Overwrites the four bytes at `at`.
inline void Set32(std::vector<uint8_t>& b, uint64_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = uint8_t(v >> (8 * i));
}
