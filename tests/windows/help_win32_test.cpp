// Help on Windows: the context's topic in the compiled help beside the module, the folder's page
// when there is no compiled help. A stand-in viewer (BREVOR_HELP_OPENER) records what would be
// shown, so that no real viewer window opens.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/help.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

using brevor::testing::TempFolder;

class HelpWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        ::SetEnvironmentVariableA("BREVOR_HELP_OPENER", BREVOR_HELP_OPENER_STUB);
        ::SetEnvironmentVariableA("BREVOR_HELP_OPENED", folder_.File("opened").c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("BREVOR_HELP_OPENER", nullptr);
        ::SetEnvironmentVariableA("BREVOR_HELP_OPENED", nullptr);
    }

    void WritePages() const {
        std::filesystem::create_directories(help_);
        for (const char *page : {"20", "30", "41", "42", "43", "44", "index"})
            folder_.Write(std::string("brevor.help/") + page + ".html", "<!DOCTYPE html>");
    }

    // What the stand-in viewer was given; empty when it did not run within a few seconds. The
    // file may be there a moment before it can be opened (the stand-in's rename still holds it).
    std::string WaitForOpened() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string text;
        while (text.empty() && std::chrono::steady_clock::now() < deadline) {
            if (folder_.Exists("opened")) text = folder_.Read("opened");
            if (text.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (std::remove(folder_.File("opened").c_str()) != 0 && folder_.Exists("opened") &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return text;
    }

    TempFolder folder_;
    const std::string help_ = HelpLocationFor(folder_.File("brevor.dll"));
    const std::string chm_ = folder_.File("brevor.chm");
};

TEST_F(HelpWin32, CompiledHelpShowsTheTopicOfTheContextOrItsDefault) {
    if (!std::filesystem::exists(BREVOR_BUILT_CHM)) GTEST_SKIP() << "no brevor.chm was built";
    std::filesystem::copy_file(BREVOR_BUILT_CHM, chm_);
    WritePages();  // the folder is passed over while there is compiled help
    for (const std::int32_t context : {20, 30, 41, 42, 43, 44, 7, -1}) {
        ASSERT_TRUE(OpenHelpPage(help_, context)) << context;
        const bool mapped = context != 7 && context != -1;
        EXPECT_EQ(WaitForOpened(), mapped ? chm_ + "::/" + std::to_string(context) + ".html" : chm_)
            << context;
    }
}

TEST_F(HelpWin32, WithoutCompiledHelpThePageOfTheFolderOpens) {
    WritePages();
    for (const std::int32_t context : {42, 7}) {
        ASSERT_TRUE(OpenHelpPage(help_, context)) << context;
        EXPECT_EQ(WaitForOpened(), help_ + "\\" + (context == 7 ? "index" : "42") + ".html");
    }
}

TEST_F(HelpWin32, RefusesWithoutHelpOrViewer) {
    EXPECT_FALSE(OpenHelpPage(help_, 42));  // neither compiled help nor pages
    WritePages();
    ::SetEnvironmentVariableA("BREVOR_HELP_OPENER", folder_.File("no-such-viewer.exe").c_str());
    EXPECT_FALSE(OpenHelpPage(help_, 42));
}

}  // namespace
}  // namespace brevor::platform
