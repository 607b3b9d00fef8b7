// The host's dlclose really unloads the module, also while threads that called into it are
// still alive, and nothing of it runs afterwards. A program of its own: the module must not be
// loaded by anything else in the process.

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "host_module.h"
#include "ini_text.h"
#include "params_builder.h"
#include "support/lingering_thread.h"
#include "support/temp_folder.h"

namespace {
std::atomic<int> g_sent{0};
}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t fSendData(std::uintptr_t,
                                                                         std::int32_t, std::int32_t,
                                                                         const void *,
                                                                         std::int32_t count) {
    ++g_sent;
    return count;
}

namespace brevor::testing {
namespace {

using namespace std::chrono_literals;

int ThreadCount() {
    int count = 0;
    if (DIR *dir = opendir("/proc/self/task")) {
        while (const dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}

// A thread that has been joined may still be listed for a moment: its exit ends after the join
// returns (under an emulator such as qemu-i386 noticeably later). The fewest threads seen over a
// tenth of a second is the settled count.
int SettledThreadCount() {
    int fewest = ThreadCount();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fewest = std::min(fewest, ThreadCount());
    }
    return fewest;
}

bool Loaded(const char *path) {
    void *handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);  // gives back the reference just taken
    return true;
}

TEST(UnloadTest, AThreadThatUsedTheThreadQueueDoesNotKeepTheLibraryLoaded) {
    void *probe = dlopen(BREVOR_QUEUE_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(probe, nullptr) << dlerror();
    auto use = reinterpret_cast<int (*)()>(dlsym(probe, "UseThreadQueue"));
    ASSERT_NE(use, nullptr);
    int ran = 0;
    LingeringThread helper([&] { ran = use(); });
    EXPECT_EQ(ran, 1);
    dlclose(probe);
    EXPECT_FALSE(Loaded(BREVOR_QUEUE_PROBE_PATH));
}

TEST(UnloadTest, DlcloseStopsEveryInstanceWhileAThreadThatReadSettingsLivesOn) {
    TempFolder dir;
    const std::string data = dir.Path() + "/data";
    std::filesystem::create_directories(data);
    dir.Write("data/a.txt", "again and again");
    host::TIniText ini(dir.File("s.ini"));
    ini.Set("General", "Folder", host::TIniText::Escape(data));
    ini.Set("General", "Scan interval", "0");  // as often as the timer allows
    ini.Set("Mode1", "Active", "True");
    ini.Set("Mode1", "File", "*.txt");
    ini.Set("Mode1", "Read", "3");  // sent again at every scan
    ASSERT_TRUE(ini.Save());

    // A sanitizer's runtime starts a thread of its own with the first thread of the process;
    // let that happen before counting.
    std::thread([] {}).join();
    const int threadsBefore = SettledThreadCount();
    void *handle = dlopen(BREVOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto command = reinterpret_cast<TExecutePluginCommand>(dlsym(handle, "ExecutePluginCommand"));
    ASSERT_NE(command, nullptr);
    auto run = [&](const char *name) {
        host::TParamsBuilder p;
        p.Add("COMMAND", name).Add("INI-FILE", dir.File("s.ini")).Add("RESULT", 1);
        p.Add("HANDLE", static_cast<std::int64_t>(host::HostProgramHandle()))
            .Add("TEMPORARY-LOAD", false);
        TPluginCallRec rec = host::MakeCallRecord(1, p.List());
        rec.ModuleTypes = 1u << mttDataQuery;
        return command(&rec);
    };
    // The settings are read (an INI request) on a host thread that outlives the unload.
    std::int32_t load = -1, settings = -1, state = -1;
    LingeringThread helper([&] {
        load = run("LOAD");
        settings = run("LOAD-SETTINGS-NOW");
        state = run("SET-STATE");
    });
    ASSERT_EQ(load, 0);
    ASSERT_EQ(settings, -2);
    ASSERT_EQ(state, 0);
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (g_sent == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    ASSERT_GT(g_sent.load(), 0);  // scanning

    dlclose(handle);  // the instance was never released: the unload has to stop it
    EXPECT_FALSE(Loaded(BREVOR_MODULE_PATH));
    EXPECT_EQ(SettledThreadCount(), threadsBefore + 1);  // only the helper is left
}

}  // namespace
}  // namespace brevor::testing
