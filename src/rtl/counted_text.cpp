#include "rtl/counted_text.h"

#include <atomic>
#include <cstring>
#include <limits>
#include <new>

#include "platform/shared_alloc.h"

namespace brevor {

namespace {

TBrvTextHeader *HeaderOf(const char *text) noexcept {
    return reinterpret_cast<TBrvTextHeader *>(const_cast<char *>(text) - sizeof(TBrvTextHeader));
}

}  // namespace

char *NewCountedText(std::string_view text) {
    if (text.empty()) return nullptr;
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) -
                          sizeof(TBrvTextHeader) - 1)
        throw std::bad_alloc();
    auto *block =
        static_cast<char *>(platform::SharedAlloc(sizeof(TBrvTextHeader) + text.size() + 1));
    if (block == nullptr) throw std::bad_alloc();
    auto *header = reinterpret_cast<TBrvTextHeader *>(block);
    header->RefCount = 1;
    header->Length = static_cast<std::int32_t>(text.size());
    char *chars = block + sizeof(TBrvTextHeader);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return chars;
}

char *CountedTextAddRef(char *text) noexcept {
    if (text == nullptr) return nullptr;
    std::atomic_ref<std::int32_t> count(HeaderOf(text)->RefCount);
    // Constants (-1) and corrupt counts are never counted, so they are never freed either.
    if (count.load(std::memory_order_relaxed) > 0) count.fetch_add(1, std::memory_order_relaxed);
    return text;
}

void CountedTextRelease(char *text) noexcept {
    if (text == nullptr) return;
    TBrvTextHeader *header = HeaderOf(text);
    std::atomic_ref<std::int32_t> count(header->RefCount);
    if (count.load(std::memory_order_acquire) <= 0) return;
    if (count.fetch_sub(1, std::memory_order_acq_rel) == 1) platform::SharedFree(header);
}

std::string_view CountedTextView(const char *text) noexcept {
    if (text == nullptr) return {};
    const std::int32_t length = HeaderOf(text)->Length;
    if (length <= 0) return {};
    return {text, static_cast<std::size_t>(length)};
}

std::int32_t CountedTextRefCount(const char *text) noexcept {
    return text == nullptr ? 0 : HeaderOf(text)->RefCount;
}

}  // namespace brevor
