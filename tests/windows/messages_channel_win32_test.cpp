// The messages channel against real windows of the system: answers per send from many threads,
// a window whose thread stopped pumping, and handles that are not windows.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "brevor/abi.h"
#include "platform/messages_channel.h"

namespace brevor::platform {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool Send(MessagesWindow window, const std::string &bytes, std::uint32_t timeoutMs,
          std::int64_t *result = nullptr) {
    return SendWindowMessage(window, BRV_WM_COPYDATA, 0, BRV_COPYDATA_LINE, bytes.data(),
                             bytes.size(), timeoutMs, result);
}

// A message-only window on a thread of its own. It answers a WM_COPYDATA send with the number of
// bytes it carried and counts the posted BRV_WM_LOG_PENDING messages. Made hung, its thread
// creates the window and then waits without pumping until Resume.
class TTestWindow {
public:
    explicit TTestWindow(bool hung) {
        resume_ = ::CreateEventW(nullptr, TRUE, hung ? FALSE : TRUE, nullptr);
        std::promise<HWND> created;
        std::future<HWND> window = created.get_future();
        thread_ = std::thread([this, &created] {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = &TTestWindow::Proc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"BrevorChannelTestWindow";
            ::RegisterClassExW(&windowClass);
            HWND hwnd = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                          HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            created.set_value(hwnd);
            ::WaitForSingleObject(resume_, INFINITE);
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
                ::DispatchMessageW(&msg);
            ::DestroyWindow(hwnd);
        });
        window_ = window.get();
    }
    ~TTestWindow() {
        ::SetEvent(resume_);
        ::PostMessageW(window_, WM_QUIT, 0, 0);
        thread_.join();
        ::CloseHandle(resume_);
    }
    TTestWindow(const TTestWindow &) = delete;
    TTestWindow &operator=(const TTestWindow &) = delete;

    MessagesWindow Handle() const { return reinterpret_cast<MessagesWindow>(window_); }
    void Resume() { ::SetEvent(resume_); }
    // Waits up to 2 s for the count of posted messages to reach n.
    bool WaitForPosted(int n) const {
        const Clock::time_point start = Clock::now();
        while (posted_.load() < n && ElapsedMs(start) < 2000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return posted_.load() >= n;
    }
    std::uint64_t LastPostedParam() const { return lastParam_.load(); }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<TTestWindow *>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self != nullptr && msg == WM_COPYDATA) {
            const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
            return static_cast<LRESULT>(data->cbData);
        }
        if (self != nullptr && msg == BRV_WM_LOG_PENDING) {
            self->lastParam_ = static_cast<std::uint64_t>(wParam);
            ++self->posted_;
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HANDLE resume_ = nullptr;
    HWND window_ = nullptr;
    std::atomic<int> posted_{0};
    std::atomic<std::uint64_t> lastParam_{0};
    std::thread thread_;
};

// Concurrent senders each get the answer to their own send.
TEST(MessagesChannelWin32, ConcurrentSendsGetTheirOwnAnswers) {
    TTestWindow window(false);
    std::atomic<int> failures{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                const std::string bytes(static_cast<std::size_t>(1 + t * 50 + i), 'x');
                std::int64_t result = 0;
                if (!Send(window.Handle(), bytes, 2000, &result) ||
                    result != static_cast<std::int64_t>(bytes.size()))
                    ++failures;
            }
        });
    for (std::thread &s : senders)
        s.join();
    EXPECT_EQ(failures.load(), 0);
}

// A window whose thread does not pump: a send gives up after its own limit, the sender is free
// again, and a post is queued without waiting and arrives once the thread pumps.
TEST(MessagesChannelWin32, HungWindowFailsTheSendAfterItsLimitAndTakesPostsLater) {
    TTestWindow window(true);
    ASSERT_TRUE(IsMessagesWindow(window.Handle()));
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(Send(window.Handle(), "line", 200));
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 1000);

    start = Clock::now();
    EXPECT_TRUE(PostWindowMessage(window.Handle(), BRV_WM_LOG_PENDING, 0x5A5A));
    EXPECT_LT(ElapsedMs(start), 200);
    window.Resume();
    ASSERT_TRUE(window.WaitForPosted(1));
    EXPECT_EQ(window.LastPostedParam(), 0x5A5Au);
    std::int64_t result = 0;
    EXPECT_TRUE(Send(window.Handle(), "pumping again", 1000, &result));
    EXPECT_EQ(result, 13);
}

// Handles that are not a live window: every call fails at once.
TEST(MessagesChannelWin32, HandlesThatAreNoWindowFailAtOnce) {
    HWND destroyed = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       nullptr, nullptr);
    ASSERT_NE(destroyed, nullptr);
    ::DestroyWindow(destroyed);
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const struct {
        const char *what;
        MessagesWindow handle;
    } cases[] = {
        {"none", 0},
        {"destroyed window", reinterpret_cast<MessagesWindow>(destroyed)},
        {"kernel object", reinterpret_cast<MessagesWindow>(event)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(IsMessagesWindow(c.handle));
        EXPECT_FALSE(Send(c.handle, "line", 1000));
        EXPECT_FALSE(PostWindowMessage(c.handle, BRV_WM_LOG_PENDING, 1));
        EXPECT_LT(ElapsedMs(start), 500);
    }
    ::CloseHandle(event);
}

}  // namespace
}  // namespace brevor::platform
