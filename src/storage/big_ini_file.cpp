#include "storage/big_ini_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unordered_set>

#include "platform/file_faults.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "rtl/ansi.h"

namespace brevor {

namespace {

bool AsciiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Bytes that would end or split a line, or end the whole input, when the file is read back.
bool HasLineBreaker(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0\x1a", 4)) != std::string_view::npos;
}

bool IsHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// The locale's decimal separator: the POSIX layer works in the "C" locale.
constexpr char kDecimalSeparator = '.';

// "Cannot <what> file "<name>": <the system's text>".
std::string FileErrorText(const char *what, const std::string &fileName, int error) {
    return std::string("Cannot ") + what + " file \"" + fileName +
           "\": " + platform::SystemErrorText(error);
}

}  // namespace

// ---------------------------------------------------------------- lines

std::string IniLineName(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::string(line);
    return std::string(TrimBlanks(line.substr(0, eq)));
}

std::string IniLineValue(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {};
    return std::string(TrimBlanks(line.substr(eq + 1)));
}

// ---------------------------------------------------------------- numbers

bool TryIniTextToInt(std::string_view text, std::int32_t &value) {
    std::string_view s = text;
    bool negative = false;
    int base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    } else {
        if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
            negative = s[0] == '-';
            s.remove_prefix(1);
        }
        if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X')) {
            s.remove_prefix(1);
            base = 16;
        } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            s.remove_prefix(2);
            base = 16;
        }
    }
    if (s.empty()) return false;
    std::uint64_t magnitude = 0;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude =
            magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude > 0x80000000ULL) return false;
    }
    if (!negative && magnitude > 0x7FFFFFFFULL) return false;
    const std::int64_t signedValue =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

bool TryIniTextToFloat(std::string_view text, double &value) {
    std::string s(TrimBlanks(text));
    for (char &c : s)
        if (c == ',') c = '.';
    // Grammar: [sign] digits [. digits] [(e|E) [sign] digits], at least one mantissa digit.
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != s.size()) return false;
    const bool negative = s[0] == '-';
    double parsed = 0;
    const char *first = s.data() + mantissaStart;
    const char *last = s.data() + s.size();
    // from_chars wants no sign; an exponent sign "+" is fine for it.
    const auto [ptr, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
    if (ec != std::errc() || ptr != last || !std::isfinite(parsed)) return false;
    value = negative ? -parsed : parsed;
    return true;
}

std::string FloatToGeneralText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    // 15 significant digits: d.dddddddddddddde[+-]xx
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    std::string_view text(buf);
    std::string sign;
    if (text.front() == '-') {
        sign = "-";
        text.remove_prefix(1);
    }
    const std::size_t ePos = text.find('e');
    std::string digits;
    for (char c : text.substr(0, ePos))
        if (c != '.') digits += c;
    int exponent = 0;
    std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+' ? 1 : 0),
                    text.data() + text.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = sign;
    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits + std::string(intDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, intDigits);
                out += kDecimalSeparator;
                out += digits.substr(intDigits);
            }
        } else {
            out += '0';
            out += kDecimalSeparator;
            out += std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += kDecimalSeparator;
        out += digits.substr(1);
    }
    out += 'E';
    if (exponent < 0) out += '-';
    out += std::to_string(exponent < 0 ? -exponent : exponent);
    return out;
}

// ---------------------------------------------------------------- section list

TSectionList::~TSectionList() {
    ClearSections();
}

int TSectionList::AddSection(std::string_view name) {
    auto values = std::make_unique<TSectionValues>();
    const int index = AddObject(name, values.get());
    values.release();
    return index;
}

void TSectionList::DeleteSection(int index) {
    delete Values(index);
    Delete(index);
}

void TSectionList::ClearSections() {
    for (int i = 0; i < Count(); ++i)
        delete Values(i);
    Clear();
}

// ---------------------------------------------------------------- engine

TBigIniFile::TBigIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    if (!fileName_.empty() && platform::FileExists(fileName_)) LoadFromFile();
}

TBigIniFile::~TBigIniFile() {
    try {
        UpdateFile();
    } catch (...) {
        // A destructor cannot report; callers that must know call UpdateFile first.
    }
}

// Turns bytes into the section model, chunk by chunk, so a file passes once through the buffer.
class TBigIniFile::Parser {
public:
    explicit Parser(TSectionList &sections) : sections_(sections) {
        sections_.ClearSections();
        sections_.BeginUpdate();
    }

    // Feeds the next bytes; false once a Ctrl-Z has ended the input.
    bool Feed(std::string_view chunk) {
        if (ended_) return false;
        const std::size_t eof = chunk.find('\x1a');
        if (eof != std::string_view::npos) {
            chunk = chunk.substr(0, eof);
            ended_ = true;
        }
        for (char c : chunk) {
            if (bomPending_ > 0) {
                // A UTF-8 byte-order mark is not part of the text; anything else is.
                static constexpr char kBom[] = "\xEF\xBB\xBF";
                if (c == kBom[3 - bomPending_]) {
                    --bomPending_;
                    continue;
                }
                line_.assign(kBom, static_cast<std::size_t>(3 - bomPending_));
                bomPending_ = 0;
            }
            if (c == '\n')
                EndLine();
            else if (c != '\r')
                line_ += c;
        }
        return !ended_;
    }

    void Finish() {
        if (bomPending_ > 0 && bomPending_ < 3) line_.assign("\xEF\xBB\xBF", 3 - bomPending_);
        bomPending_ = 0;
        EndLine();
        sections_.EndUpdate();
        // Of sections with the same name (ASCII letters folded) the first one with lines wins;
        // sections without lines carry nothing and go too.
        std::unordered_set<std::string> seen;
        for (int i = 0; i < sections_.Count();) {
            if (sections_.Values(i)->Count() == 0 ||
                !seen.insert(AsciiLowerCase(sections_[i])).second)
                sections_.DeleteSection(i);
            else
                ++i;
        }
    }

private:
    void EndLine() {
        if (line_.empty()) return;
        if (IsHeader(line_)) {
            const int index =
                sections_.AddSection(std::string_view(line_).substr(1, line_.size() - 2));
            current_ = sections_.Values(index);
        } else if (current_) {
            current_->Add(line_);
        }
        line_.clear();
    }

    TSectionList &sections_;
    TSectionValues *current_ = nullptr;
    std::string line_;
    int bomPending_ = 3;
    bool ended_ = false;
};

void TBigIniFile::LoadFromFile() {
    std::string bytes;
    int error = 0;
    lastSection_ = 0;
    if (!platform::ReadWholeFile(fileName_, bytes, error)) {
        sections_.ClearSections();
        // Gone since the caller looked: the same as a file that never existed.
        if (platform::IsMissingFileError(error)) return;
        throw EIniFileException(FileErrorText("read", fileName_, error), error);
    }
    Parser parser(sections_);
    parser.Feed(bytes);
    parser.Finish();
}

void TBigIniFile::LoadFromText(std::string_view text) {
    lastSection_ = 0;
    Parser parser(sections_);
    parser.Feed(text);
    parser.Finish();
}

std::string TBigIniFile::ToText() const {
    std::string out;
    for (int i = 0; i < sections_.Count(); ++i) {
        const TSectionValues &values = *sections_.Values(i);
        if (values.Count() == 0) continue;
        out += '[';
        out += sections_[i];
        out += "]\r\n";
        for (int j = 0; j < values.Count(); ++j) {
            out += values[j];
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

void TBigIniFile::UpdateFile() {
    if (!modified_ || fileName_.empty()) {
        modified_ = false;
        return;
    }
    modified_ = false;
    int error = 0;
    if (!platform::WriteFileAtomic(fileName_, ToText(), error))
        throw EIniFileException(FileErrorText("write", fileName_, error), error);
}

int TBigIniFile::FindSection(std::string_view section) const {
    const int count = sections_.Count();
    if (count == 0) return -1;
    int start = lastSection_;
    if (start < 0 || start >= count) start = 0;
    for (int n = 0; n < count; ++n) {
        const int i = (start + n) % count;
        if (AsciiSameText(sections_[i], section)) {
            lastSection_ = i;
            return i;
        }
    }
    return -1;
}

int TBigIniFile::FindOrAddSection(std::string_view section) {
    int index = FindSection(section);
    if (index < 0) {
        index = sections_.AddSection(section);
        lastSection_ = index;
    }
    return index;
}

int TBigIniFile::FindKey(const TSectionValues &values, std::string_view key) {
    for (int i = 0; i < values.Count(); ++i)
        if (AnsiSameText(IniLineName(values[i]), key)) return i;
    return -1;
}

std::string TBigIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    const int s = FindSection(section);
    if (s >= 0) {
        const TSectionValues &values = *sections_.Values(s);
        const int k = FindKey(values, key);
        if (k >= 0) return IniLineValue(values[k]);
    }
    return std::string(defaultValue);
}

std::int32_t TBigIniFile::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const {
    std::int32_t value = 0;
    return TryIniTextToInt(ReadString(section, key, ""), value) ? value : defaultValue;
}

double TBigIniFile::ReadFloat(std::string_view section, std::string_view key,
                              double defaultValue) const {
    double value = 0;
    return TryIniTextToFloat(ReadString(section, key, ""), value) ? value : defaultValue;
}

void TBigIniFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    if (key.empty()) {
        if (section.empty() && value.empty())
            UpdateFile();
        else
            EraseSection(section);
        return;
    }
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append("=").append(value);
    // A write that a read-back would not return (or that would break other lines) is refused.
    if (HasLineBreaker(section) || HasLineBreaker(line) ||
        key.find('=') != std::string_view::npos || IsHeader(line) || TrimBlanks(key).empty())
        throw EIniFileException("Invalid INI entry for key \"" + std::string(key) + "\"");
    TSectionValues &values = *sections_.Values(FindOrAddSection(section));
    const int k = FindKey(values, key);
    if (k >= 0) {
        if (values[k] == line) return;
        values.SetStrings(k, line);
    } else {
        values.Add(line);
    }
    modified_ = true;
}

void TBigIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TBigIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
    WriteString(section, key, FloatToGeneralText(value));
}

void TBigIniFile::DeleteKey(std::string_view section, std::string_view key) {
    TSectionValues &values = *sections_.Values(FindOrAddSection(section));
    const int k = FindKey(values, key);
    if (k < 0) return;
    values.Delete(k);
    modified_ = true;
}

void TBigIniFile::EraseSection(std::string_view section) {
    const int s = FindSection(section);
    if (s < 0) return;
    // A section without lines is not in the file, so removing it changes nothing there.
    if (sections_.Values(s)->Count() > 0) modified_ = true;
    sections_.DeleteSection(s);
    lastSection_ = 0;
}

void TBigIniFile::ReadSection(std::string_view section, TStrings &list) const {
    const int s = FindSection(section);
    if (s < 0) return;
    const TSectionValues &values = *sections_.Values(s);
    list.BeginUpdate();
    for (int i = 0; i < values.Count(); ++i) {
        std::string name = IniLineName(values[i]);
        if (!name.empty()) list.Add(name);
    }
    list.EndUpdate();
}

void TBigIniFile::ReadSections(TStrings &list) const {
    list.BeginUpdate();
    list.Clear();
    for (int i = 0; i < sections_.Count(); ++i)
        list.Add(sections_[i]);
    list.EndUpdate();
}

bool TBigIniFile::ValueExists(std::string_view section, std::string_view key) const {
    const int s = FindSection(section);
    if (s < 0) return false;
    const TSectionValues &values = *sections_.Values(s);
    for (int i = 0; i < values.Count(); ++i) {
        const std::string name = IniLineName(values[i]);
        if (!name.empty() && AsciiSameText(name, key)) return true;
    }
    return false;
}

}  // namespace brevor
