#pragma once

// A thread the module starts for work of its own (a timer's worker). Unlike std::thread, joining
// it is safe while the module is being unloaded: on Windows the unload runs under the system's
// loader lock, which a finishing thread needs before the system lets it go, so Join waits only
// until the thread has left the module's code for good.

#include <functional>
#include <memory>

namespace brevor::platform {

class TWorkerThread {
public:
    virtual ~TWorkerThread() = default;

    // Starts work on a new thread; throws std::system_error when the system refuses one.
    static std::unique_ptr<TWorkerThread> Start(std::function<void()> work);

    // True on the thread itself.
    virtual bool IsCurrent() const = 0;
    // Waits until the work has returned and the thread runs none of the module's code any more.
    // Once; never on the thread itself. The destructor joins a thread not joined yet; destroyed
    // by the thread's own work, it leaves the thread to end by itself.
    virtual void Join() = 0;
};

}  // namespace brevor::platform
