// Settings requests whose lock file cannot be opened.

#include <gtest/gtest.h>

#include <cerrno>

#include "framework/settings_faults.h"
#include "platform/file_faults.h"
#include "support/file_faults.h"

namespace brevor {
namespace {

using platform::TFileCall;
using testing::ScopedFileFaults;
using testing::SettingsFaultsTest;

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
