// Inflate and CRC-32 throughput of the engine against zlib and libdeflate.
//
// The corpus (at least 64 MiB) is text, binaries, incompressible and highly
// repetitive data, each part deflated by zlib at level 6 into one member.
// The engine decodes each member the way the stub does: 32 KiB reads through
// the platform seam, the 32 KiB window flushed with its CRC to a sink that
// only counts. zlib decodes the way an extractor uses it: raw inflate with
// 32 KiB input and output chunks, every output chunk through crc32.
// libdeflate decodes each member from one buffer into one buffer.
//
// Each class of data is timed on its own (best of the rounds) and the
// corpus figures sum the best times.
//
// Usage: inflate_bench [MiB per part, default 16] [rounds, default 3]
// The last line is: inflate_vs_zlib=R1 inflate_vs_libdeflate=R2 crc_vs_zlib=R3
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "crc32.h"
#include "globals.h"
#include "host.h"
#include "inflate.h"

namespace {

struct Member {
    const char* name;
    std::vector<uint8_t> plain;
    std::vector<uint8_t> packed;
    uint32_t crc;
};

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "inflate_bench: %s\n", what.c_str());
    std::exit(1);
}

// xorshift32: the same bytes on every machine.
struct Random {
    uint32_t state = 2463534242u;
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

// Regular files under `folder` whose names end with one of `suffixes` (any
// when empty), sorted, so that the same machine always gives the same bytes.
void CollectFiles(const std::string& folder, const std::vector<std::string>& suffixes,
                  std::vector<std::string>& found, int depth = 0)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode) && depth < 4) {
            CollectFiles(path, suffixes, found, depth + 1);
        } else if (S_ISREG(info.st_mode)) {
            bool wanted = suffixes.empty();
            for (const std::string& s : suffixes)
                wanted = wanted || (name.size() > s.size() &&
                                    name.compare(name.size() - s.size(), s.size(), s) == 0);
            if (wanted)
                found.push_back(path);
        }
    }
}

// Files of the machine, concatenated to `size` bytes; false when there are
// not enough of them.
bool FromMachine(const std::vector<std::string>& folders, const std::vector<std::string>& suffixes,
                 size_t size, std::vector<uint8_t>& out)
{
    std::vector<std::string> files;
    for (const std::string& f : folders)
        CollectFiles(f, suffixes, files);
    for (const std::string& path : files) {
        std::ifstream in(path, std::ios::binary);
        out.insert(out.end(), std::istreambuf_iterator<char>(in), {});
        if (out.size() >= size) {
            out.resize(size);
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> MakeText(size_t size)
{
    std::vector<uint8_t> out;
    if (FromMachine({"/usr/include"}, {".h"}, size, out))
        return out;
    // No headers installed: words of a small vocabulary, skewed like text.
    static const char* const words[] = {"le",     "de",      "fichier", "archive", "the",
                                        "window", "length",  "code",    "return",  "int",
                                        "const",  "extract", "dossier", "size_t",  "{",
                                        "}",      "0",       "if",      "for",     "while"};
    Random r;
    out.clear();
    while (out.size() < size) {
        const char* w = words[r.Next() % (1 + r.Next() % 20)];
        out.insert(out.end(), w, w + std::strlen(w));
        out.push_back(r.Next() % 9 == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> MakeBinary(size_t size)
{
    std::vector<uint8_t> out;
    if (FromMachine({"/usr/bin", "/usr/lib/x86_64-linux-gnu"}, {}, size, out))
        return out;
    Fail("not enough files under /usr/bin for the binary part");
}

std::vector<uint8_t> MakeRandom(size_t size)
{
    Random r;
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out)
        b = uint8_t(r.Next() >> 24);
    return out;
}

std::vector<uint8_t> MakeRepetitive(size_t size)
{
    Random r;
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) {
        const uint32_t run = 1 + r.Next() % 4000;
        if (r.Next() % 2 == 0 || out.size() < 64) {
            out.insert(out.end(), run, uint8_t(r.Next()));
        } else {
            const size_t back = 1 + r.Next() % std::min<size_t>(out.size(), 32768);
            for (uint32_t i = 0; i < run; i++)
                out.push_back(out[out.size() - back]);
        }
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data)
{
    z_stream z = {};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        Fail("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        Fail("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void OpenMember(const Member& m)
{
    HostOpenArchiveBytes(m.packed);
}

uint32_t InflateEngine(const Member& m)
{
    LocalHeader = LocalFileHeader{};
    CompressedLeft = int32_t(m.packed.size());
    HostSink sink;
    sink.keep = false;
    OutFile = HostOpenSink(sink);
    CrcValue = 0xFFFFFFFF;
    InflateMember();
    if (sink.total != m.plain.size())
        Fail(std::string("engine output size differs on ") + m.name);
    return CrcValue ^ 0xFFFFFFFF;
}

uint32_t InflateZlib(const Member& m)
{
    z_stream z = {};
    if (inflateInit2(&z, -15) != Z_OK)
        Fail("inflateInit2");
    static uint8_t out[32768];
    uint32_t crc = uint32_t(crc32(0, nullptr, 0));
    size_t at = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        if (z.avail_in == 0) {
            const size_t n = std::min<size_t>(32768, m.packed.size() - at);
            z.next_in = const_cast<Bytef*>(m.packed.data() + at);
            z.avail_in = uInt(n);
            at += n;
        }
        z.next_out = out;
        z.avail_out = sizeof out;
        status = inflate(&z, Z_NO_FLUSH);
        crc = uint32_t(crc32(crc, out, uInt(sizeof out - z.avail_out)));
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        Fail(std::string("zlib refused ") + m.name);
    return crc;
}

uint32_t InflateLibdeflate(const Member& m)
{
    static std::vector<uint8_t> out;
    out.resize(m.plain.size());
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    const libdeflate_result r = libdeflate_deflate_decompress(d, m.packed.data(), m.packed.size(),
                                                              out.data(), out.size(), nullptr);
    libdeflate_free_decompressor(d);
    if (r != LIBDEFLATE_SUCCESS)
        Fail(std::string("libdeflate refused ") + m.name);
    return m.crc;   // the output is whole: no CRC is asked of libdeflate
}

// Best wall time of `rounds` runs of each member, in seconds, one entry per
// member; checks the CRC of each run. `prepare` runs before each member,
// outside the time.
std::vector<double> Time(const std::vector<Member>& members, int rounds,
                         const std::function<uint32_t(const Member&)>& decode,
                         const std::function<void(const Member&)>& prepare = nullptr)
{
    std::vector<double> best(members.size(), 1e30);
    for (int r = 0; r < rounds; r++) {
        for (size_t i = 0; i < members.size(); i++) {
            const Member& m = members[i];
            if (prepare)
                prepare(m);
            const auto start = std::chrono::steady_clock::now();
            const uint32_t crc = decode(m);
            best[i] = std::min(
                best[i], std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (crc != m.crc)
                Fail(std::string("CRC differs on ") + m.name);
        }
    }
    return best;
}

double Sum(const std::vector<double>& v)
{
    double total = 0;
    for (double x : v)
        total += x;
    return total;
}

double TimeCrc(int rounds, uint32_t want, const std::function<uint32_t()>& crc)
{
    double best = 1e30;
    for (int r = 0; r < rounds; r++) {
        const auto start = std::chrono::steady_clock::now();
        const uint32_t got = crc();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (got != want)
            Fail("CRC-32 of the corpus differs");
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t part = size_t(argc > 1 ? std::atoi(argv[1]) : 16) << 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (part == 0 || rounds < 1)
        Fail("usage: inflate_bench [MiB per part] [rounds]");
    MakeCrcTable();

    std::vector<Member> members = {
        {"text", MakeText(part), {}, 0},
        {"binary", MakeBinary(part), {}, 0},
        {"incompressible", MakeRandom(part), {}, 0},
        {"repetitive", MakeRepetitive(part), {}, 0},
    };
    size_t plainTotal = 0, packedTotal = 0;
    std::vector<uint8_t> all;
    for (Member& m : members) {
        m.packed = Deflate(m.plain);
        m.crc = uint32_t(crc32(0, m.plain.data(), uInt(m.plain.size())));
        plainTotal += m.plain.size();
        packedTotal += m.packed.size();
        all.insert(all.end(), m.plain.begin(), m.plain.end());
        std::printf("%-15s %8.1f MiB -> %8.1f MiB\n", m.name, m.plain.size() / 1048576.0,
                    m.packed.size() / 1048576.0);
    }
    std::printf("%-15s %8.1f MiB -> %8.1f MiB, zlib level 6, best of %d rounds\n", "corpus",
                plainTotal / 1048576.0, packedTotal / 1048576.0, rounds);

    const double mb = plainTotal / 1e6;
    const std::vector<double> engineTimes = Time(members, rounds, InflateEngine, OpenMember);
    const std::vector<double> zlibTimes = Time(members, rounds, InflateZlib);
    const std::vector<double> libdeflateTimes = Time(members, rounds, InflateLibdeflate);
    std::printf("%-15s %12s %12s %12s %8s %8s\n", "MB/s", "quillex", "zlib", "libdeflate",
                "vs zlib", "vs libd.");
    for (size_t i = 0; i < members.size(); i++) {
        const double size = members[i].plain.size() / 1e6;
        std::printf("%-15s %12.1f %12.1f %12.1f %8.3f %8.3f\n", members[i].name,
                    size / engineTimes[i], size / zlibTimes[i], size / libdeflateTimes[i],
                    zlibTimes[i] / engineTimes[i], libdeflateTimes[i] / engineTimes[i]);
    }
    const double engine = mb / Sum(engineTimes);
    const double zlib = mb / Sum(zlibTimes);
    const double libdeflate = mb / Sum(libdeflateTimes);
    const uint32_t allCrc = uint32_t(crc32(0, all.data(), uInt(all.size())));
    const double engineCrc = mb / TimeCrc(rounds, allCrc, [&] {
        uint32_t c = 0xFFFFFFFF;
        for (size_t at = 0; at < all.size(); at += 32768)
            CrcBuffer(all.data() + at, int32_t(std::min<size_t>(32768, all.size() - at)), c);
        return c ^ 0xFFFFFFFF;
    });
    const double zlibCrc = mb / TimeCrc(rounds, allCrc, [&] {
        return uint32_t(crc32(0, all.data(), uInt(all.size())));
    });

    std::printf("inflate  quillex     %9.1f MB/s  (32 KiB reads, window flush with CRC)\n", engine);
    std::printf("inflate  zlib        %9.1f MB/s  (32 KiB chunks, crc32 per chunk)\n", zlib);
    std::printf("inflate  libdeflate  %9.1f MB/s  (whole buffer, no CRC)\n", libdeflate);
    std::printf("crc32    quillex     %9.1f MB/s\n", engineCrc);
    std::printf("crc32    zlib        %9.1f MB/s\n", zlibCrc);
    std::printf("inflate_vs_zlib=%.3f inflate_vs_libdeflate=%.3f crc_vs_zlib=%.3f\n", engine / zlib,
                engine / libdeflate, engineCrc / zlibCrc);
    return 0;
}
