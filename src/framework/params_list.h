#pragma once

// Parameter lists shared in memory with the host (TqelParamsList, TqelRowsParamsList,
// TqelParamsListItem in the layout of brevor/abi.h). Every operation works on the C layout only,
// so it applies equally to lists the host made (with its own class record) and to the module's
// own lists. Blocks (lists, item arrays, items, texts) come from the shared allocator
// (platform/shared_alloc.h); whoever changes a list calls its class's Notify when it is set.
//
// A list is checked before it is used: a wrong Signature, a negative Count, a null Items array
// with items, or a null item where an item is read raise EAssertionFailed instead of faulting.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "brevor/abi.h"
#include "rtl/variant.h"

namespace brevor {

// The module's class records.
extern const TBrvClass TqelParamsListClass;
extern const TBrvClass TqelRowsParamsListClass;
extern const TBrvClass TqelParamsListItemClass;

namespace params {

inline constexpr std::string_view kRowMarker = BRV_ROW_MARKER;

// Construction: a new empty list of the module's class, Signature set, ListId a new GUID text.
TqelParamsList *NewParamsList(bool rows = false);
// Destruction: Signature := 0, Clear, then the list block (and its ListId) is freed. Null is
// ignored.
void FreeParamsList(TqelParamsList *list) noexcept;

struct TParamsListDeleter {
    void operator()(TqelParamsList *list) const noexcept { FreeParamsList(list); }
};
using TParamsListPtr = std::unique_ptr<TqelParamsList, TParamsListDeleter>;

// True when the list's class, or a class it derives from (its Parent chain), is named
// "TqelRowsParamsList", ignoring case: a host may derive its own rows class. The walk gives up
// on chains longer than any real hierarchy (a cyclic or corrupt chain is not a rows list).
bool IsRowsList(const TqelParamsList *list) noexcept;

// "Assertion failure" unless the list is alive (Signature) and well formed.
void CheckSignature(const TqelParamsList *list);
// For the entry points that take a parameter list: "Invalid call parameters" unless params is a
// live, well-formed list whose item pointers are all set.
void CheckCallParams(const void *params);

// The item at index, or null when index is outside 0..Count-1.
TqelParamsListItem *Items(const TqelParamsList *list, std::int32_t index);
// Replaces the slot (notifies: old item deleted, new item added). Index outside 0..Count-1:
// "Assertion failure". The old item is not freed.
void SetItem(TqelParamsList *list, std::int32_t index, TqelParamsListItem *item);
// Index of the first item named name (ignoring case) in from..to, or -1. to = -1 (or any
// negative, or beyond the end) searches to the end; to = -2 stops at the end of the row that
// contains from ("$NEW_ROW$").
std::int32_t IndexOf(const TqelParamsList *list, std::string_view name, std::int32_t from = 0,
                     std::int32_t to = -1);
TqelParamsListItem *FindItem(const TqelParamsList *list, std::string_view name,
                             std::int32_t from = 0, std::int32_t to = -1);
// A deep copy of the named item's value, or empty when there is none.
Variant GetValue(const TqelParamsList *list, std::string_view name, std::int32_t from = 0,
                 std::int32_t to = -1);
// Appends an item; a counted 8-bit text value is stored as an OLE string. Returns null (adding
// nothing) when name is blank; the name is kept untrimmed.
TqelParamsListItem *AddItem(TqelParamsList *list, std::string_view name, const Variant &value);
// Stores value into the named item (texts as OLE strings); when there is none, appends it if
// add is true, else returns null.
TqelParamsListItem *SetValue(TqelParamsList *list, std::string_view name, const Variant &value,
                             bool add);
// Appends the row marker: "$NEW_ROW$" with value Null.
TqelParamsListItem *AddRowMarker(TqelParamsList *list);
// Frees every item (notifying each as deleted) and empties the list.
void Clear(TqelParamsList *list);

// A new item of the module's class (not in any list).
TqelParamsListItem *NewParamsListItem(std::string_view name, const Variant &value);
// Releases the item's texts, clears its value by the OLE rules and frees it. Null is ignored.
void FreeParamsListItem(TqelParamsListItem *item) noexcept;

// A new GUID text in braced registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string NewGuidText();

// ---------------------------------------------------------------- parameter readers
//
// A parameter is absent when the list is null, has no such item, or its value is empty or Null;
// the reader then returns the default. A present value that does not convert raises.

bool HasParam(const TqelParamsList *list, std::string_view name);
// A private copy of the text.
std::string ReadParamText(const TqelParamsList *list, std::string_view name,
                          std::string_view defaultValue = {});
std::int32_t ReadParamInt(const TqelParamsList *list, std::string_view name,
                          std::int32_t defaultValue = 0);
// A window or module handle: pointer-sized, so all 64 bits survive on 64-bit targets; on 32-bit
// targets the value is truncated to its low 32 bits.
std::uintptr_t ReadParamHandle(const TqelParamsList *list, std::string_view name,
                               std::uintptr_t defaultValue = 0);
bool ReadParamBool(const TqelParamsList *list, std::string_view name, bool defaultValue = false);

}  // namespace params
}  // namespace brevor
