// Running one member's data through the engine's stored copy or inflate, the
// way the member extraction sets them up, and the data and archives to feed
// them: sample contents, zlib's raw deflate, archives made by external tools.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a member's data turned into: the bytes written, the size of every
// write, and the CRC-32 as the member extraction compares it.
struct MemberOutput {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> writes;
    uint32_t crc = 0;
};

// Decodes `data` as one member's raw deflate stream (not encrypted). The
// member's size is data.size() unless `compressedLeft` says otherwise.
MemberOutput InflateData(const std::vector<uint8_t>& data, int64_t compressedLeft = -1);

// A member of a ZIP archive as its central directory describes it.
struct ZipEntry {
    std::string name;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t timeDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t dataOffset = 0;   // first byte after the local header
};
std::vector<ZipEntry> ReadZipEntries(const std::vector<uint8_t>& zip);

// Extracts one member: for an encrypted one, its header is checked with
// `password` first (`accepted` tells the verdict; nothing runs when false).
struct Extraction {
    bool accepted = true;
    MemberOutput output;
    bool Good(const ZipEntry& entry) const { return accepted && output.crc == entry.crc; }
};
Extraction ExtractEntry(const std::vector<uint8_t>& zip, const ZipEntry& entry,
                        const std::string& password = "");

// Deterministic sample contents.
enum class Sample { Text, Binary, Random, Repetitive };
const char* SampleName(Sample kind);
std::vector<uint8_t> MakeSample(Sample kind, size_t size, uint32_t seed = 1);

// zlib's raw deflate of `data`, and its raw inflate (true when the stream
// was whole and valid).
std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int level, int strategy);
bool ZlibInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out);
// The same, handing the output to `take` piece by piece.
bool ZlibInflate(const std::vector<uint8_t>& stream,
                 const std::function<void(const uint8_t*, size_t)>& take);

uint32_t Crc32Bytes(const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data);
// Runs a shell command quietly; true when it exits with 0.
bool RunQuietly(const std::string& command);
// The first of the given commands found on PATH, or "".
std::string FindCommand(const std::vector<std::string>& names);
