#include <atomic>
#include <thread>
#include <vector>

#include "integration/module_fixture.h"
#include "messages_window.h"
#include "params_builder.h"

namespace brevor::testing {
namespace {

using host::MakeCallRecord;
using host::TParamsBuilder;

class CommandsTest : public ModuleTest {
protected:
    void SetUp() override { id_ = FreshId(); }
    void TearDown() override {
        TPluginCallRec rel = host::MakeReleaseRecord(id_);
        Api().GetModuleType(&rel);
    }
    std::int32_t Run(TParamsBuilder &params, std::uint8_t moduleTypes = 0) {
        TPluginCallRec rec = MakeCallRecord(id_, params.List(), 0x77);
        rec.ModuleTypes = moduleTypes;
        return Api().ExecutePluginCommand(&rec);
    }
    std::int32_t Command(const char *name) {
        TParamsBuilder p;
        p.Add("COMMAND", name);
        return Run(p);
    }
    std::int32_t Load(int messagesFd = -1) {
        TParamsBuilder p;
        p.Add("COMMAND", "LOAD").Add("TEMPORARY-LOAD", false);
        if (messagesFd >= 0)
            p.Add("MessagesProcessorHandle", static_cast<std::int32_t>(messagesFd));
        return Run(p);
    }
    std::int32_t id_ = 0;
};

TEST_F(CommandsTest, ResultCodesOfTheDispatcher) {
    struct Case {
        const char *command;
        std::int32_t result;
    };
    const Case cases[] = {
        {"LOAD", 0},
        {"load", -2},  // names compare with case: a custom command without a handler
        {"NO-SUCH-COMMAND", -2},
        {"SAVE-SETTINGS-NOW", -2},
        {"LOAD-SETTINGS-NOW", -2},
        {"SET-ITEMS", -1},  // no ITEMS
        {"SET-STATE", -1},  // no RESULT
        {"ITEMS", -1},      // no RESULT item
        {"EVENTS-SUPPORT", 0},
        {"EVENT", -1},  // no EVENT-TYPE
        {"UNLOAD", 0},
        {"UNLOAD", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Command(c.command), c.result) << c.command;

    TParamsBuilder noCommand;
    noCommand.Add("INI-FILE", "x.ini");
    EXPECT_EQ(Run(noCommand), -1);

    TParamsBuilder dead;
    dead.Add("COMMAND", "LOAD");
    dead.List()->Signature = 0;  // destruction has begun
    EXPECT_EQ(Run(dead), -3);
    dead.List()->Signature = BRV_LIST_SIGNATURE;
}

TEST_F(CommandsTest, ParserItemsRoundTripAndOnlyTextsCount) {
    TParamsBuilder set;
    set.Add("COMMAND", "SET-ITEMS")
        .Add("ITEMS", "Full data packet|FULL_DATA_PACKET|string\r\nA|B|NoSuchType|x\r\nno bar");
    EXPECT_EQ(Run(set), 0);
    TParamsBuilder number;
    number.Add("COMMAND", "SET-ITEMS").Add("ITEMS", static_cast<std::int32_t>(5));
    EXPECT_EQ(Run(number), -1);  // items unchanged

    TParamsBuilder items;
    items.Add("COMMAND", "ITEMS").AddNull("RESULT");
    EXPECT_EQ(Run(items), 0);
    EXPECT_EQ(host::ParamType(items.List(), "RESULT"), BRV_VT_BSTR);
    EXPECT_EQ(host::ParamText(items.List(), "RESULT").value_or("?"),
              "Full data packet|FULL_DATA_PACKET|String|\r\nA|B||x");

    TParamsBuilder events;
    events.Add("COMMAND", "EVENTS-SUPPORT").Add("RESULT", static_cast<std::int32_t>(9));
    EXPECT_EQ(Run(events), 0);
    EXPECT_EQ(host::ParamType(events.List(), "RESULT"), BRV_VT_BSTR);
    EXPECT_EQ(host::ParamText(events.List(), "RESULT").value_or("?"), "");
    TParamsBuilder eventsNoResult;
    eventsNoResult.Add("COMMAND", "EVENTS-SUPPORT");
    EXPECT_EQ(Run(eventsNoResult), 0);
    EXPECT_EQ(eventsNoResult.List()->Count, 1);  // nothing added

    TParamsBuilder event;
    event.Add("COMMAND", "EVENT").Add("EVENT-TYPE", "PORT-OPEN");
    EXPECT_EQ(Run(event), 0);  // no handler
}

TEST_F(CommandsTest, SetStateAndItsConversionErrors) {
    TParamsBuilder on;
    on.Add("COMMAND", "SET-STATE").Add("RESULT", static_cast<std::int32_t>(1));
    EXPECT_EQ(Run(on, 1u << mttFilter), 0);
    TParamsBuilder sources;
    sources.Add("COMMAND", "SET-STATE").Add("DATA-SOURCES-IN-CFG", "1;A;Alpha\r\nx;B;Beta");
    EXPECT_EQ(Run(sources), -1);  // sources replaced, but no RESULT
    TParamsBuilder wrong;
    wrong.Add("COMMAND", "SET-STATE").Add("RESULT", "not a number");
    EXPECT_EQ(Run(wrong), -3);
    TParamsBuilder badHandle;
    badHandle.Add("COMMAND", "EVENTS-SUPPORT").Add("MessagesProcessorHandle", "window");
    EXPECT_EQ(Run(badHandle), -3);
}

TEST_F(CommandsTest, CustomCommandsTextIsEmptyForThisModule) {
    TPluginCallRec rec = MakeCallRecord(id_);
    char buffer[16];
    rec.Data = buffer;
    rec.BufferSize = sizeof buffer;
    rec.ResultValue = 99;
    EXPECT_EQ(Api().GetCustomCommands(&rec), 0);
    EXPECT_EQ(static_cast<long>(rec.ResultValue), 0);
    EXPECT_EQ(static_cast<int>(rec.ResultKind), BRV_RESULT_KIND_NUMBER);
}

TEST_F(CommandsTest, DataCallsOfAModuleWithoutDataHandlers) {
    host::TMessagesWindow window;
    ASSERT_EQ(Load(window.ModuleHandle()), 0);

    TParamsBuilder p;
    TParamsBuilder input;
    input.Add("a", static_cast<std::int32_t>(1));
    TPluginCallRec rec = MakeCallRecord(id_, p.List());
    rec.ModuleTypes = 1u << mttDataQuery;
    rec.Data = input.List();
    rec.ResultValue = 5;
    EXPECT_EQ(Api().GetData(&rec), 0);
    EXPECT_EQ(static_cast<long>(rec.ResultValue), 0);
    EXPECT_EQ(static_cast<void *>(rec.Data), nullptr);
    rec.ModuleTypes = 0;
    rec.Data = input.List();
    EXPECT_EQ(Api().GetData(&rec), 0);
    EXPECT_EQ(static_cast<void *>(rec.Data), input.List());  // no role: left as it was

    // Events: the list, then the confirmation that empties it.
    rec = MakeCallRecord(id_, p.List());
    EXPECT_EQ(Api().GetEvents(&rec), 0);
    EXPECT_EQ(static_cast<int>(rec.ResultKind), BRV_RESULT_KIND_LIST);
    auto *events = reinterpret_cast<TqelParamsList *>(rec.ResultValue);
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(events->Count, 0);
    EXPECT_EQ(Api().GetEvents(&rec), 0);

    // Export role without data: a warning, no handler.
    rec = MakeCallRecord(id_, p.List());
    rec.ModuleTypes = 1u << mttDataExport;
    EXPECT_EQ(Api().ProcessData(&rec), 0);
    ASSERT_TRUE(window.WaitForMessages(1, 2000));
    const auto lines = window.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Level, 1);
    EXPECT_EQ(lines[0].Text, "Brevor. No data for processing");

    // Export role with an open row: the row is closed before any handler would see it.
    TParamsBuilder rows(true);
    rows.Add("a", static_cast<std::int32_t>(1)).Add("b", static_cast<std::int32_t>(2));
    rec = MakeCallRecord(id_, p.List());
    rec.ModuleTypes = 1u << mttDataExport;
    rec.DataKind = BRV_DATA_KIND_LIST;
    rec.Data = rows.List();
    EXPECT_EQ(Api().ProcessData(&rec), 0);
    ASSERT_EQ(rows.List()->Count, 3);
    EXPECT_EQ(host::ItemName(rows.List()->Items[2]), "$NEW_ROW$");
    EXPECT_EQ(static_cast<void *>(rec.Data), nullptr);  // the input pointer never comes back
    rec.Data = rows.List();
    EXPECT_EQ(Api().ProcessData(&rec), 0);
    EXPECT_EQ(rows.List()->Count, 3);  // already closed: left alone

    // Filter role with input: nothing logged, Data null afterwards.
    window.Clear();
    rec = MakeCallRecord(id_, p.List());
    rec.ModuleTypes = 1u << mttFilter;
    rec.DataKind = BRV_DATA_KIND_LIST;
    rec.Data = input.List();
    EXPECT_EQ(Api().ProcessData(&rec), 0);
    EXPECT_EQ(static_cast<void *>(rec.Data), nullptr);

    // Unloaded: refused at once.
    TParamsBuilder unload;
    unload.Add("COMMAND", "UNLOAD");
    EXPECT_EQ(Run(unload), 0);
    rec = MakeCallRecord(id_, p.List());
    EXPECT_EQ(Api().GetData(&rec), -1);
    EXPECT_EQ(Api().GetEvents(&rec), -1);
    EXPECT_EQ(Api().ProcessData(&rec), -1);
    EXPECT_TRUE(window.Lines().empty());
}

// Eight host threads call every export for one instance at once: every answer is one the
// exports can give, and nothing crashes or hangs.
TEST_F(CommandsTest, EveryExportFromEightThreadsForOneInstance) {
    ASSERT_EQ(Load(), 0);
    std::atomic<int> odd{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                TParamsBuilder p;
                const char *names[] = {"SET-STATE", "ITEMS", "EVENTS-SUPPORT", "SET-ITEMS"};
                p.Add("COMMAND", names[(t + i) % 4])
                    .Add("RESULT", static_cast<std::int32_t>(i % 2))
                    .Add("ITEMS", "a|b|Integer|");
                TPluginCallRec rec = MakeCallRecord(id_, p.List());
                rec.ModuleTypes = 1u << mttDataQuery;
                const std::int32_t r = Api().ExecutePluginCommand(&rec);
                if (r != 0 && r != -1) ++odd;
                rec = MakeCallRecord(id_, p.List());
                if (Api().GetData(&rec) != 0) ++odd;
                rec = MakeCallRecord(id_, p.List());
                if (Api().GetEvents(&rec) != 0) ++odd;
                rec = MakeCallRecord(id_, p.List());
                Api().GetLogEx(&rec);
                if (Api().GetModuleType(&rec) != 33) ++odd;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(odd.load(), 0);
}

}  // namespace
}  // namespace brevor::testing
