// The thread message queue on Win32. Work and timers are kept as on every platform (timers
// read Clock(), so tests drive them with a fake clock), and each queue also owns a hidden
// message-only window on its thread: posting wakes the thread's own message loop, and one
// SetTimer on the window fires at the earliest due timer. A host that runs an ordinary message
// loop therefore runs the queue without knowing of it.
//
// Unloading: the window class's procedure is the system's DefWindowProcW, and each window is
// given this module's procedure only while its queue lives. A queue ended on another thread
// (or by the module's unload) hands its window back to DefWindowProcW and asks it to close, so
// no message ever reaches code that is no longer mapped.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "platform/clock.h"
#include "platform/common/thread_queue_base.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

// Nothing in the module lives in thread-local storage: a thread-local object with a destructor
// would run after the module is unloaded, and keeps the runtime's per-thread hooks pointing into
// it.
std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(::GetCurrentThreadId());
}

namespace {

class TThreadQueueWin32;

// Wakes the owning thread to run posted work.
constexpr UINT kWakeMessage = WM_APP + 0x11;
// The one window timer of a queue: fires at its earliest due timer.
constexpr UINT_PTR kWindowTimerId = 1;
constexpr wchar_t kWindowClass[] = L"BrevorThreadQueue";

// Which queue owns which window. The window procedure takes a strong reference from here for as
// long as it runs the queue, so the queue cannot end under it.
class TQueueWindows {
public:
    void Add(HWND window, std::weak_ptr<TThreadQueueWin32> queue) {
        std::lock_guard lock(mutex_);
        windows_[window] = std::move(queue);
    }
    void Remove(HWND window) {
        std::lock_guard lock(mutex_);
        windows_.erase(window);
    }
    std::shared_ptr<TThreadQueueWin32> Find(HWND window) {
        std::lock_guard lock(mutex_);
        const auto it = windows_.find(window);
        return it == windows_.end() ? nullptr : it->second.lock();
    }

private:
    std::mutex mutex_;
    std::map<HWND, std::weak_ptr<TThreadQueueWin32>> windows_;
};

// Made before (and so destroyed after) the per-thread slots, whose queues remove themselves.
TQueueWindows g_queueWindows;

LRESULT CALLBACK QueueWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

// The calling thread's message-only window, with this module's procedure; null when the system
// refuses one (the queue then runs only when its owner processes it explicitly).
HWND CreateQueueWindow() {
    const HINSTANCE module = win32::OwnModuleHandle();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // The system's own procedure: a class left registered after an unload points at no code of
    // ours.
    windowClass.lpfnWndProc = &::DefWindowProcW;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kWindowClass;
    if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    module, nullptr);
    if (window != nullptr)
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&QueueWindowProc));
    return window;
}

class TThreadQueueWin32 : public detail::TThreadQueueBase {
public:
    // Made on the owning thread, which then owns the queue's window too.
    static std::shared_ptr<TThreadQueueWin32> Create() {
        auto queue = std::make_shared<TThreadQueueWin32>();
        queue->window_ = CreateQueueWindow();
        if (queue->window_ != nullptr) g_queueWindows.Add(queue->window_, queue);
        return queue;
    }

    TThreadQueueWin32() = default;
    ~TThreadQueueWin32() override {
        if (window_ == nullptr) return;
        g_queueWindows.Remove(window_);
        // A window that no longer belongs to the owning thread was destroyed with that thread
        // (and its handle may name another window now): it is left alone.
        if (::GetWindowThreadProcessId(window_, nullptr) != OwnerThread()) return;
        if (IsOwnerThread()) {
            ::DestroyWindow(window_);
            return;
        }
        // Only the owning thread may destroy the window; it closes it when it next processes
        // its messages, by then with the system's procedure.
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
    }
    TThreadQueueWin32(const TThreadQueueWin32 &) = delete;
    TThreadQueueWin32 &operator=(const TThreadQueueWin32 &) = delete;

protected:
    // Posting wakes the owning thread's message loop, and a new timer may be due earlier than
    // the armed window timer.
    void OwnerMayRun() override {
        if (window_ != nullptr) ::PostMessageW(window_, kWakeMessage, 0, 0);
    }
    void Processed() override { ArmWindowTimer(); }

private:
    // Owning thread: the window timer fires when the earliest timer is due, or is stopped when
    // there is none.
    void ArmWindowTimer() {
        if (window_ == nullptr) return;
        const std::optional<std::uint64_t> earliest = EarliestDueMs();
        if (!earliest) {
            ::KillTimer(window_, kWindowTimerId);
            return;
        }
        const std::uint64_t now = Clock().NowMs();
        const std::uint64_t delay = *earliest > now ? *earliest - now : 0;
        const UINT ms = static_cast<UINT>(std::clamp<std::uint64_t>(
            delay, USER_TIMER_MINIMUM, static_cast<std::uint64_t>(USER_TIMER_MAXIMUM)));
        ::SetTimer(window_, kWindowTimerId, ms, nullptr);
    }

    HWND window_ = nullptr;  // set once by Create, on the owning thread
};

// Runs the queue when its wake message or window timer arrives. No exception may travel into
// the system's message dispatch: one escaping here ends the process (noexcept) instead. The
// module's own timer ticks catch and report theirs.
LRESULT CALLBACK QueueWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == kWakeMessage || (msg == WM_TIMER && wParam == kWindowTimerId)) {
        if (const std::shared_ptr<TThreadQueueWin32> queue = g_queueWindows.Find(window))
            queue->ProcessMessages();
        return 0;
    }
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

}  // namespace

namespace {

// Each thread's queue, held in a fiber-local slot whose callback frees it when the thread ends.
// The index is freed when the module is unloaded, and the queues of threads still alive then
// are freed with it.
class TQueueSlots {
public:
    TQueueSlots() { index_ = ::FlsAlloc(&ThreadEnded); }
    ~TQueueSlots() {
        if (index_ == FLS_OUT_OF_INDEXES) return;
        ::FlsFree(index_);  // may run ThreadEnded for live threads; none runs after it
        std::lock_guard lock(mutex_);
        for (TSlot *slot : slots_)
            delete slot;
        slots_.clear();
    }
    TQueueSlots(const TQueueSlots &) = delete;
    TQueueSlots &operator=(const TQueueSlots &) = delete;

    std::shared_ptr<TThreadQueue> Current() {
        if (index_ == FLS_OUT_OF_INDEXES) return TThreadQueueWin32::Create();
        if (auto *slot = static_cast<TSlot *>(::FlsGetValue(index_))) return slot->Queue;
        auto *slot = new TSlot{TThreadQueueWin32::Create()};
        {
            std::lock_guard lock(mutex_);
            slots_.insert(slot);
        }
        ::FlsSetValue(index_, slot);
        return slot->Queue;
    }

private:
    struct TSlot {
        std::shared_ptr<TThreadQueue> Queue;
    };

    static void WINAPI ThreadEnded(void *value);

    DWORD index_ = FLS_OUT_OF_INDEXES;
    std::mutex mutex_;
    std::set<TSlot *> slots_;  // every live slot, freed here at the latest
};

TQueueSlots g_queueSlots;

void WINAPI TQueueSlots::ThreadEnded(void *value) {
    auto *slot = static_cast<TSlot *>(value);
    if (slot == nullptr) return;
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
