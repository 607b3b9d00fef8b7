#include "platform/named_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace brevor::platform {
namespace {

using testing::ChildProcess;
using testing::ChildRole;
using testing::HearFromParent;
using testing::kChildTimeout;
using testing::TellParent;

std::string UniqueName(const char *what) {
    std::random_device random;
    return std::string("test_") + what + "_" + std::to_string(random()) + "_" +
           std::to_string(random());
}

// Takes the lock named args[0], says "held", and on "release" gives it back and ends with 0.
int HolderMain(const std::vector<std::string> &args) {
    TNamedLock lock(args.at(0));
    if (!lock.Acquire()) return 1;
    TellParent("held");
    if (HearFromParent() != "release") return 2;
    lock.Release();
    return 0;
}
const ChildRole holder("named_lock_holder", &HolderMain);

// Says "waiting", then waits for the lock named args[0]; ends with 0 once it got it.
int ProbeMain(const std::vector<std::string> &args) {
    TNamedLock lock(args.at(0));
    TellParent("waiting");
    return lock.Acquire() ? 0 : 1;
}
const ChildRole probe("named_lock_probe", &ProbeMain);

TEST(NamedLock, OwnerMayTakeItAgain) {
    const std::string name = UniqueName("recursion");
    TNamedLock outer(name);
    ASSERT_TRUE(outer.Acquire());
    TNamedLock inner(name);
    ASSERT_TRUE(inner.Acquire());
    ASSERT_TRUE(inner.Acquire());
    inner.Release();
    inner.Release();
    // Still held by this thread: another thread cannot take it yet.
    std::atomic<bool> taken{false};
    std::thread other([&] {
        TNamedLockGuard guard(name);
        taken = true;
    });
    for (int i = 0; i < 200 && !taken; ++i)
        std::this_thread::yield();
    EXPECT_FALSE(taken);
    outer.Release();
    other.join();
    EXPECT_TRUE(taken);
}

TEST(NamedLock, SerialisesThreads) {
    const std::string name = UniqueName("threads");
    // Plain load and store (no read-modify-write): only mutual exclusion keeps every update.
    std::atomic<int> counter{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                TNamedLockGuard guard(name);
                ASSERT_TRUE(guard.Locked());
                const int seen = counter.load(std::memory_order_relaxed);
                std::this_thread::yield();
                counter.store(seen + 1, std::memory_order_relaxed);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(counter.load(), 1200);
}

// Another process waits while the lock is held, by this process or by another one, and gets it
// once the holder releases it or dies holding it.
TEST(NamedLock, AnotherProcessGetsItOnlyOnceTheHolderLetsGoOrDies) {
    enum class Holder { ThisProcess, ChildReleases, ChildDies };
    for (Holder how : {Holder::ThisProcess, Holder::ChildReleases, Holder::ChildDies}) {
        SCOPED_TRACE(static_cast<int>(how));
        const std::string name = UniqueName("process");
        TNamedLock own(name);
        std::optional<ChildProcess> holding;
        if (how == Holder::ThisProcess) {
            ASSERT_TRUE(own.Acquire());
        } else {
            holding.emplace("named_lock_holder", std::vector<std::string>{name});
            ASSERT_EQ(holding->ReadLine(), "held");
        }
        ChildProcess waiter("named_lock_probe", {name});
        ASSERT_EQ(waiter.ReadLine(), "waiting");
        EXPECT_EQ(waiter.Wait(std::chrono::milliseconds(300)), std::nullopt)
            << "another process got the lock while it was held";
        switch (how) {
            case Holder::ThisProcess:
                own.Release();
                break;
            case Holder::ChildReleases:
                ASSERT_TRUE(holding->WriteLine("release"));
                EXPECT_EQ(holding->Wait(kChildTimeout), 0);
                break;
            case Holder::ChildDies:
                holding->Kill();
                break;
        }
        EXPECT_EQ(waiter.Wait(kChildTimeout), 0) << "the waiter never got the lock";
        // Free for this process too.
        ASSERT_TRUE(own.Acquire());
        own.Release();
    }
}

TEST(NamedLock, LongAndOddNamesWork) {
    const std::string longName(1000, 'x');
    TNamedLockGuard a(longName);
    EXPECT_TRUE(a.Locked());
    TNamedLockGuard b("/etc/../weird name\x01");
    EXPECT_TRUE(b.Locked());
}

}  // namespace
}  // namespace brevor::platform
