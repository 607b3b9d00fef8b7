#pragma once

// Counted 8-bit texts in the layout shared with the host: a block of reference count (int32),
// length (int32), the characters and a terminating zero. A text is a pointer to its first
// character; null is the empty text; a reference count of -1 marks a constant that is never
// freed. Blocks come from the allocator both sides share (platform/shared_alloc.h).

#include <cstdint>
#include <string_view>
#include <utility>

#include "brevor/abi.h"

namespace brevor {

// A new text with reference count 1, or null for an empty text. Throws std::bad_alloc.
char *NewCountedText(std::string_view text);
// Takes one more reference; no-op for null and constants. Returns text.
char *CountedTextAddRef(char *text) noexcept;
// Drops one reference and frees the block when it was the last; no-op for null and constants.
void CountedTextRelease(char *text) noexcept;
// The characters; empty for null (and for a corrupt negative length).
std::string_view CountedTextView(const char *text) noexcept;
// The reference count, 0 for null.
std::int32_t CountedTextRefCount(const char *text) noexcept;

// Owning handle of one reference to a counted text.
class TCountedText {
public:
    TCountedText() = default;
    explicit TCountedText(std::string_view text) : text_(NewCountedText(text)) {}
    TCountedText(const TCountedText &other) noexcept : text_(CountedTextAddRef(other.text_)) {}
    TCountedText(TCountedText &&other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    TCountedText &operator=(TCountedText other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    ~TCountedText() { CountedTextRelease(text_); }

    // Takes over one reference that the caller owns.
    static TCountedText Adopt(char *text) noexcept {
        TCountedText t;
        t.text_ = text;
        return t;
    }
    // Hands the reference to the caller.
    char *Release() noexcept {
        char *t = text_;
        text_ = nullptr;
        return t;
    }
    char *Get() const noexcept { return text_; }
    std::string_view View() const noexcept { return CountedTextView(text_); }

private:
    char *text_ = nullptr;
};

}  // namespace brevor
