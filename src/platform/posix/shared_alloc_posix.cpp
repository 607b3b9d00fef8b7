#include "platform/shared_alloc.h"

#include <cstdlib>
#include <cstring>

namespace brevor::platform {

namespace {

// The byte length in front of an OLE string's first unit.
constexpr std::size_t kOleLengthBytes = sizeof(std::uint32_t);

}  // namespace

void *SharedAlloc(std::size_t bytes) noexcept {
    return std::malloc(bytes);
}

void *SharedAllocZeroed(std::size_t bytes) noexcept {
    return std::calloc(1, bytes);
}

void *SharedRealloc(void *block, std::size_t bytes) noexcept {
    return std::realloc(block, bytes);
}

void SharedFree(void *block) noexcept {
    std::free(block);
}

std::uint16_t *AllocOleString(const char16_t *units, std::uint32_t count) noexcept {
    const std::size_t bytes = static_cast<std::size_t>(count) * 2;
    auto *block = static_cast<char *>(std::malloc(kOleLengthBytes + bytes + 2));
    if (block == nullptr) return nullptr;
    const auto byteLength = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteLength, kOleLengthBytes);
    char *chars = block + kOleLengthBytes;
    if (bytes != 0) std::memcpy(chars, units, bytes);
    std::memset(chars + bytes, 0, 2);
    return reinterpret_cast<std::uint16_t *>(chars);
}

void FreeOleString(std::uint16_t *s) noexcept {
    if (s == nullptr) return;
    std::free(reinterpret_cast<char *>(s) - kOleLengthBytes);
}

}  // namespace brevor::platform
