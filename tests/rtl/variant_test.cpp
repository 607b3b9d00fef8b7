#include "rtl/variant.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "rtl/counted_text.h"
#include "rtl/exceptions.h"
#include "rtl/ole_string.h"

namespace brevor {
namespace {

BRV_VARIANT Raw(std::uint16_t vt) {
    BRV_VARIANT v{};
    v.vt = vt;
    return v;
}

Variant Typed(std::uint16_t vt, std::int64_t bits) {
    BRV_VARIANT v = Raw(vt);
    v.u.llVal = bits;
    return Variant::Adopt(v);
}

Variant Real(std::uint16_t vt, double d) {
    BRV_VARIANT v = Raw(vt);
    if (vt == BRV_VT_R4)
        v.u.fltVal = static_cast<float>(d);
    else
        v.u.dblVal = d;
    return Variant::Adopt(v);
}

TEST(CountedText, LayoutReferencesAndConstants) {
    EXPECT_EQ(NewCountedText(""), nullptr);
    EXPECT_EQ(CountedTextView(nullptr), "");

    char *t = NewCountedText(std::string_view("a\0b", 3));
    std::int32_t header[2];
    std::memcpy(header, t - 8, 8);
    EXPECT_EQ(header[0], 1);
    EXPECT_EQ(header[1], 3);
    EXPECT_EQ(t[3], '\0');
    EXPECT_EQ(CountedTextView(t), std::string_view("a\0b", 3));
    CountedTextAddRef(t);
    EXPECT_EQ(CountedTextRefCount(t), 2);
    CountedTextRelease(t);
    CountedTextRelease(t);  // freed here: ASan reports a leak or double free otherwise

    // A constant (-1) is neither counted nor freed.
    struct {
        std::int32_t refCount = -1, length = 2;
        char chars[3] = "hi";
    } constant;
    CountedTextAddRef(constant.chars);
    CountedTextRelease(constant.chars);
    EXPECT_EQ(constant.refCount, -1);
    EXPECT_EQ(CountedTextView(constant.chars), "hi");

    TCountedText a("xyz");
    TCountedText b = a;
    EXPECT_EQ(CountedTextRefCount(a.Get()), 2);
    EXPECT_EQ(b.View(), "xyz");
}

TEST(OleString, LayoutAndWindows1252) {
    EXPECT_EQ(OleStrFromAnsi(""), nullptr);
    EXPECT_EQ(OleStrToAnsi(nullptr), "");
    std::uint16_t *s = OleStrFromAnsi("\x80 \xE9");  // euro sign, blank, e acute
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<char *>(s) - 4, 4);
    EXPECT_EQ(bytes, 6u);
    EXPECT_EQ(s[0], 0x20AC);
    EXPECT_EQ(s[2], 0x00E9);
    EXPECT_EQ(s[3], 0);
    EXPECT_EQ(OleStrToAnsi(s), "\x80 \xE9");
    std::uint16_t *copy = OleStrCopy(s);
    EXPECT_NE(copy, s);
    OleStrFree(s);
    EXPECT_EQ(OleStrToAnsi(copy), "\x80 \xE9");
    OleStrFree(copy);
    std::uint16_t *cjk = OleStrAlloc(u"\u4E2D");
    EXPECT_EQ(OleStrToAnsi(cjk), "?");
    OleStrFree(cjk);
}

// Result of a conversion: the value, or which exception it raised.
enum class Raises { Nothing, Convert, Variant };

template <typename T>
std::pair<std::optional<T>, Raises> Try(const std::function<T()> &f) {
    try {
        return {f(), Raises::Nothing};
    } catch (const EConvertError &) {
        return {std::nullopt, Raises::Convert};
    } catch (const EVariantError &) {
        return {std::nullopt, Raises::Variant};
    }
}

TEST(Variant, ToText) {
    struct Case {
        Variant value;
        const char *text;  // null: raises EVariantError
    };
    const Case cases[] = {
        {Variant(), ""},
        {Variant::Null(), nullptr},
        {Variant(42), "42"},
        {Variant(std::int64_t{-9000000000}), "-9000000000"},
        {Variant(true), "True"},
        {Variant(false), "False"},
        {Variant(1.5), "1.5"},
        {Variant(0.1), "0.1"},
        {Variant(1e20), "1E+20"},
        {Variant(1e-5), "1E-05"},
        {Variant(123456789012345678.0), "1.23456789012346E+17"},
        {Real(BRV_VT_R4, 0.1), "0.1"},
        {Typed(BRV_VT_CY, 15000), "1.5"},
        {Typed(BRV_VT_CY, -123), "-0.0123"},
        {Typed(BRV_VT_UI1, 200), "200"},
        {Typed(BRV_VT_I1, -5), "-5"},
        {Typed(BRV_VT_UI8, -1), "18446744073709551615"},
        {Real(BRV_VT_DATE, 45000.5), "2023-03-15 12:00:00"},
        {Real(BRV_VT_DATE, 2.0), "1900-01-01"},
        {Real(BRV_VT_DATE, 0.25), "06:00:00"},
        {Variant("caf\xE9"), "caf\xE9"},
        {Variant::AnsiStr("8-bit"), "8-bit"},
        {Typed(0x2003, 0), nullptr},  // an array: not part of the model
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(raises)");
        const auto [text, raised] = Try<std::string>([&] { return c.value.ToString(); });
        if (c.text) {
            EXPECT_EQ(text, std::optional<std::string>(c.text));
        } else {
            EXPECT_EQ(raised, Raises::Variant);
        }
    }
}

TEST(Variant, ToNumbersAndBoolean) {
    struct Case {
        Variant value;
        std::optional<std::int32_t> i32;
        std::optional<std::int64_t> i64;
        std::optional<bool> b;
        Raises numberFailure;  // what a failed number conversion raises
    };
    constexpr auto none = std::nullopt;
    const Case cases[] = {
        {Variant(), 0, 0, false, Raises::Nothing},
        {Variant::Null(), none, none, none, Raises::Variant},
        {Variant(7), 7, 7, true, Raises::Nothing},
        {Variant(true), -1, -1, true, Raises::Nothing},
        {Variant(2.5), 2, 2, true, Raises::Nothing},  // half to even
        {Variant(3.5), 4, 4, true, Raises::Nothing},
        {Variant(-2.5), -2, -2, true, Raises::Nothing},
        {Variant(0.0), 0, 0, false, Raises::Nothing},
        {Variant(std::int64_t{1} << 40), none, std::int64_t{1} << 40, true, Raises::Variant},
        {Variant(1e19), none, none, true, Raises::Variant},
        {Variant(std::numeric_limits<double>::quiet_NaN()), none, none, true, Raises::Variant},
        {Typed(BRV_VT_UI4, 0xFFFFFFFF), none, 0xFFFFFFFF, true, Raises::Variant},
        {Typed(BRV_VT_UI8, -1), none, none, true, Raises::Variant},
        {Typed(BRV_VT_CY, 25000), 2, 2, true, Raises::Nothing},  // 2.5 to even
        {Typed(BRV_VT_CY, 35000), 4, 4, true, Raises::Nothing},
        {Typed(BRV_VT_CY, -35000), -4, -4, true, Raises::Nothing},
        {Variant(" 42 "), 42, 42, true, Raises::Nothing},
        {Variant("-17"), -17, -17, true, Raises::Nothing},
        {Variant("+3"), 3, 3, true, Raises::Nothing},
        {Variant("2.5"), 2, 2, true, Raises::Nothing},
        {Variant("1e3"), 1000, 1000, true, Raises::Nothing},
        {Variant("0"), 0, 0, false, Raises::Nothing},
        {Variant("9223372036854775807"), none, INT64_MAX, true, Raises::Variant},
        {Variant("-9223372036854775808"), none, INT64_MIN, true, Raises::Variant},
        {Variant("99999999999999999999"), none, none, true, Raises::Variant},
        {Variant("1e999"), none, none, true, Raises::Variant},
        {Variant("0.0001e-999"), 0, 0, false, Raises::Nothing},
        {Variant("True"), none, none, true, Raises::Convert},
        {Variant("fALSE"), none, none, false, Raises::Convert},
        {Variant::AnsiStr(" true "), none, none, true, Raises::Convert},
        {Variant("abc"), none, none, none, Raises::Convert},
        {Variant(""), none, none, none, Raises::Convert},
        {Variant("12abc"), none, none, none, Raises::Convert},
        {Variant("1e"), none, none, none, Raises::Convert},
        {Variant("."), none, none, none, Raises::Convert},
        {Variant("inf"), none, none, none, Raises::Convert},
        {Variant("0x10"), none, none, none, Raises::Convert},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value.VarType() == BRV_VT_BSTR ? "text '" + c.value.ToString() + "'"
                                                      : "type " + VarTypeName(c.value.VarType()));
        const auto [i32, r32] = Try<std::int32_t>([&] { return c.value.ToInt32(); });
        EXPECT_EQ(i32, c.i32);
        if (!c.i32) {
            EXPECT_EQ(r32, c.numberFailure);
        }
        const auto [i64, r64] = Try<std::int64_t>([&] { return c.value.ToInt64(); });
        EXPECT_EQ(i64, c.i64);
        if (!c.i64) {
            EXPECT_EQ(r64, c.numberFailure);
        }
        const auto [b, rb] = Try<bool>([&] { return c.value.ToBool(); });
        EXPECT_EQ(b, c.b);
        if (!c.b) {
            EXPECT_NE(rb, Raises::Nothing);
        }
    }
    EXPECT_DOUBLE_EQ(Variant(" -1.25E2 ").ToDouble(), -125.0);
    EXPECT_DOUBLE_EQ(Typed(BRV_VT_CY, 12345).ToDouble(), 1.2345);
    EXPECT_THROW(Variant::Null().ToDouble(), EVariantError);
    EXPECT_THROW(Variant("x").ToDouble(), EConvertError);
}

TEST(Variant, CopyDuplicatesOleStringsAndSharesCountedTexts) {
    const Variant ole("text");
    const Variant oleCopy = ole;
    EXPECT_NE(oleCopy.Raw().u.bstrVal, ole.Raw().u.bstrVal);
    EXPECT_EQ(oleCopy.ToString(), "text");

    const Variant ansi = Variant::AnsiStr("text");
    {
        const Variant ansiCopy = ansi;
        EXPECT_EQ(ansiCopy.Raw().u.strVal, ansi.Raw().u.strVal);
        EXPECT_EQ(CountedTextRefCount(ansi.Raw().u.strVal), 2);
    }
    EXPECT_EQ(CountedTextRefCount(ansi.Raw().u.strVal), 1);

    const Variant ole2 = ansi.ToOleForm();
    EXPECT_EQ(ole2.VarType(), BRV_VT_BSTR);
    EXPECT_EQ(ole2.ToString(), "text");

    Variant v("old");
    v = v;  // self-assignment keeps the value
    EXPECT_EQ(v.ToString(), "old");
    v = Variant(5);
    EXPECT_EQ(v.VarType(), BRV_VT_I4);
    v.Clear();
    EXPECT_TRUE(v.IsEmpty());

    BRV_VARIANT unsupported = Raw(0x4003);  // by reference
    EXPECT_THROW(Variant::Copy(unsupported), EVariantError);
}

}  // namespace
}  // namespace brevor
