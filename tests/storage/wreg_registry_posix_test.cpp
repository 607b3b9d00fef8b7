// The fallback from HKEY_LOCAL_MACHINE to HKEY_CURRENT_USER, with roots made read-only the way
// the file-backed registry offers.
#include <gtest/gtest.h>

#include "storage/wreg_registry_fixture.h"

namespace brevor::wreg_registry_test {
namespace {

TEST_F(WregRegistryTest, LocalMachineWithoutFullAccessFallsBackToCurrentUser) {
    // A key already under HKLM that this "user" may read but not change.
    Set(RegRoot::LocalMachine, "Mode1", "Read", RegValue::Dword(1));
    RegistryRoots::SetReadOnly("HKLM");
    TDataSourceCfg saved(nullptr);
    saved.gbReadModeSM_ItemIndex = 0;
    saved.edFileSM_Text = "user";
    ASSERT_TRUE(Run(saved, true));
    TStored user = ReadAll(RegRoot::CurrentUser);
    EXPECT_EQ(user.size(), 14u);
    EXPECT_EQ(user["Mode1\\Read"], RegValue::Dword(0));
    EXPECT_EQ(ReadAll(RegRoot::LocalMachine).size(), 1u);

    TDataSourceCfg loaded(nullptr);
    ASSERT_TRUE(Run(loaded, false));
    EXPECT_EQ(loaded.gbReadModeSM_ItemIndex, 0);
    EXPECT_EQ(loaded.edFileSM_Text, "user");

    // Neither root usable: the operation fails and nothing changes.
    RegistryRoots::SetReadOnly("HKLM,HKCU");
    TDataSourceCfg untouched(nullptr);
    EXPECT_FALSE(Run(untouched, false));
    EXPECT_EQ(untouched.gbReadModeSM_ItemIndex, 2);
    EXPECT_FALSE(Run(untouched, true));
}

}  // namespace
}  // namespace brevor::wreg_registry_test
