#include "zip_writer.h"

#include <libdeflate.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "archive.h"
#include "text_codec.h"
#include "zip_records.h"

namespace {

constexpr uint64_t DescriptorBytes = 16;

const char* const TooLarge =
    "the self-extracting file would reach 2 GiB; the stub reads only files below that";

// The CRC-32 step the encryption keys are updated with.
uint32_t CrcStep(uint32_t crc, uint8_t byte)
{
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++)
                c = c & 1 ? 0xEDB88320 ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

bool IsDeviceName(std::string part)
{
    // Windows opens the device whatever extension follows the name.
    part = part.substr(0, part.find('.'));
    while (!part.empty() && part.back() == ' ')
        part.pop_back();
    part = FoldName(part);
    static const char* const Devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : Devices)
        if (part == device)
            return true;
    return part.size() == 4 && (part.compare(0, 3, "COM") == 0 || part.compare(0, 3, "LPT") == 0) &&
           part[3] >= '1' && part[3] <= '9';
}

// One compressor per level, kept for the whole run: setting one up for the
// best levels costs more than deflating a small file.
libdeflate_compressor* Compressor(int level)
{
    struct Free {
        void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
    };
    thread_local std::unique_ptr<libdeflate_compressor, Free> compressors[13];
    if (!compressors[level])
        compressors[level].reset(libdeflate_alloc_compressor(level));
    return compressors[level].get();
}

// The fields that a local header and a central directory header have in
// common, from the version needed to the extra field's length.
void PutSharedFields(std::vector<uint8_t>& record, const MemberHeader& h,
                     const std::vector<uint8_t>& extra)
{
    Put16(record, h.versionNeeded);
    Put16(record, h.flags);
    Put16(record, h.method);
    Put32(record, h.timeDate);
    Put32(record, h.crc);
    Put32(record, h.compressedSize);
    Put32(record, h.uncompressedSize);
    Put16(record, uint32_t(h.name.size()));
    Put16(record, uint32_t(extra.size()));
}

}  // namespace

uint32_t DosTimeDate(time_t when)
{
    struct tm local;
    if (localtime_r(&when, &local) == nullptr || local.tm_year < 80)
        return uint32_t(0x21) << 16;   // 1980-01-01 00:00:00
    if (local.tm_year > 207)
        return uint32_t(127 << 9 | 12 << 5 | 31) << 16 | (23 << 11 | 59 << 5 | 29);
    // A leap second reads as the last even second of its minute.
    int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
    uint32_t time = uint32_t(local.tm_hour << 11 | local.tm_min << 5 | seconds / 2);
    uint32_t date = uint32_t((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    return date << 16 | time;
}

bool CheckMemberName(const std::string& name, std::string& reason)
{
    if (name.empty()) {
        reason = "the name is empty";
        return false;
    }
    if (name.size() > MaxMemberName) {
        reason = "the name is " + std::to_string(name.size()) +
                 " bytes long; the self-extracting file reads names of at most " +
                 std::to_string(MaxMemberName) + " bytes";
        return false;
    }
    if (name[0] == '/') {
        reason = "the name starts with \"/\" and would land outside the destination folder";
        return false;
    }
    bool folder = name.back() == '/';
    size_t start = 0;
    while (start < name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(start, end - start);
        if (part.empty()) {
            reason = "the name has an empty part (\"//\")";
            return false;
        }
        if (part.find_first_not_of(". ") == std::string::npos) {
            reason = "the part \"" + part + "\" names a folder itself or its parent";
            return false;
        }
        for (unsigned char c : part) {
            if (c < 0x20) {
                reason = "the name holds a control character, which Windows does not allow";
                return false;
            }
            if (std::strchr("\\<>:\"|?*", c) != nullptr) {
                reason = std::string("the name holds \"") + char(c) +
                         "\", which Windows does not allow in file names";
                return false;
            }
        }
        if (part.back() == '.' || part.back() == ' ') {
            reason = "the part \"" + part +
                     "\" ends with a dot or a space, which Windows drops from file names";
            return false;
        }
        if (IsDeviceName(part)) {
            reason = "\"" + part + "\" is the name of a Windows device, not of a file";
            return false;
        }
        start = end + 1;
        if (folder && start == name.size())
            break;
    }
    // The engine's own test decides in the end what the stub writes.
    if (!IsSafeMemberName(name.c_str())) {
        reason = "the name would land outside the destination folder";
        return false;
    }
    return true;
}

std::string FoldName(const std::string& name)
{
    std::string folded = name;
    for (char& ch : folded) {
        unsigned char c = uint8_t(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = uint8_t(c - 0x20);
        else if (c == 0x9A || c == 0x9C || c == 0x9E)   // š œ ž
            c = uint8_t(c - 0x10);
        else if (c == 0xFF)   // ÿ
            c = 0x9F;
        ch = char(c);
    }
    return folded;
}

uint32_t Crc32(const uint8_t* data, size_t size)
{
    return uint32_t(libdeflate_crc32(0, data, size));
}

bool PackData(const uint8_t* data, size_t size, int level, PackedData& packed)
{
    packed.method = 0;
    packed.crc = Crc32(data, size);
    packed.size = uint32_t(size);
    if (level > 0 && size > 1) {
        libdeflate_compressor* compressor = Compressor(level < 12 ? level : 12);
        if (compressor == nullptr)
            return false;
        // Room for one byte less than the data: a result that does not fit
        // does not shrink the member, which then stays stored.
        packed.bytes.resize(size - 1);
        size_t n = libdeflate_deflate_compress(compressor, data, size, packed.bytes.data(), size - 1);
        if (n > 0) {
            packed.method = 8;
            packed.bytes.resize(n);
            packed.bytes.shrink_to_fit();
            return true;
        }
    }
    packed.bytes.assign(data, data + size);
    return true;
}

ZipCrypto::ZipCrypto(const std::string& password)
{
    for (char c : password)
        Update(uint8_t(c));
}

uint8_t ZipCrypto::KeyStream() const
{
    uint32_t temp = (key2_ | 2) & 0xFFFF;
    return uint8_t((temp * (temp ^ 1)) >> 8);
}

void ZipCrypto::Update(uint8_t plain)
{
    key0_ = CrcStep(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813 + 1;
    key2_ = CrcStep(key2_, uint8_t(key1_ >> 24));
}

uint8_t ZipCrypto::Encrypt(uint8_t plain)
{
    uint8_t cipher = plain ^ KeyStream();
    Update(plain);
    return cipher;
}

uint8_t ZipCrypto::Decrypt(uint8_t cipher)
{
    uint8_t plain = cipher ^ KeyStream();
    Update(plain);
    return plain;
}

void EncryptData(const std::string& password, const uint8_t random[11], uint8_t checkByte,
                 std::vector<uint8_t>& data)
{
    ZipCrypto keys(password);
    std::vector<uint8_t> out;
    out.reserve(EncryptionHeaderSize + data.size());
    for (size_t i = 0; i < 11; i++)
        out.push_back(keys.Encrypt(random[i]));
    out.push_back(keys.Encrypt(checkByte));
    for (uint8_t b : data)
        out.push_back(keys.Encrypt(b));
    data.swap(out);
}

bool RandomBytes(uint8_t* target, size_t count)
{
    while (count > 0) {
        ssize_t n = getrandom(target, count, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        target += n;
        count -= size_t(n);
    }
    return true;
}

void AddTimeExtra(MemberHeader& header, time_t modified)
{
    if (modified >= INT32_MIN && modified <= INT32_MAX) {
        for (std::vector<uint8_t>* extra : {&header.localExtra, &header.centralExtra}) {
            Put16(*extra, 0x5455);
            Put16(*extra, 5);
            extra->push_back(1);   // the modification time only
            Put32(*extra, uint32_t(int32_t(modified)));
        }
    }
}

void AddUnicodePathExtra(MemberHeader& header)
{
    bool ascii = true;
    for (char c : header.name)
        ascii = ascii && uint8_t(c) < 0x80;
    if (!ascii) {
        std::string utf8 = Cp1252ToUtf8(header.name);
        for (std::vector<uint8_t>* extra : {&header.localExtra, &header.centralExtra}) {
            Put16(*extra, 0x7075);
            Put16(*extra, uint32_t(5 + utf8.size()));
            extra->push_back(1);
            Put32(*extra, Crc32(reinterpret_cast<const uint8_t*>(header.name.data()),
                                header.name.size()));
            extra->insert(extra->end(), utf8.begin(), utf8.end());
        }
    }
}

ZipWriter::ZipWriter(FILE* out, uint32_t base) : out_(out), position_(base)
{
}

bool ZipWriter::Write(const uint8_t* bytes, size_t count, std::string& error)
{
    if (count > 0 && std::fwrite(bytes, 1, count, out_) != count) {
        error = std::string("cannot write the file: ") + std::strerror(errno);
        return false;
    }
    position_ += count;
    return true;
}

bool ZipWriter::Write(const std::vector<uint8_t>& bytes, std::string& error)
{
    return Write(bytes.data(), bytes.size(), error);
}

bool ZipWriter::AddMember(MemberHeader header, const uint8_t* data, bool descriptor,
                          std::string& error)
{
    if (members_.size() == 0xFFFF) {
        error = "more than 65535 members; the archive cannot hold them without Zip64";
        return false;
    }
    if (header.name.size() > 0xFFFF || header.localExtra.size() > 0xFFFF ||
        header.centralExtra.size() > 0xFFFF || header.comment.size() > 0xFFFF) {
        error = "a name, extra field or comment is longer than a ZIP record holds";
        return false;
    }
    uint64_t recordSize = uint64_t(LocalHeaderBytes) + header.name.size() + header.localExtra.size() +
                          header.compressedSize + (descriptor ? DescriptorBytes : 0);
    if (position_ + recordSize > MaxSfxFileSize) {
        error = TooLarge;
        return false;
    }
    header.offset = uint32_t(position_);
    std::vector<uint8_t> local;
    Put32(local, LocalHeaderSignature);
    PutSharedFields(local, header, header.localExtra);
    local.insert(local.end(), header.name.begin(), header.name.end());
    local.insert(local.end(), header.localExtra.begin(), header.localExtra.end());
    if (!Write(local, error) || !Write(data, header.compressedSize, error))
        return false;
    if (descriptor) {
        std::vector<uint8_t> record;
        Put32(record, DataDescriptorSignature);
        Put32(record, header.crc);
        Put32(record, header.compressedSize);
        Put32(record, header.uncompressedSize);
        if (!Write(record, error))
            return false;
    }
    members_.push_back(std::move(header));
    return true;
}

bool ZipWriter::Finish(const std::string& comment, std::string& error)
{
    if (comment.size() > 0xFFFF) {
        error = "the archive comment is longer than 65535 bytes";
        return false;
    }
    std::vector<uint8_t> central;
    for (const MemberHeader& h : members_) {
        Put32(central, CentralHeaderSignature);
        Put16(central, h.versionMadeBy);
        PutSharedFields(central, h, h.centralExtra);
        Put16(central, uint32_t(h.comment.size()));
        Put16(central, 0);   // disk
        Put16(central, h.internalAttributes);
        Put32(central, h.externalAttributes);
        Put32(central, h.offset);
        central.insert(central.end(), h.name.begin(), h.name.end());
        central.insert(central.end(), h.centralExtra.begin(), h.centralExtra.end());
        central.insert(central.end(), h.comment.begin(), h.comment.end());
    }
    uint64_t centralOffset = position_;
    if (centralOffset + central.size() + EndRecordBytes + comment.size() > MaxSfxFileSize) {
        error = TooLarge;
        return false;
    }
    std::vector<uint8_t> end;
    Put32(end, EndRecordSignature);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, uint32_t(members_.size()));
    Put16(end, uint32_t(members_.size()));
    Put32(end, uint32_t(central.size()));
    Put32(end, uint32_t(centralOffset));
    Put16(end, uint32_t(comment.size()));
    end.insert(end.end(), comment.begin(), comment.end());
    return Write(central, error) && Write(end, error);
}
