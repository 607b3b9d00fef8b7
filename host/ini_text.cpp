#include "ini_text.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace brevor::host {

namespace {

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

}  // namespace

TIniText::TIniText(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
    }
}

void TIniText::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string entry = std::string(key) + "=" + std::string(value);
    size_t i = 0;
    bool inSection = false;
    size_t sectionEnd = lines_.size();
    for (; i < lines_.size(); ++i) {
        const std::string_view t = Trim(lines_[i]);
        if (!t.empty() && t.front() == '[') {
            if (inSection) {
                sectionEnd = i;
                break;
            }
            const auto close = t.find(']');
            inSection =
                close != std::string_view::npos && SameAscii(Trim(t.substr(1, close - 1)), section);
            continue;
        }
        if (inSection) {
            const auto eq = t.find('=');
            if (eq != std::string_view::npos && SameAscii(Trim(t.substr(0, eq)), key)) {
                lines_[i] = entry;
                return;
            }
        }
    }
    if (!inSection) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(entry);
        return;
    }
    // Insert after the section's last non-empty line.
    size_t at = sectionEnd;
    while (at > 0 && Trim(lines_[at - 1]).empty())
        --at;
    lines_.insert(lines_.begin() + static_cast<long>(at), entry);
}

bool TIniText::Save() const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const std::string &line : lines_)
        out << line << "\r\n";
    return static_cast<bool>(out);
}

std::string TIniText::Escape(std::string_view text) {
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    std::string out;
    char hex[4];
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == ' ') {
            out += (first == std::string_view::npos || i < first || i > last) ? '+' : ' ';
        } else if (c == '%') {
            out += "%%";
        } else if (c < 0x20 || c == '+') {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace brevor::host
