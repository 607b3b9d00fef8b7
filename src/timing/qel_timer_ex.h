#pragma once

// An interval timer that belongs to the thread that created it: its ticks run on that thread
// when it processes its messages (platform::TThreadQueue), and changes made from other threads
// are handed to it as messages instead of being applied directly.
//
// It exists for work that must run on the thread that owns an object, such as releasing the
// translator's cache on the thread that created the translator (TTranslReleaseTimer is the
// translator's side of that). Today no module class creates one: the framework makes its
// translator without a release timer, so only the timer's own tests use it.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/thread_queue.h"
#include "rtl/component.h"
#include "rtl/exceptions.h"

namespace brevor {

class TqelTimerEx;
using TqelTimerNotify = std::function<void(TObject *sender)>;

// Raised when the operating-system timer cannot be started.
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// Receives exceptions raised by OnTimer handlers, which never leave the message processing.
// Null (the default) drops them.
using TTimerExceptionHandler = std::function<void(std::exception_ptr)>;
void SetTimerExceptionHandler(TTimerExceptionHandler handler);

class TqelTimerEx : public TComponent {
public:
    // The private requests the timer's message target understands.
    static constexpr unsigned kMsgSetEnabled = 2064;  // param 1: enable, anything else: disable
    static constexpr unsigned kMsgRelease = 2065;
    // Bound of each synchronous step of a destruction from another thread, in ms of real time
    // (5000; tests shorten it).
    static inline std::atomic<std::uint32_t> DestroyStepMs{5000};

    // Records the calling thread as the owner and creates the message target on it.
    explicit TqelTimerEx(TComponent *owner = nullptr);
    ~TqelTimerEx() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    bool Enabled() const { return enabled_.load(); }
    // On the owning thread (or once the target is released) applied at once; from any other
    // thread posted to the owner without waiting.
    void SetEnabled(bool enabled);
    std::uint32_t Interval() const { return interval_.load(); }
    void SetInterval(std::uint32_t ms);
    std::uint32_t OwnerThread() const { return ownerThread_; }
    TqelTimerNotify OnTimer() const;
    void SetOnTimer(TqelTimerNotify handler);

    // Whether the underlying periodic timer is running.
    bool Running() const;

protected:
    // Calls OnTimer with the timer as Sender, if assigned.
    virtual void Timer();

private:
    struct TTarget;
    void Restart();
    void ApplyEnabled(bool enabled);
    static void Dispatch(const std::shared_ptr<TTarget> &target, unsigned msg,
                         std::uintptr_t param);
    static void Tick(const std::shared_ptr<TTarget> &target);

    const std::uint32_t ownerThread_;
    std::atomic<bool> enabled_{true};
    std::atomic<std::uint32_t> interval_{1000};
    mutable std::mutex handlerMutex_;
    TqelTimerNotify onTimer_;
    std::shared_ptr<TTarget> target_;
};

}  // namespace brevor
