#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip_input.h"
#include "zip_writer.h"

namespace {

constexpr uint16_t MadeOnDos = 0x0014, MadeOnNtfs = 0x0B14, MadeOnUnix = 0x031E;

std::vector<uint8_t> UnicodePathField(const std::string& headerName, const std::string& utf8,
                                      uint32_t crcAdjust = 0)
{
    uint32_t crc = Crc32(reinterpret_cast<const uint8_t*>(headerName.data()), headerName.size()) + crcAdjust;
    std::vector<uint8_t> field = {0x75, 0x70, uint8_t(5 + utf8.size()), 0, 1};
    for (int i = 0; i < 4; i++)
        field.push_back(uint8_t(crc >> (8 * i)));
    field.insert(field.end(), utf8.begin(), utf8.end());
    return field;
}

TEST(MemberNameEncoding, EveryWayAnArchiveSaysHowItsNamesAreWritten)
{
    const struct {
        const char* what;
        std::string raw;
        uint16_t flags;
        uint16_t madeBy;
        std::vector<uint8_t> extra;
        std::string expected;   // Windows-1252
    } cases[] = {
        {"ASCII", "docs/a.txt", 0, MadeOnUnix, {}, "docs/a.txt"},
        {"UTF-8 flag", "caf\xc3\xa9/\xc5\x93uvre \xe2\x82\xac", 0x0800, MadeOnDos, {}, "caf\xe9/\x9cuvre \x80"},
        {"DOS code page from a DOS tool", "d\x82j\x85", 0, MadeOnDos, {}, "d\xe9j\xe0"},
        {"DOS code page from an NTFS tool", "\x80\x87", 0, MadeOnNtfs, {}, "\xc7\xe7"},
        {"Unicode path field wins", "d\x82j\x85", 0, MadeOnDos, UnicodePathField("d\x82j\x85", "d\xc3\xa9j\xc3\xa0"),
         "d\xe9j\xe0"},
        {"Unicode path field of another name is ignored", "caf\xc3\xa9", 0, MadeOnUnix,
         UnicodePathField("caf\xc3\xa9", "other", 1), "caf\xe9"},
        {"UTF-8 bytes from a Unix tool", "\xc3\xa9t\xc3\xa9", 0, MadeOnUnix, {}, "\xe9t\xe9"},
        {"Windows-1252 bytes from a Unix tool stay", "\xe9t\xe9", 0, MadeOnUnix, {}, "\xe9t\xe9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name, error;
        ASSERT_TRUE(MemberNameToCp1252(c.raw, c.flags, c.madeBy, c.extra, name, error)) << error;
        EXPECT_EQ(name, c.expected);
    }
}

TEST(MemberNameEncoding, NamesWindows1252CannotHoldAreRefused)
{
    std::string name, error;
    EXPECT_FALSE(MemberNameToCp1252("\xe4\xb8\xad.txt", 0x0800, MadeOnUnix, {}, name, error));
    EXPECT_NE(error.find("Windows-1252 cannot hold"), std::string::npos) << error;
    EXPECT_FALSE(MemberNameToCp1252("\xe9t\xe9", 0x0800, MadeOnUnix, {}, name, error));
    EXPECT_NE(error.find("not valid UTF-8"), std::string::npos) << error;
    // Box drawing characters of the DOS code page have no Windows-1252 byte.
    EXPECT_FALSE(MemberNameToCp1252("\xc9\xcd\xbb", 0, MadeOnDos, {}, name, error));
}

}  // namespace
