#include "storage/value_escape.h"

#include "rtl/hex.h"

namespace brevor {

namespace {

std::string_view UpToNul(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

std::string EscapeStoreText(std::string_view text) {
    text = UpToNul(text);
    const std::size_t firstNonBlank = text.find_first_not_of(' ');
    const std::size_t lastNonBlank = text.find_last_not_of(' ');
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ') {
            const bool edge =
                firstNonBlank == std::string_view::npos || i < firstNonBlank || i > lastNonBlank;
            out += edge ? '+' : ' ';
        } else if (c == '%') {
            out += "%%";
        } else if (c < 0x20 || c == '+') {
            AppendHexEscape(out, '%', c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UnescapeStoreText(std::string_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c != '%') {
            out += c;
        } else if (i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (const int byte =
                       i + 2 < text.size() ? HexPairValue(text[i + 1], text[i + 2]) : -1;
                   byte >= 0) {
            if (byte == 0) break;
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += '%';
        }
    }
    return out;
}

}  // namespace brevor
