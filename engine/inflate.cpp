// The deflate decoder (RFC 1951): stored, fixed and dynamic Huffman blocks
// decoded into the 32 KiB window.
#include "inflate.h"

#include <cstring>

#include "helpers.h"
#include "inflate_internal.h"

const uint16_t LengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint8_t LengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t DistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                               49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                               2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,     0};
const uint8_t DistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                               7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};
const uint16_t BitMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                              0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                              0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};
const uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

bool MemberFailed = false;
DecodeEntry* FixedLitTable = nullptr;
int32_t FixedLitBits = 0;
DecodeEntry* FixedDistTable = nullptr;
int32_t FixedDistBits = 0;

namespace {

// Both fixed codes, kept for the later fixed blocks of the member.
DecodeEntry* FixedChain = nullptr;

// Looks up one code, descending through its sub-tables; null for a pattern
// or symbol that must not occur.
const DecodeEntry* DecodeSymbol(const DecodeEntry* t, uint32_t bits, uint64_t& b, uint32_t& k)
{
    NeedBits(bits, b, k);
    t += uint32_t(b) & BitMask[bits];
    while (t->Extra > ExtraSubTable) {
        if (t->Extra == ExtraInvalid)
            return nullptr;
        DumpBits(t->Bits, b, k);
        bits = t->Extra - ExtraSubTable;
        NeedBits(bits, b, k);
        t = t->Next + (uint32_t(b) & BitMask[bits]);
    }
    DumpBits(t->Bits, b, k);
    return t;
}

uint32_t TakeBits(uint32_t n, uint64_t& b, uint32_t& k)
{
    NeedBits(n, b, k);
    const uint32_t value = uint32_t(b) & BitMask[n];
    DumpBits(n, b, k);
    return value;
}

// Longest match plus one: below this the window needs no flush within a
// symbol.
constexpr uint32_t WindowMargin = 259;

// Takes the next whole bytes of the input buffer into the bit buffer, so that
// it holds 56 to 63 bits: enough for a length and a distance with their extra
// bits. Reads 8 bytes at `in`, all of them in the buffer; the bits above the
// count are the bytes that come next, so later loads agree with them.
QUILLEX_INLINE uint32_t Refill(const uint8_t* in, uint64_t& b, uint32_t& k)
{
    uint64_t v;
    std::memcpy(&v, in, 8);
    b |= v << k;
    const uint32_t taken = (63 - k) >> 3;
    k |= 56;
    return taken;
}

QUILLEX_INLINE void MoveWord(uint8_t* dst, const uint8_t* src)
{
    uint64_t x;
    std::memcpy(&x, src, 8);
    std::memcpy(dst, &x, 8);
}

// Follows an entry through its sub-tables, consuming the bits of each level
// but the last; null for a pattern that must not occur. The bit buffer holds
// enough bits for the whole code.
QUILLEX_INLINE const DecodeEntry* Descend(const DecodeEntry* t, uint64_t& b, uint32_t& k)
{
    while (t->Extra > ExtraSubTable) {
        if (t->Extra == ExtraInvalid)
            return nullptr;
        b >>= t->Bits;
        k -= t->Bits;
        t = t->Next + (uint32_t(b) & BitMask[t->Extra - ExtraSubTable]);
    }
    return t;
}

// The longest code, and what a match needs after its length code: the
// length's extra bits, the distance code and its extra bits.
constexpr uint32_t MaxCodeBits = 15;
constexpr uint32_t MaxMatchBits = 5 + 15 + 13;

enum : int { FastFailed = 1, FastEndOfBlock = 2, FastOutOfRoom = 3 };

// DecodeCodes while the input buffer has 16 bytes and the window room for the
// longest match: neither the end of the data nor a flush can come within a
// symbol, so nothing is checked per bit. Every byte it takes is the
// member's, so it never moves PastEnd.
QUILLEX_FAST int DecodeFast(const DecodeEntry* litTable, const DecodeEntry* distTable,
                            uint32_t litBits, uint32_t distBits, uint64_t& bits, uint32_t& count,
                            uint32_t& position)
{
    uint64_t b = bits;
    uint32_t k = count;
    uint32_t w = position;
    uint8_t* const window = Window;
    const uint8_t* const in = InBuffer;
    const uint32_t first = InPos;
    const uint32_t end = InCount;
    uint32_t at = first;
    const uint32_t litMask = BitMask[litBits];
    const uint32_t distMask = BitMask[distBits];
    const bool full = WindowFull;
    int result = FastOutOfRoom;
    // Two refills a symbol at most, 7 bytes each.
    while (w < WindowSize - WindowMargin && end - at >= 16) {
        // A refill leaves room for about three literals in a row.
        if (k < MaxCodeBits)
            at += Refill(in + at, b, k);
        const DecodeEntry* t = Descend(litTable + (uint32_t(b) & litMask), b, k);
        if (t == nullptr) {
            result = FastFailed;
            break;
        }
        b >>= t->Bits;
        k -= t->Bits;
        if (t->Extra == ExtraLiteral) {
            window[w++] = uint8_t(t->Value);
            continue;
        }
        if (t->Extra == ExtraEndOfBlock) {
            result = FastEndOfBlock;
            break;
        }
        if (k < MaxMatchBits)
            at += Refill(in + at, b, k);
        uint32_t length = t->Value + (uint32_t(b) & BitMask[t->Extra]);
        b >>= t->Extra;
        k -= t->Extra;
        if (distTable == nullptr) {
            result = FastFailed;
            break;
        }
        t = Descend(distTable + (uint32_t(b) & distMask), b, k);
        if (t == nullptr) {
            result = FastFailed;
            break;
        }
        b >>= t->Bits;
        k -= t->Bits;
        const uint32_t distance = t->Value + (uint32_t(b) & BitMask[t->Extra]);
        b >>= t->Extra;
        k -= t->Extra;
        if (distance > w) {
            if (!full) {
                result = FastFailed;
                break;
            }
            // The source starts in the window's previous round.
            uint32_t d = w - distance;
            do {
                d &= WindowSize - 1;
                window[w++] = window[d++];
            } while (--length != 0);
            continue;
        }
        uint8_t* dst = window + w;
        const uint8_t* src = dst - distance;
        w += length;
        if (distance < 8) {
            // A short distance repeats a pattern: once one period past a
            // word's length is written, copying from that far back gives
            // the same bytes and can move whole words.
            static const uint8_t Period[8] = {0, 8, 8, 9, 8, 10, 12, 14};
            uint32_t lead = Period[distance] - distance;
            if (lead > length)
                lead = length;
            length -= lead;
            for (; lead != 0; lead--)
                *dst++ = *src++;
            src = dst - Period[distance];
        }
        if (length >= 8) {
            // Each word read was written at least a word earlier, so the
            // copy repeats the source as a byte-by-byte copy would. The
            // last word ends where the match ends, rewriting some of the
            // bytes before it with what they already hold.
            uint8_t* const lastDst = dst + length - 8;
            const uint8_t* const lastSrc = src + length - 8;
            for (; length >= 8; length -= 8, src += 8, dst += 8)
                MoveWord(dst, src);
            if (length != 0)
                MoveWord(lastDst, lastSrc);
        } else {
            for (; length != 0; length--)
                *dst++ = *src++;
        }
    }
    // Bits above the count go back to zero, as the careful path expects.
    b &= (uint64_t(1) << k) - 1;
    bits = b;
    count = k;
    position = w;
    InPos = uint16_t(at);
    CompressedLeft -= int32_t(at - first);
    return result;
}

}  // namespace

int DecodeCodes(const DecodeEntry* litTable, const DecodeEntry* distTable, int32_t litBits,
                int32_t distBits)
{
    uint64_t b = BitBuffer;
    uint32_t k = BitCount;
    uint32_t w = WindowPos;
    for (;;) {
        // Past the member's data the bits read as ones, which can decode
        // to an endless run of one symbol.
        if (PastEnd > MaxLookahead)
            return 1;
        if (w < WindowSize - WindowMargin && InCount - InPos >= 16) {
            const int fast = DecodeFast(litTable, distTable, uint32_t(litBits), uint32_t(distBits),
                                        b, k, w);
            if (fast == FastFailed)
                return 1;
            if (fast == FastEndOfBlock) {
                BitBuffer = b;
                BitCount = uint16_t(k);
                WindowPos = uint16_t(w);
                return 0;
            }
        }
        const DecodeEntry* t = DecodeSymbol(litTable, uint32_t(litBits), b, k);
        if (t == nullptr)
            return 1;
        if (t->Extra == ExtraLiteral) {
            Window[w++] = uint8_t(t->Value);
            if (w == WindowSize) {
                FlushWindow(WindowSize);
                w = 0;
            }
            continue;
        }
        if (t->Extra == ExtraEndOfBlock) {
            BitBuffer = b;
            BitCount = uint16_t(k);
            WindowPos = uint16_t(w);
            return 0;
        }
        uint32_t length = t->Value + TakeBits(t->Extra, b, k);
        if (distTable == nullptr)
            return 1;
        t = DecodeSymbol(distTable, uint32_t(distBits), b, k);
        if (t == nullptr)
            return 1;
        const uint32_t distance = t->Value + TakeBits(t->Extra, b, k);
        // Before the window has wrapped, the bytes behind w are all there is
        // of this member; anything further back is not its data.
        if (distance > w && !WindowFull)
            return 1;
        uint32_t d = w - distance;
        while (length > 0) {
            d &= WindowSize - 1;
            uint32_t chunk = WindowSize - (d > w ? d : w);
            if (chunk > length)
                chunk = length;
            length -= chunk;
            if (int32_t(w - d) >= int32_t(chunk)) {
                std::memcpy(Window + w, Window + d, chunk);
                w += chunk;
                d += chunk;
            } else {
                // Overlapping: each byte is read after the one before it
                // is written, which repeats the recent bytes.
                do
                    Window[w++] = Window[d++];
                while (--chunk != 0);
            }
            if (w == WindowSize) {
                FlushWindow(WindowSize);
                w = 0;
            }
        }
    }
}

int DecodeStoredBlock()
{
    uint64_t b = BitBuffer;
    uint32_t k = BitCount;
    uint32_t w = WindowPos;
    DumpBits(k & 7, b, k);
    uint32_t length = TakeBits(16, b, k);
    if (TakeBits(16, b, k) != (~length & 0xFFFF))
        return 1;
    while (length > 0) {
        // With no bits held, the bytes the buffer has are the block's next
        // ones: they go to the window whole.
        if (k == 0 && InPos < InCount) {
            uint32_t chunk = InCount - InPos;
            if (chunk > length)
                chunk = length;
            if (chunk > WindowSize - w)
                chunk = WindowSize - w;
            std::memcpy(Window + w, InBuffer + InPos, chunk);
            InPos = uint16_t(InPos + chunk);
            CompressedLeft -= int32_t(chunk);
            length -= chunk;
            w += chunk;
            if (w == WindowSize) {
                FlushWindow(WindowSize);
                w = 0;
            }
            continue;
        }
        length--;
        NeedBits(8, b, k);
        if (PastEnd > MaxLookahead)
            return 1;
        Window[w++] = uint8_t(b);
        if (w == WindowSize) {
            FlushWindow(WindowSize);
            w = 0;
        }
        DumpBits(8, b, k);
    }
    BitBuffer = b;
    BitCount = uint16_t(k);
    WindowPos = uint16_t(w);
    return 0;
}

int DecodeFixedBlock()
{
    if (FixedLitTable == nullptr) {
        uint16_t lengths[288];
        for (int i = 0; i < 288; i++)
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        FixedLitBits = 7;
        if (BuildDecodeTable(lengths, 288, 257, LengthBase, LengthExtra, FixedLitTable, FixedChain,
                             FixedLitBits) != CodeComplete)
            return 1;
        for (int i = 0; i < 30; i++)
            lengths[i] = 5;
        // Incomplete: the patterns of symbols 30 and 31 decode as invalid.
        FixedDistBits = 5;
        if (BuildDecodeTable(lengths, 30, 0, DistBase, DistExtra, FixedDistTable, FixedChain,
                             FixedDistBits) == CodeOverSubscribed)
            return 1;
    }
    return DecodeCodes(FixedLitTable, FixedDistTable, FixedLitBits, FixedDistBits);
}

int DecodeDynamicBlock()
{
    uint64_t b = BitBuffer;
    uint32_t k = BitCount;
    const uint32_t nl = 257 + TakeBits(5, b, k);
    const uint32_t nd = 1 + TakeBits(5, b, k);
    const uint32_t nb = 4 + TakeBits(4, b, k);
    uint16_t lengths[288 + 32];
    for (uint32_t j = 0; j < 19; j++)
        lengths[CodeLengthOrder[j]] = uint16_t(j < nb ? TakeBits(3, b, k) : 0);

    DecodeEntry* root = nullptr;
    DecodeEntry* chain = nullptr;
    int32_t bits = 7;
    if (BuildDecodeTable(lengths, 19, 19, nullptr, nullptr, root, chain, bits) != CodeComplete ||
        root == nullptr) {
        FreeDecodeTables(chain);
        return 1;
    }
    // No code-length code is longer than 7 bits, so its table has one level.
    const uint32_t n = nl + nd;
    uint32_t i = 0;
    uint16_t last = 0;
    while (i < n) {
        NeedBits(uint32_t(bits), b, k);
        const DecodeEntry& t = root[uint32_t(b) & BitMask[bits]];
        DumpBits(t.Bits, b, k);
        if (t.Value < 16) {
            lengths[i++] = last = t.Value;
            continue;
        }
        uint32_t repeat;
        if (t.Value == 16) {
            repeat = 3 + TakeBits(2, b, k);
        } else {
            last = 0;
            repeat = t.Value == 17 ? 3 + TakeBits(3, b, k) : 11 + TakeBits(7, b, k);
        }
        if (repeat > n - i)
            break;
        while (repeat-- > 0)
            lengths[i++] = last;
    }
    FreeDecodeTables(chain);
    BitBuffer = b;
    BitCount = uint16_t(k);
    if (i < n)
        return 1;

    DecodeEntry* litTable = nullptr;
    DecodeEntry* distTable = nullptr;
    int32_t litBits = 9;
    int32_t distBits = 6;
    int result = 1;
    if (BuildDecodeTable(lengths, uint16_t(nl), 257, LengthBase, LengthExtra, litTable, chain,
                         litBits) == CodeComplete &&
        litTable != nullptr &&
        BuildDecodeTable(lengths + nl, uint16_t(nd), 0, DistBase, DistExtra, distTable, chain,
                         distBits) != CodeOverSubscribed)
        result = DecodeCodes(litTable, distTable, litBits, distBits);
    FreeDecodeTables(chain);
    return result;
}

int DecodeBlock(bool& last)
{
    uint64_t b = BitBuffer;
    uint32_t k = BitCount;
    last = TakeBits(1, b, k) != 0;
    const uint32_t type = TakeBits(2, b, k);
    BitBuffer = b;
    BitCount = uint16_t(k);
    int failed = 0;
    if (type == 0)
        failed = DecodeStoredBlock();
    else if (type == 1)
        failed = DecodeFixedBlock();
    else if (type == 2)
        failed = DecodeDynamicBlock();
    // Type 3 is reserved and decodes nothing.
    return failed != 0 || PastEnd > MaxLookahead ? 1 : 0;
}

void InflateMember()
{
    InPos = 0;
    InCount = 0;
    WindowPos = 0;
    BitCount = 0;
    BitBuffer = 0;
    PastEnd = 0;
    WindowFull = false;
    InBuffer = static_cast<uint8_t*>(Allocate(InBufferSize));
    Window = static_cast<uint8_t*>(Allocate(WindowSize));
    // A member never decodes with tables of an earlier member.
    FixedLitTable = nullptr;
    FixedDistTable = nullptr;

    bool last = false;
    int failed;
    do
        failed = DecodeBlock(last);
    while (failed == 0 && !last);
    MemberFailed = failed != 0;
    // A failed block's bytes stay unwritten; the CRC check judges the rest.
    if (failed == 0 && WindowPos > 0)
        FlushWindow(WindowPos);
    WindowPos = 0;

    Release(InBuffer);
    Release(Window);
    InBuffer = nullptr;
    Window = nullptr;
    FreeDecodeTables(FixedChain);
    FixedLitTable = nullptr;
    FixedDistTable = nullptr;
}
