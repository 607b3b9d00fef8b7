#pragma once

// The settings store over the registry: a store with the module's mapping below one key, and
// what it left in each root.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "engine/settings_model.h"
#include "platform/registry.h"
#include "storage/wreg.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor::wreg_registry_test {

using platform::RegAccess;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;
using testing::RegistryRoots;
using testing::TempFolder;

inline constexpr char kPath[] = "\\Software\\Brevor\\Tests";

inline RegValue Double(double value) {
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);  // the test machine is little-endian
    return RegValue::Binary(bytes);
}

// Every value of the module's settings keys below a root: "Section\Name" -> value.
using TStored = std::map<std::string, RegValue>;

inline TStored ReadAll(RegRoot root) {
    TStored stored;
    for (const std::string section : {"General", "Mode1", "Mode2", "Mode3"}) {
        auto key = platform::TRegistryKey::Open(root, std::string(kPath) + "\\" + section,
                                                RegAccess::Read);
        if (!key) continue;
        for (const std::string &name : key->ValueNames()) {
            RegValue value;
            key->QueryValue(name, value);
            stored[section + "\\" + name] = value;
        }
    }
    return stored;
}

class WregRegistryTest : public ::testing::Test {
protected:
    bool Run(TDataSourceCfg &cfg, bool save) {
        TWreg store(nullptr);
        store.SetRegistryPath(kPath);
        store.Components()->Assign(ConfigMappingList());
        return save ? store.Save(&cfg) : store.Load(&cfg);
    }
    static void Set(RegRoot root, const std::string &section, const std::string &name,
                    const RegValue &value) {
        auto key = platform::TRegistryKey::Open(root, std::string(kPath) + "\\" + section,
                                                RegAccess::All, true);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->SetValue(name, value));
    }

    TempFolder dir;
    RegistryRoots roots{dir.File("hkcu"), dir.File("hklm")};
};

}  // namespace brevor::wreg_registry_test
