// Lookup tables for the canonical Huffman codes of a deflate stream.
//
// A code decodes through a root table indexed by the next input bits (least
// significant first) and, for codes longer than the root's width, sub-tables
// indexed by the bits that follow. Every table of one code sits in a chain,
// newest first, so that the code can be released without walking the tree.
#pragma once

#include <cstdint>

// What an entry's Extra field says about it.
enum : uint8_t {
    ExtraEndOfBlock = 15,   // symbol 256 of a literal/length code
    ExtraLiteral = 16,      // a literal, or a symbol that decodes to itself
    ExtraSubTable = 16,     // above this: sub-table of (Extra - 16) index bits
    ExtraInvalid = 99,      // a pattern no symbol owns, or a symbol that must not occur
};

struct DecodeEntry {
    uint8_t Extra;   // 0..13: extra bits of a length or distance; see above
    uint8_t Bits;    // input bits this entry consumes at its level
    uint16_t Value;  // symbol, or base length or distance
    DecodeEntry* Next;   // sub-table; in a table's link entry, the older table
};

// Results of BuildDecodeTable. An allocation failure ends the program, so the
// builder never reports one.
enum : int {
    CodeComplete = 0,         // also a lone code of length 1, and no code at all
    CodeIncomplete = 1,       // unused patterns decode as ExtraInvalid
    CodeOverSubscribed = 2,   // nothing built
};

constexpr int MaxCodeLength = 16;
constexpr int MaxSymbols = 288;

// Builds the tables of the code given by `lengths` (n entries, each 0 to 16).
// Symbols below `s` decode to themselves; the others take their Value and
// Extra from base[symbol - s] and extra[symbol - s]. `lookupBits` is the
// preferred root width on entry and the actual one on return. On success the
// root is in `root` (null when every length is 0, with lookupBits 0) and the
// tables built are prepended to `chain`, which the caller releases with
// FreeDecodeTables.
int BuildDecodeTable(const uint16_t* lengths, uint16_t n, uint16_t s, const uint16_t* base,
                     const uint8_t* extra, DecodeEntry*& root, DecodeEntry*& chain,
                     int32_t& lookupBits);
// Releases every table of a chain and empties it.
void FreeDecodeTables(DecodeEntry*& chain);
