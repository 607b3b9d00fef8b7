#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>
#include <set>

#include "platform/common/thread_queue_base.h"

namespace brevor::platform {

// Nothing in the module lives in thread-local storage: a thread-local object with a destructor
// makes the C library hold the module loaded for as long as the thread lives, so a host's
// dlclose would leave the module (and its instances) running.
std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

namespace {

// Each thread's queue, held in a thread-specific slot that is emptied when the thread ends.
// Unlike a thread-local object, the slot does not pin the module: the key is deleted when the
// module is unloaded, and the queues of threads still alive then are freed with it.
class TQueueSlots {
public:
    TQueueSlots() { ready_ = ::pthread_key_create(&key_, &ThreadEnded) == 0; }
    ~TQueueSlots() {
        if (!ready_) return;
        ::pthread_key_delete(key_);  // no thread calls ThreadEnded after this
        std::lock_guard lock(mutex_);
        for (TSlot *slot : slots_)
            delete slot;
        slots_.clear();
    }
    TQueueSlots(const TQueueSlots &) = delete;
    TQueueSlots &operator=(const TQueueSlots &) = delete;

    std::shared_ptr<TThreadQueue> Current() {
        if (!ready_) return std::make_shared<detail::TThreadQueueBase>();
        if (auto *slot = static_cast<TSlot *>(::pthread_getspecific(key_))) return slot->Queue;
        auto *slot = new TSlot{std::make_shared<detail::TThreadQueueBase>()};
        {
            std::lock_guard lock(mutex_);
            slots_.insert(slot);
        }
        ::pthread_setspecific(key_, slot);
        return slot->Queue;
    }

private:
    struct TSlot {
        std::shared_ptr<TThreadQueue> Queue;
    };

    static void ThreadEnded(void *value);

    pthread_key_t key_{};
    bool ready_ = false;
    std::mutex mutex_;
    std::set<TSlot *> slots_;  // every live slot, freed here at the latest
};

TQueueSlots g_queueSlots;

void TQueueSlots::ThreadEnded(void *value) {
    auto *slot = static_cast<TSlot *>(value);
    {
        std::lock_guard lock(g_queueSlots.mutex_);
        g_queueSlots.slots_.erase(slot);
    }
    delete slot;
}

}  // namespace

std::shared_ptr<TThreadQueue> TThreadQueue::Current() {
    return g_queueSlots.Current();
}

int ProcessThreadMessages() {
    return TThreadQueue::Current()->ProcessMessages();
}

}  // namespace brevor::platform
