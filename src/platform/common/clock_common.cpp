// Civil-date arithmetic and the fake clock: plain computation, the same on every platform.

#include <chrono>

#include "platform/clock.h"

namespace brevor::platform {

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

TFakeClock::TFakeClock(const TDateTime &start, std::uint64_t startMs)
    : ms_(startMs),
      localSeconds_(SecondsFromDateTime(start)),
      localBaseMs_(startMs - start.MSecond) {}

std::uint64_t TFakeClock::NowMs() {
    std::lock_guard lock(mutex_);
    return ms_;
}

TDateTime TFakeClock::LocalNow() {
    std::lock_guard lock(mutex_);
    const std::uint64_t elapsed = ms_ - localBaseMs_;
    return DateTimeFromSeconds(localSeconds_ + static_cast<std::int64_t>(elapsed / 1000),
                               static_cast<int>(elapsed % 1000));
}

bool TFakeClock::WaitUntil(std::condition_variable &cv, std::unique_lock<std::mutex> &lock,
                           std::uint64_t deadlineMs, const std::function<bool()> &done) {
    // Time moves only when a test advances it; poll briefly in real time so that waiters see
    // both an advance and a wake-up.
    {
        std::lock_guard guard(mutex_);
        waiting_[std::this_thread::get_id()] = deadlineMs;
    }
    while (!done() && NowMs() < deadlineMs)
        cv.wait_for(lock, std::chrono::milliseconds(1));
    {
        std::lock_guard guard(mutex_);
        waiting_.erase(std::this_thread::get_id());
    }
    return done();
}

std::size_t TFakeClock::Waiters(std::size_t *settled) {
    std::lock_guard guard(mutex_);
    if (settled != nullptr) {
        *settled = 0;
        for (const auto &[thread, deadline] : waiting_)
            *settled += deadline > ms_ ? 1 : 0;
    }
    return waiting_.size();
}

bool TFakeClock::WaitSettled(std::size_t waiters, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard guard(mutex_);
            std::size_t settled = 0;
            for (const auto &[thread, deadline] : waiting_)
                settled += deadline > ms_ ? 1 : 0;
            if (settled == waiters && waiting_.size() == waiters) return true;
        }
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void TFakeClock::Advance(std::uint64_t ms) {
    std::lock_guard lock(mutex_);
    ms_ += ms;
}

void TFakeClock::SetLocal(const TDateTime &now) {
    std::lock_guard lock(mutex_);
    localSeconds_ = SecondsFromDateTime(now);
    localBaseMs_ = ms_ - static_cast<std::uint64_t>(now.MSecond);
}

}  // namespace brevor::platform
