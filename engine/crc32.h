// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320). The routines do
// no conditioning of their own: callers preset the register to all ones and
// invert it at the end.
#pragma once

#include <cstdint>

extern uint32_t CrcTable[256];

void MakeCrcTable();
uint32_t UpdateCrc(uint8_t byte, uint32_t crc);
// Feeds the first `count` bytes of `buffer` into `crc`; nothing when count <= 0.
void CrcBuffer(const uint8_t* buffer, int32_t count, uint32_t& crc);
