#pragma once

// Reading the text of a language file: header directives, comment lines and blocks of
// "code:>text" lines separated by empty lines.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brevor {

// What the header directives of a language file set. The reader starts from the values it is
// given: the caller resets the per-load settings and keeps SaveMode and FileMode across loads.
struct TLanguageFileSettings {
    int Encoding = 0;          // 0 ANSI, 1 utf-8, 2 utf-16, 3 unicode
    int BiDiMode = 0;          // 0 left to right ... 3 right-to-left reading only
    int Charset = 1;           // font character set; 1 is the default set
    std::uint32_t Locale = 0;  // locale id; changed only by a "Locale=" value above 0
    bool LocaleChanged = false;
    int SaveMode = 0;  // 0 off, 1 untranslated, 2 all, 3 unused, 4 untranslated with object path
    int FileMode = 0;  // 0 new numbered side file, 1 overwrite, 2 append
};

// Header directives are recognised only in the first lines of a file.
inline constexpr int kLanguageHeaderLines = 19;

// Reads the language file text for one pair of languages: calls onPair(source, target) for every
// block that ends with an empty line and carries a non-empty text for both codes (codes compare
// case-sensitively; the last line of a code in a block counts). Returns the number of pairs.
int ReadLanguageText(std::string_view bytes, std::string_view source, std::string_view target,
                     TLanguageFileSettings &settings,
                     const std::function<void(std::string_view, std::string_view)> &onPair);

// The font character set of a "Charset=" value (lower case), or -1 when it is not known.
int LanguageCharsetOf(std::string_view value);

// Reads the keys and values of one INI-style section ("[Languages]") from the file text.
// Section and key names compare ignoring case; the first occurrence of a key counts.
struct TIniKeyValue {
    std::string Key;
    std::string Value;
};
std::vector<TIniKeyValue> ReadIniSection(std::string_view bytes, std::string_view section);

}  // namespace brevor
