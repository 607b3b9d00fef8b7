// Settings requests whose system-wide lock cannot be had: the lock's name is taken by an object
// that is no mutex, so the lock can be neither created nor opened.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/settings_faults.h"
#include "platform/paths.h"
#include "storage/wreg.h"

namespace brevor {
namespace {

using testing::SettingsFaultsTest;

TEST_F(SettingsFaultsTest, LockWhoseNameIsTakenFailsTheRequest) {
    const std::string original = "[Host]\r\nWindow=1\r\n\r\n";
    dir_.Write("host.ini", original);
    ASSERT_EQ(Command("LOAD"), 0);
    const std::string lockName = TWreg::IniLockName(platform::FullPathName(ini_));
    ASSERT_LT(lockName.size(), 180u);  // longer names are shortened to a digest
    const std::string objectName = "Global\\brevor-" + lockName;
    HANDLE squatter = ::CreateEventW(nullptr, TRUE, FALSE,
                                     std::wstring(objectName.begin(), objectName.end()).c_str());
    ASSERT_NE(squatter, nullptr);
    EXPECT_EQ(Command("SAVE-SETTINGS-NOW"), -3);
    EXPECT_EQ(Command("LOAD-SETTINGS-NOW"), -3);
    ::CloseHandle(squatter);
    EXPECT_EQ(dir_.Read("host.ini"), original);
    EXPECT_EQ(FileErrors().size(), 2u);
    // With the name free again the lock is had.
    EXPECT_EQ(Command("SAVE-SETTINGS-NOW"), -2);
    EXPECT_NE(dir_.Read("host.ini").find("[General]"), std::string::npos);
}

}  // namespace
}  // namespace brevor
