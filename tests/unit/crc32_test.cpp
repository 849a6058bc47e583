#include <gtest/gtest.h>

#include <string>

#include "crc32.h"

namespace {

uint32_t Crc(const std::string& s, int32_t count)
{
    uint32_t c = 0xFFFFFFFF;
    CrcBuffer(reinterpret_cast<const uint8_t*>(s.data()), count, c);
    return c ^ 0xFFFFFFFF;
}

TEST(Crc32, KnownValues)
{
    MakeCrcTable();
    const struct {
        std::string data;
        uint32_t crc;
    } cases[] = {
        {"", 0x00000000},
        {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
        {std::string(1, '\0'), 0xD202EF8D},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Crc(c.data, int32_t(c.data.size())), c.crc) << c.data;
}

TEST(Crc32, CountOfZeroOrLessChangesNothing)
{
    MakeCrcTable();
    for (int32_t count : {0, -1, -100000}) {
        uint32_t c = 0x12345678;
        CrcBuffer(reinterpret_cast<const uint8_t*>("abc"), count, c);
        EXPECT_EQ(c, 0x12345678u) << count;
    }
}

TEST(Crc32, UpdateFromZeroGivesTheTable)
{
    MakeCrcTable();
    EXPECT_EQ(CrcTable[1], 0x77073096u);
    EXPECT_EQ(CrcTable[255], 0x2D02EF8Du);
    for (int n = 0; n < 256; n++)
        EXPECT_EQ(UpdateCrc(uint8_t(n), 0), CrcTable[n]) << n;
}

}  // namespace
