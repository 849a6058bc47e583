#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crc32.h"
#include "decrypt.h"
#include "host.h"
#include "zip_writer.h"

namespace {

// Runs a test in a time zone with summer time, so that local time, the
// MS-DOS time and the way back all have something to get wrong.
class LocalTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        hadZone_ = tz != nullptr;
        if (hadZone_)
            savedZone_ = tz;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadZone_)
            setenv("TZ", savedZone_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadZone_ = false;
    std::string savedZone_;
};

uint32_t Dos(int year, int month, int day, int hour, int minute, int second)
{
    return uint32_t((year - 1980) << 9 | month << 5 | day) << 16 | uint32_t(hour << 11 | minute << 5 | second / 2);
}

TEST_F(LocalTime, DosTimeIsLocalTimeInTwoSecondSteps)
{
    const struct {
        time_t utc;
        uint32_t expected;
    } cases[] = {
        {1720960497, Dos(2024, 7, 14, 14, 34, 56)},   // 12:34:57 UTC in summer: +2 h, odd second down
        {1705235696, Dos(2024, 1, 14, 13, 34, 56)},   // 12:34:56 UTC in winter: +1 h
        {315529200, Dos(1980, 1, 1, 0, 0, 0)},        // the first moment MS-DOS holds
        {315529199, Dos(1980, 1, 1, 0, 0, 0)},        // one second earlier: clamped
        {0, Dos(1980, 1, 1, 0, 0, 0)},
        {4354819199, Dos(2107, 12, 31, 23, 59, 58)},  // 2108-01-01 00:59:59 local: clamped
        {951786000, Dos(2000, 2, 29, 2, 0, 0)},       // a leap day
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utc);
        EXPECT_EQ(DosTimeDate(c.utc), c.expected);
    }
}

TEST_F(LocalTime, ExtractionGivesBackTheMomentToTheEvenSecond)
{
    // Both sides of the summer time change, and the days around it.
    for (time_t t : {time_t(1711846799), time_t(1711846800), time_t(1711850400), time_t(1729987199),
                     time_t(1730001600), time_t(1720960497), time_t(1705235696), time_t(315529200)}) {
        SCOPED_TRACE(t);
        time_t back = 0;
        ASSERT_TRUE(HostTimeFromDos(DosTimeDate(t), back));
        EXPECT_EQ(back, t - t % 2);
    }
}

TEST_F(LocalTime, InvalidDosFieldsAreRefused)
{
    time_t when;
    for (uint32_t bad : {Dos(2024, 0, 10, 0, 0, 0), Dos(2024, 13, 10, 0, 0, 0), Dos(2024, 2, 30, 0, 0, 0),
                         Dos(2024, 5, 0, 0, 0, 0), Dos(2024, 5, 1, 24, 0, 0), Dos(2024, 5, 1, 0, 60, 0),
                         Dos(2024, 5, 1, 0, 0, 60)}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(HostTimeFromDos(bad, when));
    }
}

TEST(MemberNames, WhatWindowsAndTheStubAccept)
{
    for (const char* good : {"a.txt", "dossier/sous dossier/fichier.txt", "vide/", "\xe9t\xe9.txt",
                             "..a", "a..b", ".profile", "CONFIG.SYS", "com10", "lpt0.txt", "nul_/x/"}) {
        std::string why;
        EXPECT_TRUE(CheckMemberName(good, why)) << good << ": " << why;
    }
    std::string longest(MaxMemberName, 'x');
    std::string why;
    EXPECT_TRUE(CheckMemberName(longest, why)) << why;
}

TEST(MemberNames, RefusedWithTheReason)
{
    const struct {
        std::string name;
        const char* reason;
    } cases[] = {
        {"", "empty"},
        {std::string(MaxMemberName + 1, 'x'), "259 bytes"},
        {"/etc/passwd", "starts with \"/\""},
        {"a//b", "empty part"},
        {"../b", "\"..\""},
        {"a/./b", "\".\""},
        {"a/ . /b", "names a folder"},
        {"a\\b", "\"\\\""},
        {"c:x", "\":\""},
        {"a<b", "\"<\""},
        {"what?", "\"?\""},
        {"star*", "\"*\""},
        {"pipe|", "\"|\""},
        {"quote\"", "\"\"\""},
        {std::string("tab\there"), "control character"},
        {"dot.", "ends with a dot or a space"},
        {"folder /x", "ends with a dot or a space"},
        {"CON", "Windows device"},
        {"docs/nul.txt", "Windows device"},
        {"Com1.log", "Windows device"},
        {"LPT9", "Windows device"},
        {"aux .txt", "Windows device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        EXPECT_FALSE(CheckMemberName(c.name, why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

TEST(MemberNames, FoldedLikeWindowsComparesThem)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"Readme.TXT", "README.txt", true},
        {"\xe9t\xe9", "\xc9T\xc9", true},   // été, ÉTÉ
        {"\x9c", "\x8c", true},             // œ, Œ
        {"\x9a\x9e\xff", "\x8a\x8e\x9f", true},
        {"\xf7", "\xd7", false},            // ÷ and × are not a pair
        {"a", "b", false},
        {"\xe9", "e", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(FoldName(c.a) == FoldName(c.b), c.same);
    }
}

std::vector<uint8_t> RawInflate(const std::vector<uint8_t>& deflated, size_t size)
{
    std::vector<uint8_t> out(size + 1);
    z_stream z = {};
    inflateInit2(&z, -15);
    z.next_in = const_cast<uint8_t*>(deflated.data());
    z.avail_in = uInt(deflated.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    int status = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_EQ(status, Z_STREAM_END);
    return out;
}

TEST(PackData, DeflatedOnlyWhenItShrinks)
{
    std::mt19937 random(7);
    std::vector<uint8_t> noise(100000);
    for (uint8_t& b : noise)
        b = uint8_t(random());
    std::string text;
    for (int i = 0; i < 5000; i++)
        text += "ligne " + std::to_string(i % 37) + " du texte\n";
    std::vector<uint8_t> prose(text.begin(), text.end());
    const struct {
        const char* what;
        std::vector<uint8_t> data;
        int level;
        uint16_t method;
    } cases[] = {
        {"text, best level", prose, 12, 8},
        {"text, fast level", prose, 1, 8},
        {"text, level 0", prose, 0, 0},
        {"random bytes", noise, 12, 0},
        {"empty", {}, 12, 0},
        {"one byte", {'x'}, 12, 0},
        {"two equal bytes", {'x', 'x'}, 12, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PackedData packed;
        ASSERT_TRUE(PackData(c.data.data(), c.data.size(), c.level, packed));
        EXPECT_EQ(packed.method, c.method);
        EXPECT_EQ(packed.size, c.data.size());
        EXPECT_EQ(packed.crc, uint32_t(crc32(0, c.data.data(), uInt(c.data.size()))));
        if (packed.method == 0) {
            EXPECT_EQ(packed.bytes, c.data);
        } else {
            EXPECT_LT(packed.bytes.size(), c.data.size());
            EXPECT_EQ(RawInflate(packed.bytes, c.data.size()), c.data);
        }
    }
    PackedData fast, best;
    PackData(prose.data(), prose.size(), 1, fast);
    PackData(prose.data(), prose.size(), 12, best);
    EXPECT_LT(best.bytes.size(), fast.bytes.size());
}

TEST(Encryption, TheEngineAcceptsTheHeaderAndDecryptsTheData)
{
    MakeCrcTable();
    const uint8_t random[11] = {0x13, 0x57, 0x9b, 0xdf, 0x02, 0x46, 0x8a, 0xce, 0xff, 0x00, 0x80};
    const std::string plain = "Des donn\xe9" "es \xe0 prot\xe9ger.";
    const uint32_t crc = 0xA1B2C3D4;
    const uint32_t timeDate = 0x5A8C6000;
    std::vector<uint8_t> data(plain.begin(), plain.end());
    EncryptData("mot de passe", random, uint8_t(crc >> 24), data);
    ASSERT_EQ(data.size(), EncryptionHeaderSize + plain.size());

    auto opens = [&](const char* password) {
        uint8_t work[24];
        std::memcpy(work + 12, data.data(), 12);
        return CheckPassword(work, 12, ZipFlagEncrypted, crc, timeDate, password);
    };
    // Wrong passwords with the same length, a prefix, an extension, another case.
    for (const char* wrong : {"mot de passf", "mot de pass", "mot de passe!", "MOT DE PASSE"})
        EXPECT_FALSE(opens(wrong)) << wrong;
    ASSERT_TRUE(opens("mot de passe"));
    std::vector<uint8_t> rest(data.begin() + 12, data.end());
    DecryptBuffer(rest.data(), uint32_t(rest.size()));
    EXPECT_EQ(std::string(rest.begin(), rest.end()), plain);

    // The header's first eleven bytes are the random ones.
    ZipCrypto keys("mot de passe");
    for (size_t i = 0; i < 11; i++)
        EXPECT_EQ(keys.Decrypt(data[i]), random[i]) << i;
    EXPECT_EQ(keys.Decrypt(data[11]), uint8_t(crc >> 24));
}

TEST(Encryption, HeadersDifferFromMemberToMember)
{
    uint8_t a[11] = {}, b[11] = {};
    ASSERT_TRUE(RandomBytes(a, sizeof a));
    ASSERT_TRUE(RandomBytes(b, sizeof b));
    EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<uint8_t> Contents(FILE* file)
{
    std::fflush(file);
    std::vector<uint8_t> bytes;
    std::rewind(file);
    int c;
    while ((c = std::fgetc(file)) != EOF)
        bytes.push_back(uint8_t(c));
    return bytes;
}

TEST(ZipWriter, SizesAndCrcInTheLocalHeaderAndOffsetsInTheWholeFile)
{
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const uint32_t base = 1000;
    std::fwrite(std::string(base, 'S').data(), 1, base, file);
    ZipWriter writer(file, base);
    std::string error;
    MemberHeader one;
    one.name = "un.txt";
    one.crc = 0x11223344;
    one.compressedSize = 3;
    one.uncompressedSize = 3;
    one.timeDate = 0x5A8C6000;
    MemberHeader two = one;
    two.name = "deux/";
    two.compressedSize = two.uncompressedSize = 0;
    two.crc = 0;
    ASSERT_TRUE(writer.AddMember(one, reinterpret_cast<const uint8_t*>("abc"), false, error)) << error;
    ASSERT_TRUE(writer.AddMember(two, nullptr, false, error)) << error;
    ASSERT_TRUE(writer.Finish("note", error)) << error;
    std::vector<uint8_t> bytes = Contents(file);
    std::fclose(file);

    EXPECT_EQ(Get32(bytes, base), 0x04034B50u);
    EXPECT_EQ(bytes[base + 6] & 8, 0);            // never a data descriptor
    EXPECT_EQ(Get32(bytes, base + 10), 0x5A8C6000u);
    EXPECT_EQ(Get32(bytes, base + 14), 0x11223344u);
    EXPECT_EQ(Get32(bytes, base + 18), 3u);
    EXPECT_EQ(Get32(bytes, base + 22), 3u);
    size_t second = base + 30 + 6 + 3;
    EXPECT_EQ(Get32(bytes, second), 0x04034B50u);
    // The end record and its comment end the file, and its offsets count
    // from the file's first byte.
    size_t end = bytes.size() - 22 - 4;
    ASSERT_EQ(Get32(bytes, end), 0x06054B50u);
    EXPECT_EQ(bytes[end + 10], 2);
    uint32_t central = Get32(bytes, end + 16);
    EXPECT_EQ(central + Get32(bytes, end + 12), end);
    EXPECT_EQ(Get32(bytes, central + 42), base);
    EXPECT_EQ(Get32(bytes, central + 46 + 6 + 42), second);
    EXPECT_EQ(std::string(bytes.end() - 4, bytes.end()), "note");
}

TEST(ZipWriter, RefusesToGrowPastWhatTheStubReads)
{
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ZipWriter writer(file, 40448);
    MemberHeader huge;
    huge.name = "huge.bin";
    huge.compressedSize = uint32_t(MaxSfxFileSize - 40448 - 30 - 8 + 1);
    std::string error;
    // The data is never read: the size alone decides.
    EXPECT_FALSE(writer.AddMember(huge, nullptr, false, error));
    EXPECT_NE(error.find("2 GiB"), std::string::npos) << error;
    EXPECT_EQ(writer.Position(), 40448u);
    std::fclose(file);
}

TEST(ZipWriter, RefusesMoreMembersThanTheEndRecordCounts)
{
    FILE* file = std::fopen("/dev/null", "wb");
    ASSERT_NE(file, nullptr);
    ZipWriter writer(file, 0);
    MemberHeader h;
    h.name = "x";
    std::string error;
    for (int i = 0; i < 65535; i++)
        ASSERT_TRUE(writer.AddMember(h, nullptr, false, error)) << i << error;
    EXPECT_FALSE(writer.AddMember(h, nullptr, false, error));
    EXPECT_NE(error.find("65535"), std::string::npos) << error;
    std::fclose(file);
}

}  // namespace
