#pragma once

// Data exchange vocabulary: parser items, their type names, standard items and event names.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brevor {

// One field of the data a module delivers.
struct TParserItem {
    std::string Name;
    std::string Caption;
    std::uint8_t DataType = 17;  // index into the type-name list; 17: no type
    std::string Extra;
};

// "String|Memo|...|Currency|": index 17 stands for no type (the empty text after the last "|").
inline constexpr const char *kParserItemTypeNames =
    "String|Memo|Bytes|Blob|Boolean|Float|Smallint|Word|Integer|Date|Time|DateTime|DWord|Byte|"
    "Shortint|Int64|Currency|";
inline constexpr std::uint8_t kNoParserItemType = 17;
// Type name of an index (empty for 17 and beyond).
std::string_view ParserItemTypeName(std::uint8_t dataType);

// Standard parser items for module classes that deliver such fields.
extern const TParserItem kStandardParserItems[7];
// Host event names, indexed from 0 ("LOG-MESSAGE" ... "DUMMY"; index 11 is empty).
extern const char *const kEventNames[13];
// Separator text for module classes that join values.
inline constexpr const char *kValueSeparator = "<{[::]}>";

// Lines "Caption|Name|Type|Extra" (a line ends at CR, LF or CR LF; lines with fewer than two
// parts are skipped; an unknown type name gives no type).
void ParseParserItems(std::string_view text, std::vector<TParserItem> &items);
// The inverse: lines joined by CR LF, no trailing line break.
std::string FormatParserItems(const std::vector<TParserItem> &items);

// A data source the host knows, from SET-STATE's "DATA-SOURCES-IN-CFG".
struct TConfigDataSource {
    std::int32_t Id = 0;
    std::string Name;
    std::string FullName;
};

// Lines "Id;Name;FullName" (a line ends at CR, LF or CR LF; fields trimmed of bytes <= 0x20,
// missing fields empty, anything after a third ";" ignored). A line whose Id is not a decimal
// integer, or is -1, is skipped; so is a line that cannot be taken for any other reason.
std::vector<TConfigDataSource> ParseDataSources(std::string_view text);

}  // namespace brevor
