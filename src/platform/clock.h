#pragma once

// Time for the timers and scans: a monotonic millisecond counter, the local date and time, and
// waits that end at a deadline or when woken. Tests put a fake clock in place of the real one.

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

// A clock for tests: time stands still until Advance moves it; waiters notice within a few
// milliseconds of real time.
class TFakeClock : public IClock {
public:
    explicit TFakeClock(const TDateTime &start, std::uint64_t startMs = 1000000);
    std::uint64_t NowMs() override;
    TDateTime LocalNow() override;
    bool WaitUntil(std::condition_variable &cv, std::unique_lock<std::mutex> &lock,
                   std::uint64_t deadlineMs, const std::function<bool()> &done) override;
    void Advance(std::uint64_t ms);
    void SetLocal(const TDateTime &now);
    // Waits (in real time, up to timeoutMs) until exactly `waiters` threads wait on this clock
    // for a moment still to come: everything due at the current time has been done.
    bool WaitSettled(std::size_t waiters, int timeoutMs = 5000);
    // Threads waiting on this clock now, and how many of them wait for a moment still to come.
    std::size_t Waiters(std::size_t *settled = nullptr);

private:
    std::mutex mutex_;
    std::map<std::thread::id, std::uint64_t> waiting_;  // waiting thread -> its deadline
    std::uint64_t ms_;
    std::int64_t
        localSeconds_;  // seconds since 1970-01-01 of the local time at ms_ (whole ms kept in ms_)
    std::uint64_t localBaseMs_;
};

// Days since 1970-01-01 of a civil date, and back; day of week of a date (1 Monday ... 7).
std::int64_t DaysFromCivil(int year, int month, int day);
TDateTime DateTimeFromSeconds(std::int64_t seconds, int msecond = 0);
std::int64_t SecondsFromDateTime(const TDateTime &t);

}  // namespace brevor::platform
