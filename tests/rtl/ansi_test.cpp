#include "rtl/ansi.h"

#include <gtest/gtest.h>

namespace brevor {
namespace {

TEST(Ansi, CaseMappingFollowsWindows1252) {
    struct Case {
        std::string mixed, lower, upper;
    };
    const Case cases[] = {
        {"INI-File", "ini-file", "INI-FILE"},
        {"\xC4pfel \xD7 \xDF", "\xE4pfel \xD7 \xDF", "\xC4PFEL \xD7 \xDF"},  // multiply sign stays
        {"\x8A\x9A\x9F\xFF", "\x9A\x9A\xFF\xFF", "\x8A\x8A\x9F\x9F"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(AnsiLowerCase(c.mixed), c.lower);
        EXPECT_EQ(AnsiUpperCase(c.mixed), c.upper);
    }
    EXPECT_EQ(AsciiLowerCase("ABC\xC4"), "abc\xC4");
    EXPECT_TRUE(AnsiSameText("Mode3\\Schedule", "MODE3\\schedule"));
    EXPECT_FALSE(AnsiSameText("abc", "abcd"));
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
}

TEST(Ansi, Utf16RoundTrip) {
    const std::string all = [] {
        std::string s;
        for (int c = 1; c < 256; ++c)
            s.push_back(static_cast<char>(c));
        return s;
    }();
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
    EXPECT_EQ(AnsiToUtf16("\x80"), u"\u20AC");
    EXPECT_EQ(Utf16ToAnsi(u"\u4E2D"), "?");
}

}  // namespace
}  // namespace brevor
