#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "crc32.h"
#include "decrypt.h"
#include "globals.h"
#include "host.h"
#include "member_data.h"
#include "test_support.h"

namespace {

// Encrypts with the engine's own key schedule: these fixtures test what
// CheckPassword decides, the archives below test the cipher itself.
std::vector<uint8_t> Encrypt(const char* password, const std::vector<uint8_t>& plain)
{
    InitKeys(password);
    std::vector<uint8_t> out;
    for (uint8_t p : plain) {
        out.push_back(p ^ DecryptByte());
        UpdateKeys(p);
    }
    return out;
}

// A 24-byte work buffer whose second half is a header encrypted for
// `password`, its last plain byte being `check`.
struct HeaderBuffer {
    uint8_t bytes[24] = {};
    HeaderBuffer(const char* password, uint8_t check)
    {
        std::vector<uint8_t> plain = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, check};
        std::vector<uint8_t> cipher = Encrypt(password, plain);
        std::memcpy(bytes + 12, cipher.data(), 12);
    }
};

class Decrypt : public ::testing::Test {
protected:
    void SetUp() override
    {
        HostReset();
        MakeCrcTable();
    }
    void TearDown() override { HostReset(); }
};

TEST_F(Decrypt, EmptyPasswordIsRefusedWithoutTouchingTheKeys)
{
    HeaderBuffer h("", 0);
    Key0 = 1;
    Key1 = 2;
    Key2 = 3;
    EXPECT_FALSE(CheckPassword(h.bytes, 12, 0, 0, 0, ""));
    EXPECT_EQ(Key0, 1u);
    EXPECT_EQ(Key1, 2u);
    EXPECT_EQ(Key2, 3u);
}

TEST_F(Decrypt, KeystreamByteDependsOnlyOnTheKeys)
{
    InitKeys("password");
    const uint8_t first = DecryptByte();
    EXPECT_EQ(DecryptByte(), first);
    UpdateKeys(0x41);
    InitKeys("password");
    EXPECT_EQ(DecryptByte(), first);
}

TEST_F(Decrypt, EveryAttemptStartsFromTheStoredHeader)
{
    const uint32_t crc = 0xAB000000;
    HeaderBuffer h("right", 0xAB);
    uint8_t stored[12];
    std::memcpy(stored, h.bytes + 12, 12);
    const char* attempts[] = {"wrong", "right", "Right", "right", "", "right"};
    for (const char* password : attempts) {
        EXPECT_EQ(CheckPassword(h.bytes, 12, 0, crc, 0, password), std::strcmp(password, "right") == 0)
            << password;
        EXPECT_EQ(std::memcmp(h.bytes + 12, stored, 12), 0);
    }
    // After a right one, the first half holds the plain header and the keys
    // stand at the first data byte.
    ASSERT_TRUE(CheckPassword(h.bytes, 12, 0, crc, 0, "right"));
    EXPECT_EQ(h.bytes[0], 1);
    EXPECT_EQ(h.bytes[11], 0xAB);
    const uint32_t keys[3] = {Key0, Key1, Key2};
    Encrypt("right", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xAB});
    EXPECT_EQ(keys[0], Key0);
    EXPECT_EQ(keys[1], Key1);
    EXPECT_EQ(keys[2], Key2);
}

TEST_F(Decrypt, CheckByteComesFromTheTimeWithADataDescriptor)
{
    const uint32_t crc = 0x11223344;
    const uint32_t timeDate = 0x5A8C6677;   // ModTime's high byte is 0x66
    const struct {
        uint8_t check;
        uint16_t flags;
        bool accepted;
    } cases[] = {
        {0x11, FlagEncrypted, true},
        {0x66, FlagEncrypted, false},
        {0x66, FlagEncrypted | FlagDataDescriptor, true},
        {0x11, FlagEncrypted | FlagDataDescriptor, false},
    };
    for (const auto& c : cases) {
        HeaderBuffer h("pw", c.check);
        EXPECT_EQ(CheckPassword(h.bytes, 12, c.flags, crc, timeDate, "pw"), c.accepted)
            << int(c.check) << " " << c.flags;
    }
}

TEST_F(Decrypt, OnlyTwelveByteHeadersFitTheBuffer)
{
    HeaderBuffer h("pw", 0x11);
    for (uint8_t length : {0, 11, 13, 24, 255})
        EXPECT_FALSE(CheckPassword(h.bytes, length, 0, 0x11000000, 0, "pw")) << int(length);
    EXPECT_TRUE(CheckPassword(h.bytes, 12, 0, 0x11000000, 0, "pw"));
}

TEST_F(Decrypt, PiecesDecryptLikeTheWhole)
{
    const std::vector<uint8_t> plain = MakeSample(Sample::Text, 100000);
    const std::vector<uint8_t> cipher = Encrypt("secret", plain);
    for (size_t piece : {size_t(100000), size_t(32768), size_t(1), size_t(4097)}) {
        std::vector<uint8_t> data = cipher;
        InitKeys("secret");
        for (size_t at = 0; at < data.size(); at += piece)
            DecryptBuffer(data.data() + at, uint32_t(std::min(piece, data.size() - at)));
        EXPECT_EQ(data, plain) << piece;
    }
}

// Archives encrypted by Info-ZIP (check byte from the time, data descriptor)
// and 7-Zip (check byte from the CRC), stored and deflated, with members
// across the input buffer's refills.
struct EncryptingTool {
    const char* name;
    std::string command;   // "{pw}", "{zip}" and "{files}" are filled in
    bool descriptor;
    // Password bytes go through as they are: no case folding, and Info-ZIP
    // takes non-ASCII bytes as given (7-Zip wants valid UTF-8 and converts).
    std::string password = "Mot de passe \xE9t\xE9";
};

void PrintTo(const EncryptingTool& tool, std::ostream* out)
{
    *out << tool.name;
}

class EncryptedArchives : public ::testing::TestWithParam<EncryptingTool> {
protected:
    void SetUp() override
    {
        HostReset();
        MakeCrcTable();
    }
};

TEST_P(EncryptedArchives, RightPasswordDecryptsWrongOnesFail)
{
    const EncryptingTool& tool = GetParam();
    if (FindCommand({tool.command.substr(0, tool.command.find(' '))}).empty())
        GTEST_SKIP() << tool.name << " is not installed";
    const std::string password = tool.password;
    TempDir dir;
    std::string files;
    for (size_t size : {size_t(0), size_t(1), size_t(32757), size_t(32758), size_t(200000),
                        size_t(2 * 1024 * 1024)}) {
        const std::string name = "m" + std::to_string(size);
        WriteFileBytes(dir / name, MakeSample(size % 2 ? Sample::Random : Sample::Text, size));
        files += " " + name;
    }
    std::string command = tool.command;
    command.replace(command.find("{pw}"), 4, "'" + password + "'");
    command.replace(command.find("{zip}"), 5, "archive.zip");
    if (command.find("{files}") != std::string::npos)
        command.replace(command.find("{files}"), 7, files);
    ASSERT_TRUE(RunQuietly("cd " + dir.Path() + " && " + command)) << command;

    const std::vector<uint8_t> zip = ReadFileBytes(dir / "archive.zip");
    const std::vector<ZipEntry> entries = ReadZipEntries(zip);
    ASSERT_FALSE(entries.empty());
    const std::string wrong[] = {"mot de passe \xE9t\xE9", "Mot de passe \xC9T\xC9",
                                 "Mot de passe ete",        "Mot de passe \xE9t\xE9 ",
                                 "Mot de passe \xE9t",      "Mot de passe et\xE9",
                                 password + password,       password.substr(1),
                                 "M",                       "0000"};
    for (const ZipEntry& e : entries) {
        ASSERT_TRUE(e.flags & FlagEncrypted) << e.name;
        EXPECT_EQ((e.flags & FlagDataDescriptor) != 0, tool.descriptor) << e.name;
        const Extraction right = ExtractEntry(zip, e, password);
        EXPECT_TRUE(right.Good(e)) << e.name;
        const std::string original = e.name == "-" ? "m200000" : e.name;
        EXPECT_EQ(right.output.bytes, ReadFileBytes(dir / original)) << e.name;
        // One wrong password in 256 passes the one-byte check; its data then
        // fails the CRC. An empty member has no data to fail with.
        for (const std::string& w : wrong) {
            if (w == password)
                continue;
            const Extraction x = ExtractEntry(zip, e, w);
            if (e.uncompressedSize == 0) {
                EXPECT_TRUE(x.output.bytes.empty()) << e.name << " with " << w;
            } else {
                EXPECT_FALSE(x.Good(e)) << e.name << " with " << w;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, EncryptedArchives,
    ::testing::Values(
        EncryptingTool{"infozip_stored", "zip -q -X -0 -P {pw} {zip} {files}", true},
        EncryptingTool{"infozip_deflated", "zip -q -X -9 -P {pw} {zip} {files}", true},
        EncryptingTool{"infozip_streamed", "cat m200000 | zip -q -P {pw} - - > {zip}", true},
        EncryptingTool{"infozip_streamed_zip32", "cat m200000 | zip -q -fz- -P {pw} - - > {zip}",
                       true},
        EncryptingTool{"sevenzip_stored", "7z a -tzip -mm=Copy -p{pw} {zip} {files}", false,
                       "Mot de passe ete"},
        EncryptingTool{"sevenzip_deflated", "7z a -tzip -mm=Deflate -mx=9 -p{pw} {zip} {files}",
                       false, "Mot de passe ete"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
