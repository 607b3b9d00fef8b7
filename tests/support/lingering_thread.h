#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace brevor::testing {

// A host thread that runs some work in a loaded library and then stays alive until it is
// destroyed: the library's unload happens while a thread that called into it still exists.
class LingeringThread {
public:
    explicit LingeringThread(std::function<void()> work)
        : thread_([this, work = std::move(work)] {
              work();
              std::unique_lock lock(mutex_);
              done_ = true;
              cv_.notify_all();
              cv_.wait(lock, [this] { return end_; });
          }) {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return done_; });
    }
    ~LingeringThread() {
        {
            std::lock_guard lock(mutex_);
            end_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    LingeringThread(const LingeringThread &) = delete;
    LingeringThread &operator=(const LingeringThread &) = delete;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    bool end_ = false;
    std::thread thread_;
};

}  // namespace brevor::testing
