// FreeLibrary on brevor.dll, as a Windows host does it: with instances still scanning it
// neither deadlocks (the module's detach runs under the loader lock) nor leaves one of its
// threads running in unmapped code; with the instances released first it returns at once. A
// program of its own: nothing else in the process may hold the module loaded.

#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
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

extern "C" BREVOR_HOST_EXPORT std::int32_t BRV_CALL fSendData(std::uintptr_t, std::int32_t,
                                                              std::int32_t, const void *,
                                                              std::int32_t count) {
    ++g_sent;
    return count;
}

namespace brevor::testing {
namespace {

using namespace std::chrono_literals;

int ThreadCount() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more != FALSE;
         more = ::Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    ::CloseHandle(snapshot);
    return count;
}

bool Loaded() {
    return ::GetModuleHandleA(BREVOR_MODULE_PATH) != nullptr;
}

DWORD WINAPI UnloadOnThread(void *module) {
    return ::FreeLibrary(static_cast<HMODULE>(module)) != FALSE ? 0 : 1;
}

// FreeLibrary on a thread of its own; the milliseconds it took. A FreeLibrary that has not
// returned after the bound is a deadlock under the loader lock, which no later step of this
// program could get past: the program reports it and ends at once.
std::int64_t FreeLibraryWithin(HMODULE module, std::chrono::milliseconds bound) {
    const auto start = std::chrono::steady_clock::now();
    HANDLE thread = ::CreateThread(nullptr, 0, &UnloadOnThread, module, 0, nullptr);
    if (thread == nullptr) {
        ADD_FAILURE() << "CreateThread failed";
        return -1;
    }
    if (::WaitForSingleObject(thread, static_cast<DWORD>(bound.count())) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "FreeLibrary has not returned after %lld ms: deadlock\n",
                     static_cast<long long>(bound.count()));
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 3);
    }
    DWORD freed = 1;
    ::GetExitCodeThread(thread, &freed);
    ::CloseHandle(thread);
    EXPECT_EQ(freed, 0u) << "FreeLibrary failed";
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

class UnloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string data = dir_.Path() + "/data";
        std::filesystem::create_directories(data);
        dir_.Write("data/a.txt", "again and again");
        host::TIniText ini(dir_.File("s.ini"));
        ini.Set("General", "Folder", host::TIniText::Escape(data));
        ini.Set("General", "Scan interval", "0");  // as often as the timer allows
        ini.Set("Mode1", "Active", "True");
        ini.Set("Mode1", "File", "*.txt");
        ini.Set("Mode1", "Read", "3");  // sent again at every scan
        ASSERT_TRUE(ini.Save());
        g_sent = 0;
    }

    std::int32_t Run(TExecutePluginCommand command, std::int32_t id, const char *name) {
        host::TParamsBuilder p;
        p.Add("COMMAND", name).Add("INI-FILE", dir_.File("s.ini")).Add("RESULT", 1);
        p.Add("HANDLE", static_cast<std::int64_t>(host::HostProgramHandle()))
            .Add("TEMPORARY-LOAD", false);
        TPluginCallRec rec = host::MakeCallRecord(id, p.List());
        rec.ModuleTypes = 1u << mttDataQuery;
        return command(&rec);
    }

    // Loads two instances on a host thread that outlives the unload and lets them scan; the
    // module's ExecutePluginCommand, or null when that failed. (No ASSERT_NO_FATAL_FAILURE
    // around it: that starts a thread of the test framework's own, which the thread count would
    // see.)
    TExecutePluginCommand StartScanning(HMODULE module) {
        auto command = reinterpret_cast<TExecutePluginCommand>(
            reinterpret_cast<void *>(::GetProcAddress(module, "ExecutePluginCommand")));
        if (command == nullptr) {
            ADD_FAILURE() << "no ExecutePluginCommand";
            return nullptr;
        }
        helper_ = std::make_unique<LingeringThread>([this, command] {
            for (std::int32_t id : {1, 2})
                for (const char *name : {"LOAD", "LOAD-SETTINGS-NOW", "SET-STATE"})
                    results_ += std::to_string(Run(command, id, name)) + " ";
        });
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (g_sent < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(results_, "0 -2 0 0 -2 0 ");
        EXPECT_GE(g_sent.load(), 2);  // scanning
        return results_ == "0 -2 0 0 -2 0 " && g_sent >= 2 ? command : nullptr;
    }

    TempFolder dir_;
    std::string results_;
    std::unique_ptr<LingeringThread> helper_;
};

TEST_F(UnloadTest, FreeLibraryStopsEveryInstanceWithoutDeadlockAndLeavesNoThread) {
    const int threadsBefore = ThreadCount();
    HMODULE module = ::LoadLibraryA(BREVOR_MODULE_PATH);
    ASSERT_NE(module, nullptr) << ::GetLastError();
    const TExecutePluginCommand command = StartScanning(module);
    ASSERT_NE(command, nullptr);

    FreeLibraryWithin(module, 20s);  // the instances were never released
    EXPECT_FALSE(Loaded());
    // Nothing of the module runs on: a thread left in its unmapped code would take the process
    // down within a few of its scan intervals.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(ThreadCount(), threadsBefore + 1);  // only the helper is left
    const int sent = g_sent.load();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(g_sent.load(), sent);
}

TEST_F(UnloadTest, FreeLibraryAfterTheInstancesAreReleasedReturnsAtOnce) {
    HMODULE module = ::LoadLibraryA(BREVOR_MODULE_PATH);
    ASSERT_NE(module, nullptr) << ::GetLastError();
    const TExecutePluginCommand command = StartScanning(module);
    ASSERT_NE(command, nullptr);
    for (std::int32_t id : {1, 2}) {
        TPluginCallRec rec = host::MakeReleaseRecord(id);
        command(&rec);
    }

    // Well below any wait of the module's own (the shortest, for the messages window, is 1 s).
    EXPECT_LT(FreeLibraryWithin(module, 20s), 500);
    EXPECT_FALSE(Loaded());
}

// The dialog's thread holds the module loaded while it runs and lets go as its last step; a
// host that unloads right after a dialog may catch it between letting go and ending, which the
// unload must not wait for. Without a display the dialog cannot open, so each round is short.
TEST_F(UnloadTest, FreeLibraryRightAfterAnOptionsDialogDoesNotWaitForItsThread) {
    for (int round = 0; round < 40; ++round) {
        HMODULE module = ::LoadLibraryA(BREVOR_MODULE_PATH);
        ASSERT_NE(module, nullptr) << ::GetLastError();
        auto show = reinterpret_cast<TShowOptionsDialog>(
            reinterpret_cast<void *>(::GetProcAddress(module, "ShowOptionsDialog")));
        auto command = reinterpret_cast<TExecutePluginCommand>(
            reinterpret_cast<void *>(::GetProcAddress(module, "ExecutePluginCommand")));
        ASSERT_NE(show, nullptr);
        ASSERT_NE(command, nullptr);
        TPluginCallRec rec = host::MakeCallRecord(7);
        show(&rec);
        EXPECT_EQ(static_cast<long>(rec.ResultValue), 0) << "round " << round;
        TPluginCallRec release = host::MakeReleaseRecord(7);
        command(&release);
        // Rounds unload at different moments of the thread's ending.
        ::Sleep(static_cast<DWORD>(round % 20));
        FreeLibraryWithin(module, 20s);
        // The dialog's thread may still hold the module and unload it as it ends.
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (Loaded() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
        ASSERT_FALSE(Loaded()) << "round " << round;
    }
}

}  // namespace
}  // namespace brevor::testing
