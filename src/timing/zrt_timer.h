#pragma once

// A timer component whose ticks come from a worker thread of its own, so that it runs inside a
// module that has no message loop. tkStandard fires every Interval milliseconds, measured from
// the end of the previous handler; tkCron fires once per matching minute for each of its cron
// entries. The worker sleeps on a condition variable between ticks: an enabled timer with
// nothing to do costs one wake-up per tick and nothing in between.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/worker_thread.h"
#include "rtl/component.h"
#include "timing/cron.h"

namespace brevor {

enum class TZRTTimerKind { tkStandard, tkCron };
enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};
enum class TZRTCondition {
    conEqual,
    conNotEqual,
    conLess,
    conMore,
    conLessEqual,
    conMoreEqual,
    conRange,
    conIn,
    conBeg,
    conNumber,
    conString,
    conBoolean,
    conNull,
    conEven,
    conNotEven,
    conAnd,
    conOr
};

class TZRTTimer;

// One cron entry of a timer.
class TZRTTimerData : public TPersistent {
public:
    explicit TZRTTimerData(TZRTTimer *owner) : Owner(owner) {}
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    // Copies every field but the owner.
    void Assign(const TZRTTimerData &source);

    TZRTTimer *Owner;
    TZRTCron Cron;
    std::string CronText;
    platform::TDateTime LastMatch;  // all 0 until the entry first matches
    platform::TDateTime LastFire;
    std::int32_t Index = 0;  // free for the user
};

// Sender: the timer; Data: the cron entry that fired (null for tkStandard).
using TZRTOnTimer = std::function<void(TZRTTimer *sender, TZRTTimerData *data)>;

class TZRTTimer : public TComponent {
public:
    explicit TZRTTimer(TComponent *owner = nullptr);
    ~TZRTTimer() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    bool Enabled() const;
    // Enabling starts the worker ("Process is working!" when one already runs); disabling stops
    // it and waits for a running handler ("Process is not working!" when none runs). Setting the
    // current value does nothing. A handler may not disable its own timer.
    void SetEnabled(bool enabled);

    TZRTTimerKind Kind = TZRTTimerKind::tkStandard;
    std::uint32_t Interval = 1000;
    std::uint32_t ProcessMessages = 100;
    bool UseInterval = true;
    bool UseSleep = true;
    std::uint32_t Sleep = 100;
    bool UseProcessMessages = true;
    bool SyncWithSystemClock = true;
    bool AlwaysOnTimer = false;
    TZRTCronTypes CronTypes = kAllCronTypes;
    std::string CronDevider = " ";
    TZRTCondition CronCondition = TZRTCondition::conAnd;
    TZRTDateTimeTypes DateTimeTypes = kAllDateTimeTypes;
    TCronNames CronNames;
    TZRTOnTimer OnTimer;

    TThreadPriority ProcessPriority() const { return priority_; }
    // A change while enabled restarts the worker.
    void SetProcessPriority(TThreadPriority priority);

    // Adds an entry (the timer passes through disabled) and returns its index.
    int AddCron(const std::string &text);
    void ClearCrons();
    int CronCount() const { return static_cast<int>(crons_.size()); }
    TZRTTimerData *CronData(int index) const { return crons_.at(static_cast<size_t>(index)).get(); }

private:
    // What a worker shares with its timer; it outlives a timer that its own handler destroyed.
    struct TWorkerSignal {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;      // guarded by mutex
        bool orphaned = false;  // the timer is gone; written and read on the worker only
    };

    void Start();
    void Stop();
    void Execute(TWorkerSignal &signal);
    // Waits until deadline (ms) or a stop request; true when asked to stop.
    static bool WaitFor(TWorkerSignal &signal, std::uint64_t deadline);
    // Runs the handlers that are due; false when one of them destroyed the timer.
    bool Tick(const TWorkerSignal &signal);

    std::vector<std::unique_ptr<TZRTTimerData>> crons_;
    TThreadPriority priority_ = TThreadPriority::tpNormal;

    mutable std::mutex mutex_;  // guards the worker's lifetime
    std::unique_ptr<platform::TWorkerThread> worker_;
    std::shared_ptr<TWorkerSignal> signal_;  // of the running worker
    bool running_ = false;
};

}  // namespace brevor
