#include "framework/params_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "params_builder.h"
#include "rtl/counted_text.h"
#include "rtl/exceptions.h"

namespace brevor {
namespace {

using host::TParamsBuilder;

std::vector<std::string> Names(const TqelParamsList *list) {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < list->Count; ++i)
        names.push_back(host::ItemName(list->Items[i]));
    return names;
}

// The message of the EAssertionFailed that f raises, or "" when it raises none.
std::string AssertionOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const EAssertionFailed &e) {
        return e.what();
    }
    return "";
}

TEST(ParamsList, LookupIgnoresCaseOfNames) {
    TParamsBuilder host;
    host.Add("INI-FILE", "/etc/host.ini").Add("RegistryPath", "Software\\Host");
    EXPECT_EQ(params::GetValue(host.List(), "ini-file").ToString(), "/etc/host.ini");
    EXPECT_EQ(params::ReadParamText(host.List(), "REGISTRYPATH"), "Software\\Host");
    EXPECT_TRUE(params::GetValue(host.List(), "INI-FILES").IsEmpty());
}

TEST(ParamsList, IndexOfRangesAndRowEnd) {
    TParamsBuilder host(true);
    host.Add("p", 1).AddRowMarker().Add("q", 2);
    struct Case {
        const char *name;
        std::int32_t from, to, expected;
    };
    const Case cases[] = {
        {"q", 0, -2, -1},         // the marker at 1 ends the row of index 0
        {"q", 0, -1, 2},          // -1: to the end of the list
        {"q", 2, -2, 2},          // the last row is open
        {"q", 0, 99, 2},          // beyond the end: to the end
        {"q", 0, 1, -1},          // an explicit last index
        {"p", -5, -1, 0},         // a negative start is 0
        {"$new_row$", 0, -2, 1},  // the marker is compared by name before it stops the search
        {"p", 1, -1, -1},        {"Q", 3, -1, -1},  // start beyond the end
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.from) + ".." +
                     std::to_string(c.to));
        EXPECT_EQ(params::IndexOf(host.List(), c.name, c.from, c.to), c.expected);
    }
    EXPECT_EQ(params::FindItem(host.List(), "q", 0, -2), nullptr);
    EXPECT_EQ(params::FindItem(host.List(), "q", 2, -2), host.List()->Items[2]);
}

TEST(ParamsList, AddItemKeepsNameAndStoresTextsAsOleStrings) {
    params::TParamsListPtr list(params::NewParamsList());
    EXPECT_EQ(params::AddItem(list.get(), "  ", Variant(1)), nullptr);
    EXPECT_EQ(params::AddItem(list.get(), "", Variant(1)), nullptr);
    EXPECT_EQ(params::AddItem(list.get(), "\t\x01 ", Variant(1)), nullptr);
    EXPECT_EQ(list->Count, 0);

    TqelParamsListItem *item = params::AddItem(list.get(), " Mixed Name ", Variant::AnsiStr("x"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(CountedTextView(item->Name), " Mixed Name ");
    EXPECT_EQ(CountedTextView(item->LowerName), " mixed name ");
    EXPECT_EQ(item->Value.vt, BRV_VT_BSTR);
    EXPECT_EQ(item->State, 2);
    EXPECT_EQ(item->Class, &TqelParamsListItemClass);
    EXPECT_EQ(params::IndexOf(list.get(), " MIXED NAME "), 0);
    EXPECT_EQ(params::IndexOf(list.get(), "Mixed Name"), -1);  // not trimmed

    // Names with letters beyond A-Z are found under their own spelling too.
    params::AddItem(list.get(), "\xC4nderung", Variant(2));
    EXPECT_EQ(params::IndexOf(list.get(), "\xC4NDERUNG"), 1);
}

TEST(ParamsList, SetValue) {
    TParamsBuilder host;
    host.Add("RESULT", "old text").Add("Other", 1);

    EXPECT_EQ(params::SetValue(host.List(), "MISSING", Variant(1), false), nullptr);
    EXPECT_EQ(host.List()->Count, 2);

    // Replacing a host text frees it (ASan checks) and stores the new text as an OLE string.
    TqelParamsListItem *result =
        params::SetValue(host.List(), "result", Variant::AnsiStr("new"), false);
    ASSERT_EQ(result, host.List()->Items[0]);
    EXPECT_EQ(host::ParamType(host.List(), "RESULT"), BRV_VT_BSTR);
    EXPECT_EQ(host::ParamText(host.List(), "RESULT"), "new");

    // The value may be a copy of the item's own value.
    params::SetValue(host.List(), "RESULT", params::GetValue(host.List(), "RESULT"), false);
    EXPECT_EQ(host::ParamText(host.List(), "RESULT"), "new");

    TqelParamsListItem *added = params::SetValue(host.List(), "Added", Variant(true), true);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(host.List()->Count, 3);
    EXPECT_EQ(host::ParamType(host.List(), "added"), BRV_VT_BOOL);
    params::SetValue(host.List(), "Other", Variant(), false);
    EXPECT_EQ(host::ParamType(host.List(), "Other"), BRV_VT_EMPTY);
}

TEST(ParamsList, GetValueIsADeepCopy) {
    TParamsBuilder host;
    host.Add("INI-FILE", "a.ini");
    Variant v = params::GetValue(host.List(), "INI-FILE");
    EXPECT_NE(v.Raw().u.bstrVal, host.List()->Items[0]->Value.u.bstrVal);
    params::SetValue(host.List(), "INI-FILE", Variant("b.ini"), false);
    EXPECT_EQ(v.ToString(), "a.ini");
}

TEST(ParamsList, ItemsSetItemAndClearNotify) {
    TParamsBuilder host;
    host.Add("a", 1).Add("b", 2);
    EXPECT_EQ(host.NotifyCount(BRV_NOTIFY_ADDED), 2);
    EXPECT_EQ(params::Items(host.List(), -1), nullptr);
    EXPECT_EQ(params::Items(host.List(), 2), nullptr);
    EXPECT_EQ(AssertionOf([&] { params::SetItem(host.List(), 2, nullptr); }), "Assertion failure");

    TqelParamsListItem *replacement = params::NewParamsListItem("c", Variant(3));
    TqelParamsListItem *old = params::Items(host.List(), 1);
    params::SetItem(host.List(), 1, replacement);
    params::FreeParamsListItem(old);
    EXPECT_EQ(host.NotifyCount(BRV_NOTIFY_DELETED), 1);
    EXPECT_EQ(host.NotifyCount(BRV_NOTIFY_ADDED), 3);
    EXPECT_EQ(Names(host.List()), (std::vector<std::string>{"a", "c"}));

    params::Clear(host.List());
    EXPECT_EQ(host.NotifyCount(BRV_NOTIFY_DELETED), 3);
    EXPECT_EQ(host.List()->Count, 0);
    EXPECT_EQ(host.List()->Capacity, 0);
    EXPECT_EQ(host.List()->Items, nullptr);
    params::AddItem(host.List(), "again", Variant(1));  // the emptied list is usable
    EXPECT_EQ(host.List()->Count, 1);
}

TEST(ParamsList, ConstructionAndRowsListRecognition) {
    params::TParamsListPtr plain(params::NewParamsList());
    params::TParamsListPtr rows(params::NewParamsList(true));
    EXPECT_EQ(plain->Signature, BRV_LIST_SIGNATURE);
    EXPECT_EQ(plain->Reserved, 0);
    const std::regex guid(
        "\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
    const std::string id(CountedTextView(plain->ListId));
    EXPECT_TRUE(std::regex_match(id, guid)) << id;
    EXPECT_NE(id, CountedTextView(rows->ListId));

    EXPECT_FALSE(params::IsRowsList(plain.get()));
    EXPECT_TRUE(params::IsRowsList(rows.get()));
    TParamsBuilder hostRows(true);  // the host's own class, named in upper case
    TParamsBuilder hostPlain;
    EXPECT_TRUE(params::IsRowsList(hostRows.List()));
    EXPECT_FALSE(params::IsRowsList(hostPlain.List()));
}

// Class records a host may make: its own classes derived from the list classes, and records
// whose Parent chain is broken (host memory is outside input).
TEST(ParamsList, RowsListsAreRecognisedThroughTheParentChain) {
    const TBrvClass plain = {"TqelParamsList", nullptr, sizeof(TqelParamsList), nullptr};
    const TBrvClass rows = {"TQELROWSPARAMSLIST", &plain, sizeof(TqelRowsParamsList), nullptr};
    const TBrvClass hostRows = {"THostRowsList", &rows, sizeof(TqelRowsParamsList), nullptr};
    const TBrvClass hostRows2 = {"THostRowsList2", &hostRows, sizeof(TqelRowsParamsList), nullptr};
    const TBrvClass hostPlain = {"THostList", &plain, sizeof(TqelParamsList), nullptr};
    const TBrvClass unnamed = {nullptr, &rows, sizeof(TqelRowsParamsList), nullptr};
    TBrvClass loopA = {"TLoopA", nullptr, sizeof(TqelParamsList), nullptr};
    const TBrvClass loopB = {"TLoopB", &loopA, sizeof(TqelParamsList), nullptr};
    loopA.Parent = &loopB;  // a cycle without the rows class in it
    // A chain far longer than any class hierarchy, with the rows class at its root.
    std::vector<TBrvClass> deep(10000, TBrvClass{"TDeep", nullptr, 0, nullptr});
    deep.back() = rows;
    for (std::size_t i = 0; i + 1 < deep.size(); ++i)
        deep[i].Parent = &deep[i + 1];

    const struct {
        const TBrvClass *cls;
        bool isRows;
    } cases[] = {
        {&rows, true},   {&hostRows, true},      {&hostRows2, true},
        {&plain, false}, {&hostPlain, false},    {&unnamed, true},
        {&loopA, false}, {&deep.front(), false}, {nullptr, false},
    };
    for (const auto &c : cases) {
        TqelParamsList list{};
        list.Class = c.cls;
        EXPECT_EQ(params::IsRowsList(&list), c.isRows)
            << (c.cls && c.cls->ClassName ? c.cls->ClassName : "(null)");
    }
    EXPECT_FALSE(params::IsRowsList(nullptr));
}

// A class whose notification looks the list up while the list is being destroyed.
std::vector<std::string> g_lookupsDuringDestruction;
void BRV_CALL LookUpOnNotify(void *list, void *, std::int32_t) {
    g_lookupsDuringDestruction.push_back(
        AssertionOf([&] { params::GetValue(static_cast<TqelParamsList *>(list), "a"); }));
}
const TBrvClass kLookingClass = {"TqelParamsList", nullptr, sizeof(TqelParamsList),
                                 &LookUpOnNotify};

TEST(ParamsList, LookupsFailOnceDestructionBegins) {
    TqelParamsList *list = params::NewParamsList();
    params::AddItem(list, "a", Variant(1));
    params::AddItem(list, "b", Variant("text"));
    list->Class = &kLookingClass;
    g_lookupsDuringDestruction.clear();
    params::FreeParamsList(list);
    EXPECT_EQ(g_lookupsDuringDestruction,
              (std::vector<std::string>{"Assertion failure", "Assertion failure"}));
}

TEST(ParamsList, MalformedListsFailCleanly) {
    struct Case {
        const char *what;
        std::function<void(TqelParamsList &)> spoil;
    };
    const Case cases[] = {
        {"wrong signature", [](TqelParamsList &l) { l.Signature = 0x12345678; }},
        {"negative count", [](TqelParamsList &l) { l.Count = -1; }},
        {"no item array", [](TqelParamsList &l) { l.Items = nullptr; }},
        {"null item", [](TqelParamsList &l) { l.Items[1] = nullptr; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TParamsBuilder host;
        host.Add("a", 1).Add("b", 2);
        TqelParamsList saved = *host.List();
        TqelParamsListItem *item1 = host.List()->Items[1];
        c.spoil(*host.List());

        EXPECT_EQ(AssertionOf([&] { params::CheckCallParams(host.List()); }),
                  "Invalid call parameters");
        EXPECT_EQ(AssertionOf([&] { params::GetValue(host.List(), "b"); }), "Assertion failure");
        EXPECT_EQ(AssertionOf([&] { params::ReadParamInt(host.List(), "B"); }),
                  "Assertion failure");
        EXPECT_EQ(AssertionOf([&] { params::SetValue(host.List(), "zz", Variant(1), true); }),
                  "Assertion failure");

        // Restore so that the host frees what it made.
        saved.Items[1] = item1;
        *host.List() = saved;
    }
    EXPECT_EQ(AssertionOf([] { params::CheckCallParams(nullptr); }), "Invalid call parameters");
    EXPECT_EQ(AssertionOf([] { params::IndexOf(nullptr, "a"); }), "Assertion failure");
    TParamsBuilder good;
    good.Add("COMMAND", "LOAD");
    EXPECT_EQ(AssertionOf([&] { params::CheckCallParams(good.List()); }), "");
}

TEST(ParamsList, ParameterReaders) {
    TParamsBuilder host;
    host.Add("COMMAND", "LOAD")
        .Add("TEMPORARY-LOAD", false)
        .Add("TextBool", "true")
        .Add("RESULT", "12")
        .Add("HANDLE", std::int64_t{0x123456789AB})
        .AddNull("LANGUAGE")
        .Add("Bad", "twelve");
    const TqelParamsList *l = host.List();

    EXPECT_TRUE(params::HasParam(l, "command"));
    EXPECT_FALSE(params::HasParam(l, "LANGUAGE"));  // Null is absent
    EXPECT_FALSE(params::HasParam(l, "INI-FILE"));
    EXPECT_FALSE(params::HasParam(nullptr, "COMMAND"));

    EXPECT_EQ(params::ReadParamText(l, "COMMAND"), "LOAD");
    EXPECT_EQ(params::ReadParamText(l, "LANGUAGE", "en"), "en");
    EXPECT_EQ(params::ReadParamText(l, "RESULT"), "12");
    EXPECT_EQ(params::ReadParamInt(l, "RESULT"), 12);
    EXPECT_EQ(params::ReadParamInt(l, "INI-FILE", -7), -7);
    EXPECT_TRUE(params::ReadParamBool(l, "TEMPORARY-LOAD", true) == false);
    EXPECT_TRUE(params::ReadParamBool(l, "TextBool"));
    EXPECT_TRUE(params::ReadParamBool(l, "missing", true));
    EXPECT_EQ(params::ReadParamHandle(l, "HANDLE"),
              static_cast<std::uintptr_t>(std::uint64_t{0x123456789AB}));
    EXPECT_THROW(params::ReadParamInt(l, "Bad"), EConvertError);
    EXPECT_THROW(params::ReadParamBool(l, "Bad"), EConvertError);
    EXPECT_THROW(params::ReadParamInt(l, "HANDLE"), EVariantError);  // does not fit 32 bits

    // The text is a private copy: it outlives the host's value.
    const std::string command = params::ReadParamText(l, "COMMAND");
    params::SetValue(host.List(), "COMMAND", Variant("UNLOAD"), false);
    EXPECT_EQ(command, "LOAD");
}

// Handles are pointer-sized: every bit is kept on 64-bit targets, the low 32 bits on 32-bit
// targets, whatever variant type carries them.
TEST(ParamsList, HandlesKeepThePointerWidth) {
    auto raw = [](std::uint16_t vt, auto set) {
        BRV_VARIANT v{};
        v.vt = vt;
        set(v);
        return v;
    };
    struct Case {
        const char *name;
        BRV_VARIANT value;
        std::uint64_t on64;
        std::uint64_t on32;
    };
    const Case cases[] = {
        {"int64", raw(BRV_VT_I8, [](BRV_VARIANT &v) { v.u.llVal = 0x123456789AB; }), 0x123456789AB,
         0x456789AB},
        {"uint64", raw(BRV_VT_UI8, [](BRV_VARIANT &v) { v.u.ullVal = 0xFFFFFFFF00000010u; }),
         0xFFFFFFFF00000010u, 0x10},
        {"int32 -1", raw(BRV_VT_I4, [](BRV_VARIANT &v) { v.u.lVal = -1; }), ~std::uint64_t{0},
         0xFFFFFFFFu},
        {"uint32", raw(BRV_VT_UI4, [](BRV_VARIANT &v) { v.u.ulVal = 0xFFFFFFFFu; }), 0xFFFFFFFFu,
         0xFFFFFFFFu},
        {"double", raw(BRV_VT_R8, [](BRV_VARIANT &v) { v.u.dblVal = 4294967303.0; }), 0x100000007,
         7},
    };
    TParamsBuilder host;
    for (const Case &c : cases)
        host.AddRaw(c.name, c.value);
    host.Add("text", "8589934593");  // 2^33 + 1
    for (const Case &c : cases) {
        EXPECT_EQ(std::uint64_t{params::ReadParamHandle(host.List(), c.name)},
                  sizeof(void *) == 8 ? c.on64 : c.on32)
            << c.name;
    }
    EXPECT_EQ(std::uint64_t{params::ReadParamHandle(host.List(), "text")},
              sizeof(void *) == 8 ? 0x200000001u : 1u);
}

// The module changes a list the host built with its own class record and allocation code; the
// host then reads the changes and frees everything, module-made items included.
TEST(ParamsListInterchange, ModuleChangesHostList) {
    auto builder = std::make_unique<TParamsBuilder>();
    builder->Add("COMMAND", "ITEMS").Add("RESULT", 0).Add("INI-FILE", "x.ini").Add("p", 1);
    TqelParamsList *l = builder->List();
    ASSERT_EQ(l->Capacity, l->Count);  // the next append makes the module grow the array

    EXPECT_EQ(params::ReadParamText(l, "command"), "ITEMS");
    params::SetValue(l, "RESULT", Variant("item text"), false);
    params::AddItem(l, "Extra", Variant::AnsiStr("from the module"));
    params::AddRowMarker(l);
    params::SetValue(l, "Appended", Variant(std::int64_t{5}), true);

    EXPECT_EQ(Names(l), (std::vector<std::string>{"COMMAND", "RESULT", "INI-FILE", "p", "Extra",
                                                  "$NEW_ROW$", "Appended"}));
    EXPECT_GE(l->Capacity, l->Count);
    EXPECT_EQ(builder->NotifyCount(BRV_NOTIFY_ADDED), 7);
    EXPECT_EQ(host::ParamType(l, "RESULT"), BRV_VT_BSTR);
    EXPECT_EQ(host::ParamText(l, "result"), "item text");
    EXPECT_EQ(host::ParamType(l, "Extra"), BRV_VT_BSTR);
    EXPECT_EQ(host::ParamText(l, "Extra"), "from the module");
    EXPECT_EQ(host::ParamType(l, "$NEW_ROW$"), BRV_VT_NULL);
    EXPECT_EQ(host::ParamInt(l, "Appended"), 5);
    builder.reset();  // ASan: nothing leaks, nothing is freed twice
}

// The host reads and frees a rows list the module made.
TEST(ParamsListInterchange, HostReadsAndFreesModuleRowsList) {
    TqelParamsList *rows = params::NewParamsList(true);
    for (int row = 0; row < 3; ++row) {
        params::AddItem(rows, "Value", Variant(row));
        params::AddItem(rows, "Name", Variant("row " + std::to_string(row)));
        params::AddRowMarker(rows);
    }
    // The host recognises rows lists by class name and walks the rows.
    EXPECT_EQ(std::string(rows->Class->ClassName), "TqelRowsParamsList");
    EXPECT_EQ(rows->Count, 9);
    EXPECT_EQ(host::ItemName(rows->Items[5]), "$NEW_ROW$");
    EXPECT_EQ(host::ParamText(rows, "name"), "row 0");
    EXPECT_EQ(params::GetValue(rows, "Name", 6, -2).ToString(), "row 2");
    host::FreeAnyParamsList(rows);
}

}  // namespace
}  // namespace brevor
