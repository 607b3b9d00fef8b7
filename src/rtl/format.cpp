#include "rtl/format.h"

#include <cmath>
#include <cstdio>

#include "rtl/exceptions.h"

namespace brevor {

namespace {

[[noreturn]] void Invalid(std::string_view format) {
    throw EConvertError("Format '" + std::string(format) +
                        "' invalid or incompatible with argument");
}

// Digits of a number with precision as the minimum count (zeros in front).
std::string PadDigits(std::string digits, int precision) {
    if (precision > 0 && static_cast<int>(digits.size()) < precision)
        digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
    return digits;
}

// "1.23450000000000E+003": precision significant digits, a three-digit signed exponent.
std::string Scientific(double v, int precision) {
    if (precision < 1) precision = 1;
    if (precision > 18) precision = 18;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
    std::string s = buf;
    const auto e = s.find('E');
    if (e == std::string::npos) return s;
    const char sign = s[e + 1];
    std::string exponent = s.substr(e + 2);
    while (exponent.size() < 3)
        exponent.insert(0, 1, '0');
    return s.substr(0, e + 1) + (sign == '-' ? "-" : "+") + exponent;
}

std::string Fixed(double v, int precision, bool thousands) {
    if (precision > 18) precision = 18;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", precision, v);
    std::string s = buf;
    if (!thousands) return s;
    const bool negative = !s.empty() && s[0] == '-';
    const auto dot = s.find('.');
    std::string whole = s.substr(negative ? 1 : 0,
                                 (dot == std::string::npos ? s.size() : dot) - (negative ? 1 : 0));
    std::string grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    return (negative ? "-" : "") + grouped + (dot == std::string::npos ? "" : s.substr(dot));
}

// Shortest of fixed and scientific with precision significant digits, no trailing zeros.
std::string General(double v, int precision) {
    if (precision < 1 || precision > 15) precision = 15;
    if (v == 0) return "0";
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    char buf[64];
    if (exponent >= -5 && exponent < precision) {
        std::snprintf(buf, sizeof buf, "%.*f", std::max(0, precision - 1 - exponent), v);
        std::string s = buf;
        if (s.find('.') != std::string::npos) {
            while (!s.empty() && s.back() == '0')
                s.pop_back();
            if (!s.empty() && s.back() == '.') s.pop_back();
        }
        return s;
    }
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
    std::string s = buf;
    const auto e = s.find('E');
    std::string mantissa = s.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        while (mantissa.back() == '0')
            mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
    }
    const int exp = std::atoi(s.c_str() + e + 1);
    return mantissa + "E" + (exp < 0 ? "-" : "") + std::to_string(std::abs(exp));
}

}  // namespace

std::string Format(std::string_view format, const TFormatArgs &args) {
    std::string out;
    size_t next = 0;  // index of the next argument
    size_t i = 0;
    auto takeInt = [&]() -> int {
        if (next >= args.size() || args[next].Kind() != TFormatArg::TKind::Integer) Invalid(format);
        const std::int64_t v = args[next++].Int();
        if (v < -1000000 || v > 1000000) Invalid(format);  // widths and indexes stay sane
        return static_cast<int>(v);
    };
    auto readNumber = [&](int &value) {
        if (i < format.size() && format[i] == '*') {
            ++i;
            value = takeInt();
            return true;
        }
        bool any = false;
        value = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            value = value * 10 + (format[i] - '0');
            if (value > 1000000) Invalid(format);
            ++i;
            any = true;
        }
        return any;
    };

    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        int number = 0;
        bool hasNumber = readNumber(number);
        if (hasNumber && i < format.size() && format[i] == ':') {
            if (number < 0) Invalid(format);
            next = static_cast<size_t>(number);
            ++i;
            hasNumber = false;
        }
        bool left = false;
        if (!hasNumber && i < format.size() && format[i] == '-') {
            left = true;
            ++i;
        }
        int width = 0;
        if (hasNumber)
            width = number;
        else
            readNumber(width);
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (!readNumber(precision)) precision = 0;
        }
        if (i >= format.size()) Invalid(format);
        const char type = static_cast<char>(format[i++] | 0x20);  // types ignore case
        if (next >= args.size()) Invalid(format);
        const TFormatArg &arg = args[next++];
        std::string text;
        switch (type) {
            case 'd':
            case 'u':
            case 'x': {
                if (arg.Kind() != TFormatArg::TKind::Integer) Invalid(format);
                const std::int64_t v = arg.Int();
                char buf[32];
                if (type == 'x') {
                    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
                    text = PadDigits(buf, precision);
                } else if (type == 'u') {
                    // Unsigned view of the value's own width: 32-bit values stay 32-bit.
                    const unsigned long long u = v >= INT32_MIN && v < 0
                                                     ? static_cast<std::uint32_t>(v)
                                                     : static_cast<unsigned long long>(v);
                    std::snprintf(buf, sizeof buf, "%llu", u);
                    text = PadDigits(buf, precision);
                } else {
                    std::snprintf(buf, sizeof buf, "%llu",
                                  v < 0 ? 0ull - static_cast<unsigned long long>(v)
                                        : static_cast<unsigned long long>(v));
                    text = (v < 0 ? "-" : "") + PadDigits(buf, precision);
                }
                break;
            }
            case 'e':
            case 'f':
            case 'g':
            case 'n':
            case 'm': {
                if (arg.Kind() != TFormatArg::TKind::Float) Invalid(format);
                const double v = arg.Float();
                if (std::isnan(v)) {
                    text = "NAN";
                } else if (std::isinf(v)) {
                    text = v < 0 ? "-INF" : "INF";
                } else if (type == 'e') {
                    text = Scientific(v, precision < 0 ? 15 : precision);
                } else if (type == 'f') {
                    text = Fixed(v, precision < 0 ? 2 : precision, false);
                } else if (type == 'n') {
                    text = Fixed(v, precision < 0 ? 2 : precision, true);
                } else if (type == 'm') {
                    const std::string amount =
                        Fixed(std::fabs(v), precision < 0 ? 2 : precision, true);
                    text = (v < 0 ? "-$" : "$") + amount;
                } else {
                    text = General(v, precision < 0 ? 15 : precision);
                }
                break;
            }
            case 's':
                if (arg.Kind() != TFormatArg::TKind::Text) Invalid(format);
                text = arg.Text();
                if (precision >= 0 && static_cast<size_t>(precision) < text.size())
                    text.resize(static_cast<size_t>(precision));
                break;
            case 'p': {
                if (arg.Kind() != TFormatArg::TKind::Pointer) Invalid(format);
                char buf[32];
                std::snprintf(
                    buf, sizeof buf, "%0*llX", static_cast<int>(sizeof(void *) * 2),
                    static_cast<unsigned long long>(static_cast<std::uintptr_t>(arg.Int())));
                text = buf;
                break;
            }
            default:
                Invalid(format);
        }
        if (width > 0 && static_cast<int>(text.size()) < width) {
            const std::string pad(static_cast<size_t>(width) - text.size(), ' ');
            text = left ? text + pad : pad + text;
        }
        out += text;
    }
    return out;
}

}  // namespace brevor
