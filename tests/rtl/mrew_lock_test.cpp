#include "rtl/mrew_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "rtl/thread_containers.h"

namespace brevor {
namespace {

using namespace std::chrono_literals;

// Polls cond for up to two seconds; the lock's waits have no other observable sign.
template <typename Cond>
bool Eventually(Cond cond) {
    for (int i = 0; i < 2000; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return cond();
}

TEST(MrewLock, BothSidesAreReentrantAndTheWriterMayRead) {
    TMultiReadExclusiveWriteLock lock;
    lock.BeginRead();
    lock.BeginRead();
    EXPECT_EQ(lock.ReadDepth(), 2);
    lock.EndRead();
    lock.EndRead();
    lock.BeginWrite();
    lock.BeginWrite();
    lock.BeginRead();
    EXPECT_TRUE(lock.IsWriter());
    lock.EndRead();
    lock.EndWrite();
    EXPECT_TRUE(lock.IsWriter());
    lock.EndWrite();
    EXPECT_FALSE(lock.IsWriter());
}

TEST(MrewLock, ManyReadersAtOnce) {
    TMultiReadExclusiveWriteLock lock;
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<bool> release{false};
    std::vector<std::thread> ts;
    for (int i = 0; i < 4; ++i) {
        ts.emplace_back([&] {
            TReadGuard g(lock);
            const int now = ++inside;
            int seen = maxInside.load();
            while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
            }
            while (!release)
                std::this_thread::sleep_for(1ms);
            --inside;
        });
    }
    EXPECT_TRUE(Eventually([&] { return maxInside.load() == 4; }));
    release = true;
    for (auto &t : ts)
        t.join();
}

TEST(MrewLock, WaitingWriterHoldsBackNewReadersButNotReentrantOnes) {
    TMultiReadExclusiveWriteLock lock;
    std::atomic<int> order{0};
    std::atomic<int> writerAt{-1};
    std::atomic<int> lateReaderAt{-1};
    lock.BeginRead();
    std::thread writer([&] {
        TWriteGuard g(lock);
        writerAt = order++;
    });
    // Let the writer queue up behind this reader.
    std::this_thread::sleep_for(20ms);
    std::thread lateReader([&] {
        TReadGuard g(lock);
        lateReaderAt = order++;
    });
    std::this_thread::sleep_for(20ms);
    lock.BeginRead();  // re-entry must not wait for the queued writer
    lock.EndRead();
    EXPECT_EQ(writerAt.load(), -1);
    EXPECT_EQ(lateReaderAt.load(), -1);
    lock.EndRead();
    writer.join();
    lateReader.join();
    EXPECT_EQ(writerAt.load(), 0);
    EXPECT_EQ(lateReaderAt.load(), 1);
}

TEST(MrewLock, PromotionWaitsForOtherReadersAndTwoPromotersDoNotDeadlock) {
    TMultiReadExclusiveWriteLock lock;
    std::atomic<int> writers{0};
    std::atomic<int> maxWriters{0};
    std::atomic<int> ready{0};
    auto promoter = [&] {
        lock.BeginRead();
        ++ready;
        while (ready.load() < 2)
            std::this_thread::yield();
        lock.BeginWrite();
        const int now = ++writers;
        if (now > maxWriters) maxWriters = now;
        std::this_thread::sleep_for(5ms);
        --writers;
        lock.EndWrite();
        EXPECT_EQ(lock.ReadDepth(), 1);  // the shared hold survived the promotion
        lock.EndRead();
    };
    std::thread a(promoter);
    std::thread b(promoter);
    a.join();
    b.join();
    EXPECT_EQ(maxWriters.load(), 1);
}

TEST(MrewLock, LeavingTheExclusiveSideKeepsTheSharedHoldWithoutAGap) {
    TMultiReadExclusiveWriteLock lock;
    std::atomic<bool> otherWriterIn{false};
    lock.BeginRead();
    lock.BeginWrite();
    std::thread other([&] {
        TWriteGuard g(lock);
        otherWriterIn = true;
    });
    std::this_thread::sleep_for(20ms);
    lock.EndWrite();
    // Still a reader: the other writer must keep waiting.
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(otherWriterIn.load());
    lock.EndRead();
    other.join();
    EXPECT_TRUE(otherWriterIn.load());
}

TEST(ThreadContainers, ObjectListOwnership) {
    struct Counted {
        explicit Counted(int *c) : count(c) { ++*count; }
        ~Counted() { --*count; }
        int *count;
    };
    int alive = 0;
    {
        TThreadObjectList<Counted> owning(true);
        TObjectList<Counted> *l = owning.LockList();
        l->Add(new Counted(&alive));
        l->Add(new Counted(&alive));
        l->Delete(0);
        owning.UnlockList();
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);  // the owning list freed what it held

    Counted kept(&alive);
    {
        TThreadObjectList<Counted> borrowing(false);
        borrowing.LockList()->Add(&kept);
        borrowing.UnlockList();
        EXPECT_EQ(borrowing.LockListRead()->Count(), 1);
        borrowing.UnlockListRead();
    }
    EXPECT_EQ(alive, 1);
}

}  // namespace
}  // namespace brevor
