#pragma once

// A lock shared by every process on the machine, identified by a name. The thread that holds it
// may take it again; it is released when every acquisition has been released.

#include <string>
#include <string_view>

namespace brevor::platform {

class TNamedLock {
public:
    // name: letters, digits and "_" (other bytes are replaced by "_"); long names are shortened
    // to a stable digest so that the lock object can always be named.
    explicit TNamedLock(std::string_view name);
    // Releases what this thread still holds through this object.
    ~TNamedLock();
    TNamedLock(const TNamedLock &) = delete;
    TNamedLock &operator=(const TNamedLock &) = delete;

    // Waits until the lock is held by the calling thread. False when the lock cannot be had
    // (its object can be neither created nor opened, or waiting failed); Error() then tells why.
    // A caller must not go on with the guarded work without the lock.
    bool Acquire();
    void Release();
    const std::string &Name() const { return name_; }
    // The system error code of the last failed Acquire, 0 after a successful one.
    int Error() const { return error_; }

private:
    std::string name_;
    int held_ = 0;  // acquisitions made through this object and not yet released
    int error_ = 0;
};

// Holds a named lock for a scope.
class TNamedLockGuard {
public:
    explicit TNamedLockGuard(std::string_view name) : lock_(name) { locked_ = lock_.Acquire(); }
    ~TNamedLockGuard() {
        if (locked_) lock_.Release();
    }
    TNamedLockGuard(const TNamedLockGuard &) = delete;
    TNamedLockGuard &operator=(const TNamedLockGuard &) = delete;
    bool Locked() const { return locked_; }
    // Why the lock could not be had (a system error code), 0 when it is held.
    int Error() const { return lock_.Error(); }

private:
    TNamedLock lock_;
    bool locked_ = false;
};

}  // namespace brevor::platform
