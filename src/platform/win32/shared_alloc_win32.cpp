// Blocks from the process heap and OLE strings from the system's string allocator: the host
// frees what the module made and the other way round.

// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <oleauto.h>

#include "platform/shared_alloc.h"

namespace brevor::platform {

void *SharedAlloc(std::size_t bytes) noexcept {
    return ::HeapAlloc(::GetProcessHeap(), 0, bytes);
}

void *SharedAllocZeroed(std::size_t bytes) noexcept {
    return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void *SharedRealloc(void *block, std::size_t bytes) noexcept {
    if (block == nullptr) return SharedAlloc(bytes);
    // HeapReAlloc leaves the old block valid when it fails, as the interface promises.
    return ::HeapReAlloc(::GetProcessHeap(), 0, block, bytes);
}

void SharedFree(void *block) noexcept {
    if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

std::uint16_t *AllocOleString(const char16_t *units, std::uint32_t count) noexcept {
    // The system string keeps its byte length in front and a terminator behind, as required.
    BSTR s = ::SysAllocStringLen(reinterpret_cast<const OLECHAR *>(units), count);
    return reinterpret_cast<std::uint16_t *>(s);
}

void FreeOleString(std::uint16_t *s) noexcept {
    if (s != nullptr) ::SysFreeString(reinterpret_cast<BSTR>(s));
}

}  // namespace brevor::platform
