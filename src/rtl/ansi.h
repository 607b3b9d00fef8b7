#pragma once

// Text helpers of the runtime. The Windows-1252 code-page services (case mapping,
// case-insensitive comparison, UTF-16 conversion) come from the platform layer and are
// offered here under the runtime's names.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace brevor {

using platform::AnsiCompareStr;
using platform::AnsiCompareText;
using platform::AnsiLowerCase;
using platform::AnsiLowerChar;
using platform::AnsiSameText;
using platform::AnsiToUtf16;
using platform::AnsiUpperCase;
using platform::AnsiUpperChar;
using platform::Utf16ToAnsi;

// Only the 26 letters A-Z / a-z change; every other byte stays.
std::string AsciiLowerCase(std::string_view s);
std::string AsciiUpperCase(std::string_view s);

// The text without leading and trailing bytes of code 32 or less (blanks and control bytes).
std::string_view TrimBlanks(std::string_view s);

}  // namespace brevor
