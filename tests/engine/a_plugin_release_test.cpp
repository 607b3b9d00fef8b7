// Releasing an instance while another host thread is still inside one of its exports.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "engine/a_plugin.h"
#include "framework/instance_registry.h"
#include "framework/params_list.h"
#include "host_module.h"
#include "ini_text.h"
#include "support/fake_clock.h"
#include "support/sent_chunks.h"
#include "support/temp_folder.h"

extern "C" {
int32_t BRV_CALL ExecutePluginCommand(TPluginCallRec *rec);
void BRV_CALL ShowOptionsDialog(TPluginCallRec *rec);
int32_t BRV_CALL GetModuleType(TPluginCallRec *rec);
}

namespace brevor {
namespace {

class ReleaseTest : public ::testing::Test {
protected:
    ReleaseTest() : clock_(platform::TDateTime{2026, 12, 10, 10, 0, 0, 0, 4}) {
        platform::SetClock(&clock_);
        InitializeLibrary();
        RegisterModuleClass(&CreateTaPlugin);
    }
    ~ReleaseTest() override {
        FinalizeLibrary();
        platform::SetClock(nullptr);
    }
    std::int32_t Command(const char *name, std::int32_t result = -1) {
        params::TParamsListPtr list(params::NewParamsList());
        params::AddItem(list.get(), "COMMAND", Variant(name));
        params::AddItem(list.get(), "INI-FILE", Variant(dir_.File("s.ini")));
        params::AddItem(list.get(), "TEMPORARY-LOAD", Variant(false));
        params::AddItem(list.get(), "HANDLE",
                        Variant(static_cast<std::int64_t>(host::HostProgramHandle())));
        if (result >= 0) params::AddItem(list.get(), "RESULT", Variant(result));
        TPluginCallRec rec{};
        rec.Tag = BRV_CALL_TAG;
        rec.InstanceId = kId;
        rec.Params = list.get();
        rec.ModuleTypes = 1u << mttDataQuery;
        return ExecutePluginCommand(&rec);
    }
    // Moves the clock one scan interval and waits until the scan threads did what is due.
    void Scan() {
        const std::size_t timers = clock_.Waiters();
        clock_.Advance(1000);
        EXPECT_TRUE(clock_.WaitSettled(timers));
    }

    static constexpr std::int32_t kId = 7;
    platform::TFakeClock clock_;
    testing::TempFolder dir_;
};

TEST_F(ReleaseTest, ReleaseStopsTheScansWhileAnotherThreadIsInsideAnExport) {
    dir_.Write("a.txt", "data");
    host::TIniText ini(dir_.File("s.ini"));
    ini.Set("General", "Folder", host::TIniText::Escape(dir_.Path()));
    ini.Set("General", "Scan interval", "1");
    ini.Set("Mode1", "Active", "True");
    ini.Set("Mode1", "File", "*.txt");
    ini.Set("Mode1", "Read", "3");  // sent again at every scan
    ASSERT_TRUE(ini.Save());
    ASSERT_EQ(Command("LOAD"), 0);
    ASSERT_EQ(Command("LOAD-SETTINGS-NOW"), -2);
    ASSERT_EQ(Command("SET-STATE", 1), 0);
    ASSERT_TRUE(clock_.WaitSettled(1));  // the interval timer waits for its first tick
    std::int64_t sent = testing::SentChunks();
    Scan();
    Scan();
    ASSERT_GT(testing::SentChunks(), sent);

    // A dialog stand-in parks a host thread inside ShowOptionsDialog; confirmed, it restarts
    // the scans as the real one does.
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = kId;
    TInstanceRef instance;
    ASSERT_TRUE(GetModuleInstance(&rec, instance));
    auto *plugin = static_cast<TaPlugin *>(instance.get());
    std::promise<void> parked, resume;
    plugin->OnShowOptionsDialog = [&](TqelPlugin *, TPluginCallRec *, bool &success) {
        parked.set_value();
        resume.get_future().wait();
        plugin->UpdateTimers();
        success = true;
    };
    instance.Reset();
    std::thread dialog([&] {
        TPluginCallRec show{};
        show.Tag = BRV_CALL_TAG;
        show.InstanceId = kId;
        ShowOptionsDialog(&show);
    });
    parked.get_future().wait();

    TPluginCallRec release = host::MakeReleaseRecord(kId);
    EXPECT_EQ(GetModuleType(&release), 0);
    sent = testing::SentChunks();
    Scan();
    Scan();
    EXPECT_EQ(testing::SentChunks(), sent);

    resume.set_value();
    dialog.join();
    Scan();
    EXPECT_EQ(testing::SentChunks(), sent);
}

}  // namespace
}  // namespace brevor
