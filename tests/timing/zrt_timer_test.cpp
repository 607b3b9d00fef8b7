#include "timing/zrt_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "rtl/exceptions.h"
#include "support/fake_clock.h"

namespace brevor {
namespace {

using namespace std::chrono_literals;

platform::TDateTime At(int hour, int minute, int second) {
    platform::TDateTime t;
    t.Year = 2026;
    t.Month = 12;
    t.Day = 10;
    t.Hour = hour;
    t.Minute = minute;
    t.Second = second;
    t.DayOfWeek = 4;
    return t;
}

template <typename Cond>
bool Eventually(Cond cond) {
    for (int i = 0; i < 2000 && !cond(); ++i)
        std::this_thread::sleep_for(1ms);
    return cond();
}

// Timers on a fake clock that the test moves forward.
class TimerTest : public ::testing::Test {
protected:
    TimerTest() : clock_(At(10, 29, 58)) { platform::SetClock(&clock_); }
    ~TimerTest() override { platform::SetClock(nullptr); }
    // Moves the clock and gives the worker a moment to notice.
    void Step(std::uint64_t ms) {
        clock_.Advance(ms);
        clock_.WaitSettled(1);
    }
    void ModuleCronTimer(TZRTTimer &t) {
        t.Kind = TZRTTimerKind::tkCron;
        t.CronTypes = kModuleCronTypes;
        t.DateTimeTypes = kModuleDateTimeTypes;
        t.Sleep = 10;
        t.UseProcessMessages = false;
    }
    platform::TFakeClock clock_;
};

TEST_F(TimerTest, CronEntryFiresOncePerMatchingMinute) {
    for (bool always : {false, true}) {
        clock_.SetLocal(At(10, 29, 58));
        TZRTTimer timer;
        ModuleCronTimer(timer);
        timer.AlwaysOnTimer = always;
        std::atomic<int> fires{0};
        timer.OnTimer = [&](TZRTTimer *, TZRTTimerData *) { ++fires; };
        timer.AddCron("30 10 * * *");
        timer.SetEnabled(true);
        Step(1);  // past the start of a fresh millisecond
        for (int s = 0; s < 75; ++s)
            Step(1000);  // 10:29:58 to 10:31:13
        timer.SetEnabled(false);
        EXPECT_EQ(fires.load(), always ? 60 : 1) << "always " << always;
    }
}

TEST_F(TimerTest, EntriesOfOneMinuteFireInListOrder) {
    clock_.SetLocal(At(10, 29, 59));
    TZRTTimer timer;
    ModuleCronTimer(timer);
    std::mutex m;
    std::vector<int> order;
    timer.OnTimer = [&](TZRTTimer *, TZRTTimerData *d) {
        std::lock_guard lock(m);
        order.push_back(d->Index);
    };
    for (int i = 0; i < 3; ++i)
        timer.CronData(timer.AddCron(i == 1 ? "0 0 * * *" : "30 10 * * *"))->Index = i;
    EXPECT_EQ(timer.CronCount(), 3);
    timer.SetEnabled(true);
    Step(1);
    Step(1000);
    Step(1000);
    timer.SetEnabled(false);
    EXPECT_EQ(order, (std::vector<int>{0, 2}));
}

TEST_F(TimerTest, IntervalCountsFromTheEndOfTheHandler) {
    TZRTTimer timer;
    timer.Interval = 3000;
    timer.UseProcessMessages = false;
    std::mutex m;
    std::vector<std::uint64_t> starts;
    timer.OnTimer = [&](TZRTTimer *, TZRTTimerData *data) {
        EXPECT_EQ(data, nullptr);
        {
            std::lock_guard lock(m);
            starts.push_back(clock_.NowMs());
        }
        clock_.Advance(2000);  // the handler takes 2 s
    };
    const std::uint64_t start = clock_.NowMs();
    timer.SetEnabled(true);
    Step(1);
    for (int i = 0; i < 160; ++i)
        Step(100);  // 16 s
    timer.SetEnabled(false);
    std::lock_guard lock(m);
    ASSERT_GE(starts.size(), 3u);
    EXPECT_NEAR(static_cast<double>(starts[0] - start), 3000, 150);
    for (size_t i = 1; i < starts.size(); ++i)
        EXPECT_NEAR(static_cast<double>(starts[i] - starts[i - 1]), 5000, 150);
}

TEST_F(TimerTest, DisablingWaitsForARunningHandler) {
    TZRTTimer timer;
    timer.Interval = 10;
    std::atomic<bool> inHandler{false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    timer.OnTimer = [&](TZRTTimer *, TZRTTimerData *) {
        inHandler = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        finished = true;
    };
    timer.SetEnabled(true);
    timer.SetEnabled(true);  // the same value: nothing happens
    ASSERT_TRUE(Eventually([&] {
        clock_.Advance(10);
        return inHandler.load();
    }));
    std::atomic<bool> disabled{false};
    std::thread stopper([&] {
        timer.SetEnabled(false);
        disabled = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(disabled.load());
    release = true;
    stopper.join();
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(timer.Enabled());
    timer.SetEnabled(false);  // already off: nothing happens
}

TEST_F(TimerTest, AHandlerCannotStopItsOwnTimer) {
    TZRTTimer timer;
    timer.Interval = 10;
    std::atomic<int> refused{0};
    timer.OnTimer = [&](TZRTTimer *t, TZRTTimerData *) {
        try {
            t->SetEnabled(false);
        } catch (const Exception &) {
            ++refused;
        }
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(Eventually([&] {
        clock_.Advance(10);
        return refused.load() > 0;
    }));
    timer.SetEnabled(false);
}

// A handler may destroy its own timer (an instance released from its own scan): the worker
// then ends without touching the timer again. Seen through the worker's thread ending, which
// a worker still running on the freed timer would not do (and the sanitizers would catch).
TEST_F(TimerTest, AHandlerThatDestroysItsTimerEndsTheWorker) {
    struct TThreadEnd {
        std::atomic<bool> *ended = nullptr;
        ~TThreadEnd() {
            if (ended) *ended = true;
        }
    };
    for (TZRTTimerKind kind : {TZRTTimerKind::tkStandard, TZRTTimerKind::tkCron}) {
        static std::atomic<bool> handled{false};
        static std::atomic<bool> ended{false};
        handled = false;
        ended = false;
        auto *timer = new TZRTTimer;
        timer->Interval = 10;
        if (kind == TZRTTimerKind::tkCron) {
            ModuleCronTimer(*timer);
            timer->AddCron("* * * * *");
            timer->AddCron("* * * * *");  // a second entry the worker must not go on to
        }
        timer->OnTimer = [](TZRTTimer *self, TZRTTimerData *) {
            thread_local TThreadEnd threadEnd;
            threadEnd.ended = &ended;
            delete self;  // the lambda is gone too: nothing of it is used after this
            handled = true;
        };
        timer->SetEnabled(true);
        ASSERT_TRUE(Eventually([&] {
            clock_.Advance(10);
            return handled.load();
        }));
        EXPECT_TRUE(Eventually([] { return ended.load(); })) << "kind " << static_cast<int>(kind);
    }
}

TEST(TimerRealClock, TicksOnTheRealClock) {
    TZRTTimer timer;
    timer.Interval = 20;
    timer.UseProcessMessages = false;
    std::atomic<int> fires{0};
    timer.OnTimer = [&](TZRTTimer *, TZRTTimerData *) { ++fires; };
    timer.SetEnabled(true);
    EXPECT_TRUE(Eventually([&] { return fires.load() >= 3; }));
    timer.SetEnabled(false);
    const int after = fires.load();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(fires.load(), after);  // stopped means stopped
}

}  // namespace
}  // namespace brevor
