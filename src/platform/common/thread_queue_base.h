#pragma once

// The part of the thread message queue that is the same on every system: posted work, timers
// on Clock(), sends bounded in real time, processing and waiting. A system's queue adds only
// how its owning thread is woken (see the two hooks).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/thread_queue.h"

namespace brevor::platform::detail {

class TThreadQueueBase : public TThreadQueue {
public:
    // Owned by the calling thread.
    TThreadQueueBase();

    std::uint32_t OwnerThread() const final { return owner_; }
    void Post(std::function<void()> work) final;
    bool Send(std::function<void()> work, std::uint32_t timeoutMs) final;
    TTimerId StartTimer(std::uint32_t intervalMs, std::function<void()> onTick) final;
    void StopTimer(TTimerId id) final;
    bool TimerActive(TTimerId id) const final;
    int ProcessMessages() final;
    bool WaitForMessages(std::uint32_t timeoutMs) final;

protected:
    // Any thread, no lock held: work was posted or a timer started, so the owning thread may
    // have something to run or a new earliest due time.
    virtual void OwnerMayRun() {}
    // Owning thread, no lock held: the queue was just processed.
    virtual void Processed() {}
    // The earliest due time of any timer, on Clock(); none when no timer runs.
    std::optional<std::uint64_t> EarliestDueMs() const;

private:
    struct TTimer {
        std::uint32_t IntervalMs = 0;
        std::uint64_t DueMs = 0;
        std::shared_ptr<std::function<void()>> OnTick;
    };

    bool ReadyLocked(std::uint64_t nowMs) const;

    const std::uint32_t owner_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    std::map<TTimerId, TTimer> timers_;
    TTimerId lastTimerId_ = 0;
};

}  // namespace brevor::platform::detail
