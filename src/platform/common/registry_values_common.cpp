// The registry's typed values and the text format of a values file: plain computation, the same
// on every platform.

#include <set>

#include "platform/code_page.h"
#include "platform/common/hex_digits.h"
#include "platform/registry.h"

namespace brevor::platform {

namespace {

using detail::AppendHexByte;
using detail::HexDigit;

const char kHeader[] = "BREVOR-REGISTRY 1\n";

const char *TypeName(RegType type) {
    switch (type) {
        case RegType::Sz:
            return "REG_SZ";
        case RegType::ExpandSz:
            return "REG_EXPAND_SZ";
        case RegType::Dword:
            return "REG_DWORD";
        case RegType::Binary:
            return "REG_BINARY";
        default:
            return nullptr;
    }
}

void AppendEscaped(std::string &out, std::string_view bytes) {
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '%') {
            out += '%';
            AppendHexByte(out, u);
        } else {
            out += c;
        }
    }
}

// Strict: raw control bytes and "%" without two hex digits are errors.
bool Unescape(std::string_view text, std::string &out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (u < 0x20 || u == 0x7F) return false;
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = HexDigit(text[i + 1]);
        const int lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool ParseData(RegType type, std::string_view text, std::string &data) {
    switch (type) {
        case RegType::Sz:
        case RegType::ExpandSz:
            return Unescape(text, data);
        case RegType::Dword: {
            if (text.empty() || text.size() > 10) return false;
            std::uint64_t value = 0;
            for (const char c : text) {
                if (c < '0' || c > '9') return false;
                value = value * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (value > 0xFFFFFFFFull) return false;
            data = RegValue::Dword(static_cast<std::uint32_t>(value)).data;
            return true;
        }
        case RegType::Binary: {
            if (text.size() % 2 != 0) return false;
            data.clear();
            for (std::size_t i = 0; i < text.size(); i += 2) {
                const int hi = HexDigit(text[i]);
                const int lo = HexDigit(text[i + 1]);
                if (hi < 0 || lo < 0) return false;
                data += static_cast<char>(hi * 16 + lo);
            }
            return true;
        }
        default:
            return false;
    }
}

bool ParseType(std::string_view text, RegType &type) {
    for (const RegType t : {RegType::Sz, RegType::ExpandSz, RegType::Dword, RegType::Binary})
        if (text == TypeName(t)) {
            type = t;
            return true;
        }
    return false;
}

bool ValidValue(const RegValue &value) {
    return TypeName(value.type) != nullptr &&
           (value.type != RegType::Dword || value.data.size() == 4);
}

}  // namespace

bool RegValue::Storable() const {
    return ValidValue(*this);
}

RegValue RegValue::Text(std::string_view text, RegType type) {
    return RegValue{type, std::string(text)};
}

RegValue RegValue::Dword(std::uint32_t value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return RegValue{RegType::Dword, data};
}

RegValue RegValue::Binary(std::string_view bytes) {
    return RegValue{RegType::Binary, std::string(bytes)};
}

bool ParseRegistryValues(std::string_view content, std::vector<RegNamedValue> &values) {
    values.clear();
    const std::string_view header = kHeader;
    if (content.substr(0, header.size()) != header) return false;
    content.remove_prefix(header.size());
    std::vector<RegNamedValue> parsed;
    std::set<std::string> names;  // folded
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        if (end == std::string_view::npos) return false;  // cut short
        const std::string_view line = content.substr(0, end);
        content.remove_prefix(end + 1);
        const std::size_t tab1 = line.find('\t');
        if (tab1 == std::string_view::npos) return false;
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) return false;
        RegNamedValue entry;
        if (!ParseType(line.substr(0, tab1), entry.value.type)) return false;
        if (!Unescape(line.substr(tab1 + 1, tab2 - tab1 - 1), entry.name)) return false;
        if (!ParseData(entry.value.type, line.substr(tab2 + 1), entry.value.data)) return false;
        if (!names.insert(AnsiUpperCase(entry.name)).second) return false;
        parsed.push_back(std::move(entry));
    }
    values = std::move(parsed);
    return true;
}

std::string FormatRegistryValues(const std::vector<RegNamedValue> &values) {
    std::string out = kHeader;
    for (const RegNamedValue &entry : values) {
        if (!ValidValue(entry.value)) continue;
        out += TypeName(entry.value.type);
        out += '\t';
        AppendEscaped(out, entry.name);
        out += '\t';
        const std::string &data = entry.value.data;
        switch (entry.value.type) {
            case RegType::Dword: {
                std::uint32_t v = 0;
                for (int i = 3; i >= 0; --i)
                    v = (v << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
                out += std::to_string(v);
                break;
            }
            case RegType::Binary:
                for (const char c : data)
                    AppendHexByte(out, static_cast<unsigned char>(c));
                break;
            default:
                AppendEscaped(out, data);
                break;
        }
        out += '\n';
    }
    return out;
}

}  // namespace brevor::platform
