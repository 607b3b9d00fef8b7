// The system's ANSI code page: conversions and case mapping as the system itself does them, so
// that texts of the host (file names, settings, translations) mean what they mean to it.

#include <array>

#include "platform/code_page.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

// Case of single bytes, asked of the system once. Whole texts go to the system as they are, so
// that a double-byte code page's trail bytes are never taken for letters.
class TByteCase {
public:
    TByteCase() {
        for (int i = 0; i < 256; ++i) {
            char lower = static_cast<char>(i);
            char upper = static_cast<char>(i);
            if (i != 0 && ::IsDBCSLeadByte(static_cast<BYTE>(i)) == FALSE) {
                ::CharLowerBuffA(&lower, 1);
                ::CharUpperBuffA(&upper, 1);
            }
            lower_[static_cast<std::size_t>(i)] = lower;
            upper_[static_cast<std::size_t>(i)] = upper;
        }
    }
    char Lower(char c) const { return lower_[static_cast<unsigned char>(c)]; }
    char Upper(char c) const { return upper_[static_cast<unsigned char>(c)]; }

private:
    std::array<char, 256> lower_{};
    std::array<char, 256> upper_{};
};

const TByteCase &ByteCase() {
    static const TByteCase table;
    return table;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    if (!out.empty()) ::CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

}  // namespace

char AnsiLowerChar(char c) {
    return ByteCase().Lower(c);
}

char AnsiUpperChar(char c) {
    return ByteCase().Upper(c);
}

std::string AnsiLowerCase(std::string_view s) {
    std::string out(s);
    if (!out.empty()) ::CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string AnsiUpperCase(std::string_view s) {
    return Upper(s);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const std::string ua = Upper(a);
    const std::string ub = Upper(b);
    const std::size_t n = ua.size() < ub.size() ? ua.size() : ub.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = static_cast<unsigned char>(ua[i]);
        const int cb = static_cast<unsigned char>(ub[i]);
        if (ca != cb) return ca - cb;
    }
    return ua.size() < ub.size() ? -1 : (ua.size() > ub.size() ? 1 : 0);
}

std::u16string AnsiToUtf16(std::string_view s) {
    if (s.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), wide.data(), n);
    return std::u16string(wide.begin(), wide.end());
}

std::string Utf16ToAnsi(std::u16string_view s) {
    if (s.empty()) return {};
    const std::wstring wide(s.begin(), s.end());
    // No best fit: a character the code page lacks becomes "?", never a look-alike letter.
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                        static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          out.data(), n, "?", nullptr);
    return out;
}

}  // namespace brevor::platform
