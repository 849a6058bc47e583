#include "text_codec.h"

#include <cstdint>

namespace {

// Code points of the bytes 0x80 to 0x9F. The five bytes Windows-1252 leaves
// unassigned map to the C1 controls of the same value, as Windows does.
const uint16_t High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string Cp1252ToUtf8(const std::string& cp1252)
{
    std::string out;
    for (unsigned char b : cp1252)
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? High[b - 0x80] : b);
    return out;
}

bool Utf8ToCp1252(const std::string& utf8, std::string& cp1252)
{
    cp1252.clear();
    for (size_t i = 0; i < utf8.size();) {
        unsigned char b = utf8[i];
        uint32_t c;
        size_t n;
        if (b < 0x80) {
            c = b;
            n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            n = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            n = 4;
        } else {
            return false;
        }
        if (i + n > utf8.size())
            return false;
        for (size_t k = 1; k < n; k++) {
            unsigned char t = utf8[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            c = c << 6 | (t & 0x3F);
        }
        static const uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < Smallest[n])
            return false;   // overlong form
        i += n;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            cp1252 += char(c);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; k++)
            if (High[k] == c)
                found = k;
        if (found < 0)
            return false;
        cp1252 += char(0x80 + found);
    }
    return true;
}
