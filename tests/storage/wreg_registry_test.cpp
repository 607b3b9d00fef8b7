#include "storage/wreg_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/settings_model.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "storage/wreg.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using platform::RegAccess;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;
using testing::RegistryRoots;
using testing::TempFolder;

const char kPath[] = "\\Software\\Brevor\\Tests";

RegValue Double(double value) {
    std::string bytes(8, '\0');
    std::memcpy(bytes.data(), &value, 8);  // the test machine is little-endian
    return RegValue::Binary(bytes);
}

// Every value of the module's settings keys below a root: "Section\Name" -> value.
using TStored = std::map<std::string, RegValue>;

TStored ReadAll(RegRoot root) {
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

TEST_F(WregRegistryTest, FreshSettingsSaveExactly) {
    TDataSourceCfg cfg(nullptr);
    ASSERT_TRUE(Run(cfg, true));
    const TStored expected = {
        {"General\\Scan interval", Double(3)},
        {"General\\Block size", Double(128)},
        {"General\\Folder", RegValue::Text(platform::DefaultFolder())},
        {"Mode1\\Active", RegValue::Text("False")},
        {"Mode1\\File", RegValue::Text("")},
        {"Mode1\\Decode", RegValue::Text("False")},
        {"Mode1\\Read", RegValue::Dword(2)},
        {"Mode2\\Active", RegValue::Text("False")},
        {"Mode2\\Prefix", RegValue::Text("")},
        {"Mode2\\Ext", RegValue::Text("ext")},
        {"Mode2\\Decode", RegValue::Text("False")},
        {"Mode2\\Read", RegValue::Dword(2)},
        {"Mode3\\Active", RegValue::Text("False")},
        {"Mode3\\Schedule", RegValue::Text("")},
    };
    EXPECT_EQ(ReadAll(RegRoot::LocalMachine), expected);
    EXPECT_TRUE(ReadAll(RegRoot::CurrentUser).empty());
    EXPECT_EQ(Double(3).data, std::string("\0\0\0\0\0\0\x08\x40", 8));
}

TEST_F(WregRegistryTest, SavedValuesLoadBackEqual) {
    TDataSourceCfg saved(nullptr);
    saved.edScanInterval_Value = 0.1;
    saved.edBlockSize_Value = 4096;
    saved.edFolder_Text = "  /data/in box+%/  ";
    saved.cbActiveSM_Checked = true;
    saved.edFileSM_Text = "*.txt";
    saved.gbReadModeSM_ItemIndex = -1;
    saved.edFilePrefixTM_Text = "log_\t";
    saved.cbDecodeTM_Checked = true;
    saved.gbReadModeTM_ItemIndex = 3;
    saved.cbActiveSD_Checked = true;
    saved.shTimesSD_Strings->SetText("0 * * * *\r\n30 12 * * 1\r\n");
    ASSERT_TRUE(Run(saved, true));
    TStored stored = ReadAll(RegRoot::LocalMachine);
    EXPECT_EQ(stored["General\\Scan interval"], Double(0.1));
    EXPECT_EQ(stored["General\\Folder"], RegValue::Text("++/data/in box%2B%%/++"));
    EXPECT_EQ(stored["Mode1\\Active"], RegValue::Text("True"));
    EXPECT_EQ(stored["Mode1\\Read"], RegValue::Dword(0xFFFFFFFFu));
    EXPECT_EQ(stored["Mode2\\Prefix"], RegValue::Text("log_%09"));
    EXPECT_EQ(stored["Mode3\\Schedule"], RegValue::Text("0 * * * *%0D%0A30 12 * * 1%0D%0A"));

    TDataSourceCfg loaded(nullptr);
    loaded.edFilesExtTM_Text = "changed";
    ASSERT_TRUE(Run(loaded, false));
    EXPECT_EQ(loaded.edScanInterval_Value, 0.1);
    EXPECT_EQ(loaded.edBlockSize_Value, 4096);
    EXPECT_EQ(loaded.edFolder_Text, saved.edFolder_Text);
    EXPECT_TRUE(loaded.cbActiveSM_Checked);
    EXPECT_EQ(loaded.edFileSM_Text, "*.txt");
    EXPECT_FALSE(loaded.cbDecodeSM_Checked);
    EXPECT_EQ(loaded.gbReadModeSM_ItemIndex, -1);
    EXPECT_FALSE(loaded.cbActiveTM_Checked);
    EXPECT_EQ(loaded.edFilePrefixTM_Text, "log_\t");
    EXPECT_EQ(loaded.edFilesExtTM_Text, "ext");
    EXPECT_TRUE(loaded.cbDecodeTM_Checked);
    EXPECT_EQ(loaded.gbReadModeTM_ItemIndex, 3);
    EXPECT_TRUE(loaded.cbActiveSD_Checked);
    EXPECT_EQ(loaded.shTimesSD_Strings->Text(), "0 * * * *\r\n30 12 * * 1\r\n");
}

// Values of another type than the property's are deleted on load; the property keeps its value.
// Values that merely look odd but have the right type load.
TEST_F(WregRegistryTest, WrongTypedValuesAreDeleted) {
    const struct {
        const char *section;
        const char *name;
        RegValue value;
        bool kept;
    } cases[] = {
        {"Mode1", "Read", RegValue::Text("5"), false},
        {"Mode2", "Read", RegValue::Binary("\x05\0\0\0"), false},
        {"General", "Scan interval", RegValue::Binary(std::string("\0\0\x80\x3f", 4)), false},
        {"General", "Block size", RegValue::Dword(64), false},
        {"General", "Folder", RegValue::Dword(1), false},
        {"Mode1", "Active", RegValue::Text("maybe"), false},
        {"Mode1", "Decode", RegValue::Binary("True"), false},
        {"Mode2", "Active", RegValue::Text("true"), true},
        {"Mode2", "Ext", RegValue::Text("e%25t", RegType::ExpandSz), true},
    };
    for (const auto &c : cases)
        Set(RegRoot::LocalMachine, c.section, c.name, c.value);
    TDataSourceCfg cfg(nullptr);
    ASSERT_TRUE(Run(cfg, false));
    const TDataSourceCfg defaults(nullptr);
    EXPECT_EQ(cfg.gbReadModeSM_ItemIndex, defaults.gbReadModeSM_ItemIndex);
    EXPECT_EQ(cfg.gbReadModeTM_ItemIndex, defaults.gbReadModeTM_ItemIndex);
    EXPECT_EQ(cfg.edScanInterval_Value, defaults.edScanInterval_Value);
    EXPECT_EQ(cfg.edBlockSize_Value, defaults.edBlockSize_Value);
    EXPECT_EQ(cfg.edFolder_Text, defaults.edFolder_Text);
    EXPECT_FALSE(cfg.cbActiveSM_Checked);
    EXPECT_FALSE(cfg.cbDecodeSM_Checked);
    EXPECT_TRUE(cfg.cbActiveTM_Checked);
    EXPECT_EQ(cfg.edFilesExtTM_Text, "e%t");
    TStored stored = ReadAll(RegRoot::LocalMachine);
    for (const auto &c : cases)
        EXPECT_EQ(stored.count(std::string(c.section) + "\\" + c.name), c.kept ? 1u : 0u)
            << c.section << "\\" << c.name;
}

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

TEST_F(WregRegistryTest, ReadsOfTheWrongTypeRaise) {
    Set(RegRoot::CurrentUser, "K", "text", RegValue::Text("5"));
    Set(RegRoot::CurrentUser, "K", "short", RegValue::Binary("1234"));
    auto registry = MakePlatformWregRegistry();
    EXPECT_THROW(registry->ReadInteger("text"), ERegistryException);  // no key open
    EXPECT_THROW(registry->WriteInteger("text", 1), ERegistryException);
    EXPECT_FALSE(registry->OpenKey(rrNone, kPath, true));
    ASSERT_TRUE(registry->OpenKey(rrHKEY_CURRENT_USER, std::string(kPath) + "\\k", false));
    EXPECT_THROW(registry->ReadInteger("text"), ERegistryException);
    EXPECT_THROW(registry->ReadFloat("short"), ERegistryException);
    EXPECT_THROW(registry->ReadString("short"), ERegistryException);
    EXPECT_THROW(registry->ReadString("missing"), ERegistryException);
    EXPECT_EQ(registry->ReadString("TEXT"), "5");
    registry->WriteInteger("n", -2);
    EXPECT_EQ(registry->ReadInteger("n"), -2);
    registry->WriteFloat("f", -0.25);
    EXPECT_EQ(registry->ReadFloat("f"), -0.25);
    registry->DeleteValue("n");
    EXPECT_FALSE(registry->ValueExists("n"));
    registry->CloseKey();
    EXPECT_FALSE(registry->ValueExists("f"));
}

}  // namespace
}  // namespace brevor
