#include "platform/code_page.h"

#include <array>

namespace brevor::platform {

namespace {

// Unicode code points of the bytes 0x80-0x9F; the other bytes map to the same code point.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

unsigned char Lower(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    switch (c) {
        case 0x8A:
        case 0x8C:
        case 0x8E:
            return static_cast<unsigned char>(c + 0x10);
        case 0x9F:
            return 0xFF;
        default:
            break;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    return c;
}

unsigned char Upper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    switch (c) {
        case 0x9A:
        case 0x9C:
        case 0x9E:
            return static_cast<unsigned char>(c - 0x10);
        case 0xFF:
            return 0x9F;
        default:
            break;
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    return c;
}

}  // namespace

char AnsiLowerChar(char c) {
    return static_cast<char>(Lower(static_cast<unsigned char>(c)));
}
char AnsiUpperChar(char c) {
    return static_cast<char>(Upper(static_cast<unsigned char>(c)));
}

std::string AnsiLowerCase(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = AnsiLowerChar(c);
    return out;
}

std::string AnsiUpperCase(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = AnsiUpperChar(c);
    return out;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int ca = Upper(static_cast<unsigned char>(a[i]));
        const int cb = Upper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca - cb;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::u16string AnsiToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        out.push_back(c >= 0x80 && c <= 0x9F ? kHigh[c - 0x80] : static_cast<char16_t>(c));
    }
    return out;
}

std::string Utf16ToAnsi(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t u : s) {
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        char mapped = '?';
        for (size_t i = 0; i < kHigh.size(); ++i) {
            if (kHigh[i] == u) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.push_back(mapped);
    }
    return out;
}

}  // namespace brevor::platform
