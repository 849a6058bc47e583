#include "crc32.h"

#include <cstring>

uint32_t CrcTable[CrcSlices * 256] = {};

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
}

uint32_t UpdateCrc(uint8_t byte, uint32_t crc)
{
    return CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

namespace {

inline uint32_t Load32(const uint8_t* p)
{
    // Both targets are little-endian, which the tables assume.
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint32_t Fold(const uint32_t* t, uint32_t word)
{
    return t[768 + (word & 0xFF)] ^ t[512 + ((word >> 8) & 0xFF)] ^ t[256 + ((word >> 16) & 0xFF)] ^
           t[word >> 24];
}

}  // namespace

QUILLEX_FAST void CrcBuffer(const uint8_t* buffer, int32_t count, uint32_t& crc)
{
    uint32_t c = crc;
    const uint32_t* t = CrcTable;
    for (; count >= 16; count -= 16, buffer += 16) {
        // The register meets the first word; the byte furthest from the end
        // takes the table that advances it furthest.
        c = Fold(t + 12 * 256, c ^ Load32(buffer)) ^ Fold(t + 8 * 256, Load32(buffer + 4)) ^
            Fold(t + 4 * 256, Load32(buffer + 8)) ^ Fold(t, Load32(buffer + 12));
    }
    for (; count > 0; count--)
        c = UpdateCrc(*buffer++, c);
    crc = c;
}
