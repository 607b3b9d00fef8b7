#pragma once

// The classic text formatter: "%" [index ":"] ["-"] [width] ["." precision] type, with the types
// d u x (integers, 64-bit included), e f g n m (floating point), p (pointer) and s (text); "*"
// takes a width, precision or index from the arguments; "%%" is one "%". Arguments are typed;
// a placeholder that does not match its argument raises EConvertError, never reads garbage.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace brevor {

class TFormatArg {
public:
    enum class TKind { Integer, Float, Text, Pointer };

    TFormatArg(std::int32_t v) : kind_(TKind::Integer), int_(v) {}
    TFormatArg(std::int64_t v) : kind_(TKind::Integer), int_(v) {}
    TFormatArg(std::uint32_t v) : kind_(TKind::Integer), int_(v) {}
    TFormatArg(double v) : kind_(TKind::Float), float_(v) {}
    TFormatArg(std::string v) : kind_(TKind::Text), text_(std::move(v)) {}
    TFormatArg(std::string_view v) : kind_(TKind::Text), text_(v) {}
    TFormatArg(const char *v) : kind_(TKind::Text), text_(v ? v : "") {}
    TFormatArg(const void *v) : kind_(TKind::Pointer), int_(reinterpret_cast<std::intptr_t>(v)) {}

    TKind Kind() const { return kind_; }
    std::int64_t Int() const { return int_; }
    double Float() const { return float_; }
    const std::string &Text() const { return text_; }

private:
    TKind kind_;
    std::int64_t int_ = 0;
    double float_ = 0;
    std::string text_;
};

using TFormatArgs = std::vector<TFormatArg>;

std::string Format(std::string_view format, const TFormatArgs &args);

}  // namespace brevor
