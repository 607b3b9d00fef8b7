#include "platform/common/thread_queue_base.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/clock.h"

namespace brevor::platform::detail {

namespace {

// The hand-over between a sender and the owning thread for one piece of sent work.
struct TSendState {
    enum class TStage { Pending, Running, Done, Dropped };
    std::mutex Mutex;
    std::condition_variable Cv;
    TStage Stage = TStage::Pending;
};

}  // namespace

TThreadQueueBase::TThreadQueueBase() : owner_(CurrentThreadId()) {}

void TThreadQueueBase::Post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }
    cv_.notify_all();
    OwnerMayRun();
}

bool TThreadQueueBase::Send(std::function<void()> work, std::uint32_t timeoutMs) {
    if (IsOwnerThread()) {
        work();
        return true;
    }
    auto state = std::make_shared<TSendState>();
    Post([state, work = std::move(work)] {
        {
            std::lock_guard lock(state->Mutex);
            if (state->Stage == TSendState::TStage::Dropped) return;
            state->Stage = TSendState::TStage::Running;
        }
        struct TFinish {
            TSendState &s;
            ~TFinish() {
                {
                    std::lock_guard lock(s.Mutex);
                    s.Stage = TSendState::TStage::Done;
                }
                s.Cv.notify_all();
            }
        } finish{*state};
        work();
    });
    // The bound is real time: the owning thread either answers or it does not.
    std::unique_lock lock(state->Mutex);
    const bool done = state->Cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return state->Stage == TSendState::TStage::Done; });
    if (done) return true;
    if (state->Stage == TSendState::TStage::Pending) {
        state->Stage = TSendState::TStage::Dropped;
        return false;
    }
    // Already running on the owning thread: it must not outlive the caller's objects.
    state->Cv.wait(lock, [&] { return state->Stage == TSendState::TStage::Done; });
    return true;
}

TThreadQueue::TTimerId TThreadQueueBase::StartTimer(std::uint32_t intervalMs,
                                                    std::function<void()> onTick) {
    TTimerId id;
    {
        std::lock_guard lock(mutex_);
        id = ++lastTimerId_;
        TTimer t;
        t.IntervalMs = std::max<std::uint32_t>(intervalMs, 1);
        t.DueMs = Clock().NowMs() + t.IntervalMs;
        t.OnTick = std::make_shared<std::function<void()>>(std::move(onTick));
        timers_.emplace(id, std::move(t));
    }
    cv_.notify_all();
    OwnerMayRun();
    return id;
}

void TThreadQueueBase::StopTimer(TTimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

bool TThreadQueueBase::TimerActive(TTimerId id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) != 0;
}

int TThreadQueueBase::ProcessMessages() {
    int handled = 0;
    std::deque<std::function<void()>> work;
    {
        std::lock_guard lock(mutex_);
        work.swap(posted_);
    }
    while (!work.empty()) {
        std::function<void()> w = std::move(work.front());
        work.pop_front();
        try {
            w();
        } catch (...) {
            // What was taken but not run stays queued, ahead of newer work.
            std::lock_guard lock(mutex_);
            posted_.insert(posted_.begin(), std::make_move_iterator(work.begin()),
                           std::make_move_iterator(work.end()));
            throw;
        }
        ++handled;
    }
    // Due timers, each at most once; a tick may stop or start timers, so each is looked up
    // again before it runs and its handler is kept alive while it runs.
    std::vector<TTimerId> due;
    {
        std::lock_guard lock(mutex_);
        const std::uint64_t now = Clock().NowMs();
        for (const auto &[id, t] : timers_)
            if (t.DueMs <= now) due.push_back(id);
    }
    for (TTimerId id : due) {
        std::shared_ptr<std::function<void()>> tick;
        {
            std::lock_guard lock(mutex_);
            const auto it = timers_.find(id);
            if (it == timers_.end()) continue;
            it->second.DueMs = Clock().NowMs() + it->second.IntervalMs;
            tick = it->second.OnTick;
        }
        (*tick)();
        ++handled;
    }
    Processed();
    return handled;
}

bool TThreadQueueBase::ReadyLocked(std::uint64_t nowMs) const {
    if (!posted_.empty()) return true;
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const auto &entry) { return entry.second.DueMs <= nowMs; });
}

bool TThreadQueueBase::WaitForMessages(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    IClock &clock = Clock();
    const std::uint64_t deadline = clock.NowMs() + timeoutMs;
    // Wake at the earliest due timer; a timer started meanwhile notifies the condition.
    while (!ReadyLocked(clock.NowMs())) {
        std::uint64_t until = deadline;
        for (const auto &entry : timers_)
            until = std::min(until, entry.second.DueMs);
        if (clock.NowMs() >= deadline) return false;
        const std::size_t timerCount = timers_.size();
        clock.WaitUntil(cv_, lock, until,
                        [&] { return !posted_.empty() || timers_.size() != timerCount; });
    }
    return true;
}

std::optional<std::uint64_t> TThreadQueueBase::EarliestDueMs() const {
    std::lock_guard lock(mutex_);
    std::optional<std::uint64_t> earliest;
    for (const auto &entry : timers_)
        earliest = std::min(earliest.value_or(entry.second.DueMs), entry.second.DueMs);
    return earliest;
}

}  // namespace brevor::platform::detail
