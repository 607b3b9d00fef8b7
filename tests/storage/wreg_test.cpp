#include "storage/wreg.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/settings_model.h"
#include "platform/paths.h"
#include "storage/big_ini_file.h"
#include "support/child_process.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using testing::TempFolder;

// What fresh settings save: the default folder is the system's.
std::string FreshIni() {
    return "[General]\r\nScan interval=3\r\nBlock size=128\r\nFolder=" + platform::DefaultFolder() +
           "\r\n\r\n"
           "[Mode1]\r\nActive=False\r\nFile=\r\nDecode=False\r\nRead=2\r\n\r\n"
           "[Mode2]\r\nActive=False\r\nPrefix=\r\nExt=ext\r\nDecode=False\r\nRead=2\r\n\r\n"
           "[Mode3]\r\nActive=False\r\nSchedule=\r\n\r\n";
}

// Saves (or loads) cfg in the INI file, its sections named with prefix.
bool RunIni(const std::string &ini, TDataSourceCfg &cfg, bool save, const std::string &prefix) {
    TWreg store(nullptr);
    store.SetINIFile(ini);
    store.SetINIFileSectionPrefix(prefix);
    store.SetRegistryPath("");
    store.Components()->Assign(ConfigMappingList());
    return save ? store.Save(&cfg) : store.Load(&cfg);
}

class WregTest : public ::testing::Test {
protected:
    bool Run(TDataSourceCfg &cfg, bool save, const std::string &prefix = "") {
        return RunIni(ini, cfg, save, prefix);
    }

    TempFolder dir;
    std::string ini = dir.File("host.ini");
    // Registry roots of the test, empty (on POSIX not even there): a load that falls back on the
    // registry finds nothing of the machine's.
    testing::RegistryRoots roots{dir.File("no-hkcu"), dir.File("no-hklm")};
};

// The mapping lines are part of the stored form: hosts and older files rely on these texts.
TEST(ConfigMapping, LinesAreTheStoredOnes) {
    const std::vector<std::string> expected = {
        "",
        "edScanInterval.Value,General\\Scan interval",
        "edBlockSize.Value,General\\Block size",
        "edFolder.Text,General\\Folder",
        "",
        "cbActiveSM.Checked,Mode1\\Active",
        "edFileSM.Text,Mode1\\File",
        "cbDecodeSM.Checked,Mode1\\Decode",
        "gbReadModeSM.ItemIndex,Mode1\\Read",
        "",
        "cbActiveTM.Checked,Mode2\\Active",
        "edFilePrefixTM.Text,Mode2\\Prefix",
        "edFilesExtTM.Text,Mode2\\Ext",
        "cbDecodeTM.Checked,Mode2\\Decode",
        "gbReadModeTM.ItemIndex,Mode2\\Read",
        "",
        "cbActiveSD.Checked,Mode3\\Active",
        "shTimesSD.Strings,Mode3\\Schedule",
    };
    EXPECT_EQ(ConfigMappingLines(), expected);
}

TEST_F(WregTest, FreshSettingsSaveExactly) {
    TDataSourceCfg cfg(nullptr);
    ASSERT_TRUE(Run(cfg, true));
    EXPECT_EQ(dir.Read("host.ini"), FreshIni());
    // Other writers' sections stay; saving the same values again leaves the file untouched.
    dir.Write("host.ini", std::string("[Host]\r\nx=1\r\n\r\n") + FreshIni());
    ASSERT_TRUE(Run(cfg, true));
    EXPECT_EQ(dir.Read("host.ini"), std::string("[Host]\r\nx=1\r\n\r\n") + FreshIni());
}

TEST_F(WregTest, SavedValuesLoadBackEqual) {
    TDataSourceCfg saved(nullptr);
    saved.edScanInterval_Value = 0.5;
    saved.edBlockSize_Value = 4096;
    saved.edFolder_Text = "  /data/in box+%/  ";
    saved.cbActiveSM_Checked = true;
    saved.edFileSM_Text = "*.txt";
    saved.cbDecodeSM_Checked = true;
    saved.gbReadModeSM_ItemIndex = 0;
    saved.cbActiveTM_Checked = true;
    saved.edFilePrefixTM_Text = "log_";
    saved.edFilesExtTM_Text = "d?t";
    saved.cbDecodeTM_Checked = true;
    saved.gbReadModeTM_ItemIndex = 1;
    saved.cbActiveSD_Checked = true;
    saved.shTimesSD_Strings->SetText("0 * * * *\r\n30 12 * * 1\r\n");
    ASSERT_TRUE(Run(saved, true));
    TBigIniFile file(ini);
    EXPECT_EQ(file.ReadString("General", "Folder", ""), "++/data/in box%2B%%/++");
    EXPECT_EQ(file.ReadString("Mode3", "Schedule", ""), "0 * * * *%0D%0A30 12 * * 1%0D%0A");
    EXPECT_EQ(file.ReadString("Mode1", "Active", ""), "True");

    TDataSourceCfg loaded(nullptr);
    ASSERT_TRUE(Run(loaded, false));
    EXPECT_EQ(loaded.edScanInterval_Value, 0.5);
    EXPECT_EQ(loaded.edBlockSize_Value, 4096);
    EXPECT_EQ(loaded.edFolder_Text, saved.edFolder_Text);
    EXPECT_TRUE(loaded.cbActiveSM_Checked);
    EXPECT_EQ(loaded.edFileSM_Text, "*.txt");
    EXPECT_TRUE(loaded.cbDecodeSM_Checked);
    EXPECT_EQ(loaded.gbReadModeSM_ItemIndex, 0);
    EXPECT_TRUE(loaded.cbActiveTM_Checked);
    EXPECT_EQ(loaded.edFilePrefixTM_Text, "log_");
    EXPECT_EQ(loaded.edFilesExtTM_Text, "d?t");
    EXPECT_TRUE(loaded.cbDecodeTM_Checked);
    EXPECT_EQ(loaded.gbReadModeTM_ItemIndex, 1);
    EXPECT_TRUE(loaded.cbActiveSD_Checked);
    EXPECT_EQ(loaded.shTimesSD_Strings->Text(), "0 * * * *\r\n30 12 * * 1\r\n");

    // An empty schedule is stored as an empty value and loads back as an empty list.
    saved.shTimesSD_Strings->Clear();
    ASSERT_TRUE(Run(saved, true));
    EXPECT_TRUE(TBigIniFile(ini).ValueExists("Mode3", "Schedule"));
    ASSERT_TRUE(Run(loaded, false));
    EXPECT_EQ(loaded.shTimesSD_Strings->Count(), 0);
}

TEST_F(WregTest, HandWrittenValuesTable) {
    struct Case {
        const char *section;
        const char *key;
        const char *text;
        std::function<void(const TDataSourceCfg &)> check;
    };
    const std::vector<Case> cases = {
        {"General", "Scan interval", "abc",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.edScanInterval_Value, 0); }},
        {"General", "Scan interval", "",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.edScanInterval_Value, 0); }},
        {"General", "Block size", "2,5",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.edBlockSize_Value, 2.5); }},
        {"Mode1", "Read", "abc",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.gbReadModeSM_ItemIndex, 0); }},
        {"Mode1", "Read", "0x1",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.gbReadModeSM_ItemIndex, 1); }},
        {"Mode1", "Active", "true",
         [](const TDataSourceCfg &c) { EXPECT_TRUE(c.cbActiveSM_Checked); }},
        {"Mode1", "Active", "TRUE",
         [](const TDataSourceCfg &c) { EXPECT_TRUE(c.cbActiveSM_Checked); }},
        {"Mode2", "Active", "", [](const TDataSourceCfg &c) { EXPECT_TRUE(c.cbActiveTM_Checked); }},
        {"Mode2", "Active", "maybe",
         [](const TDataSourceCfg &c) { EXPECT_TRUE(c.cbActiveTM_Checked); }},
        {"Mode1", "File", "a+b",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.edFileSM_Text, "a b"); }},
        {"Mode1", "File", "%4", [](const TDataSourceCfg &c) { EXPECT_EQ(c.edFileSM_Text, "%4"); }},
        {"Mode3", "Schedule", "[[Null]]",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.shTimesSD_Strings->Count(), 0); }},
        {"Mode3", "Schedule", "a%0Db%0A",
         [](const TDataSourceCfg &c) { EXPECT_EQ(c.shTimesSD_Strings->Text(), "a\r\nb\r\n"); }},
    };
    for (const Case &c : cases) {
        dir.Write("host.ini", std::string("[") + c.section + "]\n" + c.key + "=" + c.text + "\n");
        TDataSourceCfg cfg(nullptr);
        cfg.cbActiveTM_Checked = true;  // must survive texts that are no Boolean
        cfg.shTimesSD_Strings->Add("old");
        ASSERT_TRUE(Run(cfg, false));
        c.check(cfg);
        // Every key that was not in the file keeps its default.
        EXPECT_EQ(cfg.edFilesExtTM_Text, "ext");
    }
}

TEST_F(WregTest, SectionPrefixAndCommonSection) {
    TDataSourceCfg cfg(nullptr);
    ASSERT_TRUE(Run(cfg, true, "P"));
    TBigIniFile file(ini);
    TStringList sections;
    file.ReadSections(sections);
    EXPECT_EQ(sections.Text(), "P.General\r\nP.Mode1\r\nP.Mode2\r\nP.Mode3\r\n");

    TWreg store(nullptr);
    store.SetINIFile(ini);
    store.SetINIFileSectionPrefix("P");
    store.Components()->Add("edFolder.Text,Folder");
    store.Components()->Add("edFileSM.Text,A\\B\\File");
    store.Components()->Add("edFilesExtTM.Text,Ext\\\\ignored");
    ASSERT_TRUE(store.Save(&cfg));
    TBigIniFile after(ini);
    EXPECT_EQ(after.ReadString("P.Common", "Folder", "-"), platform::DefaultFolder());
    EXPECT_EQ(after.ReadString("P.A.B", "File", "-"), "");
    EXPECT_EQ(after.ReadString("P.Common", "Ext", "-"), "ext");
    store.SetINIFileSectionPrefix("");
    ASSERT_TRUE(store.Save(&cfg));
    EXPECT_EQ(TBigIniFile(ini).ReadString("Common", "Folder", "-"), platform::DefaultFolder());
}

TEST_F(WregTest, MissingIniWithoutRegistryLoadsNothing) {
    TDataSourceCfg cfg(nullptr);
    cfg.edFolder_Text = "kept";
    TWreg store(nullptr);
    store.SetINIFile(ini);
    store.SetRegistryPath("Software\\Missing");
    store.Components()->Assign(ConfigMappingList());
    EXPECT_FALSE(store.Load(&cfg));
    EXPECT_EQ(cfg.edFolder_Text, "kept");
    EXPECT_FALSE(dir.Exists("host.ini"));
}

TEST_F(WregTest, UnwritableIniFailsTheSave) {
    ini = dir.File("missing/folder/host.ini");
    TDataSourceCfg cfg(nullptr);
    EXPECT_THROW(Run(cfg, true), EIniFileException);
}

// A dialog-like tree: a form owning controls with published properties.
class TTestEdit : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TTestEdit>("TTestEdit", &TComponent::StaticClassInfo())
                .String("Text", &TTestEdit::Text)
                .Float("Value", &TTestEdit::Value)
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    std::string Text;
    double Value = 0;
};

class TComboBox : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TComboBox>("TComboBox", &TComponent::StaticClassInfo())
                .Integer("ItemIndex", &TComboBox::ItemIndex)
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    std::int32_t ItemIndex = -1;
};

TEST_F(WregTest, DialogControlsAndComboBoxHandler) {
    TComponent form(nullptr);
    form.SetName("Form");
    auto *edFolder = new TTestEdit(&form);
    edFolder->SetName("edFolder");
    auto *cbPort = new TComboBox(&form);
    cbPort->SetName("cbPort");
    auto *edOther = new TTestEdit(&form);
    edOther->SetName("edOther");
    edFolder->Text = " x ";
    cbPort->ItemIndex = 2;

    TWreg store(nullptr);
    store.SetINIFile(ini);
    store.Components()->Add("EDFOLDER.text,General\\Folder");
    store.Components()->Add("cbPort.*itemindex,General\\Port");
    store.Components()->Add("edOther.*ItemIndex,General\\Other");
    store.Components()->Add("edMissing.Text,General\\Missing");
    ASSERT_TRUE(store.Save(&form));
    EXPECT_EQ(dir.Read("host.ini"), "[General]\r\nFolder=+x+\r\nPort=2\r\n\r\n");

    struct Case {
        const char *stored;
        std::int32_t expected;
    };
    for (const Case &c : std::vector<Case>{{"abc", 2}, {"", 2}, {"-1", -1}, {"0", 0}}) {
        cbPort->ItemIndex = 2;
        dir.Write("host.ini", std::string("[General]\nFolder=a+b\nPort=") + c.stored + "\n");
        ASSERT_TRUE(store.Load(&form));
        EXPECT_EQ(cbPort->ItemIndex, c.expected) << c.stored;
        EXPECT_EQ(edFolder->Text, "a b");
    }
}

TEST(WregPaths, ComponentPathAndLookup) {
    TComponent app(nullptr);
    app.SetName("Application");
    auto *form = new TComponent(&app);
    form->SetName("Form1");
    auto *panel = new TComponent(form);
    panel->SetName("Panel");
    auto *button = new TComponent(panel);
    button->SetName("Button");
    SetWregApplication(&app, form);
    EXPECT_EQ(TWreg::ComponentPath(button), "Application.Form1.Panel.Button");
    EXPECT_EQ(TWreg::ComponentPath(&app), "Application");
    EXPECT_EQ(TWreg::FindComponentByPath("application.form1.panel.button", nullptr), button);
    EXPECT_EQ(TWreg::FindComponentByPath("Panel.Button", form), button);
    // Not found below the root: the whole path is tried from the application object.
    EXPECT_EQ(TWreg::FindComponentByPath("Form1.Panel", panel), panel);
    EXPECT_EQ(TWreg::FindComponentByPath("Nope", form), nullptr);
    SetWregApplication(nullptr, nullptr);
    TComponent lone(nullptr);
    lone.SetName("Lone");
    EXPECT_EQ(TWreg::ComponentPath(&lone), "Lone");
}

TEST(WregLockName, FullPathFolded) {
    EXPECT_EQ(TWreg::IniLockName("/Home/User/Host App.INI"), "_home_user_host_app_ini");
}

TEST_F(WregTest, VirtualItemsThroughEvents) {
    // A dialog form without the line's control: the line is virtual.
    TComponent form(nullptr);
    (new TTestEdit(&form))->SetName("edFolder");
    TWreg store(nullptr);
    store.SetINIFile(ini);
    store.Components()->Add("; comment");
    store.Components()->Add("");
    store.Components()->Add("noSuch.Thing,Virtual\\Item");
    store.Components()->Add("edFolder.Text,General\\Folder");
    std::vector<std::string> seen;
    store.BeforeProcessItem = [&](TObject *sender, const std::string &name, int index,
                                  bool &require, bool &isVirtual, TTypeKind &type) {
        EXPECT_EQ(sender, &store);
        seen.push_back(name + "@" + std::to_string(index) + (isVirtual ? " virtual" : ""));
        if (isVirtual) {
            require = true;
            type = tkLString;
        }
    };
    store.GetValue = [&](TObject *, const std::string &name, int index, Variant &value) {
        EXPECT_EQ(name, "");
        EXPECT_EQ(index, 2);
        value = Variant(" v+ ");
    };
    std::string loaded;
    store.SetValue = [&](TObject *, const std::string &, int index, const Variant &value) {
        EXPECT_EQ(index, 2);
        loaded = value.ToString();
    };
    ASSERT_TRUE(store.Save(&form));
    EXPECT_EQ(TBigIniFile(ini).ReadString("Virtual", "Item", ""), "+v%2B+");
    ASSERT_TRUE(store.Load(&form));
    EXPECT_EQ(loaded, " v+ ");
    EXPECT_EQ(seen, (std::vector<std::string>{"@2 virtual", "Text@3", "@2 virtual", "Text@3"}));
}

// With a proxy root a path without a matching property is no virtual item: nothing is stored.
TEST_F(WregTest, ProxyWithoutPropertyStoresNothing) {
    TDataSourceCfg cfg(nullptr);
    TWreg store(nullptr);
    store.SetINIFile(ini);
    store.Components()->Add("noSuch.Thing,Virtual\\Item");
    bool called = false;
    store.GetValue = [&](TObject *, const std::string &, int, Variant &) { called = true; };
    ASSERT_TRUE(store.Save(&cfg));
    EXPECT_FALSE(called);
    EXPECT_FALSE(dir.Exists("host.ini"));
}

constexpr int kRounds = 50;

// args: the INI file, the writer's number. Saves the writer's own section kRounds times.
int IniWriterMain(const std::vector<std::string> &args) {
    testing::RegistryRoots::AdoptInChild();
    const std::string &p = args.at(1);
    int failures = 0;
    for (int round = 0; round < kRounds; ++round) {
        TDataSourceCfg cfg(nullptr);
        cfg.gbReadModeSM_ItemIndex = round;
        cfg.edFileSM_Text = "writer " + p;
        if (!RunIni(args.at(0), cfg, true, "W" + p)) ++failures;
    }
    return failures == 0 ? 0 : 1;
}
const testing::ChildRole iniWriter("wreg_ini_writer", &IniWriterMain);

// Eight processes save their own prefixed section of one INI file 50 times each. Without the
// named lock their read-modify-write cycles interleave: measured runs without it lost the
// sections of 5 to 7 of the 8 writers.
TEST_F(WregTest, ConcurrentProcessesKeepEverySection) {
    constexpr int kProcesses = 8;
    std::vector<std::unique_ptr<testing::ChildProcess>> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(std::make_unique<testing::ChildProcess>(
            "wreg_ini_writer", std::vector<std::string>{ini, std::to_string(p)}));
        ASSERT_TRUE(children.back()->Started());
    }
    for (auto &child : children)
        EXPECT_EQ(child->Wait(testing::kChildTimeout), 0);
    for (int p = 0; p < kProcesses; ++p) {
        TDataSourceCfg cfg(nullptr);
        ASSERT_TRUE(Run(cfg, false, "W" + std::to_string(p)));
        EXPECT_EQ(cfg.gbReadModeSM_ItemIndex, kRounds - 1) << p;
        EXPECT_EQ(cfg.edFileSM_Text, "writer " + std::to_string(p));
    }
}

}  // namespace
}  // namespace brevor
