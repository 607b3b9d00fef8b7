#include "rtl/ole_string.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "rtl/ansi.h"

namespace brevor {

std::uint16_t *OleStrAlloc(std::u16string_view units) {
    if (units.empty()) return nullptr;
    constexpr std::size_t kMaxUnits =
        (std::numeric_limits<std::uint32_t>::max() - sizeof(TBrvOleStringHeader)) / 2 - 1;
    if (units.size() > kMaxUnits) throw std::bad_alloc();
    const std::size_t bytes = units.size() * 2;
    auto *block = static_cast<char *>(std::malloc(sizeof(TBrvOleStringHeader) + bytes + 2));
    if (block == nullptr) throw std::bad_alloc();
    reinterpret_cast<TBrvOleStringHeader *>(block)->ByteLength = static_cast<std::uint32_t>(bytes);
    char *chars = block + sizeof(TBrvOleStringHeader);
    std::memcpy(chars, units.data(), bytes);
    std::memset(chars + bytes, 0, 2);
    return reinterpret_cast<std::uint16_t *>(chars);
}

std::uint16_t *OleStrFromAnsi(std::string_view text) {
    if (text.empty()) return nullptr;
    return OleStrAlloc(AnsiToUtf16(text));
}

std::uint16_t *OleStrCopy(const std::uint16_t *s) {
    return OleStrAlloc(OleStrView(s));
}

void OleStrFree(std::uint16_t *s) noexcept {
    if (s == nullptr) return;
    std::free(reinterpret_cast<char *>(s) - sizeof(TBrvOleStringHeader));
}

std::u16string_view OleStrView(const std::uint16_t *s) noexcept {
    if (s == nullptr) return {};
    const auto *header = reinterpret_cast<const TBrvOleStringHeader *>(
        reinterpret_cast<const char *>(s) - sizeof(TBrvOleStringHeader));
    return {reinterpret_cast<const char16_t *>(s), header->ByteLength / 2};
}

std::string OleStrToAnsi(const std::uint16_t *s) {
    return Utf16ToAnsi(OleStrView(s));
}

}  // namespace brevor
