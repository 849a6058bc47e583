#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "deflate_writer.h"
#include "inflate_internal.h"
#include "inflate_tables.h"

namespace {

// One call of the builder; the tables go when the object does.
struct Built {
    int status = -1;
    DecodeEntry* root = nullptr;
    DecodeEntry* chain = nullptr;
    int32_t bits = 0;
    Built() = default;
    Built(const Built&) = delete;
    ~Built() { FreeDecodeTables(chain); }
    void Build(const std::vector<uint16_t>& lengths, uint16_t s, int32_t wanted,
               const uint16_t* base = nullptr, const uint8_t* extra = nullptr)
    {
        bits = wanted;
        status = BuildDecodeTable(lengths.data(), uint16_t(lengths.size()), s, base, extra, root,
                                  chain, bits);
    }
    int Tables() const
    {
        int n = 0;
        for (DecodeEntry* t = chain; t != nullptr; t = (t - 1)->Next)
            n++;
        return n;
    }
    // How many sub-tables of each width hang from the root.
    std::map<int, int> SubTableWidths() const
    {
        std::set<const DecodeEntry*> seen;
        std::map<int, int> widths;
        for (uint32_t i = 0; i < (1u << bits); i++)
            if (root[i].Extra > ExtraSubTable && root[i].Extra != ExtraInvalid &&
                seen.insert(root[i].Next).second)
                widths[root[i].Extra - ExtraSubTable]++;
        return widths;
    }
    // The entry that decodes `input` (bits in arrival order, lowest first)
    // and the number of bits it takes in all.
    const DecodeEntry& Lookup(uint32_t input, int& used) const
    {
        const DecodeEntry* e = &root[input & ((1u << bits) - 1)];
        used = 0;
        while (e->Extra > ExtraSubTable && e->Extra != ExtraInvalid) {
            used += e->Bits;
            const int width = e->Extra - ExtraSubTable;
            e = &e->Next[(input >> used) & ((1u << width) - 1)];
        }
        used += e->Bits;
        return *e;
    }
};

std::vector<uint16_t> Lengths(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<uint16_t> l;
    for (auto [count, length] : runs)
        l.insert(l.end(), size_t(count), uint16_t(length));
    return l;
}

uint32_t Reversed(uint32_t code, int length)
{
    uint32_t r = 0;
    for (int i = 0; i < length; i++)
        r |= (code >> i & 1) << (length - 1 - i);
    return r;
}

TEST(DecodeTables, StatusAndRootWidth)
{
    const struct {
        const char* name;
        std::vector<uint16_t> lengths;
        int32_t wanted;
        int status;
        int32_t bits;
        int tables;
    } cases[] = {
        {"every length 0", Lengths({{19, 0}}), 7, CodeComplete, 0, 0},
        {"one code of length 1", {0, 1, 0}, 7, CodeComplete, 1, 1},
        {"one code of length 2", {0, 2}, 7, CodeIncomplete, 2, 1},
        {"three codes of length 1", {1, 1, 1}, 7, CodeOverSubscribed, 1, 0},
        {"over-subscribed at a longer length", Lengths({{1, 1}, {3, 2}}), 7, CodeOverSubscribed, 2, 0},
        {"fixed distances", Lengths({{30, 5}}), 5, CodeIncomplete, 5, 1},
        {"wider wish than the longest code", Lengths({{8, 3}}), 6, CodeComplete, 3, 1},
        {"narrower wish than the shortest code", Lengths({{8, 3}}), 1, CodeComplete, 3, 1},
        {"too few short codes widen the root", {2, 2, 2, 3, 3}, 1, CodeComplete, 3, 1},
        {"widening stops at the wished width", {1, 3, 4, 5, 5}, 3, CodeIncomplete, 3, 4},
        {"a length above 16", {17, 1}, 7, CodeOverSubscribed, 7, 0},
    };
    for (const auto& c : cases) {
        Built b;
        DecodeEntry sentinel[2] = {};
        b.root = sentinel + 1;
        b.Build(c.lengths, uint16_t(c.lengths.size()), c.wanted);
        EXPECT_EQ(b.status, c.status) << c.name;
        EXPECT_EQ(b.bits, c.bits) << c.name;
        EXPECT_EQ(b.Tables(), c.tables) << c.name;
        if (c.status == CodeOverSubscribed) {
            EXPECT_EQ(b.root, sentinel + 1) << c.name;   // left as it was
        } else if (c.tables == 0) {
            EXPECT_EQ(b.root, nullptr) << c.name;
        }
    }
}

TEST(DecodeTables, FixedLiteralLengthCode)
{
    Built b;
    const std::vector<uint16_t> l = Lengths({{144, 8}, {112, 9}, {24, 7}, {8, 8}});
    b.Build(l, 257, 7, LengthBase, LengthExtra);
    EXPECT_EQ(b.status, CodeComplete);
    EXPECT_EQ(b.bits, 7);
    EXPECT_EQ(b.Tables(), 105);
    EXPECT_EQ(b.SubTableWidths(), (std::map<int, int>{{1, 76}, {2, 28}}));
    // 286 and 287 have codes, but decode as invalid.
    const HuffmanCode& fixed = FixedLiterals();
    for (int symbol : {286, 287}) {
        int used = 0;
        EXPECT_EQ(b.Lookup(Reversed(fixed.codes[size_t(symbol)], 8), used).Extra, ExtraInvalid);
    }
}

TEST(DecodeTables, IncompleteCodesDecodeTheirGapsAsInvalid)
{
    {
        // Fixed distances: the patterns of symbols 30 and 31 are gaps.
        Built b;
        b.Build(Lengths({{30, 5}}), 0, 5, DistBase, DistExtra);
        for (uint32_t code : {30u, 31u})
            EXPECT_EQ(b.root[Reversed(code, 5)].Extra, ExtraInvalid) << code;
        EXPECT_EQ(b.root[Reversed(29, 5)].Value, 24577);
    }
    {
        // Fillers come after the last symbol, whatever the zero-length
        // symbols around it; they repeat the last symbol's value.
        Built b;
        b.Build({2, 0, 2, 2, 0}, 5, 7);
        EXPECT_EQ(b.status, CodeIncomplete);
        EXPECT_EQ(b.root[Reversed(3, 2)].Extra, ExtraInvalid);
        EXPECT_EQ(b.root[Reversed(3, 2)].Value, 3);
        EXPECT_EQ(b.root[Reversed(2, 2)].Value, 3);
        EXPECT_EQ(b.root[Reversed(2, 2)].Extra, ExtraLiteral);
    }
    {
        // A lone code of length 1: complete for the status, the other bit
        // pattern still invalid.
        Built b;
        b.Build({0, 0, 1}, 3, 7);
        EXPECT_EQ(b.root[0].Extra, ExtraLiteral);
        EXPECT_EQ(b.root[0].Value, 2);
        EXPECT_EQ(b.root[1].Extra, ExtraInvalid);
    }
}

TEST(DecodeTables, RootIsCutAtTheEndOfBlockCode)
{
    Built b;
    std::vector<uint16_t> l(257, 9);
    l[256] = 1;
    b.Build(l, 257, 9, LengthBase, LengthExtra);
    EXPECT_EQ(b.status, CodeComplete);
    EXPECT_EQ(b.bits, 1);
    EXPECT_EQ(b.Tables(), 2);
    EXPECT_EQ(b.SubTableWidths(), (std::map<int, int>{{8, 1}}));
    EXPECT_EQ(b.root[0].Extra, ExtraEndOfBlock);
    EXPECT_EQ(b.root[0].Value, 256);
}

TEST(DecodeTables, ChainsCollectEveryTableAndRelease)
{
    DecodeEntry* chain = nullptr;
    FreeDecodeTables(chain);   // an empty chain is fine
    EXPECT_EQ(chain, nullptr);
    // Two codes into one chain, the way a dynamic block keeps its pair.
    Built b;
    b.Build(Lengths({{144, 8}, {112, 9}, {24, 7}, {8, 8}}), 257, 7, LengthBase, LengthExtra);
    DecodeEntry* firstHead = b.chain;
    DecodeEntry* distRoot = nullptr;
    int32_t bits = 5;
    const std::vector<uint16_t> dist = Lengths({{30, 5}});
    BuildDecodeTable(dist.data(), 30, 0, DistBase, DistExtra, distRoot, b.chain, bits);
    EXPECT_EQ(b.Tables(), 106);
    EXPECT_EQ((b.chain - 1)->Next, firstHead);
    FreeDecodeTables(b.chain);   // the sanitizer build sees any table left behind
    EXPECT_EQ(b.chain, nullptr);
}

// Random codes, complete and incomplete, of lengths up to 16, with every
// wished root width: every input pattern must decode to the symbol whose code
// it starts with, taking exactly that code's bits, or be invalid when no code
// matches.
TEST(DecodeTables, EveryPatternDecodesLikeTheCanonicalCode)
{
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525 + 1013904223;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 400; round++) {
        const uint32_t n = 2 + next(287);
        const int maxLength = 1 + int(next(round % 4 == 0 ? 16 : 11));
        // Split random leaves of a code tree until there are enough.
        std::vector<int> leaves = {0};
        while (leaves.size() < n) {
            const size_t at = next(uint32_t(leaves.size()));
            if (leaves[at] >= maxLength)
                break;
            leaves[at]++;
            leaves.push_back(leaves[at]);
        }
        if (leaves.size() < 2)
            leaves = {1, 1};
        if (round % 3 == 0)   // make it incomplete
            leaves.erase(leaves.begin() + long(next(uint32_t(leaves.size()))));
        std::vector<uint16_t> lengths(n, 0);
        for (int leaf : leaves)
            lengths[next(n)] = uint16_t(leaf);   // collisions only drop codes
        const uint16_t s = uint16_t(next(n + 1));
        std::vector<uint16_t> base(n);
        std::vector<uint8_t> extra(n);
        for (uint32_t v = 0; v < n; v++) {
            base[v] = uint16_t(1000 + v);
            extra[v] = uint8_t(v % 14);
        }
        Built b;
        b.Build(lengths, s, int32_t(next(18)), base.data(), extra.data());
        ASSERT_NE(b.status, CodeOverSubscribed) << round;

        // What each input pattern of the longest length starts with.
        const HuffmanCode code = Canonical(std::vector<int>(lengths.begin(), lengths.end()));
        int longest = 0;
        for (uint16_t len : lengths)
            longest = std::max<int>(longest, len);
        if (longest == 0) {
            EXPECT_EQ(b.root, nullptr);
            continue;
        }
        std::vector<uint32_t> symbolAt(1u << longest, n);
        for (uint32_t v = 0; v < n; v++) {
            const int len = lengths[v];
            if (len == 0)
                continue;
            for (uint32_t high = 0; high < (1u << (longest - len)); high++)
                symbolAt[Reversed(code.codes[v], len) | high << len] = v;
        }
        for (uint32_t input = 0; input < (1u << longest); input++) {
            int used = 0;
            const DecodeEntry& e = b.Lookup(input, used);
            const uint32_t symbol = symbolAt[input];
            if (symbol == n) {
                ASSERT_EQ(e.Extra, ExtraInvalid) << round << " " << input;
                continue;
            }
            ASSERT_EQ(used, lengths[symbol]) << round << " " << input;
            if (symbol < s) {
                ASSERT_EQ(e.Value, symbol) << round;
                ASSERT_EQ(e.Extra, symbol < 256 ? ExtraLiteral : ExtraEndOfBlock) << round;
            } else {
                ASSERT_EQ(e.Value, base[symbol - s]) << round;
                ASSERT_EQ(e.Extra, extra[symbol - s]) << round;
            }
        }
    }
}

TEST(DecodeTables, LongestCodesWithAFullRoot)
{
    // 288 codes of length 16 leave 65248 fillers of that length: the widest
    // root there can be.
    Built b;
    b.Build(Lengths({{288, 16}}), 288, 16);
    EXPECT_EQ(b.status, CodeIncomplete);
    EXPECT_EQ(b.bits, 16);
    int used = 0;
    EXPECT_EQ(b.Lookup(Reversed(287, 16), used).Value, 287);
    EXPECT_EQ(b.Lookup(Reversed(288, 16), used).Extra, ExtraInvalid);
    EXPECT_EQ(b.Lookup(0xFFFF, used).Extra, ExtraInvalid);
}

}  // namespace
