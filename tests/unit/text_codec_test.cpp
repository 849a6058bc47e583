#include <gtest/gtest.h>

#include "text_codec.h"

namespace {

TEST(TextCodec, RoundTripsEveryWindows1252Byte)
{
    std::string all;
    for (int b = 1; b < 256; b++)
        all += char(b);
    std::string back;
    ASSERT_TRUE(Utf8ToCp1252(Cp1252ToUtf8(all), back));
    EXPECT_EQ(back, all);
}

TEST(TextCodec, Conversions)
{
    const struct {
        const char* utf8;
        const char* cp1252;
    } cases[] = {
        {"caf\xc3\xa9", "caf\xe9"},
        {"\xe2\x82\xac 5", "\x80 5"},
        {"\xc5\x93uvre", "\x9cuvre"},
        {"R\xc3\xa9pertoire", "R\xe9pertoire"},
    };
    for (const auto& c : cases) {
        std::string out;
        ASSERT_TRUE(Utf8ToCp1252(c.utf8, out)) << c.utf8;
        EXPECT_EQ(out, c.cp1252);
        EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
    }
}

TEST(TextCodec, RefusesWhatDoesNotConvert)
{
    std::string out;
    for (const char* text : {"\xe4\xb8\xad", "\xf0\x9f\x98\x80", "\xc3", "\xc0\xaf", "\xff", "\xe2\x82"})
        EXPECT_FALSE(Utf8ToCp1252(text, out)) << text;
}

}  // namespace
