// Writes deflate streams by hand, bit by bit, so that a test can build the
// exact stream that shows one behaviour of the decoder, valid or not.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A canonical Huffman code (RFC 1951, 3.2.2) given by its code lengths.
struct HuffmanCode {
    std::vector<int> lengths;
    std::vector<uint32_t> codes;
};
HuffmanCode Canonical(const std::vector<int>& lengths);
// The fixed codes, with all 288 and 32 symbols so that the invalid ones can
// be written too.
const HuffmanCode& FixedLiterals();
const HuffmanCode& FixedDistances();

class DeflateWriter {
public:
    // Values go least significant bit first; Huffman codes most significant first.
    void Bits(uint32_t value, int count);
    void Code(uint32_t code, int length);
    void Header(bool last, int type);

    // A whole stored block; `nlenFlip` is XORed into NLEN.
    void Stored(bool last, const std::string& data, uint16_t nlenFlip = 0);
    // Only the header of a stored block, up to NLEN.
    void StoredHeader(bool last, uint32_t length, uint32_t nlen);
    // A dynamic block header for these codes. `items` are the code-length
    // symbols with their extra values; when empty every length is sent as
    // itself. `lengthCode` is the code-length code (19 lengths); when empty
    // symbols 0-12 get 4 bits and 13-18 get 5.
    void DynamicHeader(bool last, const HuffmanCode& lit, const HuffmanCode& dist,
                       const std::vector<std::pair<int, int>>& items = {},
                       std::vector<int> lengthCode = {});
    void Symbol(const HuffmanCode& code, int symbol);
    void Literals(const HuffmanCode& lit, const std::string& text);
    void Match(const HuffmanCode& lit, const HuffmanCode& dist, int length, int distance);
    void EndOfBlock(const HuffmanCode& lit) { Symbol(lit, 256); }

    std::vector<uint8_t> bytes;

private:
    int bit_ = 0;
};
