#pragma once

// A message queue per thread: work posted from any thread and periodic timers, run on the
// owning thread when it processes its messages. Timers read time through Clock(), so tests
// drive them with a fake clock.
//
// Its one user in the module is the thread-owned timer (timing/qel_timer_ex.h), whose ticks and
// changes must run on the thread that created it.

#include <cstdint>
#include <functional>
#include <memory>

namespace brevor::platform {

// The operating system's id of the calling thread.
std::uint32_t CurrentThreadId();

class TThreadQueue {
public:
    using TTimerId = std::uint64_t;

    virtual ~TThreadQueue() = default;

    // The calling thread's queue, created on first use. It stays usable (for posting and
    // timers) as long as anyone holds it; only its owning thread runs what it holds.
    static std::shared_ptr<TThreadQueue> Current();

    virtual std::uint32_t OwnerThread() const = 0;
    bool IsOwnerThread() const { return OwnerThread() == CurrentThreadId(); }

    // Queues work for the owning thread; returns at once.
    virtual void Post(std::function<void()> work) = 0;
    // Runs work on the owning thread and waits at most timeoutMs of real time for it to finish;
    // on the owning thread it runs at once. True when it ran. Work not yet started when the
    // time is up is dropped; work already running is waited for, so the caller never returns
    // while it still runs.
    virtual bool Send(std::function<void()> work, std::uint32_t timeoutMs) = 0;

    // A periodic timer: onTick runs on the owning thread, at most once per processing, when
    // intervalMs (on Clock()) have passed since it started or last ticked. Any thread.
    virtual TTimerId StartTimer(std::uint32_t intervalMs, std::function<void()> onTick) = 0;
    // Stops a timer; a tick not yet started will not run. Unknown ids are ignored.
    virtual void StopTimer(TTimerId id) = 0;
    virtual bool TimerActive(TTimerId id) const = 0;

    // Owning thread only: runs the posted work in order, then the due timers. Returns how many
    // items ran.
    virtual int ProcessMessages() = 0;
    // Owning thread only: waits until work is posted or a timer is due, at most timeoutMs on
    // Clock(). True when something is ready.
    virtual bool WaitForMessages(std::uint32_t timeoutMs) = 0;
};

// The calling thread's queue processed once.
int ProcessThreadMessages();

}  // namespace brevor::platform
