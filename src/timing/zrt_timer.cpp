#include "timing/zrt_timer.h"

#include "platform/clock.h"
#include "rtl/exceptions.h"

namespace brevor {

// ---------------------------------------------------------------- entries

const TClassInfo &TZRTTimerData::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TZRTTimerData>("TZRTTimerData", &TPersistent::StaticClassInfo())
            .String("CronText", &TZRTTimerData::CronText)
            .Integer("Index", &TZRTTimerData::Index)
            .Build();
    return info;
}
const TClassInfo &TZRTTimerData::ClassInfo() const {
    return StaticClassInfo();
}

void TZRTTimerData::Assign(const TZRTTimerData &source) {
    Cron = source.Cron;
    CronText = source.CronText;
    LastMatch = source.LastMatch;
    LastFire = source.LastFire;
    Index = source.Index;
}

// ---------------------------------------------------------------- timer

const TClassInfo &TZRTTimer::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TZRTTimer>("TZRTTimer", &TComponent::StaticClassInfo())
            .Boolean("Enabled", &TZRTTimer::Enabled,
                     [](TZRTTimer &t, std::int64_t v) { t.SetEnabled(v != 0); })
            .Enumeration("Kind", {"tkStandard", "tkCron"}, &TZRTTimer::Kind)
            .Int64("Interval", &TZRTTimer::Interval)
            .Int64("ProcessMessages", &TZRTTimer::ProcessMessages)
            .Boolean("UseInterval", &TZRTTimer::UseInterval)
            .Boolean("UseSleep", &TZRTTimer::UseSleep)
            .Int64("Sleep", &TZRTTimer::Sleep)
            .Boolean("UseProcessMessages", &TZRTTimer::UseProcessMessages)
            .Boolean("SyncWithSystemClock", &TZRTTimer::SyncWithSystemClock)
            .Enumeration("ProcessPriority",
                         {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest",
                          "tpTimeCritical"},
                         &TZRTTimer::ProcessPriority,
                         [](TZRTTimer &t, std::int64_t v) {
                             t.SetProcessPriority(static_cast<TThreadPriority>(v));
                         })
            .Boolean("AlwaysOnTimer", &TZRTTimer::AlwaysOnTimer)
            .Set("CronTypes",
                 {"ctMSeconds", "ctSeconds", "ctMinutes", "ctHours", "ctDays", "ctMonths",
                  "ctWeekDays", "ctYears"},
                 &TZRTTimer::CronTypes)
            .String("CronDevider", &TZRTTimer::CronDevider)
            .Enumeration("CronCondition",
                         {"conEqual", "conNotEqual", "conLess", "conMore", "conLessEqual",
                          "conMoreEqual", "conRange", "conIn", "conBeg", "conNumber", "conString",
                          "conBoolean", "conNull", "conEven", "conNotEven", "conAnd", "conOr"},
                         &TZRTTimer::CronCondition)
            .Set("DateTimeTypes",
                 {"dttMSecond", "dttSecond", "dttMinute", "dttHour", "dttDay", "dttMonth",
                  "dttWeekDay", "dttYear"},
                 &TZRTTimer::DateTimeTypes)
            .Build();
    return info;
}
const TClassInfo &TZRTTimer::ClassInfo() const {
    return StaticClassInfo();
}

TZRTTimer::TZRTTimer(TComponent *owner) : TComponent(owner) {}

TZRTTimer::~TZRTTimer() {
    bool fromOwnHandler = false;
    {
        std::lock_guard lock(mutex_);
        fromOwnHandler = worker_ && worker_->IsCurrent();
    }
    if (fromOwnHandler) {
        // The worker learns it once the handler returns and ends without touching the timer
        // again; its thread ends by itself.
        signal_->orphaned = true;
        worker_.reset();
    } else if (Enabled()) {
        Stop();
    }
    crons_.clear();
}

bool TZRTTimer::Enabled() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void TZRTTimer::SetEnabled(bool enabled) {
    if (enabled == Enabled()) return;
    if (enabled)
        Start();
    else
        Stop();
}

void TZRTTimer::Start() {
    std::lock_guard lock(mutex_);
    if (running_ || worker_) throw Exception("Process is working!");
    auto signal = std::make_shared<TWorkerSignal>();
    // The worker holds the signal itself: it must stay valid after a handler destroyed the timer.
    worker_ = platform::TWorkerThread::Start([this, signal] { Execute(*signal); });
    signal_ = std::move(signal);
    running_ = true;
}

void TZRTTimer::Stop() {
    std::unique_ptr<platform::TWorkerThread> worker;
    std::shared_ptr<TWorkerSignal> signal;
    {
        std::lock_guard lock(mutex_);
        if (!running_) throw Exception("Process is not working!");
        if (worker_ && worker_->IsCurrent())
            throw Exception("A timer cannot be stopped from its own handler");
        running_ = false;
        worker = std::move(worker_);
        signal = std::move(signal_);
    }
    if (signal) {
        {
            std::lock_guard lock(signal->mutex);
            signal->stop = true;
        }
        signal->wake.notify_all();
    }
    if (worker) worker->Join();  // a running handler completes first
}

void TZRTTimer::SetProcessPriority(TThreadPriority priority) {
    if (priority == priority_) return;
    priority_ = priority;
    // Every worker runs at the default priority of its process; a restart keeps the documented
    // behaviour of a priority change.
    if (Enabled()) {
        Stop();
        Start();
    }
}

int TZRTTimer::AddCron(const std::string &text) {
    const bool wasEnabled = Enabled();
    if (wasEnabled) SetEnabled(false);
    auto data = std::make_unique<TZRTTimerData>(this);
    data->CronText = text;
    data->Cron = ParseCronText(text, CronTypes, CronDevider, CronNames);
    crons_.push_back(std::move(data));
    if (wasEnabled) SetEnabled(true);
    return CronCount() - 1;
}

void TZRTTimer::ClearCrons() {
    const bool wasEnabled = Enabled();
    if (wasEnabled) SetEnabled(false);
    crons_.clear();
    if (wasEnabled) SetEnabled(true);
}

bool TZRTTimer::WaitFor(TWorkerSignal &signal, std::uint64_t deadline) {
    std::unique_lock lock(signal.mutex);
    return platform::Clock().WaitUntil(signal.wake, lock, deadline,
                                       [&signal] { return signal.stop; });
}

bool TZRTTimer::Tick(const TWorkerSignal &signal) {
    if (Kind == TZRTTimerKind::tkStandard) {
        if (OnTimer) OnTimer(this, nullptr);
        return !signal.orphaned;
    }
    const platform::TDateTime now = platform::Clock().LocalNow();
    for (const auto &entry : crons_) {
        if (!CronMatches(entry->Cron, CronTypes, now)) continue;
        if (!AlwaysOnTimer) {
            entry->LastMatch = now;
            if (SameDateTimeParts(DateTimeTypes, entry->LastFire, now)) continue;
            entry->LastFire = now;
        }
        if (OnTimer) OnTimer(this, entry.get());
        if (signal.orphaned) return false;  // crons_ went with the timer
    }
    return true;
}

void TZRTTimer::Execute(TWorkerSignal &signal) {
    platform::IClock &clock = platform::Clock();
    if (SyncWithSystemClock) {
        // Start on a fresh millisecond of the clock.
        if (WaitFor(signal, clock.NowMs() + 1)) return;
    }
    std::uint64_t next = clock.NowMs() + Interval;
    for (;;) {
        const std::uint64_t now = clock.NowMs();
        if (!UseInterval || now >= next) {
            bool alive = true;
            try {
                alive = Tick(signal);
            } catch (...) {
                // A failing handler must not end the timer's thread.
                alive = !signal.orphaned;
            }
            if (!alive) return;  // destroyed by its handler: nothing of the timer is left
            if (UseInterval) next = clock.NowMs() + Interval;
        }
        // Every pass sleeps Sleep ms (so an Interval of 0 ticks every Sleep ms rather than
        // spinning); with an interval the worker sleeps on until the next tick is due.
        const std::uint64_t pass = clock.NowMs() + (UseSleep ? Sleep : 0);
        const std::uint64_t deadline = UseInterval && next > pass ? next : pass;
        if (WaitFor(signal, deadline)) return;
    }
}

}  // namespace brevor
