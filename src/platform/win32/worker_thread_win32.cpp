// A worker thread that can be joined from the module's unload. FreeLibrary runs the module's
// destructors under the loader lock, and a thread that ends takes that lock before the system
// lets it go: a plain wait for the thread deadlocks there. So the thread says when it is about
// to end, and Join waits only until it is inside the system's ExitThread, out of this module's
// code for good; the thread finishes ending once the unload has released the lock.

#include <atomic>
#include <system_error>

#include "platform/win32/win32_util.h"
#include "platform/worker_thread.h"

namespace brevor::platform {

namespace {

// True when an address lies in this module's image.
bool InOwnModule(std::uintptr_t address) {
    const HMODULE self = win32::OwnModuleHandle();
    if (self == nullptr) return false;
    const auto base = reinterpret_cast<std::uintptr_t>(self);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(self);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    return address >= base && address - base < nt->OptionalHeader.SizeOfImage;
}

// True when the thread, stopped for a moment, was outside this module's code; false when it
// was inside or its state could not be read.
bool RunsOutsideModule(HANDLE thread) {
    if (::SuspendThread(thread) == static_cast<DWORD>(-1)) return false;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    const bool read = ::GetThreadContext(thread, &context) != FALSE;
    ::ResumeThread(thread);
    if (!read) return false;
#ifdef _WIN64
    const auto ip = static_cast<std::uintptr_t>(context.Rip);
#else
    const auto ip = static_cast<std::uintptr_t>(context.Eip);
#endif
    return !InOwnModule(ip);
}

// What the thread and its owner share. Freed by the owner after Join, or by the thread itself
// when its owner was destroyed by the thread's own work (nobody joins it then).
struct TWorkerState {
    std::function<void()> Work;  // moved to the thread as it starts
    HANDLE Leaving = nullptr;    // set once the work has returned
    std::atomic<bool> Exiting{false};
    bool Detached = false;  // written and read on the thread itself only
    ~TWorkerState() {
        if (Leaving != nullptr) ::CloseHandle(Leaving);
    }
};

class TWorkerThreadWin32 : public TWorkerThread {
public:
    explicit TWorkerThreadWin32(std::function<void()> work) : state_(new TWorkerState) {
        state_->Work = std::move(work);
        state_->Leaving = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (state_->Leaving != nullptr)
            thread_ = ::CreateThread(nullptr, 0, &TWorkerThreadWin32::Main, state_, 0, &id_);
        if (thread_ == nullptr) {
            const DWORD error = ::GetLastError();
            delete state_;
            throw std::system_error(static_cast<int>(error), std::system_category(),
                                    "CreateThread");
        }
    }
    ~TWorkerThreadWin32() override {
        if (IsCurrent() && thread_ != nullptr) {
            // Destroyed by its own work: the thread ends by itself and frees the state.
            state_->Detached = true;
            ::CloseHandle(thread_);
            return;
        }
        Join();
        delete state_;
    }
    TWorkerThreadWin32(const TWorkerThreadWin32 &) = delete;
    TWorkerThreadWin32 &operator=(const TWorkerThreadWin32 &) = delete;

    bool IsCurrent() const override { return ::GetCurrentThreadId() == id_; }

    void Join() override {
        if (thread_ == nullptr) return;
        HANDLE either[] = {thread_, state_->Leaving};
        ::WaitForMultipleObjects(2, either, FALSE, INFINITE);
        // After Exiting the thread has nothing left to do in this module but call ExitThread:
        // once it is seen outside the module it never comes back.
        while (::WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0 &&
               !(state_->Exiting.load(std::memory_order_acquire) && RunsOutsideModule(thread_)))
            ::Sleep(1);
        ::CloseHandle(thread_);
        thread_ = nullptr;
    }

private:
    static DWORD WINAPI Main(void *param) {
        auto *state = static_cast<TWorkerState *>(param);
        {
            std::function<void()> work = std::move(state->Work);
            work();
        }
        if (state->Detached) {
            delete state;
            return 0;
        }
        ::SetEvent(state->Leaving);
        // The last touch of the state: Join may return, and the state go, from here on.
        state->Exiting.store(true, std::memory_order_release);
        ::ExitThread(0);
    }

    TWorkerState *state_;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace

std::unique_ptr<TWorkerThread> TWorkerThread::Start(std::function<void()> work) {
    return std::make_unique<TWorkerThreadWin32>(std::move(work));
}

}  // namespace brevor::platform
