#include "platform/thread_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/fake_clock.h"

namespace brevor::platform {
namespace {

class ThreadQueueTest : public ::testing::Test {
protected:
    ThreadQueueTest() : clock_(TDateTime{2024, 5, 6, 10, 0, 0, 0, 1}) {
        SetClock(&clock_);
        while (ProcessThreadMessages() != 0) {
        }
    }
    ~ThreadQueueTest() override { SetClock(nullptr); }
    TFakeClock clock_;
};

TEST_F(ThreadQueueTest, PostedWorkRunsInOrderOnTheOwnerWhenProcessed) {
    auto queue = TThreadQueue::Current();
    EXPECT_TRUE(queue->IsOwnerThread());
    std::vector<int> seen;
    std::vector<std::uint32_t> threads;
    std::thread poster([&] {
        EXPECT_FALSE(queue->IsOwnerThread());
        for (int i = 0; i < 3; ++i)
            queue->Post([&, i] {
                seen.push_back(i);
                threads.push_back(CurrentThreadId());
            });
    });
    poster.join();
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(queue->WaitForMessages(0));
    EXPECT_EQ(ProcessThreadMessages(), 3);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(threads, std::vector<std::uint32_t>(3, CurrentThreadId()));
}

TEST_F(ThreadQueueTest, FailingWorkKeepsTheRestQueued) {
    auto queue = TThreadQueue::Current();
    int ran = 0;
    queue->Post([] { throw std::runtime_error("x"); });
    queue->Post([&] { ++ran; });
    EXPECT_THROW(queue->ProcessMessages(), std::runtime_error);
    EXPECT_EQ(queue->ProcessMessages(), 1);
    EXPECT_EQ(ran, 1);
}

TEST_F(ThreadQueueTest, TimersTickOnProcessingOncePerDueTime) {
    auto queue = TThreadQueue::Current();
    int ticks = 0;
    const auto id = queue->StartTimer(1000, [&] { ++ticks; });
    clock_.Advance(999);
    EXPECT_FALSE(queue->WaitForMessages(0));
    EXPECT_EQ(queue->ProcessMessages(), 0);
    clock_.Advance(1);
    EXPECT_EQ(queue->ProcessMessages(), 1);
    EXPECT_EQ(queue->ProcessMessages(), 0);
    clock_.Advance(10000);  // missed periods coalesce into one tick
    EXPECT_EQ(queue->ProcessMessages(), 1);
    queue->StopTimer(id);
    clock_.Advance(5000);
    EXPECT_EQ(queue->ProcessMessages(), 0);
    EXPECT_EQ(ticks, 2);
    EXPECT_FALSE(queue->TimerActive(id));
}

TEST_F(ThreadQueueTest, ATickMayStopItsOwnTimer) {
    auto queue = TThreadQueue::Current();
    int ticks = 0;
    TThreadQueue::TTimerId id = 0;
    id = queue->StartTimer(10, [&] {
        ++ticks;
        queue->StopTimer(id);
    });
    clock_.Advance(10);
    queue->ProcessMessages();
    clock_.Advance(10);
    queue->ProcessMessages();
    EXPECT_EQ(ticks, 1);
}

TEST_F(ThreadQueueTest, WaitEndsWhenWorkIsPostedOrATimerIsDue) {
    auto queue = TThreadQueue::Current();
    std::thread poster([&] { queue->Post([] {}); });
    EXPECT_TRUE(queue->WaitForMessages(60000));  // fake time never reaches the deadline
    poster.join();
    queue->ProcessMessages();
    queue->StartTimer(500, [] {});
    std::thread mover([&] { clock_.Advance(500); });
    EXPECT_TRUE(queue->WaitForMessages(60000));
    mover.join();
}

TEST_F(ThreadQueueTest, SendWaitsForTheOwnerAndDropsWorkThatTimedOut) {
    auto queue = TThreadQueue::Current();
    int onOwner = 0;
    EXPECT_TRUE(queue->Send([&] { ++onOwner; }, 0));  // on the owner: at once
    EXPECT_EQ(onOwner, 1);

    std::atomic<bool> answered{false};
    std::atomic<std::uint32_t> ranOn{0};
    std::thread sender([&] { answered = queue->Send([&] { ranOn = CurrentThreadId(); }, 10000); });
    while (queue->ProcessMessages() == 0)
        queue->WaitForMessages(1);
    sender.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(ranOn, CurrentThreadId());

    std::atomic<int> late{0};
    std::thread impatient([&] { answered = queue->Send([&] { ++late; }, 20); });
    impatient.join();
    EXPECT_FALSE(answered);
    EXPECT_EQ(queue->ProcessMessages(), 1);  // the message is handled but its work is dropped
    EXPECT_EQ(late, 0);
}

}  // namespace
}  // namespace brevor::platform
