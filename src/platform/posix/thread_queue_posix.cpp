#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/clock.h"
#include "platform/thread_queue.h"

namespace brevor::platform {

// Nothing in the module lives in thread-local storage: a thread-local object with a destructor
// makes the C library hold the module loaded for as long as the thread lives, so a host's
// dlclose would leave the module (and its instances) running.
std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

namespace {

// The hand-over between a sender and the owning thread for one piece of sent work.
struct TSendState {
    enum class TStage { Pending, Running, Done, Dropped };
    std::mutex Mutex;
    std::condition_variable Cv;
    TStage Stage = TStage::Pending;
};

class TThreadQueuePosix : public TThreadQueue {
public:
    TThreadQueuePosix() : owner_(CurrentThreadId()) {}

    std::uint32_t OwnerThread() const override { return owner_; }

    void Post(std::function<void()> work) override {
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(std::move(work));
        }
        cv_.notify_all();
    }

    bool Send(std::function<void()> work, std::uint32_t timeoutMs) override {
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
        const bool done = state->Cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return state->Stage == TSendState::TStage::Done;
        });
        if (done) return true;
        if (state->Stage == TSendState::TStage::Pending) {
            state->Stage = TSendState::TStage::Dropped;
            return false;
        }
        // Already running on the owning thread: it must not outlive the caller's objects.
        state->Cv.wait(lock, [&] { return state->Stage == TSendState::TStage::Done; });
        return true;
    }

    TTimerId StartTimer(std::uint32_t intervalMs, std::function<void()> onTick) override {
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
        return id;
    }

    void StopTimer(TTimerId id) override {
        std::lock_guard lock(mutex_);
        timers_.erase(id);
    }

    bool TimerActive(TTimerId id) const override {
        std::lock_guard lock(mutex_);
        return timers_.count(id) != 0;
    }

    int ProcessMessages() override {
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
        // Due timers, each at most once; a tick may stop or start timers, so each is looked
        // up again before it runs and its handler is kept alive while it runs.
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
        return handled;
    }

    bool WaitForMessages(std::uint32_t timeoutMs) override {
        std::unique_lock lock(mutex_);
        IClock &clock = Clock();
        const std::uint64_t deadline = clock.NowMs() + timeoutMs;
        auto ready = [&] {
            if (!posted_.empty()) return true;
            const std::uint64_t now = clock.NowMs();
            for (const auto &entry : timers_)
                if (entry.second.DueMs <= now) return true;
            return false;
        };
        // Wake at the earliest due timer; a timer started meanwhile notifies the condition.
        while (!ready()) {
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

private:
    struct TTimer {
        std::uint32_t IntervalMs = 0;
        std::uint64_t DueMs = 0;
        std::shared_ptr<std::function<void()>> OnTick;
    };

    const std::uint32_t owner_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> posted_;
    std::map<TTimerId, TTimer> timers_;
    TTimerId lastTimerId_ = 0;
};

}  // namespace

namespace {

// Each thread's queue, held in a thread-specific slot that is emptied when the thread ends.
// Unlike a thread-local object, the slot does not pin the module: the key is deleted when the
// module is unloaded, and the queues of threads still alive then are freed with it.
class TQueueSlots {
public:
    TQueueSlots() { ready_ = ::pthread_key_create(&key_, &ThreadEnded) == 0; }
    ~TQueueSlots() {
        if (!ready_) return;
        ::pthread_key_delete(key_);  // no thread calls ThreadEnded after this
        std::lock_guard lock(mutex_);
        for (TSlot *slot : slots_)
            delete slot;
        slots_.clear();
    }
    TQueueSlots(const TQueueSlots &) = delete;
    TQueueSlots &operator=(const TQueueSlots &) = delete;

    std::shared_ptr<TThreadQueue> Current() {
        if (!ready_) return std::make_shared<TThreadQueuePosix>();
        if (auto *slot = static_cast<TSlot *>(::pthread_getspecific(key_))) return slot->Queue;
        auto *slot = new TSlot{std::make_shared<TThreadQueuePosix>()};
        {
            std::lock_guard lock(mutex_);
            slots_.insert(slot);
        }
        ::pthread_setspecific(key_, slot);
        return slot->Queue;
    }

private:
    struct TSlot {
        std::shared_ptr<TThreadQueue> Queue;
    };

    static void ThreadEnded(void *value);

    pthread_key_t key_{};
    bool ready_ = false;
    std::mutex mutex_;
    std::set<TSlot *> slots_;  // every live slot, freed here at the latest
};

TQueueSlots g_queueSlots;

void TQueueSlots::ThreadEnded(void *value) {
    auto *slot = static_cast<TSlot *>(value);
    {
        std::lock_guard lock(g_queueSlots.mutex_);
        g_queueSlots.slots_.erase(slot);
    }
    delete slot;
}

}  // namespace

std::shared_ptr<TThreadQueue> TThreadQueue::Current() {
    return g_queueSlots.Current();
}

int ProcessThreadMessages() {
    return TThreadQueue::Current()->ProcessMessages();
}

}  // namespace brevor::platform
