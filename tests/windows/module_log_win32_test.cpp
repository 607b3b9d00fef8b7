// The module log given handles that are not a messages window, as Windows has them: a window
// that has been destroyed, and a plain file's handle passed where a window was expected.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "framework/module_log.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// All queued lines, fetched with a buffer large enough.
std::string FetchAll(TModuleLog &log) {
    std::int64_t needed = 0;
    log.GetLogEx(nullptr, -1, needed);
    std::string text(static_cast<std::size_t>(needed), '\0');
    if (needed == 0) return text;
    EXPECT_EQ(log.GetLogEx(text.data(), static_cast<std::int32_t>(needed), needed), needed);
    return text;
}

TEST(ModuleLogWin32, BadHandleQueuesWithoutWriting) {
    const HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(gone, nullptr);
    ASSERT_TRUE(DestroyWindow(gone));

    const testing::TempFolder folder;
    const std::string path = folder.File("plain");
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    for (const std::uintptr_t handle :
         {reinterpret_cast<std::uintptr_t>(gone), reinterpret_cast<std::uintptr_t>(file)}) {
        SCOPED_TRACE(handle);
        TModuleLog log;
        const TLogDestination to{"Brevor", 1, static_cast<platform::MessagesWindow>(handle)};
        const Clock::time_point start = Clock::now();
        log.AddLog(to, kLogInformation, "one");
        log.AddLog(to, kLogInformation, "two");
        log.QueueLog(to, kLogError, "three");
        EXPECT_LT(ElapsedMs(start), 500);
        EXPECT_EQ(FetchAll(log),
                  "\x03"
                  "Brevor. one\r\n\x03"
                  "Brevor. two\r\n\x01"
                  "Brevor. three\r\n");
    }
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 0);
    CloseHandle(file);
}

}  // namespace
}  // namespace brevor
