// The real clock over the system's time, the clock in use, and civil-date arithmetic: the same on
// every platform.

#include <atomic>
#include <chrono>

#include "platform/clock.h"
#include "platform/common/system_clock.h"

namespace brevor::platform {

namespace {

class TRealClock : public IClock {
public:
    std::uint64_t NowMs() override { return detail::SystemMonotonicMs(); }
    TDateTime LocalNow() override { return detail::SystemLocalNow(); }
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

std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TDateTime DateTimeFromSeconds(std::int64_t seconds, int msecond) {
    std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    std::int64_t rest = seconds - days * 86400;
    TDateTime t;
    t.Hour = static_cast<int>(rest / 3600);
    t.Minute = static_cast<int>(rest % 3600 / 60);
    t.Second = static_cast<int>(rest % 60);
    t.MSecond = msecond;
    // 1970-01-01 was a Thursday (4).
    t.DayOfWeek = static_cast<int>(((days % 7) + 7 + 3) % 7) + 1;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    t.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.Year = static_cast<int>(yoe + era * 400 + (t.Month <= 2));
    return t;
}

std::int64_t SecondsFromDateTime(const TDateTime &t) {
    return DaysFromCivil(t.Year, t.Month, t.Day) * 86400 + t.Hour * 3600 + t.Minute * 60 + t.Second;
}

}  // namespace brevor::platform
