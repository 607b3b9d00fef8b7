#pragma once

// The OLE variant value model shared with the host (BRV_VARIANT), with the OLE conversion rules.
//
// Supported types: empty, Null, the integer types (int8..uint64, int, uint), float, double,
// currency, date, boolean, OLE string (8) and counted 8-bit text (0x100). Other types (arrays,
// references, interfaces, decimal) cannot be copied or converted: EVariantError.
//
// Ownership: a variant owns its OLE string (freed when cleared, duplicated when copied) and one
// reference to its counted text (released when cleared, taken again when copied).

#include <cstdint>
#include <string>
#include <string_view>

#include "brevor/abi.h"

namespace brevor {

// Frees what the variant owns by the OLE rules and leaves it empty.
void RawVariantClear(BRV_VARIANT &v) noexcept;
// dst := deep copy of src (the old dst is cleared first). Throws EVariantError for a type that
// cannot be copied; dst is then empty.
void RawVariantCopy(BRV_VARIANT &dst, const BRV_VARIANT &src);

// Conversions of a raw variant. Empty gives 0, "" or false; Null raises EVariantError; a text
// that is no number (or boolean) raises EConvertError; a value out of range raises
// EVariantError. Reals round half to even, as OLE does.
std::string RawVariantToString(const BRV_VARIANT &v);
std::int32_t RawVariantToInt32(const BRV_VARIANT &v);
std::int64_t RawVariantToInt64(const BRV_VARIANT &v);
double RawVariantToDouble(const BRV_VARIANT &v);
bool RawVariantToBool(const BRV_VARIANT &v);
// The name of a type code for messages ("Integer", "OleStr", "String", ...).
std::string VarTypeName(std::uint16_t vt);

class Variant {
public:
    Variant() noexcept : raw_{} {}
    Variant(std::int32_t value) noexcept;
    Variant(std::int64_t value) noexcept;
    Variant(double value) noexcept;
    Variant(bool value) noexcept;
    // Texts become OLE strings (type 8), the form in which texts cross to the host.
    Variant(std::string_view text);
    Variant(const std::string &text) : Variant(std::string_view(text)) {}
    Variant(const char *text) : Variant(std::string_view(text ? text : "")) {}

    static Variant Null() noexcept;
    static Variant OleStr(std::string_view text);
    static Variant AnsiStr(std::string_view text);  // counted 8-bit text, type 0x100
    // A deep copy of a raw variant.
    static Variant Copy(const BRV_VARIANT &raw);
    // Takes over what the raw variant owns; the caller must not clear it.
    static Variant Adopt(const BRV_VARIANT &raw) noexcept;

    Variant(const Variant &other);
    Variant(Variant &&other) noexcept;
    Variant &operator=(const Variant &other);
    Variant &operator=(Variant &&other) noexcept;
    ~Variant() { RawVariantClear(raw_); }

    std::uint16_t VarType() const noexcept { return raw_.vt; }
    bool IsEmpty() const noexcept { return raw_.vt == BRV_VT_EMPTY; }
    bool IsNull() const noexcept { return raw_.vt == BRV_VT_NULL; }
    // Empty or Null: what parameter lists treat as "no value".
    bool IsClear() const noexcept { return IsEmpty() || IsNull(); }
    bool IsText() const noexcept { return raw_.vt == BRV_VT_BSTR || raw_.vt == BRV_VT_STRING; }
    void Clear() noexcept { RawVariantClear(raw_); }

    std::string ToString() const { return RawVariantToString(raw_); }
    std::int32_t ToInt32() const { return RawVariantToInt32(raw_); }
    std::int64_t ToInt64() const { return RawVariantToInt64(raw_); }
    double ToDouble() const { return RawVariantToDouble(raw_); }
    bool ToBool() const { return RawVariantToBool(raw_); }

    // A copy in which a counted 8-bit text has become an OLE string; other values unchanged.
    Variant ToOleForm() const;

    const BRV_VARIANT &Raw() const noexcept { return raw_; }
    // Hands what the variant owns to the caller and leaves it empty.
    BRV_VARIANT Detach() noexcept;

private:
    BRV_VARIANT raw_;
};

}  // namespace brevor
