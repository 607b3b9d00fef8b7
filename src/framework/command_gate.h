#pragma once

// Who may work on one module instance, and when: commands one at a time (a nested command on
// the thread that already runs one is refused), data calls one at a time, nothing on an
// unloaded instance, and nothing new once the instance has left the registry.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace brevor {

class TCommandGate {
public:
    // How long a data call waits for another one to finish, in ms on platform::Clock().
    static constexpr std::uint32_t kDataWaitMs = 30000;

    TCommandGate() = default;
    TCommandGate(const TCommandGate &) = delete;
    TCommandGate &operator=(const TCommandGate &) = delete;

    // The right to run one command. Holds the command lock until destroyed.
    class TCommandHold {
    public:
        TCommandHold(TCommandHold &&other) noexcept;
        TCommandHold &operator=(TCommandHold &&) = delete;
        ~TCommandHold();
        explicit operator bool() const { return gate_ != nullptr; }

    private:
        friend class TCommandGate;
        TCommandHold() = default;
        explicit TCommandHold(TCommandGate *gate) : gate_(gate) {}
        TCommandGate *gate_ = nullptr;
    };

    // Waits for the command lock. Throws EAssertionFailed when the calling thread already runs
    // a command of this instance.
    TCommandHold EnterCommand();
    // As EnterCommand, but an empty hold instead of an exception for a nested call, and an
    // empty hold once the instance is unloaded or retired (for work done on behalf of others).
    TCommandHold EnterCommandIfLive();
    // Holds the command lock without counting as a command: for a handler that replaces what
    // commands use (it may run inside a command on the same thread).
    std::unique_lock<std::recursive_mutex> LockCommands() {
        return std::unique_lock<std::recursive_mutex>(commandLock_);
    }

    // The right to run one data call; released when destroyed.
    class TDataHold {
    public:
        TDataHold(TDataHold &&other) noexcept;
        TDataHold &operator=(TDataHold &&) = delete;
        ~TDataHold();
        explicit operator bool() const { return gate_ != nullptr; }

    private:
        friend class TCommandGate;
        TDataHold() = default;
        explicit TDataHold(TCommandGate *gate) : gate_(gate) {}
        TCommandGate *gate_ = nullptr;
    };

    // Waits up to timeoutMs for the running data call to finish and takes the data side. Empty
    // when the time ran out or the instance is (or gets) unloaded meanwhile.
    TDataHold EnterData(std::uint32_t timeoutMs = kDataWaitMs);
    // A data call runs now.
    bool DataBusy() const;

    // The final UNLOAD: refuses new data calls and waits (up to timeoutMs) for a running one to
    // finish, so that what it uses can be freed. The hold keeps data calls out until released;
    // it is empty only when the running call did not finish in time (or runs on this thread).
    TDataHold Unload(std::uint32_t timeoutMs = kDataWaitMs);
    // The first LOAD: data calls are welcome again.
    void MarkLoaded();
    bool Unloaded() const;

    // The instance left the registry: no new command is started on others' behalf any more.
    void Retire();
    bool Retired() const;
    // Neither unloaded nor retired: work done on the instance's behalf may still start.
    bool Live() const;

private:
    void LeaveCommand();
    void LeaveData();

    std::recursive_mutex commandLock_;
    // Commands the lock's holder runs; more than one means a nested call. Guarded by the lock.
    int commandDepth_ = 0;

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable dataFree_;
    bool dataBusy_ = false;
    std::thread::id dataThread_;
    bool unloaded_ = false;
    bool retired_ = false;
};

}  // namespace brevor
