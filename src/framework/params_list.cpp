#include "framework/params_list.h"

#include <array>
#include <cstdlib>
#include <limits>
#include <new>

#include "platform/platform.h"
#include "platform/shared_alloc.h"
#include "rtl/ansi.h"
#include "rtl/counted_text.h"
#include "rtl/exceptions.h"

namespace brevor {

const TBrvClass TqelParamsListClass = {"TqelParamsList", nullptr, sizeof(TqelParamsList), nullptr};
const TBrvClass TqelRowsParamsListClass = {"TqelRowsParamsList", &TqelParamsListClass,
                                           sizeof(TqelRowsParamsList), nullptr};
const TBrvClass TqelParamsListItemClass = {"TqelParamsListItem", nullptr,
                                           sizeof(TqelParamsListItem), nullptr};

namespace params {

namespace {

constexpr const char *kAssertionFailure = "Assertion failure";
constexpr const char *kInvalidCallParameters = "Invalid call parameters";

[[noreturn]] void Fail(const char *message) {
    throw EAssertionFailed(message);
}

// Count and Items must describe a readable array; Capacity is only a growth hint.
bool IsWellFormed(const TqelParamsList *list) noexcept {
    return list != nullptr && list->Count >= 0 && (list->Count == 0 || list->Items != nullptr);
}

void CheckShape(const TqelParamsList *list) {
    if (!IsWellFormed(list)) Fail(kAssertionFailure);
}

void Notify(TqelParamsList *list, TqelParamsListItem *item, std::int32_t action) {
    if (item != nullptr && list->Class != nullptr && list->Class->Notify != nullptr)
        list->Class->Notify(list, item, action);
}

// The growth steps of the runtime's pointer list: 4, then 16, then a quarter of the capacity.
std::int32_t GrowCapacity(std::int32_t capacity) {
    std::int32_t delta = capacity > 64 ? capacity / 4 : (capacity > 8 ? 16 : 4);
    if (capacity > std::numeric_limits<std::int32_t>::max() - delta) {
        if (capacity == std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
        delta = std::numeric_limits<std::int32_t>::max() - capacity;
    }
    return capacity + delta;
}

// Appends item; on failure the item is freed and the list is unchanged.
void Append(TqelParamsList *list, TqelParamsListItem *item) {
    try {
        // A host that keeps Capacity below Count still gets an array large enough.
        if (list->Count >= list->Capacity) {
            const std::int32_t capacity =
                GrowCapacity(list->Capacity > list->Count ? list->Capacity : list->Count);
            void *grown = platform::SharedRealloc(
                list->Items, static_cast<std::size_t>(capacity) * sizeof(TqelParamsListItem *));
            if (grown == nullptr) throw std::bad_alloc();
            list->Items = static_cast<TqelParamsListItem **>(grown);
            list->Capacity = capacity;
        }
    } catch (...) {
        FreeParamsListItem(item);
        throw;
    }
    list->Items[list->Count] = item;
    ++list->Count;
    Notify(list, item, BRV_NOTIFY_ADDED);
}

bool IsBlankName(std::string_view name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) > 0x20) return false;
    return true;
}

bool IsAbsent(const Variant &v) {
    return v.IsClear();
}

}  // namespace

std::string NewGuidText() {
    std::array<std::uint8_t, 16> bytes{};
    platform::FillRandomBytes(bytes.data(), bytes.size());
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "{";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    text += '}';
    return text;
}

TqelParamsList *NewParamsList(bool rows) {
    const TBrvClass &cls = rows ? TqelRowsParamsListClass : TqelParamsListClass;
    auto *list = static_cast<TqelParamsList *>(
        platform::SharedAllocZeroed(static_cast<std::size_t>(cls.InstanceSize)));
    if (list == nullptr) throw std::bad_alloc();
    list->Class = &cls;
    try {
        list->ListId = NewCountedText(NewGuidText());
    } catch (...) {
        platform::SharedFree(list);
        throw;
    }
    list->Reserved = 0;
    list->Signature = BRV_LIST_SIGNATURE;
    return list;
}

void FreeParamsList(TqelParamsList *list) noexcept {
    if (list == nullptr) return;
    // From here on every look-up on the list fails its signature check, also one made by a
    // notification while the items are freed.
    list->Signature = 0;
    if (IsWellFormed(list)) {
        Clear(list);
    } else {
        // A corrupt list: do not read its slots; free only what it owns directly.
        platform::SharedFree(list->Items);
    }
    CountedTextRelease(list->ListId);
    platform::SharedFree(list);
}

bool IsRowsList(const TqelParamsList *list) noexcept {
    if (list == nullptr) return false;
    // The chain is host memory: a cycle or a corrupt record must end the walk, so it stops after
    // more levels than any real class hierarchy has.
    constexpr int kMaxClassDepth = 64;
    const TBrvClass *cls = list->Class;
    for (int depth = 0; cls != nullptr && depth < kMaxClassDepth; ++depth, cls = cls->Parent) {
        if (cls->ClassName != nullptr && AnsiSameText(cls->ClassName, "TqelRowsParamsList"))
            return true;
    }
    return false;
}

void CheckSignature(const TqelParamsList *list) {
    if (list == nullptr || list->Signature != BRV_LIST_SIGNATURE) Fail(kAssertionFailure);
    CheckShape(list);
}

void CheckCallParams(const void *params) {
    const auto *list = static_cast<const TqelParamsList *>(params);
    if (list == nullptr || list->Signature != BRV_LIST_SIGNATURE || !IsWellFormed(list))
        Fail(kInvalidCallParameters);
    for (std::int32_t i = 0; i < list->Count; ++i)
        if (list->Items[i] == nullptr) Fail(kInvalidCallParameters);
}

TqelParamsListItem *Items(const TqelParamsList *list, std::int32_t index) {
    CheckShape(list);
    if (index < 0 || index >= list->Count) return nullptr;
    return list->Items[index];
}

void SetItem(TqelParamsList *list, std::int32_t index, TqelParamsListItem *item) {
    CheckShape(list);
    if (index < 0 || index >= list->Count) Fail(kAssertionFailure);
    TqelParamsListItem *old = list->Items[index];
    list->Items[index] = item;
    Notify(list, old, BRV_NOTIFY_DELETED);
    Notify(list, item, BRV_NOTIFY_ADDED);
}

std::int32_t IndexOf(const TqelParamsList *list, std::string_view name, std::int32_t from,
                     std::int32_t to) {
    CheckSignature(list);
    if (list->Count == 0) return -1;
    // LowerName holds the ANSI lower case of Name, so the needle is lowered the same way; for the
    // letters A-Z (all the names the framework uses) this is plain ASCII lowering.
    const std::string needle = AnsiLowerCase(name);
    const std::int32_t first = from < 0 ? 0 : from;
    const std::int32_t last = (to < 0 || to >= list->Count) ? list->Count - 1 : to;
    for (std::int32_t i = first; i <= last; ++i) {
        const TqelParamsListItem *item = list->Items[i];
        if (item == nullptr) Fail(kAssertionFailure);
        if (CountedTextView(item->LowerName) == needle) return i;
        if (to == -2 && CountedTextView(item->Name) == kRowMarker) return -1;
    }
    return -1;
}

TqelParamsListItem *FindItem(const TqelParamsList *list, std::string_view name, std::int32_t from,
                             std::int32_t to) {
    CheckSignature(list);
    if (list->Count == 0) return nullptr;
    return Items(list, IndexOf(list, name, from, to));
}

Variant GetValue(const TqelParamsList *list, std::string_view name, std::int32_t from,
                 std::int32_t to) {
    const TqelParamsListItem *item = FindItem(list, name, from, to);
    if (item == nullptr) return Variant();
    return Variant::Copy(item->Value);
}

TqelParamsListItem *NewParamsListItem(std::string_view name, const Variant &value) {
    Variant stored = value.ToOleForm();
    auto *item =
        static_cast<TqelParamsListItem *>(platform::SharedAllocZeroed(sizeof(TqelParamsListItem)));
    if (item == nullptr) throw std::bad_alloc();
    item->Class = &TqelParamsListItemClass;
    try {
        item->Name = NewCountedText(name);
        item->LowerName = NewCountedText(AnsiLowerCase(name));
    } catch (...) {
        FreeParamsListItem(item);
        throw;
    }
    item->Value = stored.Detach();
    // The host reads State; the module only writes it (0 for an empty value, then 2 once added).
    item->State = 2;
    return item;
}

void FreeParamsListItem(TqelParamsListItem *item) noexcept {
    if (item == nullptr) return;
    CountedTextRelease(item->Name);
    CountedTextRelease(item->LowerName);
    if (item->Value.vt == BRV_VT_BSTR || item->Value.vt == BRV_VT_STRING) {
        // A text value becomes an empty OLE string first, then unassigned.
        RawVariantClear(item->Value);
        item->Value.vt = BRV_VT_BSTR;
        item->Value.u.bstrVal = nullptr;
    }
    RawVariantClear(item->Value);
    platform::SharedFree(item);
}

TqelParamsListItem *AddItem(TqelParamsList *list, std::string_view name, const Variant &value) {
    CheckSignature(list);
    if (IsBlankName(name)) return nullptr;
    TqelParamsListItem *item = NewParamsListItem(name, value);
    Append(list, item);
    return item;
}

TqelParamsListItem *SetValue(TqelParamsList *list, std::string_view name, const Variant &value,
                             bool add) {
    TqelParamsListItem *item = FindItem(list, name, 0, -1);
    if (item == nullptr && add) item = AddItem(list, name, Variant::Null());
    if (item == nullptr) return nullptr;
    // Built before the old value is cleared: value may be a copy of this very item's value.
    Variant stored = value.IsText() ? Variant::OleStr(value.ToString()) : Variant(value);
    RawVariantClear(item->Value);
    item->Value = stored.Detach();
    return item;
}

TqelParamsListItem *AddRowMarker(TqelParamsList *list) {
    return AddItem(list, kRowMarker, Variant::Null());
}

void Clear(TqelParamsList *list) {
    CheckShape(list);
    for (std::int32_t i = 0; i < list->Count; ++i) {
        TqelParamsListItem *item = list->Items[i];
        SetItem(list, i, nullptr);
        FreeParamsListItem(item);
    }
    platform::SharedFree(list->Items);
    list->Items = nullptr;
    list->Count = 0;
    list->Capacity = 0;
}

// ---------------------------------------------------------------- parameter readers

namespace {

// The value, or empty when the list is null or the parameter is absent.
Variant Lookup(const TqelParamsList *list, std::string_view name) {
    if (list == nullptr) return Variant();
    return GetValue(list, name, 0, -1);
}

}  // namespace

bool HasParam(const TqelParamsList *list, std::string_view name) {
    return !IsAbsent(Lookup(list, name));
}

std::string ReadParamText(const TqelParamsList *list, std::string_view name,
                          std::string_view defaultValue) {
    const Variant v = Lookup(list, name);
    return IsAbsent(v) ? std::string(defaultValue) : v.ToString();
}

std::int32_t ReadParamInt(const TqelParamsList *list, std::string_view name,
                          std::int32_t defaultValue) {
    const Variant v = Lookup(list, name);
    return IsAbsent(v) ? defaultValue : v.ToInt32();
}

std::uintptr_t ReadParamHandle(const TqelParamsList *list, std::string_view name,
                               std::uintptr_t defaultValue) {
    const Variant v = Lookup(list, name);
    if (IsAbsent(v)) return defaultValue;
    // An unsigned 64-bit value keeps its bits; everything else goes through the signed 64-bit
    // conversion. The cast to the pointer width keeps the low 32 bits on 32-bit targets.
    const std::uint64_t bits =
        v.VarType() == BRV_VT_UI8 ? v.Raw().u.ullVal : static_cast<std::uint64_t>(v.ToInt64());
    return static_cast<std::uintptr_t>(bits);
}

bool ReadParamBool(const TqelParamsList *list, std::string_view name, bool defaultValue) {
    const Variant v = Lookup(list, name);
    return IsAbsent(v) ? defaultValue : v.ToBool();
}

}  // namespace params
}  // namespace brevor
