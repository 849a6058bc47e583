// Writing the ZIP archive of a self-extracting file: member names Windows can
// create, MS-DOS times, deflate or stored data, the traditional encryption,
// and the records themselves. Every size and CRC goes into the local header,
// because the stub walks the local headers and never the central directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// The MS-DOS time and date of a moment in local time, as a local header holds
// them: time in the low 16 bits, date in the high 16 bits. MS-DOS counts
// seconds in twos, so an odd second is rounded down; moments before 1980 or
// after 2107 are clamped to the first or last moment MS-DOS can hold.
uint32_t DosTimeDate(time_t when);

// The longest member name the stub reads.
constexpr size_t MaxMemberName = 258;

// Checks a member name (Windows-1252 bytes, parts separated by "/", a folder
// name ends with "/") against what the stub extracts and what Windows can
// create. False with the reason for a name that would fail or land elsewhere
// on the end user's machine.
bool CheckMemberName(const std::string& name, std::string& reason);
// The name folded to capitals the way Windows compares file names, for
// finding names that would land on the same file.
std::string FoldName(const std::string& name);

// A member's data as it goes into the archive.
struct PackedData {
    uint16_t method = 0;        // 0 stored, 8 deflated
    uint32_t crc = 0;           // of the original bytes
    uint32_t size = 0;          // original size
    std::vector<uint8_t> bytes;
};
// Deflates `data` at `level` (0 to 12; 0 stores) and keeps the deflated form
// only when it is shorter than the data itself. False when the compressor
// cannot be set up.
bool PackData(const uint8_t* data, size_t size, int level, PackedData& packed);
uint32_t Crc32(const uint8_t* data, size_t size);

// The traditional ZIP encryption's key registers.
class ZipCrypto {
public:
    explicit ZipCrypto(const std::string& password);
    uint8_t Encrypt(uint8_t plain);
    uint8_t Decrypt(uint8_t cipher);

private:
    uint8_t KeyStream() const;
    void Update(uint8_t plain);
    uint32_t key0_ = 0x12345678, key1_ = 0x23456789, key2_ = 0x34567890;
};

constexpr size_t EncryptionHeaderSize = 12;
// Encrypts `data` in place behind a 12-byte encryption header: `random`'s 11
// bytes, then `checkByte` (the CRC's high byte for a member whose CRC is in
// its local header, the time's high byte for one with a data descriptor).
void EncryptData(const std::string& password, const uint8_t random[11], uint8_t checkByte,
                 std::vector<uint8_t>& data);
// Fills `target` from the system's random source; false when it fails.
bool RandomBytes(uint8_t* target, size_t count);

// General purpose flag bits the writer knows.
enum : uint16_t { ZipFlagEncrypted = 0x0001, ZipFlagDescriptor = 0x0008, ZipFlagUtf8 = 0x0800 };

// One member's records, as the writer writes them.
struct MemberHeader {
    std::string name;   // Windows-1252, "/" between parts
    uint16_t versionMadeBy = 20;   // MS-DOS, 2.0
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t timeDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    std::vector<uint8_t> localExtra;
    std::vector<uint8_t> centralExtra;
    std::string comment;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t offset = 0;   // of the local header in the whole file; set by the writer
};

// Extra fields that ZIP tools elsewhere read and the stub skips: the
// modification time in UTC (the extended timestamp), and for a name that is
// not plain ASCII the name in UTF-8 (the Unicode path field), so that those
// tools show it right.
void AddTimeExtra(MemberHeader& header, time_t modified);
void AddUnicodePathExtra(MemberHeader& header);

// Writes an archive into a file that already holds `base` bytes (the stub and
// the configuration block), so that every offset it records is an offset in
// the whole file, the way the stub and ZIP tools read it.
class ZipWriter {
public:
    ZipWriter(FILE* out, uint32_t base);
    // The local header, `header.compressedSize` bytes of `data` and, when
    // `descriptor`, a data descriptor with its signature.
    bool AddMember(MemberHeader header, const uint8_t* data, bool descriptor, std::string& error);
    // The central directory and the end record, which ends the file.
    bool Finish(const std::string& comment, std::string& error);
    uint64_t Position() const { return position_; }
    const std::vector<MemberHeader>& Members() const { return members_; }

private:
    bool Write(const std::vector<uint8_t>& bytes, std::string& error);
    bool Write(const uint8_t* bytes, size_t count, std::string& error);
    FILE* out_;
    uint64_t position_;
    std::vector<MemberHeader> members_;
};

// The largest file the stub reads: it seeks with signed 32-bit offsets.
constexpr uint64_t MaxSfxFileSize = 0x7FFFFFFF;
