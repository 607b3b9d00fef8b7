#include "rtl/variant.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "rtl/ansi.h"
#include "rtl/counted_text.h"
#include "rtl/exceptions.h"
#include "rtl/ole_string.h"

namespace brevor {

namespace {

constexpr std::int64_t kCurrencyScale = 10000;
// 1899-12-30, day 0 of an OLE date, counted from 1970-01-01.
constexpr std::int64_t kOleEpochFromUnixDays = -25569;
// The range of dates OLE accepts: 100-01-01 to 9999-12-31.
constexpr double kMinOleDate = -657434.0;
constexpr double kMaxOleDate = 2958466.0;

bool IsSupported(std::uint16_t vt) {
    switch (vt) {
        case BRV_VT_EMPTY:
        case BRV_VT_NULL:
        case BRV_VT_I2:
        case BRV_VT_I4:
        case BRV_VT_R4:
        case BRV_VT_R8:
        case BRV_VT_CY:
        case BRV_VT_DATE:
        case BRV_VT_BSTR:
        case BRV_VT_BOOL:
        case BRV_VT_I1:
        case BRV_VT_UI1:
        case BRV_VT_UI2:
        case BRV_VT_UI4:
        case BRV_VT_I8:
        case BRV_VT_UI8:
        case BRV_VT_INT:
        case BRV_VT_UINT:
        case BRV_VT_STRING:
            return true;
        default:
            return false;
    }
}

[[noreturn]] void RaiseCast(std::uint16_t from, const char *to) {
    throw EVariantError("Could not convert variant of type (" + VarTypeName(from) +
                        ") into type (" + to + ")");
}

[[noreturn]] void RaiseText(std::uint16_t from, const char *to) {
    throw EConvertError("Could not convert variant of type (" + VarTypeName(from) +
                        ") into type (" + to + ")");
}

[[noreturn]] void RaiseOverflow(std::uint16_t from, const char *to) {
    throw EVariantError("Overflow while converting variant of type (" + VarTypeName(from) +
                        ") into type (" + to + ")");
}

// A numeric value in the widest form that holds it exactly.
struct Number {
    enum Kind { Int, UInt, Real, Currency } kind = Int;
    std::int64_t i = 0;  // Int, and Currency (value times 10000)
    std::uint64_t u = 0;
    double d = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One more than the power of ten of the first significant digit of a well-formed decimal number
// (without sign), saturated: positive exactly when the number is at least 1. 0 for zero.
std::int64_t DecimalExponent(std::string_view text) {
    constexpr std::int64_t kLimit = 1'000'000'000;
    std::int64_t position = 0;  // digits before the point, counted from the first non-zero one
    bool seenSignificant = false;
    bool afterPoint = false;
    std::size_t pos = 0;
    for (; pos < text.size() && text[pos] != 'e' && text[pos] != 'E'; ++pos) {
        const char c = text[pos];
        if (c == '.') {
            afterPoint = true;
        } else if (!seenSignificant && c == '0') {
            if (afterPoint) --position;
        } else if (!seenSignificant) {
            seenSignificant = true;
            if (!afterPoint) position = 1;
        } else if (!afterPoint && position < kLimit) {
            ++position;
        }
    }
    if (!seenSignificant) return 0;
    std::int64_t exponent = 0;
    if (pos < text.size()) {
        ++pos;
        bool negative = false;
        if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
        for (; pos < text.size(); ++pos)
            if (exponent < kLimit) exponent = exponent * 10 + (text[pos] - '0');
        if (negative) exponent = -exponent;
    }
    return position + exponent;
}

// Decimal numbers as OLE parses them in a neutral locale: blanks around, an optional sign,
// digits with an optional fraction after '.', an optional exponent. No thousands separators,
// no currency symbols, no hexadecimal.
std::optional<Number> ParseNumber(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t pos = 0;
    std::size_t digits = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
        ++digits;
    }
    const std::size_t intDigits = digits;
    bool integral = true;
    if (pos < text.size() && text[pos] == '.') {
        integral = false;
        ++pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            ++pos;
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        integral = false;
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        const std::size_t expStart = pos;
        while (pos < text.size() && IsDigit(text[pos]))
            ++pos;
        if (pos == expStart) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;

    Number n;
    if (integral && intDigits > 0) {
        std::uint64_t magnitude = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
        if (ec == std::errc() && end == text.data() + text.size()) {
            constexpr std::uint64_t kMinMagnitude =
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1;
            if (!negative &&
                magnitude <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                n.i = static_cast<std::int64_t>(magnitude);
                return n;
            }
            if (negative && magnitude <= kMinMagnitude) {
                n.i = magnitude == kMinMagnitude ? std::numeric_limits<std::int64_t>::min()
                                                 : -static_cast<std::int64_t>(magnitude);
                return n;
            }
            if (!negative) {
                n.kind = Number::UInt;
                n.u = magnitude;
                return n;
            }
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here: too large is an overflow, too small is zero.
        value = DecimalExponent(text) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    n.kind = Number::Real;
    n.d = negative ? -value : value;
    return n;
}

std::string_view TextOf(const BRV_VARIANT &v, std::string &storage) {
    if (v.vt == BRV_VT_STRING) return CountedTextView(v.u.strVal);
    storage = OleStrToAnsi(v.u.bstrVal);
    return storage;
}

Number NumberOf(const BRV_VARIANT &v, const char *target) {
    Number n;
    switch (v.vt) {
        case BRV_VT_EMPTY:
            return n;
        case BRV_VT_I2:
            n.i = v.u.iVal;
            return n;
        case BRV_VT_I4:
        case BRV_VT_INT:
            n.i = v.u.lVal;
            return n;
        case BRV_VT_I1:
            n.i = v.u.cVal;
            return n;
        case BRV_VT_UI1:
            n.i = v.u.bVal;
            return n;
        case BRV_VT_UI2:
            n.i = v.u.uiVal;
            return n;
        case BRV_VT_UI4:
        case BRV_VT_UINT:
            n.i = v.u.ulVal;
            return n;
        case BRV_VT_I8:
            n.i = v.u.llVal;
            return n;
        case BRV_VT_UI8:
            n.kind = Number::UInt;
            n.u = v.u.ullVal;
            return n;
        case BRV_VT_BOOL:
            n.i = v.u.boolVal != 0 ? -1 : 0;
            return n;
        case BRV_VT_R4:
            n.kind = Number::Real;
            n.d = v.u.fltVal;
            return n;
        case BRV_VT_R8:
        case BRV_VT_DATE:
            n.kind = Number::Real;
            n.d = v.u.dblVal;
            return n;
        case BRV_VT_CY:
            n.kind = Number::Currency;
            n.i = v.u.cyVal;
            return n;
        case BRV_VT_BSTR:
        case BRV_VT_STRING: {
            std::string storage;
            std::optional<Number> parsed = ParseNumber(TextOf(v, storage));
            if (!parsed) RaiseText(v.vt, target);
            return *parsed;
        }
        default:
            RaiseCast(v.vt, target);
    }
}

// Currency (value times 10000) to a whole number, half to even.
std::int64_t RoundCurrency(std::int64_t cy) {
    std::int64_t q = cy / kCurrencyScale;
    const std::int64_t r = cy % kCurrencyScale;
    const std::int64_t half = kCurrencyScale / 2;
    if (r > half || (r == half && (q & 1) != 0)) ++q;
    if (r < -half || (r == -half && (q & 1) != 0)) --q;
    return q;
}

std::int64_t ToInt64Checked(const Number &n, std::uint16_t vt, const char *target, std::int64_t lo,
                            std::int64_t hi) {
    std::int64_t result = 0;
    switch (n.kind) {
        case Number::Int:
            result = n.i;
            break;
        case Number::UInt:
            if (n.u > static_cast<std::uint64_t>(hi)) RaiseOverflow(vt, target);
            result = static_cast<std::int64_t>(n.u);
            break;
        case Number::Currency:
            result = RoundCurrency(n.i);
            break;
        case Number::Real: {
            // nearbyint rounds half to even in the default rounding mode.
            const double r = std::nearbyint(n.d);
            // 2^63 is exactly representable; every double below it converts safely.
            if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
                RaiseOverflow(vt, target);
            result = static_cast<std::int64_t>(r);
            break;
        }
    }
    if (result < lo || result > hi) RaiseOverflow(vt, target);
    return result;
}

std::string FormatReal(double d, int precision) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "INF" : "-INF";
    std::array<char, 64> buf{};
    const auto result = std::to_chars(buf.data(), buf.data() + buf.size(), d,
                                      std::chars_format::general, precision);
    std::string out(buf.data(), result.ptr);
    for (char &c : out)
        if (c == 'e') c = 'E';
    return out;
}

std::string FormatCurrency(std::int64_t cy) {
    const bool negative = cy < 0;
    // Work on the magnitude as unsigned so that the smallest value does not overflow.
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(cy) : static_cast<std::uint64_t>(cy);
    std::string out = negative ? "-" : "";
    out += std::to_string(magnitude / kCurrencyScale);
    std::uint64_t fraction = magnitude % kCurrencyScale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        while (digits.back() == '0')
            digits.pop_back();
        out += '.' + digits;
    }
    return out;
}

std::string Padded(std::int64_t value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

// A neutral rendering of an OLE date: "yyyy-mm-dd", "hh:nn:ss" for a time of day 0, or both.
std::string FormatDate(double date) {
    if (!(date > kMinOleDate - 1 && date < kMaxOleDate)) RaiseOverflow(BRV_VT_DATE, "String");
    // The integer part counts days; the fraction is the time of that day, also for negative
    // dates (-1.25 is 1899-12-29 06:00).
    double dayPart = std::trunc(date);
    std::int64_t seconds = std::llround(std::fabs(date - dayPart) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        dayPart += date < 0 ? -1 : 1;
    }
    std::int64_t z = static_cast<std::int64_t>(dayPart) + kOleEpochFromUnixDays;
    // Days to civil date (proleptic Gregorian).
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    std::string out;
    if (dayPart != 0 || seconds == 0)
        out = Padded(year, 4) + '-' + Padded(month, 2) + '-' + Padded(day, 2);
    if (seconds != 0 || dayPart == 0) {
        if (!out.empty()) out += ' ';
        out += Padded(seconds / 3600, 2) + ':' + Padded(seconds / 60 % 60, 2) + ':' +
               Padded(seconds % 60, 2);
    }
    return out;
}

}  // namespace

std::string VarTypeName(std::uint16_t vt) {
    switch (vt) {
        case BRV_VT_EMPTY:
            return "Empty";
        case BRV_VT_NULL:
            return "Null";
        case BRV_VT_I2:
            return "Smallint";
        case BRV_VT_I4:
            return "Integer";
        case BRV_VT_R4:
            return "Single";
        case BRV_VT_R8:
            return "Double";
        case BRV_VT_CY:
            return "Currency";
        case BRV_VT_DATE:
            return "Date";
        case BRV_VT_BSTR:
            return "OleStr";
        case BRV_VT_BOOL:
            return "Boolean";
        case BRV_VT_I1:
            return "ShortInt";
        case BRV_VT_UI1:
            return "Byte";
        case BRV_VT_UI2:
            return "Word";
        case BRV_VT_UI4:
            return "LongWord";
        case BRV_VT_I8:
            return "Int64";
        case BRV_VT_UI8:
            return "UInt64";
        case BRV_VT_INT:
            return "Int";
        case BRV_VT_UINT:
            return "UInt";
        case BRV_VT_STRING:
            return "String";
        default: {
            std::array<char, 24> buf{};
            std::snprintf(buf.data(), buf.size(), "Unknown 0x%04X", static_cast<unsigned>(vt));
            return buf.data();
        }
    }
}

void RawVariantClear(BRV_VARIANT &v) noexcept {
    if (v.vt == BRV_VT_BSTR) {
        OleStrFree(v.u.bstrVal);
    } else if (v.vt == BRV_VT_STRING) {
        CountedTextRelease(v.u.strVal);
    }
    // Types this model does not know (interfaces, arrays, references) are not owned by it; they
    // are dropped without being freed rather than freed the wrong way.
    v = BRV_VARIANT{};
}

void RawVariantCopy(BRV_VARIANT &dst, const BRV_VARIANT &src) {
    if (&dst == &src) return;
    BRV_VARIANT copy = src;
    if (!IsSupported(src.vt)) {
        RawVariantClear(dst);
        throw EVariantError("Invalid variant type (" + VarTypeName(src.vt) + ")");
    }
    if (src.vt == BRV_VT_BSTR) {
        try {
            copy.u.bstrVal = OleStrCopy(src.u.bstrVal);
        } catch (...) {
            RawVariantClear(dst);
            throw;
        }
    } else if (src.vt == BRV_VT_STRING) {
        CountedTextAddRef(copy.u.strVal);
    }
    RawVariantClear(dst);
    dst = copy;
}

std::string RawVariantToString(const BRV_VARIANT &v) {
    switch (v.vt) {
        case BRV_VT_EMPTY:
            return {};
        case BRV_VT_BSTR:
            return OleStrToAnsi(v.u.bstrVal);
        case BRV_VT_STRING:
            return std::string(CountedTextView(v.u.strVal));
        // VariantChangeType renders a boolean as "-1"/"0" unless asked for VARIANT_ALPHABOOL,
        // which gives "True"/"False". Property values and stored settings use the names, so the
        // names are what this model produces.
        case BRV_VT_BOOL:
            return v.u.boolVal != 0 ? "True" : "False";
        case BRV_VT_R4:
            // Single precision shows 7 significant digits, double 15, as OLE formats them; the
            // decimal separator is always '.', independent of the process locale.
            return FormatReal(v.u.fltVal, 7);
        case BRV_VT_R8:
            return FormatReal(v.u.dblVal, 15);
        case BRV_VT_CY:
            return FormatCurrency(v.u.cyVal);
        case BRV_VT_DATE:
            return FormatDate(v.u.date);
        case BRV_VT_UI8:
            return std::to_string(v.u.ullVal);
        case BRV_VT_NULL:
            RaiseCast(v.vt, "String");
        default:
            if (!IsSupported(v.vt)) RaiseCast(v.vt, "String");
            return std::to_string(NumberOf(v, "String").i);
    }
}

std::int64_t RawVariantToInt64(const BRV_VARIANT &v) {
    if (v.vt == BRV_VT_NULL) RaiseCast(v.vt, "Int64");
    return ToInt64Checked(NumberOf(v, "Int64"), v.vt, "Int64",
                          std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::int64_t>::max());
}

std::int32_t RawVariantToInt32(const BRV_VARIANT &v) {
    if (v.vt == BRV_VT_NULL) RaiseCast(v.vt, "Integer");
    return static_cast<std::int32_t>(ToInt64Checked(NumberOf(v, "Integer"), v.vt, "Integer",
                                                    std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()));
}

double RawVariantToDouble(const BRV_VARIANT &v) {
    if (v.vt == BRV_VT_NULL) RaiseCast(v.vt, "Double");
    const Number n = NumberOf(v, "Double");
    switch (n.kind) {
        case Number::Int:
            return static_cast<double>(n.i);
        case Number::UInt:
            return static_cast<double>(n.u);
        case Number::Currency:
            return static_cast<double>(n.i) / static_cast<double>(kCurrencyScale);
        case Number::Real:
            if (std::isinf(n.d) && v.vt != BRV_VT_R4 && v.vt != BRV_VT_R8)
                RaiseOverflow(v.vt, "Double");
            return n.d;
    }
    return 0;
}

bool RawVariantToBool(const BRV_VARIANT &v) {
    if (v.vt == BRV_VT_NULL) RaiseCast(v.vt, "Boolean");
    if (v.vt == BRV_VT_BSTR || v.vt == BRV_VT_STRING) {
        std::string storage;
        const std::string_view text = Trim(TextOf(v, storage));
        if (AnsiSameText(text, "True")) return true;
        if (AnsiSameText(text, "False")) return false;
        std::optional<Number> parsed = ParseNumber(text);
        if (!parsed) RaiseText(v.vt, "Boolean");
        return parsed->kind == Number::Real ? parsed->d != 0 : (parsed->i != 0 || parsed->u != 0);
    }
    const Number n = NumberOf(v, "Boolean");
    switch (n.kind) {
        case Number::Int:
        case Number::Currency:
            return n.i != 0;
        case Number::UInt:
            return n.u != 0;
        case Number::Real:
            return n.d != 0;
    }
    return false;
}

// ---------------------------------------------------------------- Variant

Variant::Variant(std::int32_t value) noexcept : raw_{} {
    raw_.vt = BRV_VT_I4;
    raw_.u.lVal = value;
}

Variant::Variant(std::int64_t value) noexcept : raw_{} {
    raw_.vt = BRV_VT_I8;
    raw_.u.llVal = value;
}

Variant::Variant(double value) noexcept : raw_{} {
    raw_.vt = BRV_VT_R8;
    raw_.u.dblVal = value;
}

Variant::Variant(bool value) noexcept : raw_{} {
    raw_.vt = BRV_VT_BOOL;
    raw_.u.boolVal = value ? BRV_VARIANT_TRUE : BRV_VARIANT_FALSE;
}

Variant::Variant(std::string_view text) : raw_{} {
    raw_.u.bstrVal = OleStrFromAnsi(text);
    raw_.vt = BRV_VT_BSTR;
}

Variant Variant::Null() noexcept {
    Variant v;
    v.raw_.vt = BRV_VT_NULL;
    return v;
}

Variant Variant::OleStr(std::string_view text) {
    return Variant(text);
}

Variant Variant::AnsiStr(std::string_view text) {
    Variant v;
    v.raw_.u.strVal = NewCountedText(text);
    v.raw_.vt = BRV_VT_STRING;
    return v;
}

Variant Variant::Copy(const BRV_VARIANT &raw) {
    Variant v;
    RawVariantCopy(v.raw_, raw);
    return v;
}

Variant Variant::Adopt(const BRV_VARIANT &raw) noexcept {
    Variant v;
    v.raw_ = raw;
    return v;
}

Variant::Variant(const Variant &other) : raw_{} {
    RawVariantCopy(raw_, other.raw_);
}

Variant::Variant(Variant &&other) noexcept : raw_(other.raw_) {
    other.raw_ = BRV_VARIANT{};
}

Variant &Variant::operator=(const Variant &other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Variant &Variant::operator=(Variant &&other) noexcept {
    if (this != &other) {
        RawVariantClear(raw_);
        raw_ = other.raw_;
        other.raw_ = BRV_VARIANT{};
    }
    return *this;
}

Variant Variant::ToOleForm() const {
    if (raw_.vt == BRV_VT_STRING) return OleStr(CountedTextView(raw_.u.strVal));
    return *this;
}

BRV_VARIANT Variant::Detach() noexcept {
    BRV_VARIANT out = raw_;
    raw_ = BRV_VARIANT{};
    return out;
}

}  // namespace brevor
