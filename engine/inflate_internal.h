// The inflate module's own state and routines: the byte source, the bit
// reader, the window and the blocks. Only the module and its tests use them.
#pragma once

#include <cstdint>

#include "crc32.h"
#include "inflate_tables.h"

constexpr uint32_t InBufferSize = 32768;
constexpr uint32_t WindowSize = 32768;

extern uint8_t* InBuffer;
extern uint16_t InPos;
extern uint32_t InCount;
// Next bit to consume is the lowest. Bits above BitCount are zero, or ones
// past the member's data.
extern uint64_t BitBuffer;
extern uint16_t BitCount;
extern uint8_t* Window;
extern uint16_t WindowPos;

// Bytes the byte source handed out past the member's data. A decoder that has
// only consumed the member's bits holds at most 23 bits, so it can have
// fetched at most two bytes beyond the end; a third means it consumed bits
// the member does not have.
extern uint32_t PastEnd;
constexpr uint32_t MaxLookahead = 2;
// Whether the last member stopped on a failed block (only tests look).
extern bool MemberFailed;
// Set once the window has wrapped: from then on every distance up to 32768
// reaches bytes of this member.
extern bool WindowFull;

extern const uint16_t LengthBase[31];
extern const uint8_t LengthExtra[31];
// Symbols 30 and 31 exist only to be refused, like 286 and 287 above.
extern const uint16_t DistBase[32];
extern const uint8_t DistExtra[32];
extern const uint16_t BitMask[17];
extern const uint8_t CodeLengthOrder[19];

extern DecodeEntry* FixedLitTable;
extern int32_t FixedLitBits;
extern DecodeEntry* FixedDistTable;
extern int32_t FixedDistBits;

// Next byte of the member's data (decrypted), or -1 past its end.
int ReadByte();
int NextByte();

inline void NeedBits(uint32_t n, uint64_t& b, uint32_t& k)
{
    while (k < n) {
        // Past the end -1 sets every bit from k up; consumers mask.
        b |= uint64_t(int64_t(NextByte())) << k;
        k += 8;
    }
}

inline void DumpBits(uint32_t n, uint64_t& b, uint32_t& k)
{
    b >>= n;
    k -= n;
}

// Writes the first n bytes of the window and adds to CrcValue the bytes the
// write took.
void FlushWindow(uint32_t n);

// Block decoders: 0 when the block ended normally, 1 when it failed.
int DecodeBlock(bool& last);
int DecodeStoredBlock();
int DecodeFixedBlock();
int DecodeDynamicBlock();
int DecodeCodes(const DecodeEntry* litTable, const DecodeEntry* distTable, int32_t litBits,
                int32_t distBits);
