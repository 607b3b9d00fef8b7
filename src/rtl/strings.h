#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/component.h"

namespace brevor {

// An ordered list of 8-bit text lines, each with an optional object pointer (never owned).
//
// Change notifications: OnChanging runs before and OnChange after every modification, but only
// outside an update bracket; closing the outermost bracket (EndUpdate) raises one OnChange.
//
// Comparison of texts (IndexOf, Find, sorting, name look-ups) ignores case with Windows-1252 rules
// unless CaseSensitive is set.
class TStrings : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    using TNotifyEvent = std::function<void(TStrings *sender)>;
    enum class TDuplicates { dupIgnore, dupAccept, dupError };

    TStrings() = default;
    TStrings(const TStrings &other);  // copies lines and options, not the handlers
    TStrings &operator=(const TStrings &other);
    ~TStrings() override = default;

    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string &Strings(int index) const;
    const std::string &operator[](int index) const { return Strings(index); }
    void SetStrings(int index, std::string_view text);
    void *Objects(int index) const;
    void SetObjects(int index, void *object);

    // Add returns the index of the new line (in a sorted list its sorted position, or the index
    // of the existing line when duplicates are ignored).
    int Add(std::string_view text) { return AddObject(text, nullptr); }
    int AddObject(std::string_view text, void *object);
    void Insert(int index, std::string_view text) { InsertObject(index, text, nullptr); }
    void InsertObject(int index, std::string_view text, void *object);
    void Delete(int index);
    void Clear();
    void Move(int currentIndex, int newIndex);
    void Exchange(int index1, int index2);
    void Assign(const TStrings &source);
    void AddStrings(const TStrings &source);

    int IndexOf(std::string_view text) const;
    int IndexOfObject(const void *object) const;

    // "Name=Value" lines (the separator is NameValueSeparator).
    int IndexOfName(std::string_view name) const;
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    std::string Values(std::string_view name) const;
    // Sets the value of the first line with that name; an empty value deletes the line.
    void SetValues(std::string_view name, std::string_view value);

    // Every line followed by CR LF.
    std::string Text() const;
    // Replaces the content; lines end at CR, LF or CR LF.
    void SetText(std::string_view text);
    // Lines separated by Delimiter; a line with a blank, the delimiter, a quote or a control
    // character is quoted with QuoteChar (inner quotes doubled).
    std::string DelimitedText() const;
    void SetDelimitedText(std::string_view text);
    std::string CommaText() const;
    void SetCommaText(std::string_view text);

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    void Sort();
    void CustomSort(const std::function<int(const TStrings &, int, int)> &compare);
    // Binary search of a sorted list; index is the match or the insertion point.
    bool Find(std::string_view text, int &index) const;
    int CompareStrings(std::string_view a, std::string_view b) const;

    bool CaseSensitive = false;
    TDuplicates Duplicates = TDuplicates::dupIgnore;
    char NameValueSeparator = '=';
    char Delimiter = ',';
    char QuoteChar = '"';
    // With StrictDelimiter off, blanks also separate unquoted items when setting DelimitedText.
    bool StrictDelimiter = false;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    void Changing();
    void Changed();

private:
    struct Line {
        std::string text;
        void *object = nullptr;
    };
    void CheckIndex(int index) const;
    void InsertLine(int index, std::string_view text, void *object);

    std::vector<Line> lines_;
    int updateCount_ = 0;
    bool sorted_ = false;
};

// The general-purpose list class; all behaviour lives in TStrings.
class TStringList : public TStrings {
public:
    using TStrings::TStrings;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

}  // namespace brevor
