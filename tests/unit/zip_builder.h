// Builds small ZIP archives in memory for the engine's tests, with the
// oddities real archives have (data descriptors, extra fields, encryption)
// and the damage hostile ones carry.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ZipMember {
    ZipMember(std::string n, std::string d, uint16_t m = 0, std::string pw = "")
        : name(std::move(n)), data(std::move(d)), method(m), password(std::move(pw))
    {
    }
    std::string name;
    std::string data;
    uint16_t method = 0;          // 0 stored, 8 deflated (zlib); others stored as is
    std::string password;         // traditional encryption when not empty
    bool descriptor = false;      // flag bit 3, with a signed data descriptor after the data
    bool streamed = false;        // flag bit 3 with zero sizes and CRC in the local header
    std::string extra;
    uint32_t timeDate = 0x5A8C6000;   // 2025-04-12 12:00:00
    bool badCrc = false;          // the header's CRC is off by one
    int64_t compressedSizeOverride = -1;
};

// The archive: local headers with their data, central directory, end record.
std::string MakeZip(const std::vector<ZipMember>& members, const std::string& comment = "");
// The compressed (and encrypted) data of a member as MakeZip writes it.
std::string MemberData(const ZipMember& member);
uint32_t Crc32Of(const std::string& data);
