#pragma once

// The ANSI code page of the module is Windows-1252: case mapping, case-insensitive comparison
// and conversion to and from UTF-16 all follow it, on every platform.

#include <string>
#include <string_view>

namespace brevor::platform {

char AnsiLowerChar(char c);
char AnsiUpperChar(char c);
std::string AnsiLowerCase(std::string_view s);
std::string AnsiUpperCase(std::string_view s);

// Compares ignoring case (Windows-1252 upper case, then byte order): <0, 0 or >0.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Compares with case (byte order): <0, 0 or >0.
int AnsiCompareStr(std::string_view a, std::string_view b);

// Windows-1252 <-> UTF-16. Bytes without a character in the code page map to themselves;
// UTF-16 units without a Windows-1252 byte become '?'.
std::u16string AnsiToUtf16(std::string_view s);
std::string Utf16ToAnsi(std::u16string_view s);

}  // namespace brevor::platform
