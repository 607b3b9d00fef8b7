#pragma once

// An INI file held whole in memory: read once when the engine is created, answered from memory,
// written back in one pass by UpdateFile (and at the latest by the destructor), and only when
// something changed.
//
// File rules: lines end at LF or CR LF (any other CR is dropped); a Ctrl-Z byte ends the input; a
// leading UTF-8 byte-order mark is skipped and never written. Empty lines, lines before the first
// section header and sections without lines are not kept. Of sections whose names differ only in
// ASCII letter case, the first one in the file wins. Written files end every line with CR LF and
// every section with one empty line.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/exceptions.h"
#include "rtl/strings.h"

namespace brevor {

// The file could not be read, written or locked, or a write would not survive a read-back.
class EIniFileException : public Exception {
public:
    // systemError: the system's error code when a file operation failed, else 0.
    explicit EIniFileException(const std::string &message, int systemError = 0)
        : Exception(message), systemError_(systemError) {}
    int SystemError() const { return systemError_; }

private:
    int systemError_;
};

// Common base of the engine's lists: an unsorted list with an object per entry.
class TStringListEx : public TStringList {
public:
    int LastFound = 0;
};

// Raw lines of one section, each exactly as read or as written ("Key=Value").
class TSectionValues : public TStringListEx {};

// One entry per section in file order; the object of each entry is its TSectionValues, owned.
class TSectionList : public TStringListEx {
public:
    TSectionList() = default;
    TSectionList(const TSectionList &) = delete;
    TSectionList &operator=(const TSectionList &) = delete;
    ~TSectionList() override;

    TSectionValues *Values(int index) const {
        return static_cast<TSectionValues *>(Objects(index));
    }
    // Appends a section (its values owned by the list); the index of the new entry.
    int AddSection(std::string_view name);
    void DeleteSection(int index);
    void ClearSections();
};

class TBigIniFile {
public:
    // The text buffer size of the file format's original readers and writers; this engine reads
    // and writes files whole, so lines and files may be longer.
    static constexpr std::size_t BufferSize = 1048576;

    // Reads the file when the name is not empty and the file exists; a file that exists but
    // cannot be read raises EIniFileException naming the file and the system's error.
    explicit TBigIniFile(std::string fileName);
    // Writes pending changes (UpdateFile); a failure to write is swallowed here, so callers
    // that care call UpdateFile themselves first.
    ~TBigIniFile();
    TBigIniFile(const TBigIniFile &) = delete;
    TBigIniFile &operator=(const TBigIniFile &) = delete;

    const std::string &FileName() const { return fileName_; }
    bool Modified() const { return modified_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    double ReadFloat(std::string_view section, std::string_view key, double defaultValue) const;

    // Raises EIniFileException (and changes nothing) for a section, key or value that a later
    // read would not give back: CR, LF, NUL or Ctrl-Z anywhere, a "=" in the key, or a line
    // that would read as a section header.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteFloat(std::string_view section, std::string_view key, double value);

    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);
    // Adds the non-empty names of the section's lines to list (not cleared first).
    void ReadSection(std::string_view section, TStrings &list) const;
    // Replaces list with the section names in file order.
    void ReadSections(TStrings &list) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // Writes the file when modified and named; the modified flag is clear afterwards in any
    // case. The file is replaced in one step, so it keeps its old content when the write fails;
    // that raises EIniFileException naming the file and the system's error.
    void UpdateFile();

    // The file's text as UpdateFile would write it.
    std::string ToText() const;
    // Replaces the model with the parsed text (the file name and modified flag stay).
    void LoadFromText(std::string_view text);

private:
    class Parser;
    int FindSection(std::string_view section) const;
    int FindOrAddSection(std::string_view section);
    static int FindKey(const TSectionValues &values, std::string_view key);
    void LoadFromFile();

    std::string fileName_;
    bool modified_ = false;
    mutable int lastSection_ = 0;
    TSectionList sections_;
};

// Name and value of a raw line: the name is the text before the first "=", trimmed, the value
// the text after it, trimmed; a line without "=" is all name, untrimmed.
std::string IniLineName(std::string_view line);
std::string IniLineValue(std::string_view line);

// The general number format with up to 15 significant digits ("3", "0.5", "1E-5", "1.5E20").
std::string FloatToGeneralText(double value);
// Integer text as the INI engine reads it: optional sign, decimal digits, or hexadecimal
// digits after "$", "x" or "0x". False for anything else or a value outside 32 bits.
bool TryIniTextToInt(std::string_view text, std::int32_t &value);
// Decimal text with "." or "," as the separator and an optional exponent.
bool TryIniTextToFloat(std::string_view text, double &value);

}  // namespace brevor
