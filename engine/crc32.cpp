#include "crc32.h"

#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <wmmintrin.h>
#endif

uint32_t CrcTable[(CrcSlices + 4) * 256] = {};

namespace {

// Table and lane offsets as pointer-sized numbers, so no product is widened.
constexpr std::ptrdiff_t Entries = 256;
constexpr std::ptrdiff_t Lane = CrcLane;

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
    return Fold(t + 12 * Entries, c ^ Load32(p)) ^ Fold(t + 8 * Entries, Load32(p + 4)) ^
           Fold(t + 4 * Entries, Load32(p + 8)) ^ Fold(t, Load32(p + 12));
}

// The register after CrcLane zero bytes.
QUILLEX_INLINE uint32_t SkipLane(const uint32_t* t, uint32_t c)
{
    return Fold(t + CrcSlices * Entries, c);
}

#if defined(__x86_64__)
// Processors with the carry-less multiply fold 64 bytes at a time: each 128
// bits are multiplied by x to the power of the distance they move, reduced
// modulo the polynomial (the constants below, computed from it, bit-reflected
// and shifted left by one as the reflected register wants them). Only the
// 64-bit builds take this path; every x86-64 processor has the SSE2 it needs
// besides, and its stack keeps the 16-byte alignment the registers want.
bool CarrylessMultiply = false;

__attribute__((target("pclmul"))) QUILLEX_INLINE __m128i FoldBlock(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00),
                                       _mm_clmulepi64_si128(x, k, 0x11)),
                         next);
}

__attribute__((target("pclmul"))) QUILLEX_INLINE __m128i Load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// `count` is a multiple of 16, at least 64. Folding keeps a 128-bit value
// whose CRC from a zero register is the CRC of everything folded into it.
__attribute__((target("pclmul"))) QUILLEX_FAST uint32_t FoldCarryless(const uint32_t* t, uint32_t c,
                                                                     const uint8_t* p, uint32_t count)
{
    const __m128i by64 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);   // x^(512-32), x^(512+32)
    const __m128i by16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);   // x^(128-32), x^(128+32)
    __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(int(c)));
    __m128i x1 = Load128(p + 16);
    __m128i x2 = Load128(p + 32);
    __m128i x3 = Load128(p + 48);
    for (p += 64, count -= 64; count >= 64; p += 64, count -= 64) {
        x0 = FoldBlock(x0, by64, Load128(p));
        x1 = FoldBlock(x1, by64, Load128(p + 16));
        x2 = FoldBlock(x2, by64, Load128(p + 32));
        x3 = FoldBlock(x3, by64, Load128(p + 48));
    }
    x0 = FoldBlock(x0, by16, x1);
    x0 = FoldBlock(x0, by16, x2);
    x0 = FoldBlock(x0, by16, x3);
    for (; count >= 16; p += 16, count -= 16)
        x0 = FoldBlock(x0, by16, Load128(p));
    alignas(16) uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x0);
    return Step16(t, 0, last);
}
#endif

}  // namespace

void MakeCrcTable()
{
#if defined(__x86_64__)
    unsigned eax, ebx, ecx, edx;
    CarrylessMultiply = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) != 0;
#endif
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
            c = Fold(CrcTable + 12 * Entries, c);
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
#if defined(__x86_64__)
    if (CarrylessMultiply && count >= 64) {
        c = FoldCarryless(t, c, buffer, uint32_t(count) & ~15u);
        buffer += count & ~15;
        count &= 15;
    }
#endif
    for (; count >= int32_t(4 * CrcLane); count -= 4 * CrcLane, buffer += 4 * Lane) {
        // The register only depends on the bytes before, so the later lanes
        // start from zero and are joined by advancing what came before them
        // over their length.
        uint32_t a = c, b = 0, d = 0, e = 0;
        for (uint32_t i = 0; i < CrcLane; i += 16) {
            a = Step16(t, a, buffer + i);
            b = Step16(t, b, buffer + Lane + i);
            d = Step16(t, d, buffer + 2 * Lane + i);
            e = Step16(t, e, buffer + 3 * Lane + i);
        }
        c = SkipLane(t, SkipLane(t, SkipLane(t, a) ^ b) ^ d) ^ e;
    }
    for (; count >= 16; count -= 16, buffer += 16)
        c = Step16(t, c, buffer);
    for (; count > 0; count--)
        c = UpdateCrc(*buffer++, c);
    crc = c;
}
