#include "inflate_tables.h"

#include "helpers.h"

int BuildDecodeTable(const uint16_t* lengths, uint16_t n, uint16_t s, const uint16_t* base,
                     const uint8_t* extra, DecodeEntry*& root, DecodeEntry*& chain,
                     int32_t& lookupBits)
{
    // Counts are 32 bits wide: a code of 16-bit lengths completed with filler
    // codes has 65536 codes of the longest length.
    uint32_t count[MaxCodeLength + 1] = {};
    if (n > MaxSymbols)
        return CodeOverSubscribed;
    for (uint32_t v = 0; v < n; v++) {
        if (lengths[v] > MaxCodeLength)
            return CodeOverSubscribed;
        count[lengths[v]]++;
    }
    if (count[0] == n) {
        root = nullptr;
        lookupBits = 0;
        return CodeComplete;
    }
    // The root is cut where the end-of-block code ends, so that a block's
    // last code never needs bits from beyond the block.
    const uint32_t endLength = n > 256 ? lengths[256] : MaxCodeLength;

    uint32_t shortest = 1;
    while (count[shortest] == 0)
        shortest++;
    uint32_t longest = MaxCodeLength;
    while (count[longest] == 0)
        longest--;
    uint32_t m = lookupBits < int32_t(shortest) ? shortest : uint32_t(lookupBits);
    if (m > longest)
        m = longest;
    lookupBits = int32_t(m);

    // Patterns left unused at each length; over-subscription leaves none.
    int32_t spare = 1 << shortest;
    for (uint32_t len = shortest; len < longest; len++) {
        spare -= int32_t(count[len]);
        if (spare < 0)
            return CodeOverSubscribed;
        spare *= 2;
    }
    spare -= int32_t(count[longest]);
    if (spare < 0)
        return CodeOverSubscribed;
    // Filler codes of the longest length complete the code, so every entry of
    // every table gets filled below.
    count[longest] += uint32_t(spare);

    uint16_t offset[MaxCodeLength + 1];
    offset[1] = 0;
    for (uint32_t len = 1; len < longest; len++)
        offset[len + 1] = uint16_t(offset[len] + count[len]);
    uint16_t sorted[MaxSymbols];
    uint32_t symbolCount = 0;
    for (uint32_t v = 0; v < n; v++) {
        if (lengths[v] != 0) {
            sorted[offset[lengths[v]]++] = uint16_t(v);
            symbolCount++;
        }
    }

    // Level 0 stands for "no table yet"; the root is level 1.
    DecodeEntry* table[MaxCodeLength + 1];
    uint32_t width[MaxCodeLength + 1] = {};
    uint32_t prefix[MaxCodeLength + 1] = {};
    uint32_t h = 0;
    uint32_t w = 0;        // bits decoded by the levels above the current table
    uint32_t code = 0;     // bit-reversed, as the bits arrive
    uint32_t placed = 0;
    uint16_t lastValue = 0;
    for (uint32_t k = shortest; k <= longest; k++) {
        for (uint32_t left = count[k]; left > 0; left--) {
            while (k > w + width[h]) {
                w += width[h];
                h++;
                const uint32_t limit = longest - w < m ? longest - w : m;
                uint32_t j = k - w;
                uint32_t f = 1u << j;
                if (f > left) {
                    // Too few codes of this length to fill a table of j bits:
                    // widen it while the longer codes fill the space.
                    f -= left;
                    for (uint32_t len = k;;) {
                        if (++j >= limit)
                            break;
                        f <<= 1;
                        if (f <= count[++len])
                            break;
                        f -= count[len];
                    }
                }
                if (w + j > endLength && w < endLength)
                    j = endLength - w;
                DecodeEntry* block =
                    static_cast<DecodeEntry*>(Allocate(((1u << j) + 1) * sizeof(DecodeEntry)));
                block->Next = chain;
                chain = block + 1;
                table[h] = block + 1;
                width[h] = j;
                if (h == 1) {
                    root = table[1];
                } else {
                    prefix[h] = code & ((1u << w) - 1);
                    DecodeEntry& link = table[h - 1][prefix[h] >> (w - width[h - 1])];
                    link.Extra = uint8_t(ExtraSubTable + j);
                    link.Bits = uint8_t(width[h - 1]);
                    link.Value = 0;
                    link.Next = table[h];
                }
            }

            DecodeEntry entry;
            entry.Bits = uint8_t(k - w);
            entry.Next = nullptr;
            if (placed == symbolCount) {
                entry.Extra = ExtraInvalid;
                entry.Value = lastValue;
            } else {
                const uint16_t v = sorted[placed++];
                if (v < s) {
                    entry.Extra = v < 256 ? ExtraLiteral : ExtraEndOfBlock;
                    entry.Value = v;
                } else {
                    entry.Extra = extra[v - s];
                    entry.Value = base[v - s];
                }
                lastValue = entry.Value;
            }
            for (uint32_t idx = code >> w; idx < (1u << width[h]); idx += 1u << (k - w))
                table[h][idx] = entry;

            uint32_t bit = 1u << (k - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code |= bit;
            while ((code & ((1u << w) - 1)) != prefix[h]) {
                h--;
                w -= width[h];
            }
        }
    }
    lookupBits = int32_t(width[1]);
    return spare != 0 && longest != 1 ? CodeIncomplete : CodeComplete;
}

void FreeDecodeTables(DecodeEntry*& chain)
{
    while (chain != nullptr) {
        DecodeEntry* block = chain - 1;
        chain = block->Next;
        Release(block);
    }
}
