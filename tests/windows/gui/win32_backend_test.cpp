// The Win32 back end without a display: its user-interface thread and its text measuring.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ui/controls.h"
#include "ui/win32/win32_backend.h"

namespace brevor {
namespace {

TEST(Win32Backend, WorkRunsOnOneThreadOfItsOwnAndErrorsReachTheCaller) {
    TWin32Backend backend;
    DWORD outer = 0, inner = 0;
    bool onUi = false;
    backend.RunOnUiThread([&] {
        outer = ::GetCurrentThreadId();
        onUi = backend.OnUiThread();
        // Work asked for from the thread itself runs there at once.
        backend.RunOnUiThread([&] { inner = ::GetCurrentThreadId(); });
    });
    EXPECT_NE(outer, ::GetCurrentThreadId());
    EXPECT_TRUE(onUi);
    EXPECT_EQ(inner, outer);
    EXPECT_FALSE(backend.OnUiThread());
    EXPECT_THROW(backend.RunOnUiThread([] { throw std::runtime_error("boom"); }),
                 std::runtime_error);
    // The thread serves the next request after an error.
    int ran = 0;
    backend.RunOnUiThread([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

TEST(Win32Backend, TheThreadEndsWhenNoWorkIsLeft) {
    TWin32Backend backend;
    HANDLE thread = nullptr;
    backend.RunOnUiThread(
        [&] { thread = ::OpenThread(SYNCHRONIZE, FALSE, ::GetCurrentThreadId()); });
    ASSERT_NE(thread, nullptr);
    // Nothing runs while no dialog is shown.
    EXPECT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    // A later request starts it again.
    DWORD id = 0;
    backend.RunOnUiThread([&] { id = ::GetCurrentThreadId(); });
    EXPECT_NE(id, 0u);
}

TEST(Win32Backend, CallersOnManyThreadsAreEachServedOnce) {
    TWin32Backend backend;
    std::atomic<int> runs{0};
    std::atomic<int> wrongThread{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                backend.RunOnUiThread([&] {
                    if (!backend.OnUiThread()) ++wrongThread;
                    ++runs;
                });
        });
    for (auto &c : callers)
        c.join();
    EXPECT_EQ(runs.load(), 200);
    EXPECT_EQ(wrongThread.load(), 0);
}

TEST(Win32Backend, MeasuresWithTheSystemFont) {
    TWin32Backend backend;
    const TFont font;
    const TSize letters = backend.AverageCharSize(font);
    EXPECT_GT(letters.cx, 52);  // wider than a pixel a letter
    EXPECT_GT(letters.cy, 5);

    const TSize line = backend.MeasureText(font, "The quick brown fox jumps", 0, 0);
    EXPECT_EQ(line.cy, letters.cy);
    // Wrapping at a narrow width gives more lines, none wider than the width allows for a word.
    const TSize wrapped = backend.MeasureText(font, "The quick brown fox jumps", 60, tfWordBreak);
    EXPECT_GT(wrapped.cy, line.cy);
    EXPECT_LT(wrapped.cx, line.cx);
    // "&" marks an accelerator and takes no room unless shown literally.
    EXPECT_EQ(backend.MeasureText(font, "Sa&ve", 0, 0).cx,
              backend.MeasureText(font, "Save", 0, 0).cx);
    EXPECT_GT(backend.MeasureText(font, "Sa&ve", 0, tfNoPrefix).cx,
              backend.MeasureText(font, "Save", 0, 0).cx);
    // An empty text is one line high and has no width.
    EXPECT_EQ(backend.MeasureText(font, "", 0, 0), (TSize{0, letters.cy}));
}

}  // namespace
}  // namespace brevor
