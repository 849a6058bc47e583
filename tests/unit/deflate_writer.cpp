#include "deflate_writer.h"

#include <stdexcept>

namespace {

// RFC 1951, 3.2.5: first length of symbols 257-285 and first distance of
// symbols 0-29, with their extra bits.
const int LengthStart[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int LengthBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int DistanceStart[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int DistanceBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                              6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The last symbol whose range starts at or below `value`.
int Slot(const int* start, int count, int value)
{
    int s = 0;
    while (s + 1 < count && start[s + 1] <= value)
        s++;
    return s;
}

}  // namespace

HuffmanCode Canonical(const std::vector<int>& lengths)
{
    HuffmanCode h;
    h.lengths = lengths;
    h.codes.assign(lengths.size(), 0);
    uint32_t next = 0;
    for (int len = 1; len <= 16; len++) {
        for (size_t s = 0; s < lengths.size(); s++)
            if (lengths[s] == len)
                h.codes[s] = next++;
        next <<= 1;
    }
    return h;
}

const HuffmanCode& FixedLiterals()
{
    static const HuffmanCode code = [] {
        std::vector<int> l(288);
        for (int s = 0; s < 288; s++)
            l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        return Canonical(l);
    }();
    return code;
}

const HuffmanCode& FixedDistances()
{
    static const HuffmanCode code = Canonical(std::vector<int>(32, 5));
    return code;
}

void DeflateWriter::Bits(uint32_t value, int count)
{
    for (int i = 0; i < count; i++) {
        if (bit_ == 0)
            bytes.push_back(0);
        bytes.back() |= uint8_t((value >> i & 1) << bit_);
        bit_ = (bit_ + 1) & 7;
    }
}

void DeflateWriter::Code(uint32_t code, int length)
{
    for (int i = length - 1; i >= 0; i--)
        Bits(code >> i & 1, 1);
}

void DeflateWriter::Header(bool last, int type)
{
    Bits(last ? 1 : 0, 1);
    Bits(uint32_t(type), 2);
}

void DeflateWriter::StoredHeader(bool last, uint32_t length, uint32_t nlen)
{
    Header(last, 0);
    bit_ = 0;
    Bits(length, 16);
    Bits(nlen, 16);
}

void DeflateWriter::Stored(bool last, const std::string& data, uint16_t nlenFlip)
{
    StoredHeader(last, uint32_t(data.size()), ~uint32_t(data.size()) ^ nlenFlip);
    for (char c : data)
        Bits(uint8_t(c), 8);
}

void DeflateWriter::DynamicHeader(bool last, const HuffmanCode& lit, const HuffmanCode& dist,
                                  const std::vector<std::pair<int, int>>& items,
                                  std::vector<int> lengthCode)
{
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    if (lengthCode.empty())
        for (int s = 0; s < 19; s++)
            lengthCode.push_back(s < 13 ? 4 : 5);
    const HuffmanCode cl = Canonical(lengthCode);
    Header(last, 2);
    Bits(uint32_t(lit.lengths.size() - 257), 5);
    Bits(uint32_t(dist.lengths.size() - 1), 5);
    Bits(15, 4);
    for (int s : order)
        Bits(uint32_t(lengthCode[size_t(s)]), 3);
    std::vector<std::pair<int, int>> sent = items;
    if (sent.empty()) {
        for (int l : lit.lengths)
            sent.push_back({l, 0});
        for (int l : dist.lengths)
            sent.push_back({l, 0});
    }
    for (auto [symbol, extra] : sent) {
        Symbol(cl, symbol);
        if (symbol >= 16)
            Bits(uint32_t(extra), symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
    }
}

void DeflateWriter::Symbol(const HuffmanCode& code, int symbol)
{
    if (code.lengths.at(size_t(symbol)) == 0)
        throw std::logic_error("symbol without a code");
    Code(code.codes[size_t(symbol)], code.lengths[size_t(symbol)]);
}

void DeflateWriter::Literals(const HuffmanCode& lit, const std::string& text)
{
    for (char c : text)
        Symbol(lit, uint8_t(c));
}

void DeflateWriter::Match(const HuffmanCode& lit, const HuffmanCode& dist, int length,
                          int distance)
{
    const int ls = length == 258 ? 28 : Slot(LengthStart, 28, length);
    Symbol(lit, 257 + ls);
    Bits(uint32_t(length - LengthStart[ls]), LengthBits[ls]);
    const int ds = Slot(DistanceStart, 30, distance);
    Symbol(dist, ds);
    Bits(uint32_t(distance - DistanceStart[ds]), DistanceBits[ds]);
}
