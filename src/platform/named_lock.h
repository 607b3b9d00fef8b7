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

    // Waits until the lock is held by the calling thread. False when the lock object cannot be
    // created (the caller then runs without it).
    bool Acquire();
    void Release();
    const std::string &Name() const { return name_; }

private:
    std::string name_;
    int held_ = 0;  // acquisitions made through this object and not yet released
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

private:
    TNamedLock lock_;
    bool locked_ = false;
};

}  // namespace brevor::platform
