#include "timing/qel_timer_ex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "support/fake_clock.h"

namespace brevor {
namespace {

using platform::ProcessThreadMessages;

class QelTimerTest : public ::testing::Test {
protected:
    QelTimerTest() : clock_(platform::TDateTime{2024, 5, 6, 10, 0, 0, 0, 1}) {
        platform::SetClock(&clock_);
        while (ProcessThreadMessages() != 0) {
        }
    }
    ~QelTimerTest() override {
        while (ProcessThreadMessages() != 0) {
        }
        platform::SetClock(nullptr);
        TqelTimerEx::DestroyStepMs = 5000;
        SetTimerExceptionHandler(nullptr);
    }
    // Moves fake time and lets the owning (this) thread process its messages.
    void Run(std::uint64_t ms) {
        clock_.Advance(ms);
        ProcessThreadMessages();
    }
    platform::TFakeClock clock_;
};

TEST_F(QelTimerTest, TicksOnTheOwnerWhenItProcessesMessages) {
    TqelTimerEx timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_EQ(timer.OwnerThread(), platform::CurrentThreadId());
    int ticks = 0;
    timer.SetOnTimer([&](TObject *sender) {
        EXPECT_EQ(sender, &timer);
        EXPECT_EQ(platform::CurrentThreadId(), timer.OwnerThread());
        ++ticks;
    });
    Run(999);
    EXPECT_EQ(ticks, 0);
    Run(1);
    EXPECT_EQ(ticks, 1);
    clock_.Advance(5000);  // no tick without processing, one when it happens
    EXPECT_EQ(ticks, 1);
    ProcessThreadMessages();
    EXPECT_EQ(ticks, 2);
    timer.SetInterval(200);  // restarts: the period counts from now
    Run(199);
    EXPECT_EQ(ticks, 2);
    Run(1);
    EXPECT_EQ(ticks, 3);
}

TEST_F(QelTimerTest, NeverStartsWithoutIntervalHandlerOrEnabled) {
    struct TCase {
        std::uint32_t interval;
        bool handler, enabled;
    };
    const TCase cases[] = {{0, true, true}, {1000, false, true}, {1000, true, false}};
    for (const TCase &c : cases) {
        int ticks = 0;
        TqelTimerEx timer;
        timer.SetInterval(c.interval);
        timer.SetEnabled(c.enabled);
        if (c.handler) timer.SetOnTimer([&](TObject *) { ++ticks; });
        EXPECT_FALSE(timer.Running());
        Run(100000);
        EXPECT_EQ(ticks, 0) << c.interval << c.handler << c.enabled;
    }
}

TEST_F(QelTimerTest, ForeignThreadChangesApplyWhenTheOwnerProcesses) {
    TqelTimerEx timer;
    int ticks = 0;
    timer.SetOnTimer([&](TObject *) { ++ticks; });
    std::thread([&] { timer.SetEnabled(false); }).join();  // returns without the owner
    EXPECT_TRUE(timer.Enabled());
    EXPECT_TRUE(timer.Running());
    clock_.Advance(1000);
    ProcessThreadMessages();  // the disable request comes before the due tick
    EXPECT_FALSE(timer.Enabled());
    EXPECT_FALSE(timer.Running());
    Run(5000);
    EXPECT_EQ(ticks, 0);

    std::thread([&] { timer.SetEnabled(true); }).join();
    EXPECT_FALSE(timer.Running());
    Run(0);
    EXPECT_TRUE(timer.Running());
    Run(1000);
    EXPECT_EQ(ticks, 1);
}

TEST_F(QelTimerTest, HandlerErrorsGoToTheExceptionHandler) {
    int reported = 0;
    SetTimerExceptionHandler([&](std::exception_ptr) { ++reported; });
    TqelTimerEx timer;
    timer.SetOnTimer([](TObject *) { throw std::runtime_error("tick"); });
    Run(1000);
    Run(1000);
    EXPECT_EQ(reported, 2);
}

TEST_F(QelTimerTest, AHandlerMayFreeItsTimer) {
    auto *timer = new TqelTimerEx;
    int ticks = 0;
    timer->SetOnTimer([&](TObject *sender) {
        ++ticks;
        delete static_cast<TqelTimerEx *>(sender);
    });
    Run(1000);
    Run(1000);
    EXPECT_EQ(ticks, 1);
}

TEST_F(QelTimerTest, DestroyedFromAnotherThreadWhileTheOwnerProcesses) {
    auto *timer = new TqelTimerEx;
    std::atomic<int> ticks{0};
    timer->SetOnTimer([&](TObject *) { ++ticks; });
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        delete timer;
        destroyed = true;
    });
    while (!destroyed) {
        clock_.Advance(1000);
        ProcessThreadMessages();
        std::this_thread::yield();
    }
    destroyer.join();
    const int seen = ticks;
    Run(5000);
    EXPECT_EQ(ticks, seen);
}

TEST_F(QelTimerTest, DestructionFromAnotherThreadIsBoundedWhenTheOwnerIsBusy) {
    TqelTimerEx::DestroyStepMs = 30;
    auto *timer = new TqelTimerEx;
    int ticks = 0;
    timer->SetOnTimer([&](TObject *) { ++ticks; });
    std::thread([&] {
        timer->SetEnabled(false);  // a request still queued when the timer is gone
        delete timer;              // the owner never answers: each step gives up
    }).join();
    Run(5000);  // the late messages find nothing to act on
    EXPECT_EQ(ticks, 0);
}

TEST_F(QelTimerTest, DestructionFromAnotherThreadIsBoundedWhileTheOwnerRunsAHandler) {
    TqelTimerEx::DestroyStepMs = 30;
    std::atomic<TqelTimerEx *> timer{nullptr};
    std::atomic<bool> inHandler{false}, release{false}, stop{false};
    std::thread owner([&] {
        timer = new TqelTimerEx;
        timer.load()->SetOnTimer([&](TObject *) {
            inHandler = true;
            while (!release)
                std::this_thread::yield();
        });
        while (!stop) {
            ProcessThreadMessages();
            std::this_thread::yield();
        }
        while (ProcessThreadMessages() != 0) {
        }
    });
    while (timer == nullptr)
        std::this_thread::yield();
    while (!inHandler) {
        clock_.Advance(1000);
        std::this_thread::yield();
    }
    // The owner is stuck in its handler: every step of the destruction gives up in time.
    auto destroyed = std::async(std::launch::async, [&] { delete timer.load(); });
    EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    release = true;
    destroyed.wait();
    stop = true;
    owner.join();
}

TEST_F(QelTimerTest, RealClockTicks) {
    platform::SetClock(nullptr);
    TqelTimerEx timer;
    timer.SetInterval(10);
    int ticks = 0;
    timer.SetOnTimer([&](TObject *) { ++ticks; });
    auto queue = platform::TThreadQueue::Current();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ticks < 2 && std::chrono::steady_clock::now() < until) {
        queue->WaitForMessages(100);
        queue->ProcessMessages();
    }
    EXPECT_GE(ticks, 2);
    platform::SetClock(&clock_);
}

}  // namespace
}  // namespace brevor
