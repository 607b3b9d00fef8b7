#include "rtl/ole_string.h"

#include <limits>
#include <new>

#include "platform/shared_alloc.h"
#include "rtl/ansi.h"

namespace brevor {

std::uint16_t *OleStrAlloc(std::u16string_view units) {
    if (units.empty()) return nullptr;
    constexpr std::size_t kMaxUnits =
        (std::numeric_limits<std::uint32_t>::max() - sizeof(TBrvOleStringHeader)) / 2 - 1;
    if (units.size() > kMaxUnits) throw std::bad_alloc();
    std::uint16_t *s =
        platform::AllocOleString(units.data(), static_cast<std::uint32_t>(units.size()));
    if (s == nullptr) throw std::bad_alloc();
    return s;
}

std::uint16_t *OleStrFromAnsi(std::string_view text) {
    if (text.empty()) return nullptr;
    return OleStrAlloc(AnsiToUtf16(text));
}

std::uint16_t *OleStrCopy(const std::uint16_t *s) {
    return OleStrAlloc(OleStrView(s));
}

void OleStrFree(std::uint16_t *s) noexcept {
    platform::FreeOleString(s);
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
