#pragma once

// OLE strings in the layout shared with the host on POSIX: UTF-16 code units, zero-terminated,
// with the byte length (uint32, without the terminator) in the four bytes before the first unit.
// Null is the empty string. Blocks come from the allocator both sides share
// (platform/shared_alloc.h). 8-bit texts convert to and from them as Windows-1252.

#include <cstdint>
#include <string>
#include <string_view>

#include "brevor/abi.h"

namespace brevor {

// A new OLE string holding the units, or null when there are none. Throws std::bad_alloc.
std::uint16_t *OleStrAlloc(std::u16string_view units);
// A new OLE string from Windows-1252 text, or null for an empty text.
std::uint16_t *OleStrFromAnsi(std::string_view text);
// A duplicate of an OLE string (null for null or empty).
std::uint16_t *OleStrCopy(const std::uint16_t *s);
// Frees the block; no-op for null.
void OleStrFree(std::uint16_t *s) noexcept;
// The code units (byte length / 2 of them); empty for null.
std::u16string_view OleStrView(const std::uint16_t *s) noexcept;
// The text as Windows-1252; units without a byte in the code page become '?'.
std::string OleStrToAnsi(const std::uint16_t *s);

}  // namespace brevor
