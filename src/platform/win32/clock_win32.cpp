#include <atomic>
#include <chrono>

#include "platform/clock.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

class TRealClock : public IClock {
public:
    std::uint64_t NowMs() override { return ::GetTickCount64(); }
    TDateTime LocalNow() override {
        SYSTEMTIME local{};
        ::GetLocalTime(&local);
        TDateTime t;
        t.Year = local.wYear;
        t.Month = local.wMonth;
        t.Day = local.wDay;
        t.Hour = local.wHour;
        t.Minute = local.wMinute;
        t.Second = local.wSecond > 59 ? 59 : local.wSecond;
        t.MSecond = local.wMilliseconds;
        t.DayOfWeek = local.wDayOfWeek == 0 ? 7 : local.wDayOfWeek;
        return t;
    }
    bool WaitUntil(std::condition_variable &cv, std::unique_lock<std::mutex> &lock,
                   std::uint64_t deadlineMs, const std::function<bool()> &done) override {
        const std::uint64_t now = NowMs();
        if (deadlineMs <= now) return done();
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs - now);
        return cv.wait_until(lock, until, done);
    }
};

TRealClock g_realClock;
std::atomic<IClock *> g_clock{nullptr};

}  // namespace

IClock &Clock() {
    IClock *c = g_clock.load(std::memory_order_acquire);
    return c != nullptr ? *c : g_realClock;
}

void SetClock(IClock *clock) {
    g_clock.store(clock, std::memory_order_release);
}

}  // namespace brevor::platform
