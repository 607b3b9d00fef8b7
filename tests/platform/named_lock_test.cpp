#include "platform/named_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace brevor::platform {
namespace {

std::string UniqueName(const char *what) {
    return std::string("test_") + what + "_" + std::to_string(::getpid());
}

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

TEST(NamedLock, HeldAcrossProcesses) {
    const std::string name = UniqueName("process");
    TNamedLock lock(name);
    ASSERT_TRUE(lock.Acquire());
    const pid_t child = ::fork();
    if (child == 0) {
        // A child process cannot take the lock while the parent holds it: its own descriptor
        // conflicts, it does not inherit the parent's recursion count.
        TNamedLock probe(name);
        _exit(probe.Acquire() ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    for (int i = 0; i < 2000; ++i)
        std::this_thread::yield();
    EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "child got the lock while it was held";
    lock.Release();
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
