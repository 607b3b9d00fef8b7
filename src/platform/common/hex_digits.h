#pragma once

// Hexadecimal digits of the registry's text forms (the values file and the POSIX key folders'
// names). Below the runtime library, which has its own escapes for the module's texts.

#include <string>

namespace brevor::platform::detail {

// The value of a hexadecimal digit of either case, or -1.
inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends the two upper-case digits of byte.
inline void AppendHexByte(std::string &out, unsigned char byte) {
    out += "0123456789ABCDEF"[byte >> 4];
    out += "0123456789ABCDEF"[byte & 15];
}

}  // namespace brevor::platform::detail
