#include "crc32.h"

#include <cstring>

uint32_t CrcTable[(CrcSlices + 4) * 256] = {};

namespace {

QUILLEX_INLINE uint32_t Load32(const uint8_t* p)
{
    // Both targets are little-endian, which the tables assume.
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

QUILLEX_INLINE uint32_t Fold(const uint32_t* t, uint32_t word)
{
    return t[768 + (word & 0xFF)] ^ t[512 + ((word >> 8) & 0xFF)] ^ t[256 + ((word >> 16) & 0xFF)] ^
           t[word >> 24];
}

QUILLEX_INLINE uint32_t Step16(const uint32_t* t, uint32_t c, const uint8_t* p)
{
    // The register meets the first word; the byte furthest from the end
    // takes the table that advances it furthest.
    return Fold(t + 12 * 256, c ^ Load32(p)) ^ Fold(t + 8 * 256, Load32(p + 4)) ^
           Fold(t + 4 * 256, Load32(p + 8)) ^ Fold(t, Load32(p + 12));
}

// The register after CrcLane zero bytes.
QUILLEX_INLINE uint32_t SkipLane(const uint32_t* t, uint32_t c)
{
    return Fold(t + CrcSlices * 256, c);
}

}  // namespace

void MakeCrcTable()
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        CrcTable[n] = c;
    }
    for (uint32_t n = 256; n < CrcSlices * 256; n++) {
        const uint32_t c = CrcTable[n - 256];
        CrcTable[n] = CrcTable[c & 0xFF] ^ (c >> 8);
    }
    // The register is linear in its bits: advance each bit alone, then each
    // table entry is the sum of the bits of its byte.
    uint32_t bitAfterLane[32];
    for (uint32_t i = 0; i < 32; i++) {
        uint32_t c = uint32_t(1) << i;
        for (uint32_t j = 0; j < CrcLane / 16; j++)
            c = Fold(CrcTable + 12 * 256, c);
        bitAfterLane[i] = c;
    }
    for (uint32_t n = 0; n < 4 * 256; n++) {
        // Fold takes the first byte from the last of the four tables.
        const uint32_t byte = 3 - n / 256;
        uint32_t c = 0;
        for (uint32_t bit = 0; bit < 8; bit++)
            if ((n >> bit) & 1)
                c ^= bitAfterLane[byte * 8 + bit];
        CrcTable[CrcSlices * 256 + n] = c;
    }
}

uint32_t UpdateCrc(uint8_t byte, uint32_t crc)
{
    return CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}


QUILLEX_FAST void CrcBuffer(const uint8_t* buffer, int32_t count, uint32_t& crc)
{
    uint32_t c = crc;
    const uint32_t* t = CrcTable;
    for (; count >= int32_t(4 * CrcLane); count -= 4 * CrcLane, buffer += 4 * CrcLane) {
        // The register only depends on the bytes before, so the later lanes
        // start from zero and are joined by advancing what came before them
        // over their length.
        uint32_t a = c, b = 0, d = 0, e = 0;
        for (uint32_t i = 0; i < CrcLane; i += 16) {
            a = Step16(t, a, buffer + i);
            b = Step16(t, b, buffer + CrcLane + i);
            d = Step16(t, d, buffer + 2 * CrcLane + i);
            e = Step16(t, e, buffer + 3 * CrcLane + i);
        }
        c = SkipLane(t, SkipLane(t, SkipLane(t, a) ^ b) ^ d) ^ e;
    }
    for (; count >= 16; count -= 16, buffer += 16)
        c = Step16(t, c, buffer);
    for (; count > 0; count--)
        c = UpdateCrc(*buffer++, c);
    crc = c;
}
