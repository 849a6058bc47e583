#include "crc32.h"

uint32_t CrcTable[256] = {};

void MakeCrcTable()
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        CrcTable[n] = c;
    }
}

uint32_t UpdateCrc(uint8_t byte, uint32_t crc)
{
    return CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void CrcBuffer(const uint8_t* buffer, int32_t count, uint32_t& crc)
{
    uint32_t c = crc;
    for (int32_t i = 0; i < count; i++)
        c = UpdateCrc(buffer[i], c);
    crc = c;
}
