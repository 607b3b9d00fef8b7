#pragma once

// Host-side parameter lists: what a host does to build the lists it passes in call records and
// to read and free the lists the module hands back. Independent of the module's code: its own
// class records (named "THostParamsList" and, for rows lists, "TQELROWSPARAMSLIST" - rows lists
// are recognised by that name ignoring case), its own notification, its own text and OLE-string
// code, and the allocator both sides share (brevor/abi.h): malloc/realloc/free, or the process
// heap and the system's OLE strings on Windows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "brevor/abi.h"

namespace brevor::host {

extern const TBrvClass HostParamsListClass;
extern const TBrvClass HostRowsParamsListClass;
extern const TBrvClass HostParamsListItemClass;

// A host list: the shared layout (with room for the rows list's extra field) followed by the
// host's own bookkeeping, which the module never sees.
struct THostParamsList {
    TqelRowsParamsList Shared;
    std::int32_t NotifyCounts[3];  // by action: added, extracted, deleted
};

class TParamsBuilder {
public:
    explicit TParamsBuilder(bool rows = false);
    // Frees the list and every item in it, also items the module appended.
    ~TParamsBuilder();
    TParamsBuilder(const TParamsBuilder &) = delete;
    TParamsBuilder &operator=(const TParamsBuilder &) = delete;

    TParamsBuilder &Add(std::string_view name, std::int32_t value);
    TParamsBuilder &Add(std::string_view name, std::int64_t value);
    TParamsBuilder &Add(std::string_view name, bool value);
    // Texts as OLE strings (Windows-1252 to UTF-16).
    TParamsBuilder &Add(std::string_view name, std::string_view text);
    TParamsBuilder &Add(std::string_view name, const char *text) {
        return Add(name, std::string_view(text));
    }
    // A text as a counted 8-bit text (type 0x100).
    TParamsBuilder &AddAnsi(std::string_view name, std::string_view text);
    TParamsBuilder &AddNull(std::string_view name);
    // Appends an item with any value; the builder takes over what the value owns.
    TParamsBuilder &AddRaw(std::string_view name, const BRV_VARIANT &value);
    TParamsBuilder &AddRowMarker();

    // The list to put into a call record.
    TqelParamsList *List() { return &list_->Shared.List; }
    const TqelParamsList *List() const { return &list_->Shared.List; }
    // How often the list's Notify ran with that action (BRV_NOTIFY_*).
    std::int32_t NotifyCount(std::int32_t action) const;

private:
    THostParamsList *list_;
};

// Frees a list made by either side (its items, their texts and values, the item array, ListId
// and the list block) the way a host does, without notifications. Null is ignored.
void FreeAnyParamsList(TqelParamsList *list);

// Reading any list (host- or module-made), ignoring the case of A-Z in names.
std::int32_t FindParam(const TqelParamsList *list, std::string_view name);
std::string ItemName(const TqelParamsListItem *item);
// The value of the first item with that name: its type (0 when absent), text (texts, integers
// and booleans "True"/"False"), integer (integers, booleans, numeric texts).
std::uint16_t ParamType(const TqelParamsList *list, std::string_view name);
std::optional<std::string> ParamText(const TqelParamsList *list, std::string_view name);
std::optional<std::int64_t> ParamInt(const TqelParamsList *list, std::string_view name);

}  // namespace brevor::host
