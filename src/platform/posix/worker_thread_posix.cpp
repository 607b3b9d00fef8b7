#include <thread>

#include "platform/worker_thread.h"

namespace brevor::platform {

namespace {

// dlclose runs the module's destructors without a lock that an ending thread needs: a plain
// join is enough.
class TWorkerThreadPosix : public TWorkerThread {
public:
    explicit TWorkerThreadPosix(std::function<void()> work) : thread_(std::move(work)) {}
    ~TWorkerThreadPosix() override {
        if (!thread_.joinable()) return;
        // Destroyed by its own work: the thread ends by itself, nobody waits for it.
        if (IsCurrent())
            thread_.detach();
        else
            thread_.join();
    }
    TWorkerThreadPosix(const TWorkerThreadPosix &) = delete;
    TWorkerThreadPosix &operator=(const TWorkerThreadPosix &) = delete;

    bool IsCurrent() const override { return thread_.get_id() == std::this_thread::get_id(); }
    void Join() override {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

}  // namespace

std::unique_ptr<TWorkerThread> TWorkerThread::Start(std::function<void()> work) {
    return std::make_unique<TWorkerThreadPosix>(std::move(work));
}

}  // namespace brevor::platform
