#include "timing/qel_timer_ex.h"

#include <chrono>
#include <condition_variable>

namespace brevor {

namespace {

std::mutex g_handlerMutex;
TTimerExceptionHandler g_exceptionHandler;

void ReportTimerException(std::exception_ptr error) {
    TTimerExceptionHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_exceptionHandler;
    }
    if (handler) handler(error);
}

}  // namespace

void SetTimerExceptionHandler(TTimerExceptionHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    g_exceptionHandler = std::move(handler);
}

// The message target on the owning thread: it outlives the timer as long as messages for it are
// queued, and answers none once released or detached from the timer.
struct TqelTimerEx::TTarget {
    std::shared_ptr<platform::TThreadQueue> Queue;
    std::mutex Mutex;
    std::condition_variable Idle;
    TqelTimerEx *Timer = nullptr;
    platform::TThreadQueue::TTimerId TimerId = 0;
    bool Released = false;
    // Messages being handled on the owning thread right now (the timer must stay alive).
    int Busy = 0;

    void StopTimerLocked() {
        if (TimerId != 0) Queue->StopTimer(TimerId);
        TimerId = 0;
    }

    // Ends one Busy count taken under Mutex, and wakes a destructor waiting for idle.
    struct TBusyHold {
        TTarget &t;
        ~TBusyHold() {
            {
                std::lock_guard lock(t.Mutex);
                --t.Busy;
            }
            t.Idle.notify_all();
        }
    };
};

const TClassInfo &TqelTimerEx::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TqelTimerEx>("TqelTimerEx", &TComponent::StaticClassInfo())
            .Boolean("Enabled", &TqelTimerEx::Enabled, &TqelTimerEx::SetEnabled)
            .Integer("Interval", &TqelTimerEx::Interval, &TqelTimerEx::SetInterval)
            .Integer("OwnerThread", &TqelTimerEx::OwnerThread)
            .Build();
    return info;
}

const TClassInfo &TqelTimerEx::ClassInfo() const {
    return StaticClassInfo();
}

TqelTimerEx::TqelTimerEx(TComponent *owner)
    : TComponent(owner), ownerThread_(platform::CurrentThreadId()) {
    target_ = std::make_shared<TTarget>();
    target_->Queue = platform::TThreadQueue::Current();
    target_->Timer = this;
}

TqelTimerEx::~TqelTimerEx() {
    const bool onOwner = platform::CurrentThreadId() == ownerThread_;
    const std::shared_ptr<TTarget> target = target_;
    if (!onOwner)
        target->Queue->Send([target] { Dispatch(target, kMsgSetEnabled, 0); },
                            DestroyStepMs.load());
    {
        std::lock_guard lock(handlerMutex_);
        onTimer_ = nullptr;
    }
    enabled_ = false;
    Restart();  // stops the timer: nothing is assigned any more
    if (onOwner)
        Dispatch(target, kMsgRelease, 0);
    else
        target->Queue->Send([target] { Dispatch(target, kMsgRelease, 0); }, DestroyStepMs.load());
    // Whatever the owning thread did in time, no queued message may reach this object once it
    // is gone. A handler running on the owning thread is waited for, within the same bound (it
    // copied what it needs before calling out, and is never given this object again); one
    // running further up this thread's own stack is not waited for at all.
    std::unique_lock lock(target->Mutex);
    if (!onOwner)
        target->Idle.wait_for(lock, std::chrono::milliseconds(DestroyStepMs.load()),
                              [&] { return target->Busy == 0; });
    target->StopTimerLocked();
    target->Released = true;
    target->Timer = nullptr;
}

void TqelTimerEx::SetEnabled(bool enabled) {
    if (enabled_.load() == enabled) return;
    bool released;
    {
        std::lock_guard lock(target_->Mutex);
        released = target_->Released;
    }
    if (released || platform::CurrentThreadId() == ownerThread_) {
        ApplyEnabled(enabled);
        return;
    }
    const std::shared_ptr<TTarget> target = target_;
    const std::uintptr_t param = enabled ? 1 : 0;
    target->Queue->Post([target, param] { Dispatch(target, kMsgSetEnabled, param); });
}

void TqelTimerEx::ApplyEnabled(bool enabled) {
    enabled_ = enabled;
    Restart();
}

void TqelTimerEx::SetInterval(std::uint32_t ms) {
    if (interval_.exchange(ms) == ms) return;
    Restart();
}

TqelTimerNotify TqelTimerEx::OnTimer() const {
    std::lock_guard lock(handlerMutex_);
    return onTimer_;
}

void TqelTimerEx::SetOnTimer(TqelTimerNotify handler) {
    {
        std::lock_guard lock(handlerMutex_);
        onTimer_ = std::move(handler);
    }
    Restart();
}

bool TqelTimerEx::Running() const {
    std::lock_guard lock(target_->Mutex);
    return target_->TimerId != 0 && target_->Queue->TimerActive(target_->TimerId);
}

void TqelTimerEx::Timer() {
    // A copy: the handler may free this timer, and with it onTimer_.
    const TqelTimerNotify handler = OnTimer();
    if (handler) handler(this);
}

void TqelTimerEx::Restart() {
    bool assigned;
    {
        std::lock_guard lock(handlerMutex_);
        assigned = static_cast<bool>(onTimer_);
    }
    std::lock_guard lock(target_->Mutex);
    target_->StopTimerLocked();
    if (target_->Released) return;
    const std::uint32_t interval = interval_.load();
    if (interval == 0 || !enabled_.load() || !assigned) return;
    const std::weak_ptr<TTarget> weak = target_;
    target_->TimerId = target_->Queue->StartTimer(interval, [weak] {
        if (const std::shared_ptr<TTarget> target = weak.lock()) Tick(target);
    });
    if (target_->TimerId == 0) throw EOutOfResources("Not enough timers available");
}

void TqelTimerEx::Dispatch(const std::shared_ptr<TTarget> &target, unsigned msg,
                           std::uintptr_t param) {
    TqelTimerEx *timer;
    {
        std::lock_guard lock(target->Mutex);
        if (target->Released || target->Timer == nullptr) return;
        if (msg == kMsgRelease) {
            target->StopTimerLocked();
            target->Released = true;
            return;
        }
        if (msg != kMsgSetEnabled) return;
        timer = target->Timer;
        ++target->Busy;
    }
    TTarget::TBusyHold done{*target};
    timer->ApplyEnabled(param == 1);
}

void TqelTimerEx::Tick(const std::shared_ptr<TTarget> &target) {
    TqelTimerEx *timer;
    {
        std::lock_guard lock(target->Mutex);
        if (target->Released || target->Timer == nullptr) return;
        timer = target->Timer;
        ++target->Busy;
    }
    TTarget::TBusyHold done{*target};
    try {
        timer->Timer();
    } catch (...) {
        ReportTimerException(std::current_exception());
    }
}

}  // namespace brevor
