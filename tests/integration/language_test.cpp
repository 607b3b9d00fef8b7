#include <filesystem>
#include <fstream>
#include <thread>

#include "ini_text.h"

#include "integration/module_fixture.h"
#include "messages_window.h"
#include "params_builder.h"
#include "support/temp_folder.h"

namespace brevor::testing {
namespace {

using host::MakeCallRecord;
using host::TParamsBuilder;

// A copy of the module with a language file beside it, loaded on its own.
class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(BREVOR_MODULE_PATH, dir_.File("brevor.so"));
        // The module's own texts, translated into German; English stays the default.
        dir_.Write("brevor.lng",
                   "[Languages]\r\n$EN = English\r\n$DE = Deutsch\r\nDefault = EN\r\n\r\n"
                   "EN:>No data for processing\r\nDE:>Keine Daten zu verarbeiten\r\n\r\n"
                   "EN:>The \"%s\" file has been deleted\r\n"
                   "DE:>Die Datei \"%s\" wurde gel\xF6scht\r\n\r\n");
        module_ = std::make_unique<host::TLoadedModule>(dir_.File("brevor.so"));
    }
    std::int32_t Command(host::TMessagesWindow &window, const char *name, const char *language) {
        TParamsBuilder p;
        p.Add("COMMAND", name)
            .Add("MessagesProcessorHandle", static_cast<std::int32_t>(window.ModuleHandle()));
        if (language != nullptr) p.Add("LANGUAGE", language);
        TPluginCallRec rec = MakeCallRecord(7, p.List());
        return (*module_)->ExecutePluginCommand(&rec);
    }
    std::string Warning(host::TMessagesWindow &window) {
        window.Clear();
        TParamsBuilder p;
        TPluginCallRec rec = MakeCallRecord(7, p.List());
        rec.ModuleTypes = 1u << mttDataExport;
        (*module_)->ProcessData(&rec);
        if (!window.WaitForMessages(1, 2000) || window.Lines().empty()) return "";
        return window.Lines()[0].Text;
    }
    void TearDown() override {
        TPluginCallRec rel = host::MakeReleaseRecord(7);
        (*module_)->GetModuleType(&rel);
        module_.reset();
    }

    TempFolder dir_;
    std::unique_ptr<host::TLoadedModule> module_;
};

TEST_F(LanguageTest, LanguageParameterTranslatesTheModulesTexts) {
    host::TMessagesWindow window;
    ASSERT_EQ(Command(window, "LOAD", nullptr), 0);
    EXPECT_EQ(Warning(window), "Brevor. No data for processing");
    EXPECT_EQ(Command(window, "EVENTS-SUPPORT", "DE"), 0);
    EXPECT_EQ(Warning(window), "Brevor. Keine Daten zu verarbeiten");
    // A language the file has no texts for changes nothing.
    EXPECT_EQ(Command(window, "EVENTS-SUPPORT", "XX"), 0);
    EXPECT_EQ(Warning(window), "Brevor. Keine Daten zu verarbeiten");
    EXPECT_EQ(Command(window, "UNLOAD", nullptr), 0);
}

TEST_F(LanguageTest, EngineLogLinesComeInTheHostsLanguage) {
    const std::string data = dir_.Path() + "/data";
    std::filesystem::create_directories(data);
    std::ofstream(data + "/f.txt") << "payload";
    host::TIniText ini(dir_.File("s.ini"));
    ini.Set("General", "Folder", host::TIniText::Escape(data));
    ini.Set("General", "Scan interval", "0");
    ini.Set("Mode1", "Active", "True");
    ini.Set("Mode1", "File", "*.txt");
    ini.Set("Mode1", "Read", "0");
    ASSERT_TRUE(ini.Save());

    host::TMessagesWindow window;
    TParamsBuilder load;
    load.Add("COMMAND", "LOAD")
        .Add("INI-FILE", dir_.File("s.ini"))
        .Add("HANDLE", static_cast<std::int64_t>(host::HostProgramHandle()))
        .Add("MessagesProcessorHandle", static_cast<std::int32_t>(window.ModuleHandle()))
        .Add("LANGUAGE", "DE");
    TPluginCallRec rec = MakeCallRecord(7, load.List());
    ASSERT_EQ((*module_)->ExecutePluginCommand(&rec), 0);
    TParamsBuilder settings;
    settings.Add("COMMAND", "LOAD-SETTINGS-NOW").Add("INI-FILE", dir_.File("s.ini"));
    rec = MakeCallRecord(7, settings.List());
    EXPECT_EQ((*module_)->ExecutePluginCommand(&rec), -2);
    TParamsBuilder on;
    on.Add("COMMAND", "SET-STATE").Add("RESULT", static_cast<std::int32_t>(1));
    rec = MakeCallRecord(7, on.List());
    rec.ModuleTypes = 1u << mttDataQuery;
    ASSERT_EQ((*module_)->ExecutePluginCommand(&rec), 0);
    const std::string expected =
        "Brevor. Die Datei \"" + ModuleFilePath(data, "f.txt") + "\" wurde gel\xF6scht";
    bool found = false;
    for (int i = 0; i < 400 && !found; ++i) {
        for (const auto &line : window.Lines())
            found = found || line.Text == expected;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string seen;
    for (const auto &line : window.Lines())
        seen += line.Text + "\n";
    EXPECT_TRUE(found) << expected << "\nseen:\n" << seen;
    EXPECT_EQ(Command(window, "UNLOAD", nullptr), 0);
}

TEST_F(LanguageTest, GarbageLanguageFileTranslatesNothingAndBreaksNothing) {
    std::string garbage(100000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 7919 % 251);
    dir_.Write("brevor.lng", garbage);
    host::TMessagesWindow window;
    ASSERT_EQ(Command(window, "LOAD", "DE"), 0);
    EXPECT_EQ(Warning(window), "Brevor. No data for processing");
}

}  // namespace
}  // namespace brevor::testing
