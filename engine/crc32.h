// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320). The routines do
// no conditioning of their own: callers preset the register to all ones and
// invert it at the end.
#pragma once

#include <cstdint>

// The few loops that carry every byte of a member are built for speed even
// where the rest of the program is built for size. Clang has no per-function
// level; its builds are for tests.
#if defined(__GNUC__) && !defined(__clang__)
#define QUILLEX_FAST __attribute__((optimize("O2")))
#else
#define QUILLEX_FAST
#endif

// Sixteen tables, computed at start: the first is the classic byte-at-a-time
// table; table j advances a byte through j further zero bytes, so sixteen
// bytes fold into the register with sixteen independent lookups.
constexpr uint32_t CrcSlices = 16;
extern uint32_t CrcTable[CrcSlices * 256];

void MakeCrcTable();
uint32_t UpdateCrc(uint8_t byte, uint32_t crc);
// Feeds the first `count` bytes of `buffer` into `crc`; nothing when count <= 0.
void CrcBuffer(const uint8_t* buffer, int32_t count, uint32_t& crc);
