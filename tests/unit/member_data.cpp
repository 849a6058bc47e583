#include "member_data.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "crc32.h"
#include "decrypt.h"
#include "globals.h"
#include "host.h"
#include "inflate.h"

namespace {

uint32_t Get16(const std::vector<uint8_t>& b, size_t at)
{
    if (at + 2 > b.size())
        throw std::runtime_error("ZIP record runs past the archive");
    return b[at] | b[at + 1] << 8;
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return Get16(b, at) | Get16(b, at + 2) << 16;
}

uint64_t Get64(const std::vector<uint8_t>& b, size_t at)
{
    return Get32(b, at) | uint64_t(Get32(b, at + 4)) << 32;
}

// Runs the stored copy or the inflate over the member data at the archive's
// current position, with CompressedLeft already set.
MemberOutput RunMember(uint16_t method)
{
    HostSink sink;
    OutFile = HostOpenSink(sink);
    CrcValue = 0xFFFFFFFF;
    if (method == 0)
        CopyStored();
    else
        InflateMember();
    MemberOutput out;
    out.bytes = std::move(sink.bytes);
    out.writes = std::move(sink.writes);
    out.crc = CrcValue ^ 0xFFFFFFFF;
    return out;
}

// xorshift32: the same numbers on every machine.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed * 2654435761u | 1) {}
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

}  // namespace

MemberOutput InflateData(const std::vector<uint8_t>& data, int64_t compressedLeft)
{
    MakeCrcTable();
    HostOpenArchiveBytes(data);
    LocalHeader = LocalFileHeader{};
    CompressedLeft = int32_t(compressedLeft < 0 ? int64_t(data.size()) : compressedLeft);
    return RunMember(8);
}

std::vector<ZipEntry> ReadZipEntries(const std::vector<uint8_t>& zip)
{
    size_t end = zip.size() < 22 ? std::string::npos : zip.size() - 22;
    while (end != std::string::npos && Get32(zip, end) != 0x06054b50)
        end = end == 0 ? std::string::npos : end - 1;
    if (end == std::string::npos)
        throw std::runtime_error("no ZIP end record");
    const uint32_t count = Get16(zip, end + 10);
    size_t at = Get32(zip, end + 16);
    std::vector<ZipEntry> entries;
    for (uint32_t n = 0; n < count; n++) {
        if (Get32(zip, at) != 0x02014b50)
            throw std::runtime_error("bad central directory entry");
        ZipEntry e;
        e.flags = uint16_t(Get16(zip, at + 8));
        e.method = uint16_t(Get16(zip, at + 10));
        e.timeDate = Get32(zip, at + 12);
        e.crc = Get32(zip, at + 16);
        uint64_t compressed = Get32(zip, at + 20);
        uint64_t uncompressed = Get32(zip, at + 24);
        const uint32_t nameLength = Get16(zip, at + 28);
        const uint32_t extraLength = Get16(zip, at + 30);
        const uint32_t commentLength = Get16(zip, at + 32);
        uint64_t local = Get32(zip, at + 42);
        e.name.assign(zip.begin() + long(at + 46), zip.begin() + long(at + 46 + nameLength));
        // Zip64: the values saturated above come, in that order, from the
        // extra field 0x0001 (streamed input gets one).
        for (size_t x = at + 46 + nameLength; x + 4 <= at + 46 + nameLength + extraLength;) {
            const uint32_t id = Get16(zip, x), size = Get16(zip, x + 2);
            size_t v = x + 4;
            if (id == 1) {
                if (uncompressed == 0xFFFFFFFF)
                    uncompressed = Get64(zip, v), v += 8;
                if (compressed == 0xFFFFFFFF)
                    compressed = Get64(zip, v), v += 8;
                if (local == 0xFFFFFFFF)
                    local = Get64(zip, v);
            }
            x += 4 + size;
        }
        e.compressedSize = uint32_t(compressed);
        e.uncompressedSize = uint32_t(uncompressed);
        if (Get32(zip, size_t(local)) != 0x04034b50)
            throw std::runtime_error("bad local header");
        e.dataOffset = uint32_t(local + 30 + Get16(zip, size_t(local) + 26) +
                                Get16(zip, size_t(local) + 28));
        entries.push_back(e);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return entries;
}

Extraction ExtractEntry(const std::vector<uint8_t>& zip, const ZipEntry& entry,
                        const std::string& password)
{
    MakeCrcTable();
    HostOpenArchiveBytes(zip);
    PlatSeekArchive(int32_t(entry.dataOffset), SeekFromStart);
    LocalHeader = LocalFileHeader{};
    LocalHeader.Flags = entry.flags;
    LocalHeader.Method = entry.method;
    LocalHeader.TimeDate = entry.timeDate;
    LocalHeader.Crc32 = entry.crc;
    LocalHeader.CompressedSize = entry.compressedSize;
    LocalHeader.UncompressedSize = entry.uncompressedSize;
    CompressedLeft = int32_t(entry.compressedSize);
    Extraction result;
    if (entry.flags & FlagEncrypted) {
        uint8_t header[24];
        if (PlatReadArchive(header + 12, 12) != 12)
            throw std::runtime_error("no encryption header");
        result.accepted = CheckPassword(header, 12, entry.flags, entry.crc, entry.timeDate,
                                        password.c_str());
        if (!result.accepted)
            return result;
        CompressedLeft -= 12;
    }
    result.output = RunMember(entry.method);
    return result;
}

const char* SampleName(Sample kind)
{
    switch (kind) {
    case Sample::Text:
        return "text";
    case Sample::Binary:
        return "binary";
    case Sample::Random:
        return "random";
    case Sample::Repetitive:
        return "repetitive";
    }
    return "?";
}

std::vector<uint8_t> MakeSample(Sample kind, size_t size, uint32_t seed)
{
    static const char* const words[] = {
        "le", "la", "les", "de", "des", "un", "une", "et", "fichier", "archive", "dossier",
        "extraction", "the", "of", "and", "to", "window", "length", "distance", "Huffman",
        "block", "code", "table", "symbol", "literal", "stream", "Quillex", "mot", "donnée",
        "compression", "inflate", "deflate", "sélectionné", "répertoire", "été", "à", "0",
        "1", "42", "2025", "x", "y", "z", "{", "}", "(", ")", ";", "=", "->", "return",
    };
    Random r(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    switch (kind) {
    case Sample::Text:
        while (out.size() < size) {
            // Skewed towards the first words, as real text is.
            const std::string w = words[r.Below(1 + r.Below(std::size(words)))];
            out.insert(out.end(), w.begin(), w.end());
            out.push_back(r.Below(12) == 0 ? '\n' : r.Below(15) == 0 ? ',' : ' ');
        }
        break;
    case Sample::Binary: {
        // The test program itself: machine code, tables and strings.
        std::vector<uint8_t> exe = ReadFileBytes("/proc/self/exe");
        size_t start = r.Below(uint32_t(exe.size() / 2));
        while (out.size() < size) {
            out.insert(out.end(), exe.begin() + long(start), exe.end());
            start = 0;
        }
        break;
    }
    case Sample::Random:
        while (out.size() < size)
            out.push_back(uint8_t(r.Next() >> 24));
        break;
    case Sample::Repetitive:
        while (out.size() < size) {
            const uint32_t run = 1 + r.Below(r.Below(4) == 0 ? 2000 : 300);
            switch (r.Below(3)) {
            case 0:   // one byte repeated
                out.insert(out.end(), run, uint8_t(r.Next()));
                break;
            case 1: {   // a short pattern repeated
                const size_t period = 2 + r.Below(40), from = out.size();
                for (uint32_t i = 0; i < run; i++)
                    out.push_back(i < period ? uint8_t('a' + r.Below(8)) : out[from + i - period]);
                break;
            }
            default:   // a copy of something long ago
                if (!out.empty()) {
                    const size_t back = 1 + r.Below(uint32_t(out.size() < 40000 ? out.size() : 40000));
                    for (uint32_t i = 0; i < run; i++)
                        out.push_back(out[out.size() - back]);
                }
            }
        }
        break;
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int level, int strategy)
{
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

bool ZlibInflate(const std::vector<uint8_t>& stream,
                 const std::function<void(const uint8_t*, size_t)>& take)
{
    z_stream z = {};
    if (inflateInit2(&z, -15) != Z_OK)
        throw std::runtime_error("inflateInit2");
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = uInt(stream.size());
    int status = Z_OK;
    uint8_t chunk[32768];
    while (status == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        take(chunk, sizeof chunk - z.avail_out);
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

bool ZlibInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out)
{
    out.clear();
    return ZlibInflate(stream, [&out](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); });
}

uint32_t Crc32Bytes(const std::vector<uint8_t>& data)
{
    return uint32_t(crc32(0, data.data(), uInt(data.size())));
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

bool RunQuietly(const std::string& command)
{
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

std::string FindCommand(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        if (RunQuietly("command -v " + name))
            return name;
    return "";
}
