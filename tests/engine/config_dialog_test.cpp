#include "engine/config_dialog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/a_plugin.h"
#include "engine/settings_model.h"
#include "framework/params_list.h"
#include "ini_text.h"
#include "support/headless_driver.h"
#include "support/plugin_command.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using D = THeadlessDriver;

// A loaded module instance with its settings in an INI file of a temporary folder, and the
// headless driver as the user.
class ConfigDialogTest : public ::testing::Test {
protected:
    ConfigDialogTest() : ini_(dir_.File("s.ini")) {}
    ~ConfigDialogTest() override {
        if (plugin_) {
            Command("UNLOAD");
            plugin_.reset();
        }
    }

    std::int32_t Command(const char *name) {
        return testing::RunPluginCommand(plugin_, name, ini_);
    }
    void Load() { ASSERT_EQ(Command("LOAD"), 0); }
    // Settings stored before the dialog opens.
    void Store(std::string_view section, std::string_view key, std::string_view value) {
        host::TIniText ini(ini_);
        ini.Set(section, key, value);
        ASSERT_TRUE(ini.Save());
    }
    static std::string Schedule(std::initializer_list<const char *> lines) {
        std::string text;
        for (const char *line : lines)
            text += std::string(line) + "\r\n";
        return host::TIniText::Escape(text);
    }
    std::string IniText() const {
        std::ifstream in(ini_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs the dialog with the script given to the driver; returns the modal result.
    int Run() {
        TConfigg dialog(*plugin_);
        return dialog.Execute();
    }
    // A step that checks the dialog while it is open.
    static D::TStep Inspect(std::function<void(TConfigg &)> check) {
        return [check](TCustomForm &form, D &) { check(dynamic_cast<TConfigg &>(form)); };
    }

    testing::TempFolder dir_;
    // A load from a settings file that does not exist yet reads the registry: this test's own,
    // so that what other tests leave there never shows up in the dialog.
    testing::RegistryRoots registry_{dir_.Path() + "/hkcu", dir_.Path() + "/hklm"};
    std::string ini_;
    D driver_;
    std::unique_ptr<TaPlugin> plugin_;
};

TEST_F(ConfigDialogTest, OkWritesExactlyWhatTheSettingsModelWritesAndReadsBack) {
    Load();
    // Without a change, OK writes the same entries as a fresh settings object.
    driver_.Then(D::Click("btnOK"));
    ASSERT_EQ(Run(), mrOk);
    const std::string fromDialog = IniText();
    std::remove(ini_.c_str());
    plugin_->Settings = std::make_unique<TDataSourceCfg>(plugin_.get());
    plugin_->SaveToStore();
    EXPECT_EQ(IniText(), fromDialog);
    EXPECT_NE(fromDialog.find("Folder="), std::string::npos);

    // Edited values come back through the settings object.
    driver_.Then(D::Focus("edScanInterval"))
        .Then(D::Type("7"))
        .Then(D::Focus("edFolder"))
        .Then(D::Type(dir_.Path()))
        .Then(D::Click("cbActiveSM"))
        .Then(D::Focus("edFileSM"))
        .Then(D::Type("*.csv"))
        .Then(D::ShowPage("pcModes", 2))
        .Then(D::Click("cbActiveSD"))
        .Then(D::Click("btnAddTimeSD"))
        .Then(D::Focus("edHourSD"))
        .Then(D::Type("10"))
        .Then(D::Focus("edMinuteSD"))
        .Then(D::Type("30"))
        .Then(D::Click("btnOK"));
    ASSERT_EQ(Run(), mrOk);
    EXPECT_EQ(driver_.StepsLeft(), 0);
    plugin_->LoadFromStore();
    const TScanSettings s = plugin_->ScanSettings();
    EXPECT_EQ(s.ScanInterval, 7);
    EXPECT_EQ(s.Folder, dir_.Path());
    EXPECT_TRUE(s.ActiveSM);
    EXPECT_EQ(s.FileSM, "*.csv");
    EXPECT_TRUE(s.ActiveSD);
    ASSERT_EQ(s.Schedule.size(), 1u);
    EXPECT_EQ(s.Schedule[0], "*||*||*||10||30||0||||2");
}

TEST_F(ConfigDialogTest, InvalidMinuteKeepsTheFocusAndCancelClosesSilently) {
    Store("Mode3", "Active", "True");
    Store("Mode3", "Schedule", Schedule({"*||*||*||10||30||0||*.csv||2"}));
    Load();
    const std::string before = IniText();

    driver_.Then(D::ShowPage("pcModes", 2))
        .Then(D::Focus("edMinuteSD"))
        .Then(D::Type("75"))
        .Then(D::Tab())
        .Then(D::ClickCaption("OK"))  // answers the message
        .Then(Inspect([](TConfigg &d) { EXPECT_EQ(d.ActiveControl(), d.edMinuteSD); }))
        .Then(D::Click("btnOK"))  // the focus cannot leave: no OK either
        .Then(D::ClickCaption("OK"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_EQ(d.ModalResult, mrNone);
            EXPECT_EQ(d.ActiveControl(), d.edMinuteSD);
        }))
        .Then(D::Click("btnCancel"));
    EXPECT_EQ(Run(), mrCancel);
    ASSERT_EQ(driver_.Shown.size(), 3u);
    EXPECT_EQ(driver_.Shown[1].Text.rfind("Invalid time \"75 10 * * *\"!", 0), 0u)
        << driver_.Shown[1].Text;
    EXPECT_FALSE(driver_.ScriptRanOut);
    EXPECT_EQ(IniText(), before);

    // Cancel straight after the bad minute: no message at all.
    driver_.Shown.clear();
    driver_.Then(D::ShowPage("pcModes", 2))
        .Then(D::Focus("edMinuteSD"))
        .Then(D::Type("75"))
        .Then(D::Click("btnCancel"));
    EXPECT_EQ(Run(), mrCancel);
    EXPECT_EQ(driver_.Shown.size(), 1u);
    // Esc closes without a message too.
    driver_.Shown.clear();
    driver_.Then(D::ShowPage("pcModes", 2))
        .Then(D::Focus("edMinuteSD"))
        .Then(D::Type("75"))
        .Then(D::Esc());
    EXPECT_EQ(Run(), mrCancel);
    EXPECT_EQ(driver_.Shown.size(), 1u);
}

TEST_F(ConfigDialogTest, TimeBoxesRefuseWhatTheSchedulerCouldNotRun) {
    Store("Mode3", "Active", "True");
    Store("Mode3", "Schedule", Schedule({"*||*||*||10||30||0||*.csv||2"}));
    Load();
    struct Case {
        const char *minute;
        bool valid;
    };
    // A blank would shift the other fields: "1 2" must not become minute 1, hour 2.
    const Case cases[] = {{"75", false},  {"1 2", false}, {"", false},   {"x", false},
                          {"*/15", true}, {"0,30", true}, {"5-10", true}};
    for (const Case &c : cases) {
        driver_.Shown.clear();
        driver_.Then(D::ShowPage("pcModes", 2))
            .Then(D::Focus("edMinuteSD"))
            .Then(D::Type(c.minute));
        driver_.Then(D::Tab());
        if (!c.valid) driver_.Then(D::ClickCaption("OK"));
        driver_.Then(Inspect([&c](TConfigg &d) {
            EXPECT_EQ(d.ActiveControl() == d.edMinuteSD, !c.valid) << c.minute;
        }));
        driver_.Then(D::Esc());
        EXPECT_EQ(Run(), mrCancel);
        EXPECT_EQ(driver_.Shown.size(), c.valid ? 1u : 2u) << c.minute;
        EXPECT_FALSE(driver_.ScriptRanOut) << c.minute;
    }
}

TEST_F(ConfigDialogTest, ScheduleRowsFollowTheirEntries) {
    Store("Mode3", "Active", "True");
    Store("Mode3", "Schedule",
          Schedule({"*||*||*||1||0||0||a||0", "*||*||*||2||0||1||b||3", "*||*||*||3||0||0||c||9"}));
    Load();
    driver_
        .Then(Inspect([](TConfigg &d) {
            ASSERT_EQ(d.lvTimesSD->Count(), 3);
            EXPECT_EQ(d.lvTimesSD->ItemIndex(), 0);
            EXPECT_EQ(d.edHourSD->Text(), "1");
            EXPECT_EQ(d.lvTimesSD->Item(1).Caption, "* * * 2 0");
            EXPECT_EQ(d.lvTimesSD->Item(1).SubItems.at(0), "Read from beginning");
            EXPECT_TRUE(d.lvTimesSD->Item(1).Checked);
            // A read mode out of range shows the third caption.
            EXPECT_EQ(d.lvTimesSD->Item(2).SubItems.at(0), "Read and don't change ");
        }))
        .Then(D::ShowPage("pcModes", 2))
        .Then(D::Click("btnAddTimeSD"))
        .Then(Inspect([](TConfigg &d) {
            ASSERT_EQ(d.lvTimesSD->Count(), 4);
            EXPECT_EQ(d.lvTimesSD->ItemIndex(), 3);
            EXPECT_EQ(d.lvTimesSD->Item(3).Caption, "* * * * * *");
            EXPECT_FALSE(d.lvTimesSD->Item(3).Checked);
            EXPECT_EQ(d.edMinuteSD->Text(), "*");
        }))
        .Then(D::Focus("edDaySD"))
        .Then(D::Type("15"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_EQ(d.lvTimesSD->Item(3).Caption, "* * 15 * *");
            EXPECT_EQ(d.shTimesSD->Strings()[3], "*||*||15||*||*||0||||2");
        }))
        // Delete the middle one of the first three: asked, then the row after it is selected.
        .Then(D::SelectRow("lvTimesSD", 1))
        .Then(D::Click("btnDelTimeSD"))
        .Then(D::ClickCaption("Yes"))
        .Then(Inspect([](TConfigg &d) {
            ASSERT_EQ(d.lvTimesSD->Count(), 3);
            EXPECT_EQ(d.lvTimesSD->ItemIndex(), 1);
            EXPECT_EQ(d.edHourSD->Text(), "3");
        }))
        .Then(D::Click("btnDelTimeSD"))
        .Then(D::ClickCaption("No"))  // kept
        .Then(D::Click("btnOK"));
    ASSERT_EQ(Run(), mrOk);
    EXPECT_EQ(driver_.Shown.at(1).Text, "Do you want to delete the selected time?");
    plugin_->LoadFromStore();
    const TScanSettings s = plugin_->ScanSettings();
    ASSERT_EQ(s.Schedule.size(), 3u);
    EXPECT_EQ(s.Schedule[0], "*||*||*||1||0||0||a||0");
    EXPECT_EQ(s.Schedule[1], "*||*||*||3||0||0||c||9");

    // Delete all, answered Yes: the editors are cleared and disabled.
    driver_.Then(D::ShowPage("pcModes", 2))
        .Then(D::Click("miDelAllTimesSD"))
        .Then(D::ClickCaption("Yes"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_EQ(d.lvTimesSD->Count(), 0);
            EXPECT_EQ(d.edMinuteSD->Text(), "");
            EXPECT_FALSE(d.edMinuteSD->Enabled());
            EXPECT_FALSE(d.btnDelAllTimesSD->Enabled());
            EXPECT_TRUE(d.btnAddTimeSD->Enabled());
        }))
        .Then(D::Click("btnOK"));
    ASSERT_EQ(Run(), mrOk);
    plugin_->LoadFromStore();
    EXPECT_TRUE(plugin_->ScanSettings().Schedule.empty());
}

TEST_F(ConfigDialogTest, ABadTimeKeepsItsRowSelected) {
    Store("Mode3", "Active", "True");
    Store("Mode3", "Schedule", Schedule({"*||*||*||1||0||0||a||2", "*||*||*||2||0||0||b||2"}));
    Load();
    driver_.Then(D::ShowPage("pcModes", 2))
        .Then(D::Focus("edHourSD"))
        .Then(D::Type("x"))
        .Then(D::SelectRow("lvTimesSD", 1))  // the focus cannot leave the hour box
        .Then(D::ClickCaption("OK"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_EQ(d.lvTimesSD->ItemIndex(), 0);
            EXPECT_EQ(d.edHourSD->Text(), "x");
            // Selected from the list itself: the check runs again and keeps the row.
            EXPECT_FALSE(d.lvTimesSD->SelectByUser(1));
            EXPECT_EQ(d.lvTimesSD->ItemIndex(), 0);
        }))
        .Then(D::ClickCaption("OK"))
        .Then(D::Esc());
    EXPECT_EQ(Run(), mrCancel);
    EXPECT_EQ(driver_.Shown.size(), 3u);
}

TEST_F(ConfigDialogTest, EnabledStatesFollowTheModes) {
    Load();
    driver_
        .Then(Inspect([](TConfigg &d) {
            for (TControl *c : std::initializer_list<TControl *>{
                     d.edFileSM, d.cbDecodeSM, d.gbReadModeSM, d.edFilePrefixTM, d.edFilesExtTM,
                     d.cbDecodeTM, d.gbReadModeTM, d.edMinuteSD, d.btnAddTimeSD, d.btnDelTimeSD,
                     d.btnDelAllTimesSD})
                EXPECT_FALSE(c->Enabled()) << c->Name();
            EXPECT_FALSE(d.miAddTimeSD->Enabled);
        }))
        .Then(D::Click("cbActiveSM"))
        .Then(D::ShowPage("pcModes", 2))
        .Then(D::Click("cbActiveSD"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_TRUE(d.edFileSM->Enabled());
            EXPECT_TRUE(d.gbReadModeSM->Enabled());
            EXPECT_FALSE(d.edFilePrefixTM->Enabled());
            EXPECT_TRUE(d.btnAddTimeSD->Enabled());
            EXPECT_TRUE(d.miAddTimeSD->Enabled);
            EXPECT_FALSE(d.btnDelTimeSD->Enabled());  // no rows yet
            EXPECT_FALSE(d.edMinuteSD->Enabled());
        }))
        .Then(D::Click("miAddTimeSD"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_TRUE(d.btnDelTimeSD->Enabled());
            EXPECT_TRUE(d.btnDelAllTimesSD->Enabled());
            EXPECT_TRUE(d.edMinuteSD->Enabled());
            EXPECT_TRUE(d.gbReadModeSD->Enabled());
        }))
        .Then(D::Click("cbActiveSD"))
        .Then(Inspect([](TConfigg &d) {
            EXPECT_FALSE(d.btnAddTimeSD->Enabled());
            EXPECT_FALSE(d.edMinuteSD->Enabled());
        }))
        .Then(D::Esc());
    EXPECT_EQ(Run(), mrCancel);
}

TEST_F(ConfigDialogTest, FolderCheckWarningEnterAndHelp) {
    Load();
    const std::string missing = dir_.File("missing");
    driver_.Then(D::Focus("edFolder"))
        .Then(D::Type(missing))
        .Then(D::Tab())
        .Then(D::ClickCaption("OK"))
        .Then(Inspect([](TConfigg &d) { EXPECT_EQ(d.ActiveControl(), d.edFolder); }))
        .Then(D::Key(vkF1))
        .Then(D::Type(dir_.Path()))
        .Then(D::Click("cbActiveSM"))
        .Then(D::ChooseRadio("gbReadModeSM", 0))  // the warning row is stored answered
        .Then(D::Key(vkF1))
        .Then(D::ShowPage("pcModes", 2))
        .Then(D::Click("cbActiveSD"))
        .Then(D::Click("btnAddTimeSD"))
        .Then(D::Focus("edMinuteSD"))
        .Then(D::Key(vkF1))
        .Then(D::Enter());  // outside the buttons: Cancel
    EXPECT_EQ(Run(), mrCancel);
    ASSERT_EQ(driver_.Shown.size(), 2u);
    EXPECT_EQ(driver_.Shown[1].Text, "The \"" + missing + "\" folder doesn't exist!");
    ASSERT_EQ(driver_.HelpRequests.size(), 3u);
    EXPECT_EQ(driver_.HelpRequests[0].second, kHelpGeneral);
    EXPECT_EQ(driver_.HelpRequests[1].second, kHelpSimpleScan);
    EXPECT_EQ(driver_.HelpRequests[2].second, kHelpCronTime);
    EXPECT_NE(driver_.HelpRequests[0].first.find("brevor"), std::string::npos);
    EXPECT_TRUE(driver_.HelpRequests[0].first.ends_with(".help"));
}

TEST_F(ConfigDialogTest, BrowsingPutsOnlyTheFileName) {
    Load();
    driver_.FileAnswers.push_back("/some/where/else/data.csv");
    driver_.Then(D::Click("cbActiveSM"))
        .Then(D::Browse("edFileSM"))
        .Then(Inspect([](TConfigg &d) { EXPECT_EQ(d.edFileSM->Text(), "data.csv"); }))
        .Then(D::Esc());
    EXPECT_EQ(Run(), mrCancel);
}

TEST_F(ConfigDialogTest, HandlerReloadsTheSettingsOnOkOnly) {
    Load();
    bool success = true;
    driver_.Then(D::Esc());
    plugin_->OnShowOptionsDialog(plugin_.get(), nullptr, success);
    EXPECT_FALSE(success);
    TDataSourceCfg *before = plugin_->Settings.get();

    driver_.Then(D::Focus("edBlockSize")).Then(D::Type("64")).Then(D::Click("btnOK"));
    plugin_->OnShowOptionsDialog(plugin_.get(), nullptr, success);
    EXPECT_TRUE(success);
    ASSERT_NE(plugin_->Settings.get(), nullptr);
    EXPECT_NE(plugin_->Settings.get(), before);
    EXPECT_EQ(plugin_->Settings->edBlockSize_Value, 64);
}

TEST_F(ConfigDialogTest, WithoutADisplayTheHandlerReportsNoChange) {
    Load();
    TUiBackend *driver = SetUiBackend(nullptr);
    bool success = true;
    plugin_->OnShowOptionsDialog(plugin_.get(), nullptr, success);
    EXPECT_FALSE(success);
    SetUiBackend(driver);
}

}  // namespace
}  // namespace brevor
