#include "rtl/hex.h"

#include <gtest/gtest.h>

#include <string>

namespace brevor {
namespace {

TEST(Hex, DigitsOfEitherCaseAndNothingElse) {
    for (int c = 0; c < 256; ++c) {
        int expected = -1;
        if (c >= '0' && c <= '9') expected = c - '0';
        if (c >= 'a' && c <= 'f') expected = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') expected = c - 'A' + 10;
        EXPECT_EQ(HexDigitValue(static_cast<char>(c)), expected) << c;
        EXPECT_EQ(HexDigitValue(static_cast<char16_t>(c)), expected) << c;
        // A UTF-16 unit whose low byte is a digit is no digit.
        EXPECT_EQ(HexDigitValue(static_cast<char16_t>(0x100 + c)), -1) << c;
    }
    EXPECT_EQ(HexPairValue('f', 'F'), 255);
    EXPECT_EQ(HexPairValue('0', 'g'), -1);
    EXPECT_EQ(HexPairValue(u'G', u'0'), -1);
}

TEST(Hex, EscapeWritesUpperCaseDigitsThatReadBack) {
    std::string bytes;
    std::u16string units;
    for (unsigned v = 0; v < 256; ++v) {
        bytes.clear();
        AppendHexEscape(bytes, '#', v);
        units.clear();
        AppendHexEscape(units, u'%', v);
        ASSERT_EQ(bytes.size(), 3u);
        EXPECT_EQ(bytes[0], '#');
        EXPECT_EQ(HexPairValue(bytes[1], bytes[2]), static_cast<int>(v));
        EXPECT_EQ(bytes.find_first_of("abcdef"), std::string::npos);
        EXPECT_EQ(units, std::u16string(bytes.begin(), bytes.end()).replace(0, 1, u"%"));
    }
}

}  // namespace
}  // namespace brevor
