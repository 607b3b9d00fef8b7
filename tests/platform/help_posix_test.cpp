// Help pages on POSIX: the folder's pages and the detached viewer program.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/help.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

using brevor::testing::TempFolder;

class HelpPages : public ::testing::Test {
protected:
    void SetUp() override {
        ::mkdir(help_.c_str(), 0755);
        for (const char *page : {"20", "30", "41", "42", "43", "44", "index"})
            folder_.Write(std::string("brevor.help/") + page + ".html", "<!DOCTYPE html>");
        // The viewer stand-in records its argument and where its standard streams lead,
        // renaming at the end so that a reader never sees half a line.
        folder_.Write("opener",
                      "#!/bin/sh\n"
                      "out=\"$(dirname \"$0\")/opened\"\n"
                      "printf '%s|%s|%s|%s' \"$1\" \"$(readlink /proc/$$/fd/0)\" "
                      "\"$(readlink /proc/$$/fd/1)\" \"$(readlink /proc/$$/fd/2)\" > \"$out.tmp\"\n"
                      "mv \"$out.tmp\" \"$out\"\n");
        ::chmod(folder_.File("opener").c_str(), 0755);
        const char *old = std::getenv("BREVOR_HELP_OPENER");
        hadOpener_ = old != nullptr;
        if (hadOpener_) oldOpener_ = old;
        ::setenv("BREVOR_HELP_OPENER", folder_.File("opener").c_str(), 1);
    }
    void TearDown() override {
        if (hadOpener_)
            ::setenv("BREVOR_HELP_OPENER", oldOpener_.c_str(), 1);
        else
            ::unsetenv("BREVOR_HELP_OPENER");
    }

    // What the viewer stand-in recorded; empty when it did not run within a few seconds.
    std::string WaitForOpened() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!folder_.Exists("opened") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::string text = folder_.Read("opened");
        std::remove(folder_.File("opened").c_str());
        return text;
    }

    TempFolder folder_;
    const std::string help_ = folder_.File("brevor.help");
    bool hadOpener_ = false;
    std::string oldOpener_;
};

TEST_F(HelpPages, PageOfEveryContextOrTheIndex) {
    const struct {
        std::int32_t context;
        const char *page;
    } cases[] = {{20, "20.html"},   {30, "30.html"},    {41, "41.html"},
                 {42, "42.html"},   {43, "43.html"},    {44, "44.html"},
                 {0, "index.html"}, {99, "index.html"}, {-1, "index.html"}};
    for (const auto &c : cases) {
        EXPECT_EQ(HelpPagePath(help_, c.context), help_ + "/" + c.page) << c.context;
        EXPECT_EQ(HelpPagePath(help_ + "/", c.context), help_ + "/" + c.page) << c.context;
    }
    std::remove(folder_.File("brevor.help/index.html").c_str());
    EXPECT_EQ(HelpPagePath(help_, 99), "");
    EXPECT_EQ(HelpPagePath(help_, 42), help_ + "/42.html");
    EXPECT_EQ(HelpPagePath(folder_.File("missing.help"), 42), "");
    EXPECT_EQ(HelpPagePath("", 42), "");
}

TEST_F(HelpPages, OpensThePageDetachedWithQuietStreams) {
    for (const std::int32_t context : {20, 30, 41, 42, 43, 44, 7}) {
        ASSERT_TRUE(OpenHelpPage(help_, context)) << context;
        const std::string expected = context == 7 ? "index" : std::to_string(context);
        EXPECT_EQ(WaitForOpened(), help_ + "/" + expected + ".html|/dev/null|/dev/null|/dev/null")
            << context;
    }
    // The intermediate child has been reaped: no exited child is left waiting for us.
    siginfo_t info{};
    const int waited = ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT);
    EXPECT_TRUE(waited != 0 || info.si_pid == 0) << "zombie " << info.si_pid;
}

TEST_F(HelpPages, RefusesWithoutPageOrViewer) {
    EXPECT_FALSE(OpenHelpPage(folder_.File("missing.help"), 42));

    ::setenv("BREVOR_HELP_OPENER", folder_.File("no-such-viewer").c_str(), 1);
    EXPECT_FALSE(OpenHelpPage(help_, 42));
    ::setenv("BREVOR_HELP_OPENER", "brevor-no-such-viewer-anywhere", 1);
    EXPECT_FALSE(OpenHelpPage(help_, 42));

    folder_.Write("not-executable", "#!/bin/sh\n");
    ::setenv("BREVOR_HELP_OPENER", folder_.File("not-executable").c_str(), 1);
    EXPECT_FALSE(OpenHelpPage(help_, 42));

    // Executable, but the exec itself fails: the failure comes back from the detached child.
    folder_.Write("broken", "#!/no/such/interpreter\n");
    ::chmod(folder_.File("broken").c_str(), 0755);
    ::setenv("BREVOR_HELP_OPENER", folder_.File("broken").c_str(), 1);
    EXPECT_FALSE(OpenHelpPage(help_, 42));
}

}  // namespace
}  // namespace brevor::platform
