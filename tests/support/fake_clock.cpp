#include "support/fake_clock.h"

#include <chrono>

namespace brevor::platform {

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
