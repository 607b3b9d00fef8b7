#pragma once

// Escaping of text values in the settings store (registry and INI alike):
//  - bytes 0x20..0xFF other than "%" and "+" as they are, except leading and trailing blanks,
//    which become "+" (blanks between non-blank characters stay);
//  - "%" becomes "%%";
//  - bytes 0x01..0x1F and "+" become "%" and two uppercase hexadecimal digits.
// A text ends at its first NUL, both when escaping and when unescaping.

#include <string>
#include <string_view>

namespace brevor {

std::string EscapeStoreText(std::string_view text);
// "+" is a blank, "%%" a "%", "%" with two hexadecimal digits (either case) that byte; any other
// "%" stays a literal "%". A decoded NUL ("%00") ends the text.
std::string UnescapeStoreText(std::string_view text);

}  // namespace brevor
