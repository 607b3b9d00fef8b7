#pragma once

// Hexadecimal digits and the escapes built from them: an escape character followed by two
// hexadecimal digits stands for one code unit below 0x100. The file feed decodes "#XX" in the
// data it sends, the settings store writes and reads "%XX" in text values, and the translator
// "%XX" in language-file texts; each adds rules of its own around this common core. Works on
// 8-bit and UTF-16 text alike.

#include <string>

namespace brevor {

// The value of a hexadecimal digit of either case, or -1.
template <typename Char>
constexpr int HexDigitValue(Char c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a') + 10;
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A') + 10;
    return -1;
}

// The code unit two digits write (0..255), or -1 when either is not a hexadecimal digit.
template <typename Char>
constexpr int HexPairValue(Char high, Char low) {
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

// The upper-case digit of the low four bits of v.
constexpr char HexDigitChar(unsigned v) {
    return "0123456789ABCDEF"[v & 15];
}

// Appends escape and the two upper-case digits of unit (0..255).
template <typename Char>
void AppendHexEscape(std::basic_string<Char> &out, Char escape, unsigned unit) {
    out += escape;
    out += static_cast<Char>(HexDigitChar(unit >> 4));
    out += static_cast<Char>(HexDigitChar(unit));
}

}  // namespace brevor
