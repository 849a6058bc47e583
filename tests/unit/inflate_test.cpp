#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "crc32.h"
#include "deflate_writer.h"
#include "globals.h"
#include "helpers.h"
#include "host.h"
#include "inflate.h"
#include "inflate_internal.h"
#include "member_data.h"
#include "test_support.h"

namespace {

std::string Text(const std::vector<uint8_t>& b)
{
    return std::string(b.begin(), b.end());
}

// Byte-for-byte equality that reports the first difference instead of
// printing megabytes.
::testing::AssertionResult SameBytes(const std::vector<uint8_t>& got,
                                     const std::vector<uint8_t>& want)
{
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        i++;
    if (i == got.size() && i == want.size())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sizes " << got.size() << " and " << want.size()
                                         << ", first difference at " << i;
}

// Decodes `stream` and checks the output and its CRC against `original`.
::testing::AssertionResult DecodesTo(const std::vector<uint8_t>& stream,
                                     const std::vector<uint8_t>& original)
{
    MemberOutput out = InflateData(stream);
    if (MemberFailed)
        return ::testing::AssertionFailure() << "a block failed";
    ::testing::AssertionResult same = SameBytes(out.bytes, original);
    if (!same)
        return same;
    if (out.crc != Crc32Bytes(original))
        return ::testing::AssertionFailure() << "CRC differs";
    return ::testing::AssertionSuccess();
}

// Codes for dynamic blocks. `wide`: all 288 literal/length symbols (224 of
// 8 bits, 64 of 9) and all 32 distance symbols, accepted as long as the last
// two of each are not used. `plain`: "a" to "h" and end-of-block only, with
// no distance code at all.
struct Codes {
    HuffmanCode wideLit, wideDist, plainLit, noDist;
    Codes()
    {
        std::vector<int> wide(288, 8);
        std::fill(wide.begin() + 224, wide.end(), 9);
        wideLit = Canonical(wide);
        wideDist = Canonical(std::vector<int>(32, 5));
        plainLit = Canonical(PlainLengths());
        noDist = Canonical({0});
    }
    static std::vector<int> PlainLengths()
    {
        std::vector<int> plain(257, 0);
        std::fill(plain.begin() + 'a', plain.begin() + 'h' + 1, 4);
        plain[256] = 1;
        return plain;
    }
};

class Inflate : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostReset();
        MakeCrcTable();
    }
    void TearDown() override { HostReset(); }
};

// --- Streams from independent encoders ----------------------------------

const Sample AllSamples[] = {Sample::Text, Sample::Binary, Sample::Random, Sample::Repetitive};
const struct {
    int strategy;
    const char* name;
} Strategies[] = {
    {Z_DEFAULT_STRATEGY, "default"}, {Z_FILTERED, "filtered"}, {Z_HUFFMAN_ONLY, "huffman"},
    {Z_RLE, "rle"},                  {Z_FIXED, "fixed"},
};

class ZlibStreams : public ::testing::TestWithParam<std::tuple<Sample, size_t>> {
protected:
    void SetUp() override { HostReset(); }
};

TEST_P(ZlibStreams, EveryLevelAndStrategy)
{
    const auto [kind, size] = GetParam();
    const std::vector<uint8_t> data = MakeSample(kind, size);
    for (int level = 0; level <= 9; level++)
        for (const auto& s : Strategies)
            EXPECT_TRUE(DecodesTo(ZlibDeflate(data, level, s.strategy), data))
                << "level " << level << ", " << s.name;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ZlibStreams,
    ::testing::Combine(::testing::ValuesIn(AllSamples),
                       ::testing::Values(0, 1, 2, 32767, 32768, 32769, 65536 + 258, 200000)),
    [](const auto& info) {
        return std::string(SampleName(std::get<0>(info.param))) + "_" +
               std::to_string(std::get<1>(info.param));
    });

class ZlibLarge : public ::testing::TestWithParam<Sample> {
protected:
    void SetUp() override { HostReset(); }
};

TEST_P(ZlibLarge, SeveralMegabytes)
{
    const std::vector<uint8_t> data = MakeSample(GetParam(), 3 * 1024 * 1024 + 12345);
    const std::pair<int, int> settings[] = {
        {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY}, {9, Z_DEFAULT_STRATEGY},
        {6, Z_FILTERED},         {6, Z_HUFFMAN_ONLY},     {6, Z_RLE},
        {6, Z_FIXED},            {0, Z_DEFAULT_STRATEGY},
    };
    for (auto [level, strategy] : settings)
        EXPECT_TRUE(DecodesTo(ZlibDeflate(data, level, strategy), data))
            << "level " << level << ", strategy " << strategy;
}

INSTANTIATE_TEST_SUITE_P(Samples, ZlibLarge, ::testing::ValuesIn(AllSamples),
                         [](const auto& info) { return std::string(SampleName(info.param)); });

// Flushes put empty stored blocks after Huffman blocks (sync, full) and empty
// fixed blocks (partial); parameter changes switch block kinds mid-stream.
TEST_F(Inflate, StreamsWithFlushesAndParameterChanges)
{
    const std::vector<uint8_t> data = MakeSample(Sample::Text, 300000, 7);
    for (int flush : {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK}) {
        z_stream z = {};
        ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
        std::vector<uint8_t> stream(data.size() * 2 + 4096);
        z.next_out = stream.data();
        z.avail_out = uInt(stream.size());
        size_t at = 0;
        for (int piece = 0; at < data.size(); piece++) {
            const size_t n = std::min<size_t>(data.size() - at, 1000 + size_t(piece) * 777 % 20000);
            if (piece % 3 == 2)
                deflateParams(&z, piece % 10, piece % 2 ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY);
            z.next_in = const_cast<Bytef*>(data.data() + at);
            z.avail_in = uInt(n);
            at += n;
            ASSERT_EQ(deflate(&z, at == data.size() ? Z_FINISH : flush), at == data.size() ? Z_STREAM_END : Z_OK);
        }
        stream.resize(z.total_out);
        deflateEnd(&z);
        EXPECT_TRUE(DecodesTo(stream, data)) << "flush " << flush;
    }
}

// Archives made by 7-Zip and Info-ZIP, with every sample at the sizes around
// the window's edge and a large one.
struct Archiver {
    const char* name;
    std::vector<std::string> commands;   // alternatives; "{zip}" and "{files}" are filled in
};

void PrintTo(const Archiver& a, std::ostream* out)
{
    *out << a.name;
}

class ExternalArchives : public ::testing::TestWithParam<Archiver> {
protected:
    void SetUp() override { HostReset(); }
};

TEST_P(ExternalArchives, EveryMemberDecodes)
{
    const Archiver& a = GetParam();
    std::string command;
    for (const std::string& c : a.commands)
        if (command.empty() && !FindCommand({c.substr(0, c.find(' '))}).empty())
            command = c;
    if (command.empty())
        GTEST_SKIP() << "no " << a.name << " on this machine";
    TempDir dir;
    std::string files;
    for (Sample kind : AllSamples) {
        for (size_t size : {size_t(0), size_t(1), size_t(32767), size_t(32768), size_t(32769),
                            size_t(2 * 1024 * 1024 + 3)}) {
            const std::string name = std::string(SampleName(kind)) + "_" + std::to_string(size);
            WriteFileBytes(dir / name, MakeSample(kind, size, uint32_t(size) + 3));
            files += " " + name;
        }
    }
    command.replace(command.find("{zip}"), 5, "archive.zip");
    command.replace(command.find("{files}"), 7, files);
    ASSERT_TRUE(RunQuietly("cd " + dir.Path() + " && " + command)) << command;

    const std::vector<uint8_t> zip = ReadFileBytes(dir / "archive.zip");
    const std::vector<ZipEntry> entries = ReadZipEntries(zip);
    ASSERT_EQ(entries.size(), 24u);
    for (const ZipEntry& e : entries) {
        const Extraction x = ExtractEntry(zip, e);
        EXPECT_FALSE(e.method == 8 && MemberFailed) << e.name;
        EXPECT_TRUE(SameBytes(x.output.bytes, ReadFileBytes(dir / e.name))) << e.name;
        EXPECT_EQ(x.output.crc, e.crc) << e.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ExternalArchives,
    ::testing::Values(
        Archiver{"7zip_fastest", {"7zz a -tzip -mm=Deflate -mx=1 {zip} {files}",
                                  "7z a -tzip -mm=Deflate -mx=1 {zip} {files}"}},
        Archiver{"7zip_normal", {"7zz a -tzip -mm=Deflate -mx=5 {zip} {files}",
                                 "7z a -tzip -mm=Deflate -mx=5 {zip} {files}"}},
        Archiver{"7zip_ultra", {"7zz a -tzip -mm=Deflate -mx=9 -mfb=258 -mpass=2 {zip} {files}",
                                "7z a -tzip -mm=Deflate -mx=9 -mfb=258 -mpass=2 {zip} {files}"}},
        Archiver{"infozip_1", {"zip -q -X -1 {zip} {files}"}},
        Archiver{"infozip_6", {"zip -q -X -6 {zip} {files}"}},
        Archiver{"infozip_9", {"zip -q -X -9 {zip} {files}"}},
        Archiver{"infozip_stored", {"zip -q -X -0 {zip} {files}"}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Hand-made streams ----------------------------------------------------

TEST_F(Inflate, EmptyFinalFixedBlockWritesNothing)
{
    MemberOutput out = InflateData({0x03, 0x00});
    EXPECT_FALSE(MemberFailed);
    EXPECT_TRUE(out.writes.empty());
    EXPECT_EQ(out.crc, 0u);   // the register still holds its preset
}

TEST_F(Inflate, WindowIsWrittenInWholeBlocks)
{
    const struct {
        size_t size;
        std::vector<uint32_t> writes;
    } cases[] = {
        {32767, {32767}},
        {32768, {32768}},   // one flush in the block loop, none at the end
        {32769, {32768, 1}},
        {100000, {32768, 32768, 32768, 1696}},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> data = MakeSample(Sample::Text, c.size);
        MemberOutput out = InflateData(ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY));
        EXPECT_EQ(out.writes, c.writes) << c.size;
        EXPECT_TRUE(SameBytes(out.bytes, data)) << c.size;
    }
}

TEST_F(Inflate, HandMadeStreams)
{
    const HuffmanCode& lit = FixedLiterals();
    const HuffmanCode& dist = FixedDistances();
    const Codes c;
    const std::string filler(32750, 'f');
    std::string crossing = filler + "0123456789";
    for (int i = 0; i < 20; i++)
        crossing += crossing[crossing.size() - 100];

    struct Case {
        const char* name;
        std::string output;
        DeflateWriter w;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, std::string output) -> DeflateWriter& {
        cases.push_back({name, std::move(output), {}});
        return cases.back().w;
    };
    const struct {
        const char* name;
        std::string literals;
        int length, distance;
        std::string output;
    } matches[] = {
        {"match of 258 at distance 1", "x", 258, 1, std::string(259, 'x')},
        {"overlapping match repeats a pattern", "abc", 10, 3, "abcabcabcabca"},
        {"distance of exactly the output so far", "abcd", 4, 4, "abcdabcd"},
    };
    for (const auto& m : matches) {
        DeflateWriter& w = add(m.name, m.output);
        w.Header(true, 1);
        w.Literals(lit, m.literals);
        w.Match(lit, dist, m.length, m.distance);
        w.EndOfBlock(lit);
    }
    {
        DeflateWriter& w = add("match crossing the window's end", crossing);
        w.Stored(false, filler + "0123456789");
        w.Header(true, 1);
        w.Match(lit, dist, 20, 100);
        w.EndOfBlock(lit);
    }
    {
        DeflateWriter& w = add("fixed, dynamic, fixed", "one two two one one");
        w.Header(false, 1);
        w.Literals(lit, "one ");
        w.EndOfBlock(lit);
        w.DynamicHeader(false, c.wideLit, c.wideDist);
        w.Literals(c.wideLit, "two");
        w.Match(c.wideLit, c.wideDist, 4, 4);
        w.EndOfBlock(c.wideLit);
        w.Header(true, 1);
        w.Literals(lit, " one");
        w.Match(lit, dist, 4, 4);
        w.EndOfBlock(lit);
    }
    {
        DeflateWriter& w = add("288 and 32 lengths", "wide wide");
        w.DynamicHeader(true, c.wideLit, c.wideDist);
        w.Literals(c.wideLit, "wide ");
        w.Match(c.wideLit, c.wideDist, 4, 5);
        w.EndOfBlock(c.wideLit);
    }
    {
        DeflateWriter& w = add("no distance code, literals only", "badcafe");
        w.DynamicHeader(true, c.plainLit, c.noDist);
        w.Literals(c.plainLit, "badcafe");
        w.EndOfBlock(c.plainLit);
    }
    {
        // 16 first repeats zeros; 17 and 18 fill the rest; 16 after a
        // length repeats it.
        DeflateWriter& w = add("first code-length symbol 16 repeats 0", "badcafe");
        const std::vector<std::pair<int, int>> items = {
            {16, 3},    // 0-5
            {18, 80},   // 6-96
            {4, 0},     // 'a'
            {16, 3},    // 'b'-'g'
            {4, 0},     // 'h'
            {18, 127},  // 105-242
            {17, 7},    // 243-252
            {17, 0},    // 253-255
            {1, 0},     // end of block
            {0, 0},     // the one distance length
        };
        w.DynamicHeader(true, c.plainLit, c.noDist, items);
        w.Literals(c.plainLit, "badcafe");
        w.EndOfBlock(c.plainLit);
    }
    {
        DeflateWriter& w = add("stored after Huffman blocks", "abcstoredxyz");
        w.Header(false, 1);
        w.Literals(lit, "abc");   // leaves the bit buffer mid-byte
        w.EndOfBlock(lit);
        w.Stored(false, "");
        w.Stored(false, "stored");
        w.Header(true, 1);
        w.Literals(lit, "xyz");
        w.EndOfBlock(lit);
    }
    {
        DeflateWriter& w = add("reserved block type decodes nothing", "after");
        w.Header(false, 3);
        w.Header(true, 1);
        w.Literals(lit, "after");
        w.EndOfBlock(lit);
    }
    {
        // The next header reads as ones: last block, reserved type.
        DeflateWriter& w = add("data ends at a block boundary without the last flag", "cut here");
        w.Stored(false, "cut here");
    }

    for (Case& item : cases)
        EXPECT_TRUE(DecodesTo(item.w.bytes, Bytes(item.output))) << item.name;
}

// Streams that must stop the member: each writes "ok" in a first block (so
// the CRC of the intended content is not that of nothing), then the fault.
TEST_F(Inflate, FailedBlocksStopTheMember)
{
    const HuffmanCode& lit = FixedLiterals();
    const HuffmanCode& dist = FixedDistances();
    const Codes c;
    // A complete code without the end-of-block symbol: the block can only
    // run into the end of the data.
    std::vector<int> endless(257, 0);
    for (int s = 0; s < 256; s++)
        endless[size_t(s)] = 8;
    const HuffmanCode endlessLit = Canonical(endless);

    struct Case {
        const char* name;
        DeflateWriter w;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name) -> DeflateWriter& {
        cases.push_back({name, {}});
        DeflateWriter& w = cases.back().w;
        w.Header(false, 1);
        w.Literals(lit, "ok");
        w.EndOfBlock(lit);
        return w;
    };
    add("stored NLEN not the complement of LEN").Stored(true, "data", 0x0100);
    {
        DeflateWriter& w = add("literal/length symbol 286");
        w.Header(true, 1);
        w.Symbol(lit, 286);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("literal/length symbol 287");
        w.Header(true, 1);
        w.Symbol(lit, 287);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("fixed distance symbol 30");
        w.Header(true, 1);
        w.Symbol(lit, 257);
        w.Symbol(dist, 30);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("dynamic distance symbol 31");
        w.DynamicHeader(true, c.wideLit, c.wideDist);
        w.Symbol(c.wideLit, 257);
        w.Symbol(c.wideDist, 31);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("dynamic literal/length symbol 287");
        w.DynamicHeader(true, c.wideLit, c.wideDist);
        w.Symbol(c.wideLit, 287);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("length without a distance code");
        std::vector<int> l = Codes::PlainLengths();
        l.push_back(4);   // symbol 257 takes the place of "h"
        l['h'] = 0;
        const HuffmanCode withLength = Canonical(l);
        w.DynamicHeader(true, withLength, c.noDist);
        w.Symbol(withLength, 257);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("distance before the member's first byte");
        w.Header(true, 1);
        w.Literals(lit, "abc");
        w.Match(lit, dist, 3, 6);   // 5 bytes exist: "ok" and "abc"
        w.EndOfBlock(lit);
    }
    {
        DeflateWriter& w = add("code-length code over-subscribed");
        std::vector<int> cl(19, 1);
        w.DynamicHeader(true, c.wideLit, c.wideDist, {}, cl);
    }
    {
        DeflateWriter& w = add("code-length code incomplete");
        std::vector<int> cl(19, 5);
        w.DynamicHeader(true, c.wideLit, c.wideDist, {}, cl);
    }
    {
        DeflateWriter& w = add("code-length code all zero");
        w.Header(true, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(15, 4);
        for (int j = 0; j < 19; j++)
            w.Bits(0, 3);
        w.Bits(0, 16);
    }
    {
        DeflateWriter& w = add("repeat past the last length");
        w.DynamicHeader(true, c.plainLit, c.noDist, {{18, 127}, {18, 127}, {18, 127}});
    }
    {
        DeflateWriter& w = add("repeat of 16 past the last length");
        std::vector<std::pair<int, int>> items(257, {0, 0});
        items.push_back({16, 0});   // 3 more, 258 > 257 + 1
        w.DynamicHeader(true, c.plainLit, c.noDist, items);
    }
    {
        DeflateWriter& w = add("literal/length code incomplete");
        std::vector<int> l = Codes::PlainLengths();
        l['h'] = 0;
        w.DynamicHeader(true, Canonical(l), c.noDist);
    }
    {
        DeflateWriter& w = add("literal/length code all zero");
        w.DynamicHeader(true, Canonical(std::vector<int>(257, 0)), Canonical({1, 1}));
    }
    {
        DeflateWriter& w = add("distance code over-subscribed");
        w.DynamicHeader(true, c.plainLit, Canonical({1, 1, 1}));
    }
    {
        DeflateWriter& w = add("block runs past the data");
        w.Header(true, 1);
        w.Literals(lit, "no end");
    }
    {
        DeflateWriter& w = add("code without end-of-block");
        w.DynamicHeader(true, endlessLit, c.noDist);
        w.Literals(endlessLit, "forever");
    }
    {
        DeflateWriter& w = add("stored block longer than the data");
        w.StoredHeader(true, 60000, ~60000u);
        w.Bits('s', 8);
    }

    for (Case& item : cases) {
        std::vector<uint32_t> reads;
        HostLogArchiveReads(&reads);
        MemberOutput out = InflateData(item.w.bytes);
        HostLogArchiveReads(nullptr);
        EXPECT_TRUE(MemberFailed) << item.name;
        // Nothing of the member reached the file: the window was never full.
        EXPECT_TRUE(out.bytes.empty()) << item.name;
        EXPECT_NE(out.crc, Crc32Bytes(Bytes("ok"))) << item.name;
        // One read took the whole stream; its end brought no further reads.
        EXPECT_EQ(reads.size(), 1u) << item.name;
    }
}

TEST_F(Inflate, EarlierMemberNeverLeaksIntoTheNext)
{
    // A first member fills the window with a secret...
    const std::vector<uint8_t> secret(40000, 'S');
    EXPECT_TRUE(DecodesTo(ZlibDeflate(secret, 6, Z_DEFAULT_STRATEGY), secret));
    // ...that a second member reaches for at once.
    DeflateWriter w;
    w.Header(true, 1);
    w.Literals(FixedLiterals(), "x");
    w.Match(FixedLiterals(), FixedDistances(), 258, 1000);
    w.EndOfBlock(FixedLiterals());
    MemberOutput out = InflateData(w.bytes);
    EXPECT_TRUE(MemberFailed);
    EXPECT_EQ(Text(out.bytes).find('S'), std::string::npos);
}

TEST_F(Inflate, FarDistancesAfterTheWindowWrapped)
{
    // Distance 32768 right after the window wrapped, and again later.
    std::vector<uint8_t> data = MakeSample(Sample::Random, 32768);
    DeflateWriter w;
    std::string head(data.begin(), data.end());
    w.Stored(false, head.substr(0, 30000));
    w.Stored(false, head.substr(30000));
    w.Header(true, 1);
    for (int i = 0; i < 200; i++)
        w.Match(FixedLiterals(), FixedDistances(), 258, 32768);
    w.EndOfBlock(FixedLiterals());
    for (int i = 0; i < 200 * 258; i++)
        data.push_back(data[data.size() - 32768]);
    EXPECT_TRUE(DecodesTo(w.bytes, data));
}

TEST_F(Inflate, MatchesOfEveryShortDistanceAndLengthClass)
{
    // Short distances repeat a pattern, long ones copy by words with a last
    // word that ends on the match's end; each meets the window's end and,
    // once it wrapped, sources in its previous round. A literal between the
    // matches moves where each one starts.
    std::vector<uint8_t> data = MakeSample(Sample::Random, 40);
    DeflateWriter w;
    w.Stored(false, std::string(data.begin(), data.end()));
    w.Header(true, 1);
    const int lengths[] = {3, 4, 7, 8, 9, 15, 16, 17, 23, 258};
    uint8_t next = 0;
    while (data.size() < 3 * 32768 + 1000)
        for (int distance = 1; distance <= 40; distance++)
            for (int length : lengths) {
                w.Match(FixedLiterals(), FixedDistances(), length, distance);
                for (int i = 0; i < length; i++)
                    data.push_back(data[data.size() - distance]);
                w.Literals(FixedLiterals(), std::string(1, char(next)));
                data.push_back(next);
                next = uint8_t(next * 5 + 1);
            }
    w.EndOfBlock(FixedLiterals());
    EXPECT_TRUE(DecodesTo(w.bytes, data));
}

TEST_F(Inflate, TruncatedAndCorruptedStreamsEnd)
{
    // Every cut of a real stream ends; the CRC only matches when the whole
    // content came out. Bit flips must end too, and where zlib accepts the
    // damaged stream the output must be zlib's.
    const std::vector<uint8_t> data = MakeSample(Sample::Text, 70000, 3);
    const std::vector<uint8_t> stream = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
    for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 8) {
        MemberOutput out = InflateData(std::vector<uint8_t>(stream.begin(), stream.begin() + long(cut)));
        if (out.crc == Crc32Bytes(data)) {
            EXPECT_TRUE(SameBytes(out.bytes, data)) << cut;
        }
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 600; round++) {
        std::vector<uint8_t> damaged = stream;
        seed = seed * 1103515245 + 12345;
        damaged[(seed >> 8) % damaged.size()] ^= uint8_t(1 << (seed >> 28 & 7));
        if (round % 2) {
            seed = seed * 1103515245 + 12345;
            damaged[(seed >> 8) % 64] ^= uint8_t(seed >> 24);
        }
        MemberOutput out = InflateData(damaged);
        std::vector<uint8_t> expected;
        if (ZlibInflate(damaged, expected)) {
            EXPECT_FALSE(MemberFailed) << round;
            EXPECT_TRUE(SameBytes(out.bytes, expected)) << round;
        }
    }
}

// --- Output path: what a full disk does ------------------------------------

TEST_F(Inflate, ShortWritesFailTheCrc)
{
    const std::vector<uint8_t> data = MakeSample(Sample::Text, 100000, 9);
    const std::vector<uint8_t> stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    for (int64_t allowed : {0, 1, 1000, 32767, 32768, 65536, 99999}) {
        HostFailWritesAfter(allowed);
        MemberOutput out = InflateData(stream);
        HostFailWritesAfter(-1);
        EXPECT_EQ(out.bytes.size(), size_t(allowed)) << allowed;
        EXPECT_NE(out.crc, Crc32Bytes(data)) << allowed;
    }
}

TEST_F(Inflate, StoredCopyShortWritesFailTheCrc)
{
    const std::vector<uint8_t> data = MakeSample(Sample::Binary, 70000, 9);
    for (int64_t allowed : {0, 1, 32768, 69999}) {
        HostOpenArchiveBytes(data);
        LocalHeader = LocalFileHeader{};
        CompressedLeft = int32_t(data.size());
        HostSink sink;
        OutFile = HostOpenSink(sink);
        CrcValue = 0xFFFFFFFF;
        HostFailWritesAfter(allowed);
        CopyStored();
        HostFailWritesAfter(-1);
        EXPECT_EQ(sink.bytes.size(), size_t(allowed)) << allowed;
        EXPECT_NE(CrcValue ^ 0xFFFFFFFF, Crc32Bytes(data)) << allowed;
    }
}

// --- Input path --------------------------------------------------------------

TEST_F(Inflate, StoredCopyReadsAndWritesWhole32KiBChunks)
{
    const struct {
        size_t size;   // bytes in the archive
        int32_t compressedLeft;
        std::vector<uint32_t> reads;
        std::vector<uint32_t> writes;
    } cases[] = {
        {0, 0, {}, {}},
        {10, -3, {}, {}},   // an encrypted member shorter than its header
        {1, 1, {1}, {1}},
        {32768, 32768, {32768}, {32768}},
        {32769, 32769, {32768, 1}, {32768, 1}},
        {70000, 70000, {32768, 32768, 4464}, {32768, 32768, 4464}},
        // The archive ends early: the copy stops at the first empty read.
        {40000, 50000, {32768, 17232, 10000}, {32768, 7232}},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> data = MakeSample(Sample::Random, c.size);
        HostOpenArchiveBytes(data);
        LocalHeader = LocalFileHeader{};
        CompressedLeft = c.compressedLeft;
        HostSink sink;
        OutFile = HostOpenSink(sink);
        CrcValue = 0xFFFFFFFF;
        std::vector<uint32_t> reads;
        HostLogArchiveReads(&reads);
        CopyStored();
        HostLogArchiveReads(nullptr);
        EXPECT_EQ(reads, c.reads) << c.size;
        EXPECT_EQ(sink.writes, c.writes) << c.size;
        EXPECT_LE(CompressedLeft, 0) << c.size;
        const std::vector<uint8_t> prefix(data.begin(), data.begin() + long(sink.bytes.size()));
        EXPECT_TRUE(SameBytes(sink.bytes, prefix)) << c.size;
        EXPECT_EQ(CrcValue ^ 0xFFFFFFFF, Crc32Bytes(prefix)) << c.size;
    }
}

TEST_F(Inflate, InputStopsAtTheMembersEnd)
{
    // The member's stream, then what follows it in the archive.
    const std::vector<uint8_t> data = MakeSample(Sample::Random, 100000, 4);
    std::vector<uint8_t> archive = ZlibDeflate(data, 1, Z_DEFAULT_STRATEGY);
    const size_t size = archive.size();
    const std::string next = "PK\x03\x04 the next member";
    archive.insert(archive.end(), next.begin(), next.end());
    std::vector<uint32_t> reads;
    HostLogArchiveReads(&reads);
    MemberOutput out = InflateData(archive, int64_t(size));
    HostLogArchiveReads(nullptr);
    EXPECT_TRUE(SameBytes(out.bytes, data));
    uint64_t total = 0;
    for (uint32_t r : reads) {
        EXPECT_LE(r, InBufferSize);
        total += r;
    }
    EXPECT_EQ(total, size);
    EXPECT_EQ(PlatSeekArchive(0, SeekFromCurrent), uint32_t(size));
}

TEST_F(Inflate, ByteSourceGivesMinusOneForeverAfterTheEnd)
{
    HostOpenArchiveBytes(Bytes("abcdef"));
    LocalHeader = LocalFileHeader{};
    InBuffer = static_cast<uint8_t*>(Allocate(InBufferSize));
    InPos = 0;
    InCount = 0;
    PastEnd = 0;
    CompressedLeft = 3;
    std::vector<uint32_t> reads;
    HostLogArchiveReads(&reads);
    std::vector<int> got;
    for (int i = 0; i < 6; i++)
        got.push_back(NextByte());
    HostLogArchiveReads(nullptr);
    EXPECT_EQ(got, (std::vector<int>{'a', 'b', 'c', -1, -1, -1}));
    EXPECT_EQ(reads, std::vector<uint32_t>{3});
    EXPECT_EQ(PastEnd, 3u);

    // An archive shorter than the member: -1 after the bytes it has.
    HostOpenArchiveBytes(Bytes("xy"));
    InPos = 0;
    InCount = 0;
    CompressedLeft = 10;
    got.clear();
    for (int i = 0; i < 4; i++)
        got.push_back(NextByte());
    EXPECT_EQ(got, (std::vector<int>{'x', 'y', -1, -1}));
    EXPECT_LE(CompressedLeft, 0);
    Release(InBuffer);
    InBuffer = nullptr;
}

}  // namespace
