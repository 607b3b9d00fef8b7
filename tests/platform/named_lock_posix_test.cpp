// The named lock's POSIX side: forked children, lock files and their permissions, users.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/named_lock.h"
#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

std::string UniqueName(const char *what) {
    return std::string("test_") + what + "_" + std::to_string(::getpid());
}

// A forked child starts without the parent's hold, though it copied the parent's memory.
TEST(NamedLock, ForkedChildDoesNotShareTheParentsHold) {
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

// Waits for a child process; false (and the child killed) when it has not ended in time.
bool WaitChild(pid_t child, int &status) {
    for (int i = 0; i < 500; ++i) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return true;
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

TEST(NamedLock, LockFileOfAnotherUserIsStillUsable) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // A lock folder and a lock file that root made, the file read-only for everyone: another
    // user can neither create a file there nor open this one for writing.
    testing::TempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string name = UniqueName("other_user");
    dir.Write("brevor-" + name + ".lock", "");
    ASSERT_EQ(::chmod(dir.File("brevor-" + name + ".lock").c_str(), 0444), 0);

    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TMPDIR", dir.Path().c_str(), 1);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
        TNamedLock lock(name);
        if (!lock.Acquire()) _exit(1);
        // One that does not exist yet cannot be created by this user: no lock, and why.
        TNamedLock missing(name + "_missing");
        _exit(!missing.Acquire() && missing.Error() == EACCES ? 0 : 2);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_TRUE(WaitChild(child, status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(NamedLock, NewLockFileIsOpenToEveryone) {
    testing::TempFolder dir;
    const std::string name = UniqueName("mode");
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TMPDIR", dir.Path().c_str(), 1);
        ::umask(022);
        TNamedLock lock(name);
        _exit(lock.Acquire() ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_TRUE(WaitChild(child, status));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("brevor-" + name + ".lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST(NamedLock, FailureIsReportedWithTheSystemError) {
    const std::string name = UniqueName("refused");
    testing::ScopedFileFaults faults({{TFileCall::Open, name, EACCES}});
    TNamedLockGuard guard(name);
    EXPECT_FALSE(guard.Locked());
    EXPECT_EQ(guard.Error(), EACCES);
    faults.Clear();
    TNamedLockGuard again(name);
    EXPECT_TRUE(again.Locked());
    EXPECT_EQ(again.Error(), 0);
}

TEST(NamedLock, ForkedChildCanDropAnInheritedLock) {
    const std::string name = UniqueName("inherited");
    auto lock = std::make_unique<TNamedLock>(name);
    ASSERT_TRUE(lock->Acquire());
    const pid_t child = ::fork();
    if (child == 0) {
        // The child's copy of the object goes away without hanging and leaves the parent's
        // lock alone.
        lock.reset();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_TRUE(WaitChild(child, status)) << "the child hung releasing an inherited lock";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    lock.reset();
}

}  // namespace
}  // namespace brevor::platform
