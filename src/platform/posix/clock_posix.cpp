#include <time.h>

#include <atomic>
#include <chrono>

#include "platform/clock.h"

namespace brevor::platform {

namespace {

class TRealClock : public IClock {
public:
    std::uint64_t NowMs() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
               static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
    }
    TDateTime LocalNow() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm local{};
        const time_t secs = ts.tv_sec;
        localtime_r(&secs, &local);
        TDateTime t;
        t.Year = local.tm_year + 1900;
        t.Month = local.tm_mon + 1;
        t.Day = local.tm_mday;
        t.Hour = local.tm_hour;
        t.Minute = local.tm_min;
        t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
        t.MSecond = static_cast<int>(ts.tv_nsec / 1000000);
        t.DayOfWeek = local.tm_wday == 0 ? 7 : local.tm_wday;
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
