#include "messages/language_file.h"

#include <array>
#include <utility>

#include "rtl/ansi.h"

namespace brevor {
namespace {

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool IsSpaceOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimControls(std::string_view s) {
    while (!s.empty() && IsSpaceOrControl(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpaceOrControl(s.back()))
        s.remove_suffix(1);
    return s;
}

// Calls visit(line) for every line: lines end with LF or CR LF; a lone CR stays in the line; a
// last line without a line end still counts.
template <typename F>
void ForEachLine(std::string_view bytes, F &&visit) {
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        std::size_t end = lf == std::string_view::npos ? bytes.size() : lf;
        std::string_view line = bytes.substr(start, end - start);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!visit(line)) return;
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
}

// The value of a name=value directive: after the first "=", trimmed, ASCII letters lowered.
std::string DirectiveValue(std::string_view head) {
    std::size_t eq = head.find('=');
    if (eq == std::string_view::npos) return {};
    return AsciiLowerCase(TrimControls(head.substr(eq + 1)));
}

// A locale id written in decimal or as hexadecimal with "0x"; 0 when it is not a number that
// fits a positive 31-bit id.
std::uint32_t ParseLocaleId(std::string_view value) {
    int base = 10;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        value.remove_prefix(2);
    }
    if (value.empty() || value.size() > 10) return 0;
    std::uint64_t n = 0;
    for (char c : value) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return 0;
        n = n * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
        if (n > 0x7FFFFFFFu) return 0;
    }
    return static_cast<std::uint32_t>(n);
}

// Applies a header directive; true when the line is used up by it.
bool ApplyDirective(std::string_view line, TLanguageFileSettings &settings) {
    const std::string_view head = TrimControls(line.substr(0, 50));
    if (head == "//filenew") {
        settings.FileMode = 0;
    } else if (head == "//filerewrite") {
        settings.FileMode = 1;
    } else if (head == "//fileappend") {
        settings.FileMode = 2;
    } else if (head.find("Encoding=") != std::string_view::npos) {
        const std::string v = DirectiveValue(head);
        if (v == "utf-8")
            settings.Encoding = 1;
        else if (v == "utf-16")
            settings.Encoding = 2;
        else if (v == "unicode")
            settings.Encoding = 3;
        return true;
    } else if (head.find("BiDiMode=") != std::string_view::npos) {
        const std::string v = DirectiveValue(head);
        if (v == "righttoleft")
            settings.BiDiMode = 1;
        else if (v == "righttoleftnoalign")
            settings.BiDiMode = 2;
        else if (v == "righttoleftreadingonly")
            settings.BiDiMode = 3;
        return true;
    } else if (head.find("Locale=") != std::string_view::npos) {
        const std::uint32_t id = ParseLocaleId(DirectiveValue(head));
        if (id > 0) {
            settings.Locale = id;
            settings.LocaleChanged = true;
        }
        return true;
    } else if (head.find("Charset=") != std::string_view::npos) {
        const int set = LanguageCharsetOf(DirectiveValue(head));
        if (set >= 0) settings.Charset = set;
        return true;
    } else if (head == "//saveuntr") {
        settings.SaveMode = 1;
    } else if (head == "//saveuntrobj") {
        settings.SaveMode = 4;
    } else if (head == "//saveunused") {
        settings.SaveMode = 3;
    } else if (head == "//saveall") {
        settings.SaveMode = 2;
    }
    return false;
}

}  // namespace

int LanguageCharsetOf(std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, int>, 15> kSets{{
        {"windows-1250", 238},
        {"windows-1251", 204},
        {"windows-1252", 0},
        {"windows-1253", 161},
        {"windows-1254", 162},
        {"windows-1255", 177},
        {"windows-1256", 178},
        {"windows-1257", 186},
        {"windows-1258", 163},
        {"windows-874", 222},
        {"shift-jis", 128},
        {"hangeul", 129},
        {"johab", 130},
        {"gb2312", 134},
        {"chinesebig5", 136},
    }};
    for (const auto &[name, set] : kSets)
        if (name == value) return set;
    return -1;
}

int ReadLanguageText(std::string_view bytes, std::string_view source, std::string_view target,
                     TLanguageFileSettings &settings,
                     const std::function<void(std::string_view, std::string_view)> &onPair) {
    int count = 0;
    int lineNo = 0;
    std::string_view sourceText, targetText;
    ForEachLine(bytes, [&](std::string_view raw) {
        ++lineNo;
        const std::string_view line = TrimSpaces(raw);
        if (lineNo <= kLanguageHeaderLines && ApplyDirective(line, settings)) return true;
        if (line.starts_with("//")) return true;
        if (line.empty()) {
            if (!sourceText.empty() && !targetText.empty()) {
                ++count;
                if (onPair) onPair(sourceText, targetText);
            }
            sourceText = {};
            targetText = {};
            return true;
        }
        const std::size_t mark = line.find(":>");
        if (mark == std::string_view::npos) return true;
        const std::string_view code = line.substr(0, mark);
        const std::string_view text = line.substr(mark + 2);
        // Source first: translating a language into itself yields no pairs.
        if (code == source)
            sourceText = text;
        else if (code == target)
            targetText = text;
        return true;
    });
    return count;
}

std::vector<TIniKeyValue> ReadIniSection(std::string_view bytes, std::string_view section) {
    std::vector<TIniKeyValue> result;
    bool inside = false;
    ForEachLine(bytes, [&](std::string_view raw) {
        std::string_view line = TrimControls(raw);
        if (line.empty() || line.front() == ';') return true;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
            inside = AnsiSameText(TrimControls(name), section);
            return true;
        }
        if (!inside) return true;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return true;
        const std::string_view key = TrimControls(line.substr(0, eq));
        if (key.empty()) return true;
        for (const auto &kv : result)
            if (AnsiSameText(kv.Key, key)) return true;
        result.push_back({std::string(key), std::string(TrimControls(line.substr(eq + 1)))});
        return true;
    });
    return result;
}

}  // namespace brevor
