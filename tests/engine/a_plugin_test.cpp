#include "engine/a_plugin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/settings_model.h"
#include "framework/params_list.h"
#include "host_module.h"
#include "ini_text.h"
#include "messages_window.h"
#include "platform/paths.h"
#include "support/fake_clock.h"
#include "support/plugin_command.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using namespace std::chrono_literals;

platform::TDateTime At(int day, int hour, int minute, int second) {
    platform::TDateTime t;
    t.Year = 2026;
    t.Month = 12;
    t.Day = day;
    t.Hour = hour;
    t.Minute = minute;
    t.Second = second;
    t.DayOfWeek = day - 6;  // 7 Dec 2026 is a Monday
    return t;
}

// The module class on a fake clock, driven through its command entry point.
class ModuleClassTest : public ::testing::Test {
protected:
    ModuleClassTest() : clock_(At(10, 10, 29, 50)) { platform::SetClock(&clock_); }
    ~ModuleClassTest() override {
        plugin_.reset();
        platform::SetClock(nullptr);
    }
    std::int32_t Command(const char *name, std::int32_t result = -1) {
        return testing::RunPluginCommand(plugin_, name, dir_.File("s.ini"), &window_, result);
    }
    // Moves the clock and waits until the running timers have done what is due.
    void Step(std::uint64_t ms, std::size_t runningTimers = 1) {
        clock_.Advance(ms);
        const bool settled = runningTimers == 0 || clock_.WaitSettled(runningTimers);
        EXPECT_TRUE(settled);
    }
    bool Logged(const std::string &text) {
        for (const auto &line : window_.Lines()) {
            if (line.Text.find(text) != std::string::npos) return true;
        }
        return false;
    }

    platform::TFakeClock clock_;
    testing::TempFolder dir_;
    host::TMessagesWindow window_;
    std::unique_ptr<TaPlugin> plugin_;
};

TEST_F(ModuleClassTest, SchedulerEntryFiresAtItsMinuteAndFollowsTheHostsState) {
    host::TIniText ini(dir_.File("s.ini"));
    ini.Set("General", "Folder", host::TIniText::Escape(dir_.Path()));
    ini.Set("Mode3", "Active", "True");
    ini.Set("Mode3", "Schedule", host::TIniText::Escape("*||*||*||10||30||1||*.csv||0\r\n"));
    ASSERT_TRUE(ini.Save());
    dir_.Write("a.csv", "x#41");
    dir_.Write("b.txt", "not on the schedule");

    ASSERT_EQ(Command("LOAD"), 0);
    EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -2);
    EXPECT_EQ(plugin_->timSchedulerMode->CronCount(), 0);  // not active yet
    ASSERT_EQ(Command("SET-STATE", 1), 0);
    ASSERT_EQ(plugin_->timSchedulerMode->CronCount(), 1);
    EXPECT_EQ(plugin_->timSchedulerMode->CronData(0)->CronText, "30 10 * * *");
    EXPECT_FALSE(plugin_->timSimpleTimeMode->Enabled());

    Step(1);
    for (int s = 0; s < 9; ++s)
        Step(1000);  // 10:29:59
    EXPECT_TRUE(dir_.Exists("a.csv"));
    for (int s = 0; s < 3; ++s)
        Step(1000);  // 10:30:02
    for (int i = 0; i < 200 && dir_.Exists("a.csv"); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(dir_.Exists("a.csv"));
    EXPECT_TRUE(dir_.Exists("b.txt"));
    ASSERT_TRUE(window_.WaitForMessages(2, 2000));
    EXPECT_TRUE(Logged("a.csv\" file have been sent successfully (bytes: 2)"));  // "xA"
    EXPECT_TRUE(Logged("a.csv\" file has been deleted"));

    // Off: the next day's 10:30 passes without a scan; on again: it is scanned.
    ASSERT_EQ(Command("SET-STATE", 0), 0);
    EXPECT_FALSE(plugin_->timSchedulerMode->Enabled());
    dir_.Write("c.csv", "next day");
    clock_.SetLocal(At(11, 10, 29, 58));
    for (int s = 0; s < 5; ++s)
        Step(1000, 0);
    EXPECT_TRUE(dir_.Exists("c.csv"));
    ASSERT_EQ(Command("SET-STATE", 1), 0);
    EXPECT_TRUE(plugin_->timSchedulerMode->Enabled());
    clock_.SetLocal(At(11, 10, 29, 58));
    Step(1);
    for (int s = 0; s < 5; ++s)
        Step(1000);
    for (int i = 0; i < 200 && dir_.Exists("c.csv"); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(dir_.Exists("c.csv"));
    EXPECT_EQ(Command("UNLOAD"), 0);
}

TEST_F(ModuleClassTest, DefaultsScanNothingAndQuotedFolderLosesItsQuotes) {
    ASSERT_EQ(Command("LOAD"), 0);
    ASSERT_EQ(Command("SET-STATE", 1), 0);  // no LOAD-SETTINGS-NOW: every mode off
    EXPECT_FALSE(plugin_->timSimpleTimeMode->Enabled());
    EXPECT_FALSE(plugin_->timSchedulerMode->Enabled());
    EXPECT_EQ(plugin_->Settings->edFolder_Text, platform::DefaultFolder());

    host::TIniText ini(dir_.File("s.ini"));
    ini.Set("General", "Folder", "\"/data/in\"");
    ini.Set("Mode1", "File", "\"*.txt");
    ini.Set("Mode2", "Prefix", "\"p\"");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -2);
    EXPECT_EQ(plugin_->Settings->edFolder_Text, "/data/in");
    EXPECT_EQ(plugin_->Settings->edFileSM_Text, "*.txt");
    EXPECT_EQ(plugin_->Settings->edFilePrefixTM_Text, "\"p\"");  // only folder and mask
    EXPECT_EQ(Command("UNLOAD"), 0);
    EXPECT_EQ(plugin_->Settings, nullptr);
}

}  // namespace
}  // namespace brevor
