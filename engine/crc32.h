// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320). The routines do
// no conditioning of their own: callers preset the register to all ones and
// invert it at the end.
#pragma once

#include <cstdint>

// The few loops that carry every byte of a member are built for speed even
// where the rest of the program is built for size. Clang has no per-function
// level; its builds are for tests.
// Their small helpers are forced inline: built for size, they would not be.
#if defined(__GNUC__) && !defined(__clang__)
#define QUILLEX_FAST __attribute__((optimize("O2")))
#else
#define QUILLEX_FAST
#endif
#define QUILLEX_INLINE inline __attribute__((always_inline))

// Sixteen tables, computed at start: the first is the classic byte-at-a-time
// table; table j advances a byte through j further zero bytes, so sixteen
// bytes fold into the register with sixteen independent lookups. Four more
// advance a register through CrcLane zero bytes: a long buffer runs as four
// lanes at once, which keeps the processor's loads busy, and the lanes'
// registers are joined at the end.
constexpr uint32_t CrcSlices = 16;
constexpr uint32_t CrcLane = 8192;
extern uint32_t CrcTable[(CrcSlices + 4) * 256];

void MakeCrcTable();
uint32_t UpdateCrc(uint8_t byte, uint32_t crc);
// Feeds the first `count` bytes of `buffer` into `crc`; nothing when count <= 0.
void CrcBuffer(const uint8_t* buffer, int32_t count, uint32_t& crc);
