// The named lock is a named mutex in the global namespace, "Global\brevor-<name>", so that
// processes of every session share it. A mutex is owned by a thread and counts its recursion
// itself; each thread keeps its own handle, in one process-wide table keyed by thread and name
// (not in thread-local storage, which would outlive an unloaded module).

// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <sddl.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/named_lock.h"

namespace brevor::platform {

namespace {

struct HeldLock {
    HANDLE mutex = nullptr;
    int count = 0;
};

using HeldKey = std::pair<DWORD, std::string>;

// Locks held by any thread of this process, by thread and name. Only the owning thread reads
// or changes its entries; the mutex guards the table itself.
class THeldLocks {
public:
    // The calling thread's entry for name (created empty when missing). The reference stays
    // valid until Erase: map nodes do not move.
    HeldLock &Get(const std::string &name) {
        std::lock_guard lock(mutex_);
        return table_[HeldKey(::GetCurrentThreadId(), name)];
    }
    void Erase(const std::string &name) {
        std::lock_guard lock(mutex_);
        table_.erase(HeldKey(::GetCurrentThreadId(), name));
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

// Creates the mutex, or opens it when another process made it. Everyone may use it, as every
// user's process may share the file it guards.
HANDLE OpenLockMutex(const std::string &name) {
    const std::wstring objectName = L"Global\\brevor-" + win32::Wide(name);
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // Full access for everyone (the world SID), nothing else.
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1,
                                                               &descriptor, nullptr) != FALSE)
        attributes.lpSecurityDescriptor = descriptor;
    HANDLE mutex = ::CreateMutexW(&attributes, FALSE, objectName.c_str());
    const DWORD error = ::GetLastError();
    if (descriptor != nullptr) ::LocalFree(descriptor);
    if (mutex == nullptr && error == ERROR_ACCESS_DENIED)
        mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, objectName.c_str());
    return mutex;
}

// Waits for the mutex. A mutex whose owner ended without releasing it is handed to the next
// waiter: the lock is then held, as with a file lock whose owner died.
bool LockMutex(HANDLE mutex) {
    if (std::thread::hardware_concurrency() > 1) {
        for (int i = 0; i < kSpinCount; ++i) {
            const DWORD r = ::WaitForSingleObject(mutex, 0);
            if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return true;
            if (r != WAIT_TIMEOUT) return false;
        }
    }
    const DWORD r = ::WaitForSingleObject(mutex, INFINITE);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
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
    if (held.count > 0) {
        ++held.count;
        ++held_;
        return true;
    }
    HANDLE mutex = OpenLockMutex(name_);
    if (mutex == nullptr || !LockMutex(mutex)) {
        const DWORD error = ::GetLastError();
        error_ = error != 0 ? static_cast<int>(error) : ERROR_INVALID_HANDLE;
        if (mutex != nullptr) ::CloseHandle(mutex);
        heldLocks.Erase(name_);
        return false;
    }
    held.mutex = mutex;
    held.count = 1;
    ++held_;
    return true;
}

void TNamedLock::Release() {
    if (held_ == 0) return;
    --held_;
    HeldLock &held = heldLocks.Get(name_);
    if (held.count == 0) {
        // Taken on another thread: nothing of this thread's to give back (the count still
        // drops, so the destructor ends).
        heldLocks.Erase(name_);
        return;
    }
    if (--held.count > 0) return;
    ::ReleaseMutex(held.mutex);
    ::CloseHandle(held.mutex);
    heldLocks.Erase(name_);
}

}  // namespace brevor::platform
