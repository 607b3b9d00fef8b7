// The named lock is flock on ${TMPDIR:-/tmp}/brevor-<name>.lock. Every thread opens its own
// descriptor, so flock also serialises threads of one process; a per-thread count makes the lock
// re-entrant for its owner.
//
// The per-thread counts live in one process-wide table keyed by thread and name, not in
// thread_local storage: a thread_local object with a destructor would keep the library loaded
// for as long as a thread that touched it lives.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/file_faults.h"
#include "platform/named_lock.h"
#include "platform/posix/open_checked.h"

namespace brevor::platform {

namespace {

struct HeldLock {
    int fd = -1;
    int count = 0;
    pid_t pid = 0;  // a forked child inherits the entry but not the ownership
};

using HeldKey = std::pair<std::thread::id, std::string>;

// Locks held by any thread of this process, by thread and name. Only the owning thread reads
// or changes its entries; the mutex guards the table itself.
class THeldLocks {
public:
    // The calling thread's entry for name (created empty when missing). The reference stays
    // valid until Erase: map nodes do not move.
    HeldLock &Get(const std::string &name) {
        std::lock_guard lock(mutex_);
        return table_[HeldKey(std::this_thread::get_id(), name)];
    }
    void Erase(const std::string &name) {
        std::lock_guard lock(mutex_);
        table_.erase(HeldKey(std::this_thread::get_id(), name));
    }

private:
    std::mutex mutex_;
    std::map<HeldKey, HeldLock> table_;
};

THeldLocks heldLocks;

constexpr std::size_t kMaxNameLength = 180;
// Waiters on a multi-processor machine try this often before they block.
constexpr int kSpinCount = 4000;

std::string CleanName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const bool keep =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        out += keep ? c : '_';
    }
    if (out.size() > kMaxNameLength) {
        // 64-bit FNV-1a of the whole name keeps long names apart.
        std::uint64_t hash = 1469598103934665603ULL;
        for (unsigned char c : name)
            hash = (hash ^ c) * 1099511628211ULL;
        static constexpr char kHex[] = "0123456789abcdef";
        std::string digest;
        for (int i = 60; i >= 0; i -= 4)
            digest += kHex[(hash >> i) & 0xF];
        out = out.substr(0, kMaxNameLength - 17) + "_" + digest;
    }
    return out;
}

std::string LockFilePath(const std::string &name) {
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir + "/brevor-" + name + ".lock";
}

// Opens the lock file, creating it for everyone when it is missing. A file that another user
// created may be read-only for this one: flock works on a read-only descriptor too. An existing
// file is opened without O_CREAT, which a sticky temporary folder refuses for other users' files.
int OpenLockFile(const std::string &path) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = OpenChecked(path, O_RDWR | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            // The umask must not keep other users out of a lock they share.
            if (::fchmod(fd, 0666) != 0) {
                // The creator can still use it; others fall back on read-only opens.
            }
            return fd;
        }
        if (errno != EEXIST) return -1;
        fd = OpenChecked(path, O_RDWR);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
            fd = OpenChecked(path, O_RDONLY);
        // Removed between the two opens: create it again.
        if (fd >= 0 || errno != ENOENT) return fd;
    }
    return -1;
}

bool LockFd(int fd) {
    if (std::thread::hardware_concurrency() > 1) {
        for (int i = 0; i < kSpinCount; ++i) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
            if (errno != EWOULDBLOCK && errno != EINTR) break;
        }
    }
    for (;;) {
        if (::flock(fd, LOCK_EX) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

TNamedLock::TNamedLock(std::string_view name) : name_(CleanName(name)) {}

TNamedLock::~TNamedLock() {
    while (held_ > 0)
        Release();
}

bool TNamedLock::Acquire() {
    error_ = 0;
    HeldLock &held = heldLocks.Get(name_);
    if (held.count > 0 && held.pid != ::getpid()) {
        // Inherited through fork: the descriptor shares the parent's lock. Closing this copy
        // leaves the parent's lock alone (an explicit unlock would not).
        ::close(held.fd);
        held = HeldLock{};
    }
    if (held.count > 0) {
        ++held.count;
        ++held_;
        return true;
    }
    const int fd = OpenLockFile(LockFilePath(name_));
    if (fd < 0 || !LockFd(fd)) {
        error_ = errno != 0 ? errno : EIO;
        if (fd >= 0) ::close(fd);
        heldLocks.Erase(name_);
        return false;
    }
    held.fd = fd;
    held.count = 1;
    held.pid = ::getpid();
    ++held_;
    return true;
}

void TNamedLock::Release() {
    if (held_ == 0) return;
    --held_;
    HeldLock &held = heldLocks.Get(name_);
    if (held.count == 0 || held.pid != ::getpid()) {
        // Taken on another thread, or inherited through fork: nothing of this thread's to give
        // back (the count still drops, so the destructor ends).
        if (held.count == 0) heldLocks.Erase(name_);
        return;
    }
    if (--held.count > 0) return;
    // Closing the descriptor releases the flock.
    ::close(held.fd);
    heldLocks.Erase(name_);
}

}  // namespace brevor::platform
