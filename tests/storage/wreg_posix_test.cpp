// The INI requests' named lock where it is a lock file, whose open a fault can refuse.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "engine/settings_model.h"
#include "storage/big_ini_file.h"
#include "storage/wreg.h"
#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

TEST(WregIniLock, RequestWithoutItsLockDoesNothing) {
    testing::TempFolder dir;
    const std::string text = "[General]\r\nBlock size=128\r\n\r\n";
    dir.Write("host.ini", text);
    TDataSourceCfg cfg(nullptr);
    cfg.edBlockSize_Value = 7;
    // Whichever way the lock fails, no request runs without it.
    testing::ScopedFileFaults faults({{platform::TFileCall::Open, "host_ini.lock", EACCES}});
    for (const bool save : {true, false}) {
        TWreg store(nullptr);
        store.SetINIFile(dir.File("host.ini"));
        store.SetRegistryPath("");
        store.Components()->Assign(ConfigMappingList());
        try {
            if (save)
                store.Save(&cfg);
            else
                store.Load(&cfg);
            ADD_FAILURE() << "ran without the lock, save " << save;
        } catch (const EIniFileException &e) {
            EXPECT_EQ(e.SystemError(), EACCES);
            EXPECT_NE(std::string(e.what()).find(dir.File("host.ini")), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(cfg.edBlockSize_Value, 7);
    EXPECT_EQ(dir.Read("host.ini"), text);
}

}  // namespace
}  // namespace brevor
