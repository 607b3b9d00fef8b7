#pragma once

// Time for the timers and scans: a monotonic millisecond counter, the local date and time, and
// waits that end at a deadline or when woken. Tests install a clock of their own with SetClock.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace brevor::platform {

// A local date and time; DayOfWeek is 1 (Monday) to 7 (Sunday).
struct TDateTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, MSecond = 0;
    int DayOfWeek = 0;
    bool operator==(const TDateTime &) const = default;
};

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds on a monotonic counter.
    virtual std::uint64_t NowMs() = 0;
    virtual TDateTime LocalNow() = 0;
    // Waits on cv (lock held by the caller) until done() is true or NowMs() reaches deadline.
    // Returns done().
    virtual bool WaitUntil(std::condition_variable &cv, std::unique_lock<std::mutex> &lock,
                           std::uint64_t deadlineMs, const std::function<bool()> &done) = 0;
};

// The clock every timer reads; the real one unless a test installed another.
IClock &Clock();
// Installs a clock (null: back to the real one). The clock must outlive every user.
void SetClock(IClock *clock);

// Days since 1970-01-01 of a civil date, and back; day of week of a date (1 Monday ... 7).
std::int64_t DaysFromCivil(int year, int month, int day);
TDateTime DateTimeFromSeconds(std::int64_t seconds, int msecond = 0);
std::int64_t SecondsFromDateTime(const TDateTime &t);

}  // namespace brevor::platform
