#pragma once

#include <cstdint>

namespace brevor {

// A rectangle in pixels: Right and Bottom are one past the last column and row.
struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    std::int32_t Width() const { return Right - Left; }
    std::int32_t Height() const { return Bottom - Top; }
    bool operator==(const TRect &) const = default;
};

struct TSize {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    bool operator==(const TSize &) const = default;
};

// a * b / c rounded to the nearest whole number (halves away from zero), -1 when c is 0.
inline std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0) return -1;
    const std::int64_t p = static_cast<std::int64_t>(a) * b;
    const bool negative = (p < 0) != (c < 0);
    std::int64_t q = (p < 0 ? -p : p) + (c < 0 ? -static_cast<std::int64_t>(c) : c) / 2;
    q /= (c < 0 ? -static_cast<std::int64_t>(c) : c);
    return static_cast<std::int32_t>(negative ? -q : q);
}

}  // namespace brevor
