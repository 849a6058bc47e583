#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

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

// Long buffers run in lanes of CrcLane bytes joined at the end, medium ones
// sixteen bytes at a time, the rest byte by byte: every way in and out of
// each path, at every alignment, against zlib.
TEST(Crc32, LongBuffersAgreeWithZlib)
{
    MakeCrcTable();
    std::vector<uint8_t> data(8 * CrcLane + 80);
    uint32_t x = 2463534242u;
    for (uint8_t& b : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x >> 24);
    }
    const int32_t lane = int32_t(CrcLane);
    for (int32_t count : {15, 16, 17, 31, 255, 4 * lane - 1, 4 * lane, 4 * lane + 1,
                          4 * lane + 15, 4 * lane + 16, 8 * lane, 8 * lane + 63})
        for (int32_t offset : {0, 1, 3}) {
            uint32_t c = 0xFFFFFFFF;
            CrcBuffer(data.data() + offset, count, c);
            EXPECT_EQ(c ^ 0xFFFFFFFF, uint32_t(crc32(0, data.data() + offset, uInt(count))))
                << count << " from " << offset;
        }
}

TEST(Crc32, ARegisterCarriesAcrossCalls)
{
    // The first lane starts from the register, the others from zero.
    MakeCrcTable();
    std::vector<uint8_t> data(4 * CrcLane + 100, 0x5A);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = uint8_t(data[i] ^ (i * 7));
    const uint32_t whole = uint32_t(crc32(0, data.data(), uInt(data.size())));
    for (int32_t split : {1, 99, 100}) {
        uint32_t c = 0xFFFFFFFF;
        CrcBuffer(data.data(), split, c);
        CrcBuffer(data.data() + split, int32_t(data.size()) - split, c);
        EXPECT_EQ(c ^ 0xFFFFFFFF, whole) << split;
    }
}

}  // namespace
