// Settings requests whose file cannot be read, written or locked: the request fails, the file
// keeps its content, and the log says which file and why.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "engine/a_plugin.h"
#include "engine/settings_model.h"
#include "framework/params_list.h"
#include "host_module.h"
#include "ini_text.h"
#include "messages_window.h"
#include "platform/file_faults.h"
#include "support/file_faults.h"
#include "support/plugin_command.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using platform::TFileCall;
using testing::ScopedFileFaults;

class SettingsFaultsTest : public ::testing::Test {
protected:
    ~SettingsFaultsTest() override { plugin_.reset(); }

    std::int32_t Command(const char *name, std::int32_t result = -1) {
        return testing::RunPluginCommand(plugin_, name, ini_, &window_, result);
    }
    // Error lines that name the settings file: sent to the window, or queued for the host to
    // fetch (a failing command queues its line). Fetching empties the queue.
    std::vector<std::string> FileErrors() const {
        std::vector<std::string> out;
        const std::string quoted = "\"" + ini_ + "\"";
        for (const auto &line : window_.Lines())
            if (line.Level == 0 && line.Text.find(quoted) != std::string::npos)
                out.push_back(line.Text);
        std::int64_t needed = 0;
        plugin_->Log().GetLogEx(nullptr, -1, needed);
        std::string queued(static_cast<std::size_t>(needed), '\0');
        if (needed > 0)
            plugin_->Log().GetLogEx(queued.data(), static_cast<std::int32_t>(needed), needed);
        for (std::size_t at = 0; at < queued.size();) {
            const std::size_t end = std::min(queued.find("\r\n", at), queued.size());
            const std::string line = queued.substr(at, end - at);
            if (line.rfind("\x01", 0) == 0 && line.find(quoted) != std::string::npos)
                out.push_back(line);
            at = end + 2;
        }
        return out;
    }
    // Everything in the folder besides the settings file (temporary files left behind).
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> out;
        for (const auto &entry : std::filesystem::directory_iterator(dir_.Path()))
            if (entry.path().string() != ini_) out.push_back(entry.path().string());
        return out;
    }

    testing::TempFolder dir_;
    std::string ini_ = dir_.File("host.ini");
    host::TMessagesWindow window_;
    std::unique_ptr<TaPlugin> plugin_;
};

TEST_F(SettingsFaultsTest, FailedSaveKeepsTheFileAndFailsTheRequest) {
    const std::string original = "[Host]\r\nWindow=1\r\n\r\n";
    struct Case {
        TFileCall call;
        int error;
    };
    for (const Case c : {Case{TFileCall::Write, ENOSPC}, Case{TFileCall::Sync, EIO},
                         Case{TFileCall::Rename, EDQUOT}}) {
        SCOPED_TRACE(platform::SystemErrorText(c.error));
        dir_.Write("host.ini", original);
        window_.Clear();
        ASSERT_EQ(Command("LOAD"), 0);
        {
            ScopedFileFaults faults({{c.call, "host.ini", c.error}});
            EXPECT_EQ(Command("SAVE-SETTINGS-NOW"), -3);
            EXPECT_GT(faults.Injected(), 0);
        }
        EXPECT_EQ(dir_.Read("host.ini"), original);
        EXPECT_TRUE(Leftovers().empty());
        const auto errors = FileErrors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(platform::SystemErrorText(c.error)), std::string::npos)
            << errors[0];
    }
    // Without faults the same request writes the settings beside the host's section.
    EXPECT_EQ(Command("SAVE-SETTINGS-NOW"), -2);
    EXPECT_EQ(dir_.Read("host.ini").rfind(original, 0), 0u);
    EXPECT_NE(dir_.Read("host.ini").find("[General]"), std::string::npos);
}

TEST_F(SettingsFaultsTest, UnreadableFileFailsTheLoadAndKeepsTheScansRunning) {
    host::TIniText ini(ini_);
    ini.Set("General", "Folder", host::TIniText::Escape(dir_.Path()));
    ini.Set("Mode1", "Active", "True");
    ini.Set("Mode1", "File", "*.csv");
    ASSERT_TRUE(ini.Save());
    ASSERT_EQ(Command("LOAD"), 0);
    ASSERT_EQ(Command("LOAD-SETTINGS-NOW"), -2);
    ASSERT_EQ(Command("SET-STATE", 1), 0);
    ASSERT_TRUE(plugin_->timSimpleTimeMode->Enabled());
    EXPECT_TRUE(FileErrors().empty());
    const std::string before = dir_.Read("host.ini");

    for (const TFileCall call : {TFileCall::Open, TFileCall::Read}) {
        window_.Clear();
        ScopedFileFaults faults({{call, "host.ini", EACCES}});
        EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -3);
        const auto errors = FileErrors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(platform::SystemErrorText(EACCES)), std::string::npos);
        // The settings in use stay, and so do the scans that use them.
        EXPECT_EQ(plugin_->Settings->edFileSM_Text, "*.csv");
        EXPECT_TRUE(plugin_->timSimpleTimeMode->Enabled());
    }
    EXPECT_EQ(dir_.Read("host.ini"), before);
}

TEST_F(SettingsFaultsTest, UnloadToANewFileThatCannotBeWrittenIsLogged) {
    ASSERT_EQ(Command("LOAD"), 0);
    ini_ = dir_.File("new.ini");
    ScopedFileFaults faults({{TFileCall::Rename, "new.ini", EROFS}});
    EXPECT_EQ(Command("UNLOAD"), 0);  // the unload itself goes on
    EXPECT_FALSE(dir_.Exists("new.ini"));
    EXPECT_TRUE(Leftovers().empty());
    const auto errors = FileErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(platform::SystemErrorText(EROFS)), std::string::npos);
}

TEST_F(SettingsFaultsTest, MissingFileIsNoError) {
    ASSERT_EQ(Command("LOAD"), 0);
    EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -2);
    EXPECT_TRUE(FileErrors().empty());
}

TEST_F(SettingsFaultsTest, LockThatCannotBeHadFailsTheRequest) {
    const std::string original = "[Host]\r\nWindow=1\r\n\r\n";
    dir_.Write("host.ini", original);
    ASSERT_EQ(Command("LOAD"), 0);
    // The lock file lives elsewhere; its name is made from the settings file's path.
    ScopedFileFaults faults({{TFileCall::Open, "host_ini.lock", EACCES}});
    EXPECT_EQ(Command("SAVE-SETTINGS-NOW"), -3);
    EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -3);
    EXPECT_GT(faults.Injected(), 0);
    EXPECT_EQ(dir_.Read("host.ini"), original);
    EXPECT_EQ(FileErrors().size(), 2u);
}

}  // namespace
}  // namespace brevor
