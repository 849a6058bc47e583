#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "globals.h"
#include "sfx_file.h"
#include "test_support.h"
#include "zip_builder.h"

namespace {

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// An archive of empty stored members: its offsets are known.
std::vector<uint8_t> Zip(const std::vector<std::string>& names, const std::string& comment = "")
{
    std::vector<ZipMember> members;
    for (const std::string& name : names)
        members.emplace_back(name, "");
    return Bytes(MakeZip(members, comment));
}

TEST(SfxFile, BlockRoundTrip)
{
    SfxBlock block;
    block.flags = 0x5B;
    block.caption = "Titre";
    block.destination = "HKLM\\S\\V|sub";
    block.command = "><setup.exe|/S";
    block.message = "Continuer ?";
    block.messageType = MessageType::YesNo;
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(EncodeBlock(block, bytes, error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "MPV");
    EXPECT_EQ(bytes[4], 0x00);
    EXPECT_EQ(bytes[5], 0x01);
    EXPECT_EQ(bytes[6] | bytes[7] << 8, int(bytes.size()));
    EXPECT_EQ(bytes.size(), 12u + 5 + 12 + 14 + 12);

    std::vector<uint8_t> file = bytes;
    file.insert(file.begin(), StubSize, 0);
    SfxBlock back;
    uint32_t offset = 0;
    ASSERT_TRUE(DecodeBlock(file, back, offset, error)) << error;
    EXPECT_EQ(back.flags, block.flags);
    EXPECT_EQ(back.caption, block.caption);
    EXPECT_EQ(back.destination, block.destination);
    EXPECT_EQ(back.command, block.command);
    EXPECT_EQ(back.message, block.message);
    EXPECT_EQ(back.messageType, MessageType::YesNo);
    EXPECT_EQ(offset, StubSize + bytes.size());
}

TEST(SfxFile, TheDocumentedSixteenByteBlock)
{
    SfxBlock block;
    block.flags = 0;
    block.caption = "Abcd";
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(EncodeBlock(block, bytes, error));
    const uint8_t expected[] = {0x4D, 0x50, 0x56, 0x00, 0x00, 0x01, 0x10, 0x00,
                                0x04, 'A',  'b',  'c',  'd',  0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, std::vector<uint8_t>(expected, expected + 16));
}

TEST(SfxFile, MessageTypes)
{
    const struct {
        MessageType type;
        std::string message;
        std::string stored;
    } cases[] = {
        {MessageType::Ok, "Salut", "Salut"},
        {MessageType::OkCancel, "Salut", "\x01Salut"},
        {MessageType::YesNo, "Salut", "\x02Salut"},
        {MessageType::Ok, "\x01Salut", "\x03\x01Salut"},
        {MessageType::Ok, "", ""},
    };
    for (const auto& c : cases) {
        SfxBlock block;
        block.message = c.message;
        block.messageType = c.type;
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(EncodeBlock(block, bytes, error));
        EXPECT_EQ(std::string(bytes.begin() + 12, bytes.end()), c.stored);
    }
}

TEST(SfxFile, RefusedBlocks)
{
    std::string error;
    std::vector<uint8_t> bytes;
    SfxBlock longCaption;
    longCaption.caption = std::string(256, 'x');
    EXPECT_FALSE(EncodeBlock(longCaption, bytes, error));
    EXPECT_NE(error.find("caption"), std::string::npos);
    SfxBlock typeOnly;
    typeOnly.messageType = MessageType::OkCancel;
    EXPECT_FALSE(EncodeBlock(typeOnly, bytes, error));
    SfxBlock maxMessage;   // the type byte counts against the 255
    maxMessage.message = std::string(255, 'm');
    maxMessage.messageType = MessageType::YesNo;
    EXPECT_FALSE(EncodeBlock(maxMessage, bytes, error));
    maxMessage.messageType = MessageType::Ok;
    EXPECT_TRUE(EncodeBlock(maxMessage, bytes, error));
}

TEST(SfxFile, RelocationShiftsEveryOffset)
{
    std::vector<uint8_t> zip = Zip({"a.txt", "dir/b.txt"}, "comment");
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(RelocateZip(zip, 50000, out, error)) << error;
    ASSERT_EQ(out.size(), zip.size());
    size_t end = zip.size() - 22 - 7;
    uint32_t cd = Get32(zip, end + 16);
    EXPECT_EQ(Get32(out, end + 16), cd + 50000);
    EXPECT_EQ(Get32(out, cd + 42), 50000u);
    size_t second = cd + 46 + 5;
    EXPECT_EQ(Get32(out, second + 42), Get32(zip, second + 42) + 50000);
    // Nothing else moves.
    for (size_t i = 0; i < zip.size(); i++) {
        bool offsetByte = (i >= end + 16 && i < end + 20) || (i >= cd + 42 && i < cd + 46) ||
                          (i >= second + 42 && i < second + 46);
        if (!offsetByte) {
            ASSERT_EQ(out[i], zip[i]) << i;
        }
    }
}

TEST(SfxFile, RefusedArchives)
{
    std::vector<uint8_t> good = Zip({"a.txt"});
    std::vector<uint8_t> padded = good;
    padded.push_back(0);
    std::vector<uint8_t> prefixed(good);
    prefixed.insert(prefixed.begin(), 10, 'x');
    std::vector<uint8_t> zip64 = good;
    for (int i = 0; i < 4; i++)
        zip64[zip64.size() - 6 + i] = 0xFF;
    std::vector<uint8_t> badCentral = good;
    badCentral[Get32(good, good.size() - 6)] = 'X';
    const struct {
        std::vector<uint8_t> zip;
        const char* reason;
    } cases[] = {
        {{}, "not a ZIP"},
        {std::vector<uint8_t>(100, 'z'), "not a ZIP"},
        {padded, "not a ZIP"},
        {Zip({}), "no member"},
        {prefixed, "central directory"},
        {zip64, "Zip64"},
        {badCentral, "damaged"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_FALSE(RelocateZip(c.zip, 40460, out, error)) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(SfxFile, BuildChecksTheStubSize)
{
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(BuildSfxFile(std::vector<uint8_t>(StubSize - 1), SfxBlock(), Zip({"a"}), out, error));
    EXPECT_NE(error.find("40448"), std::string::npos);
    ASSERT_TRUE(BuildSfxFile(std::vector<uint8_t>(StubSize), SfxBlock(), Zip({"a"}), out, error));
    EXPECT_EQ(out.size(), StubSize + 12 + Zip({"a"}).size());
    EXPECT_EQ(Get32(out, StubSize + 12), 0x04034B50u);
}

}  // namespace
