// Settings requests whose file cannot be read or written: the request fails, the file keeps its
// content, and the log says which file and why.

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/settings_model.h"
#include "framework/settings_faults.h"
#include "ini_text.h"
#include "platform/file_faults.h"
#include "support/file_faults.h"

namespace brevor {
namespace {

using platform::TFileCall;
using testing::ScopedFileFaults;
using testing::SettingsFaultsTest;

TEST_F(SettingsFaultsTest, FailedSaveKeepsTheFileAndFailsTheRequest) {
    const std::string original = "[Host]\r\nWindow=1\r\n\r\n";
    struct Case {
        TFileCall call;
        int error;
    };
    for (const Case c : {Case{TFileCall::Write, ENOSPC}, Case{TFileCall::Sync, EIO},
                         Case{TFileCall::Rename, EBUSY}}) {
        SCOPED_TRACE(platform::SystemErrorText(c.error));
        ASSERT_FALSE(platform::SystemErrorText(c.error).empty());  // else any line would match
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

}  // namespace
}  // namespace brevor
