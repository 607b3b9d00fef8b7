#pragma once

// The ANSI code page of the module: case mapping, case-insensitive comparison and conversion to
// and from UTF-16 all follow it. On Windows it is the system's ANSI code page, with the system's
// own case mapping; on POSIX it is Windows-1252.

#include <string>
#include <string_view>

namespace brevor::platform {

char AnsiLowerChar(char c);
char AnsiUpperChar(char c);
std::string AnsiLowerCase(std::string_view s);
std::string AnsiUpperCase(std::string_view s);

// Compares ignoring case (upper case of the code page, then byte order): <0, 0 or >0.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Compares with case (byte order): <0, 0 or >0.
int AnsiCompareStr(std::string_view a, std::string_view b);

// Code page <-> UTF-16. On POSIX, bytes without a character in Windows-1252 map to themselves;
// UTF-16 units without a byte in the code page become '?'.
std::u16string AnsiToUtf16(std::string_view s);
std::string Utf16ToAnsi(std::u16string_view s);

}  // namespace brevor::platform
