#pragma once

// A clock for tests, installed with platform::SetClock in place of the real one: time stands
// still until Advance moves it; waiters notice within a few milliseconds of real time.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace brevor::platform {

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

}  // namespace brevor::platform
