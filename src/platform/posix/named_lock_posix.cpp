// The named lock is flock on ${TMPDIR:-/tmp}/brevor-<name>.lock. Every thread opens its own
// descriptor, so flock also serialises threads of one process; a per-thread count makes the lock
// re-entrant for its owner.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/named_lock.h"

namespace brevor::platform {

namespace {

struct HeldLock {
    int fd = -1;
    int count = 0;
    pid_t pid = 0;  // a forked child inherits the entry but not the ownership
};

// Locks this thread holds, by name.
thread_local std::map<std::string, HeldLock> heldLocks;

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
    HeldLock &held = heldLocks[name_];
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
    const int fd = ::open(LockFilePath(name_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 || !LockFd(fd)) {
        if (fd >= 0) ::close(fd);
        heldLocks.erase(name_);
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
    auto it = heldLocks.find(name_);
    if (it == heldLocks.end() || it->second.pid != ::getpid()) return;
    --held_;
    if (--it->second.count > 0) return;
    // Closing the descriptor releases the flock.
    ::close(it->second.fd);
    heldLocks.erase(it);
}

}  // namespace brevor::platform
