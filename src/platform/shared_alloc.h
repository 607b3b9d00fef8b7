#pragma once

// The allocator the module shares with its host: every block that may change owner between
// them (list item arrays, items, counted texts, OLE strings) comes from here, so either side
// can free or grow what the other allocated.

#include <cstddef>
#include <cstdint>

namespace brevor::platform {

// A block of at least bytes bytes, or null when memory is short.
void *SharedAlloc(std::size_t bytes) noexcept;
// As SharedAlloc, with every byte zero.
void *SharedAllocZeroed(std::size_t bytes) noexcept;
// The block grown or shrunk to bytes bytes (a new block for null), or null when memory is
// short, in which case the old block stays valid.
void *SharedRealloc(void *block, std::size_t bytes) noexcept;
// Frees a block of this allocator; no-op for null.
void SharedFree(void *block) noexcept;

// An OLE string of count UTF-16 units copied from units, zero-terminated, with its byte length
// (uint32, without the terminator) in the four bytes before the first unit; null when memory is
// short. The caller keeps count * 2 within a uint32.
std::uint16_t *AllocOleString(const char16_t *units, std::uint32_t count) noexcept;
// Frees an OLE string of AllocOleString or of the host; no-op for null.
void FreeOleString(std::uint16_t *s) noexcept;

}  // namespace brevor::platform
