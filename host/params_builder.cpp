#include "params_builder.h"

#include <cstring>
#include <new>

#include "host_os.h"

namespace brevor::host {

namespace {

// Unicode code points of the Windows-1252 bytes 0x80-0x9F; the other bytes are their own.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ToUnit(unsigned char c) {
    return c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : static_cast<char16_t>(c);
}

char FromUnit(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == u) return static_cast<char>(0x80 + i);
    return '?';
}

char LowerByte(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<char>(c + 0x10);
    if (c == 0x9F) return static_cast<char>(0xFF);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char>(c + 32);
    return ch;
}

void *Alloc(std::size_t size) {
    return os::SharedAlloc(size);
}

// Counted 8-bit text: refcount, length, chars, zero.
char *NewText(std::string_view s) {
    if (s.empty()) return nullptr;
    auto *block = static_cast<char *>(Alloc(8 + s.size() + 1));
    const std::int32_t refCount = 1;
    const auto length = static_cast<std::int32_t>(s.size());
    std::memcpy(block, &refCount, 4);
    std::memcpy(block + 4, &length, 4);
    std::memcpy(block + 8, s.data(), s.size());
    return block + 8;
}

std::string_view TextView(const char *text) {
    if (text == nullptr) return {};
    std::int32_t length = 0;
    std::memcpy(&length, text - 4, 4);
    return length > 0 ? std::string_view(text, static_cast<std::size_t>(length))
                      : std::string_view();
}

// The host never shares a text between threads, so a plain count is enough here.
void ReleaseText(char *text) {
    if (text == nullptr) return;
    std::int32_t refCount = 0;
    std::memcpy(&refCount, text - 8, 4);
    if (refCount <= 0) return;  // -1: a constant
    --refCount;
    if (refCount == 0) {
        os::SharedFree(text - 8);
        return;
    }
    std::memcpy(text - 8, &refCount, 4);
}

// OLE string: uint32 byte length, UTF-16 units, zero unit.
std::uint16_t *NewOleString(std::string_view s) {
    if (s.empty()) return nullptr;
    std::uint16_t *units = os::NewOleString(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        units[i] = ToUnit(static_cast<unsigned char>(s[i]));
    return units;
}

std::string OleStringText(const std::uint16_t *s) {
    if (s == nullptr) return {};
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char *>(s) - 4, 4);
    std::string out;
    for (std::uint32_t i = 0; i < bytes / 2; ++i)
        out += FromUnit(s[i]);
    return out;
}

void FreeOleString(std::uint16_t *s) {
    os::FreeOleString(s);
}

void ClearValue(BRV_VARIANT &v) {
    if (v.vt == BRV_VT_BSTR) FreeOleString(v.u.bstrVal);
    if (v.vt == BRV_VT_STRING) ReleaseText(v.u.strVal);
    v = BRV_VARIANT{};
}

void FreeItem(TqelParamsListItem *item) {
    if (item == nullptr) return;
    ReleaseText(item->Name);
    ReleaseText(item->LowerName);
    ClearValue(item->Value);
    os::SharedFree(item);
}

void BRV_CALL CountNotify(void *list, void * /*item*/, std::int32_t action) {
    if (action >= 0 && action <= 2) ++static_cast<THostParamsList *>(list)->NotifyCounts[action];
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = LowerByte(c);
    return out;
}

const TqelParamsListItem *Find(const TqelParamsList *list, std::string_view name) {
    const std::int32_t index = FindParam(list, name);
    return index < 0 ? nullptr : list->Items[index];
}

}  // namespace

const TBrvClass HostParamsListClass = {"THostParamsList", nullptr, sizeof(THostParamsList),
                                       &CountNotify};
const TBrvClass HostRowsParamsListClass = {"TQELROWSPARAMSLIST", &HostParamsListClass,
                                           sizeof(THostParamsList), &CountNotify};
const TBrvClass HostParamsListItemClass = {"THostParamsListItem", nullptr,
                                           sizeof(TqelParamsListItem), nullptr};

TParamsBuilder::TParamsBuilder(bool rows)
    : list_(static_cast<THostParamsList *>(Alloc(sizeof(THostParamsList)))) {
    TqelParamsList &l = list_->Shared.List;
    l.Class = rows ? &HostRowsParamsListClass : &HostParamsListClass;
    l.Signature = BRV_LIST_SIGNATURE;
    l.ListId = NewText("{00000000-0000-4000-8000-000000000001}");
}

TParamsBuilder::~TParamsBuilder() {
    FreeAnyParamsList(&list_->Shared.List);
}

std::int32_t TParamsBuilder::NotifyCount(std::int32_t action) const {
    return action >= 0 && action <= 2 ? list_->NotifyCounts[action] : 0;
}

TParamsBuilder &TParamsBuilder::AddRaw(std::string_view name, const BRV_VARIANT &value) {
    TqelParamsList &l = list_->Shared.List;
    auto *item = static_cast<TqelParamsListItem *>(Alloc(sizeof(TqelParamsListItem)));
    item->Class = &HostParamsListItemClass;
    item->Name = NewText(name);
    item->LowerName = NewText(Lower(name));
    item->State = 2;
    item->Value = value;
    if (l.Count == l.Capacity) {
        const std::int32_t capacity = l.Capacity == 0 ? 4 : l.Capacity * 2;
        void *grown = os::SharedRealloc(
            l.Items, sizeof(TqelParamsListItem *) * static_cast<std::size_t>(capacity));
        if (grown == nullptr) {
            FreeItem(item);
            throw std::bad_alloc();
        }
        l.Items = static_cast<TqelParamsListItem **>(grown);
        l.Capacity = capacity;
    }
    l.Items[l.Count++] = item;
    CountNotify(list_, item, BRV_NOTIFY_ADDED);
    return *this;
}

TParamsBuilder &TParamsBuilder::Add(std::string_view name, std::int32_t value) {
    BRV_VARIANT v{};
    v.vt = BRV_VT_I4;
    v.u.lVal = value;
    return AddRaw(name, v);
}

TParamsBuilder &TParamsBuilder::Add(std::string_view name, std::int64_t value) {
    BRV_VARIANT v{};
    v.vt = BRV_VT_I8;
    v.u.llVal = value;
    return AddRaw(name, v);
}

TParamsBuilder &TParamsBuilder::Add(std::string_view name, bool value) {
    BRV_VARIANT v{};
    v.vt = BRV_VT_BOOL;
    v.u.boolVal = value ? BRV_VARIANT_TRUE : BRV_VARIANT_FALSE;
    return AddRaw(name, v);
}

TParamsBuilder &TParamsBuilder::Add(std::string_view name, std::string_view text) {
    BRV_VARIANT v{};
    v.vt = BRV_VT_BSTR;
    v.u.bstrVal = NewOleString(text);
    return AddRaw(name, v);
}

TParamsBuilder &TParamsBuilder::AddAnsi(std::string_view name, std::string_view text) {
    BRV_VARIANT v{};
    v.vt = BRV_VT_STRING;
    v.u.strVal = NewText(text);
    return AddRaw(name, v);
}

TParamsBuilder &TParamsBuilder::AddNull(std::string_view name) {
    BRV_VARIANT v{};
    v.vt = BRV_VT_NULL;
    return AddRaw(name, v);
}

TParamsBuilder &TParamsBuilder::AddRowMarker() {
    return AddNull(BRV_ROW_MARKER);
}

void FreeAnyParamsList(TqelParamsList *list) {
    if (list == nullptr) return;
    list->Signature = 0;
    for (std::int32_t i = 0; i < list->Count; ++i)
        FreeItem(list->Items[i]);
    os::SharedFree(list->Items);
    ReleaseText(list->ListId);
    os::SharedFree(list);
}

std::int32_t FindParam(const TqelParamsList *list, std::string_view name) {
    if (list == nullptr) return -1;
    const std::string needle = Lower(name);
    for (std::int32_t i = 0; i < list->Count; ++i) {
        const TqelParamsListItem *item = list->Items[i];
        if (item != nullptr && TextView(item->LowerName) == needle) return i;
    }
    return -1;
}

std::string ItemName(const TqelParamsListItem *item) {
    return item == nullptr ? std::string() : std::string(TextView(item->Name));
}

std::uint16_t ParamType(const TqelParamsList *list, std::string_view name) {
    const TqelParamsListItem *item = Find(list, name);
    return item == nullptr ? 0 : item->Value.vt;
}

std::optional<std::string> ParamText(const TqelParamsList *list, std::string_view name) {
    const TqelParamsListItem *item = Find(list, name);
    if (item == nullptr) return std::nullopt;
    const BRV_VARIANT &v = item->Value;
    switch (v.vt) {
        case BRV_VT_BSTR:
            return OleStringText(v.u.bstrVal);
        case BRV_VT_STRING:
            return std::string(TextView(v.u.strVal));
        case BRV_VT_BOOL:
            return std::string(v.u.boolVal ? "True" : "False");
        default: {
            const std::optional<std::int64_t> n = ParamInt(list, name);
            if (n) return std::to_string(*n);
            return std::nullopt;
        }
    }
}

std::optional<std::int64_t> ParamInt(const TqelParamsList *list, std::string_view name) {
    const TqelParamsListItem *item = Find(list, name);
    if (item == nullptr) return std::nullopt;
    const BRV_VARIANT &v = item->Value;
    switch (v.vt) {
        case BRV_VT_I1:
            return v.u.cVal;
        case BRV_VT_UI1:
            return v.u.bVal;
        case BRV_VT_I2:
            return v.u.iVal;
        case BRV_VT_UI2:
            return v.u.uiVal;
        case BRV_VT_I4:
        case BRV_VT_INT:
            return v.u.lVal;
        case BRV_VT_UI4:
        case BRV_VT_UINT:
            return v.u.ulVal;
        case BRV_VT_I8:
            return v.u.llVal;
        case BRV_VT_BOOL:
            return v.u.boolVal ? -1 : 0;
        case BRV_VT_BSTR:
        case BRV_VT_STRING: {
            const std::string text = v.vt == BRV_VT_BSTR ? OleStringText(v.u.bstrVal)
                                                         : std::string(TextView(v.u.strVal));
            char *end = nullptr;
            const long long n = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0') return std::nullopt;
            return n;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace brevor::host
