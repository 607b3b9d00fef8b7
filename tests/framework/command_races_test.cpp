// Commands, data calls and the options dialog's sibling reload racing each other on one
// instance, driven through the exports as host threads do.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "brevor/abi.h"
#include "framework/instance_registry.h"
#include "framework/params_list.h"

// The module's exports, linked in directly; their calling convention is the interface's.
extern "C" {
int32_t BRV_CALL ExecutePluginCommand(TPluginCallRec *rec);
void BRV_CALL ShowOptionsDialog(TPluginCallRec *rec);
int32_t BRV_CALL GetEvents(TPluginCallRec *rec);
int32_t BRV_CALL ProcessData(TPluginCallRec *rec);
}

namespace brevor {
namespace {

// An instance whose settings exist from LOAD to UNLOAD, like the module class's. Its handlers
// count what they see.
class RacePlugin : public TqelPlugin {
public:
    explicit RacePlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
        OnLoad = [this](TqelPlugin *, TPluginCallRec *, std::int32_t &) {
            settings = std::make_unique<std::string>("loaded");
        };
        OnUnload = [this](TqelPlugin *, TPluginCallRec *, std::int32_t &) { settings.reset(); };
        OnLoadSettingsNow = [this](TqelPlugin *) {
            if (settings == nullptr)
                ++reloadsWithoutSettings;
            else
                *settings = "reloaded";
        };
        OnShowOptionsDialog = [](TqelPlugin *, TPluginCallRec *, bool &success) { success = true; };
        OnProcessData = [this](TqelPlugin *, TPluginCallRec *, std::int32_t &) {
            if (++inside > 1) ++overlaps;
            std::this_thread::yield();
            --inside;
        };
    }
    std::unique_ptr<std::string> settings;
    std::atomic<int> reloadsWithoutSettings{0};
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
};

TqelPlugin *CreateRacePlugin(const TPluginCallRec *rec) {
    auto *p = new RacePlugin(rec);
    p->AfterConstruction();
    return p;
}

class CommandRacesTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLibrary();
        RegisterModuleClass(&CreateRacePlugin);
    }
    void TearDown() override { FinalizeLibrary(); }

    static std::int32_t Command(std::int32_t id, const char *command) {
        params::TParamsListPtr list(params::NewParamsList());
        params::AddItem(list.get(), "COMMAND", Variant(command));
        params::AddItem(list.get(), "RegistryPath", Variant("\\Software\\Races"));
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = id;
        rec.Params = list.get();
        return ExecutePluginCommand(&rec);
    }
    static RacePlugin *Instance(std::int32_t id) {
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = id;
        TInstanceRef ref;
        EXPECT_TRUE(GetModuleInstance(&rec, ref));
        return static_cast<RacePlugin *>(ref.get());
    }
};

TEST_F(CommandRacesTest, DataCallsRacingUnloadNeitherOverlapNorLeaveTheInstanceBusy) {
    ASSERT_EQ(Command(1, "LOAD"), 0);
    RacePlugin *plugin = Instance(1);
    params::TParamsListPtr list(params::NewParamsList());
    std::atomic<bool> stop{false};
    std::thread caller([&] {
        while (!stop) {
            TPluginCallRec rec{};
            rec.Tag = BRV_CALL_TAG;
            rec.InstanceId = 1;
            rec.Params = list.get();
            GetEvents(&rec);
            rec.ModuleTypes = 1u << mttFilter;
            ProcessData(&rec);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        Command(1, "UNLOAD");
        Command(1, "LOAD");
    }
    stop = true;
    caller.join();

    EXPECT_EQ(plugin->overlaps.load(), 0);
    // Loaded and idle: a data call gets in at once (a flag left set would make it wait 30 s).
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = 1;
    rec.Params = list.get();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetEvents(&rec), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(rec.ResultKind, BRV_RESULT_KIND_LIST);
    EXPECT_NE(static_cast<long>(rec.ResultValue), 0);  // packed: copy, never bind
}

TEST_F(CommandRacesTest, SiblingReloadWaitsForCommandsAndSkipsUnloadedSiblings) {
    ASSERT_EQ(Command(1, "LOAD"), 0);
    ASSERT_EQ(Command(2, "LOAD"), 0);
    RacePlugin *sibling = Instance(2);
    std::atomic<bool> stop{false};
    // Both dialogs confirm again and again, each reloading the other instance.
    auto dialogs = [&](std::int32_t id) {
        while (!stop) {
            TPluginCallRec rec{};
            rec.Tag = BRV_CALL_TAG;
            rec.InstanceId = id;
            ShowOptionsDialog(&rec);
            EXPECT_EQ(static_cast<long>(rec.ResultValue), 1);
        }
    };
    std::thread first(dialogs, 1);
    std::thread second(dialogs, 2);
    for (int i = 0; i < 2000; ++i) {
        Command(2, "UNLOAD");
        Command(2, "LOAD");
    }
    stop = true;
    first.join();
    second.join();
    EXPECT_EQ(sibling->reloadsWithoutSettings.load(), 0);
}

}  // namespace
}  // namespace brevor
