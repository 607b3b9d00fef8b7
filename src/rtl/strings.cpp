#include "rtl/strings.h"

#include <algorithm>
#include <stdexcept>

#include "rtl/ansi.h"
#include "rtl/exceptions.h"

namespace brevor {

const TClassInfo &TStrings::StaticClassInfo() {
    // Text is published so that settings and translations can address a list as one value.
    static const TClassInfo info =
        TClassBuilder<TStrings>("TStrings", &TPersistent::StaticClassInfo())
            .String("Text", &TStrings::Text,
                    [](TStrings &s, const std::string &v) { s.SetText(v); })
            .Build();
    return info;
}
const TClassInfo &TStrings::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TStringList::StaticClassInfo() {
    static const TClassInfo info("TStringList", &TStrings::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TStringList::ClassInfo() const {
    return StaticClassInfo();
}

TStrings::TStrings(const TStrings &other)
    : TPersistent(other),
      CaseSensitive(other.CaseSensitive),
      Duplicates(other.Duplicates),
      NameValueSeparator(other.NameValueSeparator),
      Delimiter(other.Delimiter),
      QuoteChar(other.QuoteChar),
      StrictDelimiter(other.StrictDelimiter),
      lines_(other.lines_),
      sorted_(other.sorted_) {}

TStrings &TStrings::operator=(const TStrings &other) {
    if (this != &other) Assign(other);
    return *this;
}

void TStrings::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string &TStrings::Strings(int index) const {
    CheckIndex(index);
    return lines_[static_cast<size_t>(index)].text;
}

void TStrings::SetStrings(int index, std::string_view text) {
    CheckIndex(index);
    Changing();
    lines_[static_cast<size_t>(index)].text.assign(text);
    Changed();
}

void *TStrings::Objects(int index) const {
    CheckIndex(index);
    return lines_[static_cast<size_t>(index)].object;
}

void TStrings::SetObjects(int index, void *object) {
    CheckIndex(index);
    Changing();
    lines_[static_cast<size_t>(index)].object = object;
    Changed();
}

void TStrings::InsertLine(int index, std::string_view text, void *object) {
    Changing();
    lines_.insert(lines_.begin() + index, Line{std::string(text), object});
    Changed();
}

int TStrings::AddObject(std::string_view text, void *object) {
    int index = Count();
    if (sorted_) {
        if (Find(text, index)) {
            if (Duplicates == TDuplicates::dupIgnore) return index;
            if (Duplicates == TDuplicates::dupError)
                throw Exception("String list does not allow duplicates");
        }
    }
    InsertLine(index, text, object);
    return index;
}

void TStrings::InsertObject(int index, std::string_view text, void *object) {
    if (sorted_) throw Exception("Operation not allowed on sorted list");
    if (index < 0 || index > Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    InsertLine(index, text, object);
}

void TStrings::Delete(int index) {
    CheckIndex(index);
    Changing();
    lines_.erase(lines_.begin() + index);
    Changed();
}

void TStrings::Clear() {
    if (lines_.empty()) return;
    Changing();
    lines_.clear();
    Changed();
}

void TStrings::Move(int currentIndex, int newIndex) {
    if (currentIndex == newIndex) return;
    CheckIndex(currentIndex);
    CheckIndex(newIndex);
    BeginUpdate();
    Line line = lines_[static_cast<size_t>(currentIndex)];
    Delete(currentIndex);
    InsertLine(newIndex, line.text, line.object);
    EndUpdate();
}

void TStrings::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(lines_[static_cast<size_t>(index1)], lines_[static_cast<size_t>(index2)]);
    Changed();
}

void TStrings::Assign(const TStrings &source) {
    if (&source == this) return;
    BeginUpdate();
    Changing();
    lines_ = source.lines_;
    CaseSensitive = source.CaseSensitive;
    Duplicates = source.Duplicates;
    NameValueSeparator = source.NameValueSeparator;
    Delimiter = source.Delimiter;
    QuoteChar = source.QuoteChar;
    StrictDelimiter = source.StrictDelimiter;
    sorted_ = source.sorted_;
    Changed();
    EndUpdate();
}

void TStrings::AddStrings(const TStrings &source) {
    BeginUpdate();
    for (const Line &line : std::vector<Line>(source.lines_))
        AddObject(line.text, line.object);
    EndUpdate();
}

int TStrings::CompareStrings(std::string_view a, std::string_view b) const {
    return CaseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

int TStrings::IndexOf(std::string_view text) const {
    if (sorted_) {
        int index = 0;
        return Find(text, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i) {
        if (CompareStrings(lines_[static_cast<size_t>(i)].text, text) == 0) return i;
    }
    return -1;
}

int TStrings::IndexOfObject(const void *object) const {
    for (int i = 0; i < Count(); ++i) {
        if (lines_[static_cast<size_t>(i)].object == object) return i;
    }
    return -1;
}

std::string TStrings::Names(int index) const {
    const std::string &line = Strings(index);
    const auto pos = line.find(NameValueSeparator);
    return pos == std::string::npos ? std::string() : line.substr(0, pos);
}

std::string TStrings::ValueFromIndex(int index) const {
    const std::string &line = Strings(index);
    const auto pos = line.find(NameValueSeparator);
    return pos == std::string::npos ? std::string() : line.substr(pos + 1);
}

int TStrings::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string &line = lines_[static_cast<size_t>(i)].text;
        const auto pos = line.find(NameValueSeparator);
        if (pos != std::string::npos &&
            CompareStrings(std::string_view(line).substr(0, pos), name) == 0)
            return i;
    }
    return -1;
}

std::string TStrings::Values(std::string_view name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(std::string_view name, std::string_view value) {
    const int i = IndexOfName(name);
    std::string line(name);
    line += NameValueSeparator;
    line += value;
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(line);
    } else {
        SetStrings(i, line);
    }
}

std::string TStrings::Text() const {
    std::string out;
    size_t size = 0;
    for (const Line &line : lines_)
        size += line.text.size() + 2;
    out.reserve(size);
    for (const Line &line : lines_) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

void TStrings::SetText(std::string_view text) {
    BeginUpdate();
    Clear();
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            Add(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size()) Add(text.substr(start));
    EndUpdate();
}

std::string TStrings::DelimitedText() const {
    std::string out;
    for (int i = 0; i < Count(); ++i) {
        const std::string &s = lines_[static_cast<size_t>(i)].text;
        const bool quote =
            s.empty() && Count() == 1 ? true : std::any_of(s.begin(), s.end(), [&](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u <= ' ' || c == Delimiter || c == QuoteChar;
            });
        if (i > 0) out += Delimiter;
        if (!quote) {
            out += s;
            continue;
        }
        out += QuoteChar;
        for (char c : s) {
            if (c == QuoteChar) out += QuoteChar;
            out += c;
        }
        out += QuoteChar;
    }
    return out;
}

void TStrings::SetDelimitedText(std::string_view text) {
    BeginUpdate();
    Clear();
    auto isBlank = [&](char c) { return !StrictDelimiter && static_cast<unsigned char>(c) <= ' '; };
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (i < n) {
        std::string item;
        if (text[i] == QuoteChar) {
            ++i;
            while (i < n) {
                if (text[i] == QuoteChar) {
                    if (i + 1 < n && text[i + 1] == QuoteChar) {
                        item += QuoteChar;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            // Anything up to the next separator after a closing quote belongs to the item.
            while (i < n && text[i] != Delimiter && !isBlank(text[i]))
                item += text[i++];
        } else {
            while (i < n && text[i] != Delimiter && !isBlank(text[i]))
                item += text[i++];
        }
        Add(item);
        while (i < n && isBlank(text[i]))
            ++i;
        if (i < n && text[i] == Delimiter) {
            ++i;
            while (i < n && isBlank(text[i]))
                ++i;
            if (i == n) Add("");  // a trailing delimiter closes an empty last item
        }
    }
    EndUpdate();
}

std::string TStrings::CommaText() const {
    TStrings copy;
    copy.lines_ = lines_;
    return copy.DelimitedText();
}

void TStrings::SetCommaText(std::string_view text) {
    const char delimiter = Delimiter;
    const char quote = QuoteChar;
    const bool strict = StrictDelimiter;
    Delimiter = ',';
    QuoteChar = '"';
    StrictDelimiter = false;
    SetDelimitedText(text);
    Delimiter = delimiter;
    QuoteChar = quote;
    StrictDelimiter = strict;
}

void TStrings::BeginUpdate() {
    if (updateCount_ == 0) Changing();
    ++updateCount_;
}

void TStrings::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ == 0) Changed();
}

void TStrings::Changing() {
    if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

void TStrings::Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TStrings::SetSorted(bool sorted) {
    if (sorted == sorted_) return;
    if (sorted) Sort();
    sorted_ = sorted;
}

void TStrings::Sort() {
    CustomSort([](const TStrings &list, int a, int b) {
        return list.CompareStrings(list.lines_[static_cast<size_t>(a)].text,
                                   list.lines_[static_cast<size_t>(b)].text);
    });
}

void TStrings::CustomSort(const std::function<int(const TStrings &, int, int)> &compare) {
    if (Count() < 2) return;
    Changing();
    // Sort an index permutation so that compare sees the list as it was.
    std::vector<int> order(lines_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return compare(*this, a, b) < 0; });
    std::vector<Line> sortedLines;
    sortedLines.reserve(lines_.size());
    for (int i : order)
        sortedLines.push_back(std::move(lines_[static_cast<size_t>(i)]));
    lines_ = std::move(sortedLines);
    Changed();
}

bool TStrings::Find(std::string_view text, int &index) const {
    int lo = 0;
    int hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = CompareStrings(lines_[static_cast<size_t>(mid)].text, text);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != TDuplicates::dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

}  // namespace brevor
