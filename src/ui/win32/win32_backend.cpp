#include "ui/win32/win32_backend.h"

// The system's headers come first through this one (the others need its definitions).
#include "ui/win32/win32_internal.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <deque>
#include <exception>
#include <mutex>

#include "platform/help.h"
#include "ui/controls.h"

namespace brevor {

using win32ui::Narrow;
using win32ui::Wide;

namespace {

const wchar_t kWakeClass[] = L"BrevorUiThread";

// A piece of work handed to the user-interface thread; the caller waits for done.
struct TCall {
    const std::function<void()> *work = nullptr;
    std::exception_ptr error;
    HANDLE done = nullptr;
};

// Declares the thread aware of each monitor's dots per inch where the system offers it
// (loaded at run time: older systems have no such call). Forms scale the model's pixels.
void BecomePerMonitorAware() {
    using TSetContext = HANDLE(WINAPI *)(HANDLE);
    const auto set = reinterpret_cast<TSetContext>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    if (!set) return;
    // Per monitor, version 2; version 1 where 2 is not known.
    if (!set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
        set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)));
}

// The caller's wait. Messages sent to the caller's own windows are handled (the form's owner
// may be one of them: enabling it and activation changes are sent to it), and its windows are
// painted, so an owner on this thread keeps drawing under the dialog and the thread never
// looks hung. Nothing posted is taken: the host's own code does not run under the wait.
void WaitHandlingSentMessages(HANDLE done) {
    for (;;) {
        const DWORD r =
            ::MsgWaitForMultipleObjects(1, &done, FALSE, 250, QS_SENDMESSAGE | QS_PAINT);
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_FAILED) {
            // The work still runs with the caller's data: wait for it in any case.
            ::WaitForSingleObject(done, INFINITE);
            break;
        }
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        // A window that never validates itself would be painted again and again: a few
        // rounds, then back to the wait.
        for (int i = 0; i < 16 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i)
            ::DispatchMessageW(&msg);
    }
}

// A memory device context with the measuring font selected; safe on any thread.
class TMeasuringDc {
public:
    TMeasuringDc() : dc_(::CreateCompatibleDC(nullptr)), font_(win32ui::MakeMessageFont(96)) {
        if (dc_ && font_) old_ = ::SelectObject(dc_, font_);
    }
    ~TMeasuringDc() {
        if (dc_ && old_) ::SelectObject(dc_, old_);
        if (font_) ::DeleteObject(font_);
        if (dc_) ::DeleteDC(dc_);
    }
    TMeasuringDc(const TMeasuringDc &) = delete;
    TMeasuringDc &operator=(const TMeasuringDc &) = delete;
    HDC Dc() const { return dc_; }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_ = nullptr;
};

}  // namespace

// ---------------------------------------------------------------- the user-interface thread

struct TWin32Backend::TThread : std::enable_shared_from_this<TWin32Backend::TThread> {
    std::mutex mutex;
    std::deque<TCall *> queue;
    bool running = false;      // a thread serves the queue
    DWORD id = 0;              // of the thread that serves it
    HWND wake = nullptr;       // that thread's message window, once made
    HANDLE handle = nullptr;   // of the latest thread
    HANDLE leaving = nullptr;  // set by the latest thread once it has let go of the module
    int depth = 0;             // pieces of work under way on the thread (nested in modal loops)

    struct TStart {
        std::shared_ptr<TThread> self;
        HMODULE module;  // a reference that keeps the code loaded until the thread ends
        HANDLE leaving;  // the thread's own handle of the event; it closes it
    };

    // Starts a thread; the mutex is held.
    bool Start() {
        HMODULE module = nullptr;
        static const int anchor = 0;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(&anchor), &module))
            return false;
        HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE threadsEvent = nullptr;
        if (!event || !::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(),
                                         &threadsEvent, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            if (event) ::CloseHandle(event);
            ::FreeLibrary(module);
            return false;
        }
        auto *start = new TStart{shared_from_this(), module, threadsEvent};
        DWORD threadId = 0;
        HANDLE h = ::CreateThread(nullptr, 0, &Main, start, 0, &threadId);
        if (!h) {
            delete start;
            ::CloseHandle(threadsEvent);
            ::CloseHandle(event);
            ::FreeLibrary(module);
            return false;
        }
        if (handle) ::CloseHandle(handle);
        if (leaving) ::CloseHandle(leaving);
        handle = h;
        leaving = event;
        id = threadId;
        running = true;
        wake = nullptr;
        return true;
    }

    static LRESULT CALLBACK WakeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == win32ui::kWmWake) {
            auto *self = reinterpret_cast<TThread *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            if (wParam) win32ui::CancelAllModals();
            if (self) self->Drain();
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    // Runs the queued work; at the outermost level an empty queue ends the thread.
    void Drain() {
        for (;;) {
            TCall *call = nullptr;
            {
                std::lock_guard lock(mutex);
                // A thread that has handed over to a newer one runs nothing more (a wake-up
                // posted to it before it quit still arrives).
                if (!running || id != ::GetCurrentThreadId()) return;
                if (queue.empty()) {
                    if (depth == 0) {
                        running = false;
                        wake = nullptr;
                        ::PostQuitMessage(0);
                    }
                    return;
                }
                call = queue.front();
                queue.pop_front();
                ++depth;
            }
            try {
                (*call->work)();
            } catch (...) {
                call->error = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                --depth;
            }
            ::SetEvent(call->done);
        }
    }

    // The thread's last steps are in the system: it lets go of the module and ends in one call.
    // Ending takes the loader lock, which an unload holds while it runs the module's
    // destructors; so a waiter takes the event, set just before, as the thread's end.
    static DWORD WINAPI Main(void *param) {
        auto *start = static_cast<TStart *>(param);
        HMODULE module = start->module;
        HANDLE leaving = start->leaving;
        {
            std::shared_ptr<TThread> self = std::move(start->self);
            delete start;
            self->Run();
        }
        ::SetEvent(leaving);
        ::CloseHandle(leaving);
        ::FreeLibraryAndExitThread(module, 0);
        return 0;
    }

    void Run() {
        BecomePerMonitorAware();
        // The module's manifest (resource 2) asks for the current common controls; without it
        // (the core linked into a program of its own) the controls keep the program's style.
        ACTCTXW manifest{};
        manifest.cbSize = sizeof manifest;
        manifest.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        manifest.hModule = platform::win32::OwnModuleHandle();
        manifest.lpResourceName = MAKEINTRESOURCEW(2);
        HANDLE context = ::CreateActCtxW(&manifest);
        ULONG_PTR cookie = 0;
        if (context != INVALID_HANDLE_VALUE && !::ActivateActCtx(context, &cookie)) cookie = 0;
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                           ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
        ::InitCommonControlsEx(&controls);
        HINSTANCE instance = platform::win32::OwnModuleHandle();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        if (!::GetClassInfoExW(instance, kWakeClass, &wc)) {
            wc.lpfnWndProc = &WakeProc;
            wc.hInstance = instance;
            wc.lpszClassName = kWakeClass;
            ::RegisterClassExW(&wc);
        }
        HWND window = ::CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        instance, nullptr);
        if (window) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
            std::lock_guard lock(mutex);
            wake = window;
        }
        // Without a window of its own the thread still serves what was queued; the work fails
        // by itself when it needs windows.
        Drain();
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (window) ::DestroyWindow(window);
        if (SUCCEEDED(com)) ::CoUninitialize();
        if (cookie) ::DeactivateActCtx(0, cookie);
        if (context != INVALID_HANDLE_VALUE) ::ReleaseActCtx(context);
    }

    void Stop() {
        HANDLE either[2] = {nullptr, nullptr};
        {
            std::lock_guard lock(mutex);
            if (running && wake) ::PostMessageW(wake, win32ui::kWmWake, 1, 0);
            // The thread's own unloading of the module ends here: it must not wait for itself.
            if (id != ::GetCurrentThreadId()) {
                either[0] = handle;
                either[1] = leaving;
            }
        }
        // Either the thread has ended (also when the ending process killed it) or it has done
        // its work and only lets go of the module, which it keeps loaded until then. Waiting for
        // its very end could wait for the loader lock that an unload holds.
        if (either[0]) ::WaitForMultipleObjects(2, either, FALSE, INFINITE);
        std::lock_guard lock(mutex);
        if (handle) ::CloseHandle(handle);
        if (leaving) ::CloseHandle(leaving);
        handle = nullptr;
        leaving = nullptr;
    }
};

TWin32Backend::TWin32Backend() : thread_(std::make_shared<TThread>()) {}

TWin32Backend::~TWin32Backend() {
    Shutdown();
}

void TWin32Backend::Shutdown() {
    thread_->Stop();
}

bool TWin32Backend::OnUiThread() const {
    std::lock_guard lock(thread_->mutex);
    return thread_->running && thread_->id == ::GetCurrentThreadId();
}

void TWin32Backend::RunOnUiThread(const std::function<void()> &work) {
    if (OnUiThread()) {
        work();
        return;
    }
    TCall call;
    call.work = &work;
    call.done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!call.done) throw EUiUnavailable("The user-interface thread cannot be waited for");
    {
        std::lock_guard lock(thread_->mutex);
        thread_->queue.push_back(&call);
        bool posted = false;
        if (thread_->running) {
            // Not yet with a window: the thread drains the queue once it has made it.
            posted = !thread_->wake || ::PostMessageW(thread_->wake, win32ui::kWmWake, 0, 0);
        }
        if (!posted && !thread_->Start()) {
            thread_->queue.pop_back();
            ::CloseHandle(call.done);
            throw EUiUnavailable("The user-interface thread could not be started");
        }
    }
    WaitHandlingSentMessages(call.done);
    ::CloseHandle(call.done);
    if (call.error) std::rethrow_exception(call.error);
}

int TWin32Backend::ShowModal(TCustomForm &form) {
    int result = mrNone;
    RunOnUiThread([&] { result = win32ui::ShowFormModal(form); });
    return result;
}

int TWin32Backend::ShowMessageBox(const std::string &text, const std::string &caption,
                                  unsigned flags) {
    int result = 0;
    try {
        RunOnUiThread([&] {
            HWND owner = win32ui::TopModalWindow();
            result = ::MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(),
                                   flags | (owner ? 0u : MB_TASKMODAL | MB_SETFOREGROUND));
        });
    } catch (const EUiUnavailable &) {
        return 0;
    }
    return result;
}

namespace {

int CALLBACK FolderDialogEvent(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

bool TWin32Backend::BrowseForFolder(const std::string &title, std::string &path) {
    bool chosen = false;
    try {
        RunOnUiThread([&] {
            const std::wstring wideTitle = Wide(title);
            const std::wstring start = Wide(path);
            BROWSEINFOW info{};
            info.hwndOwner = win32ui::TopModalWindow();
            info.lpszTitle = wideTitle.c_str();
            info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
            info.lpfn = &FolderDialogEvent;
            info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
            LPITEMIDLIST item = ::SHBrowseForFolderW(&info);
            if (!item) return;
            wchar_t buffer[MAX_PATH] = {};
            if (::SHGetPathFromIDListW(item, buffer)) {
                path = Narrow(buffer);
                chosen = true;
            }
            ::CoTaskMemFree(item);
        });
    } catch (const EUiUnavailable &) {
        return false;
    }
    return chosen;
}

bool TWin32Backend::BrowseForFile(const std::string &title, const std::string &folder,
                                  std::string &path) {
    bool chosen = false;
    try {
        RunOnUiThread([&] {
            const std::wstring wideTitle = Wide(title);
            const std::wstring start = Wide(folder);
            std::wstring buffer = Wide(path);
            buffer.resize(std::max<std::size_t>(buffer.size() + 1, 32768), L'\0');
            OPENFILENAMEW ofn{};
            ofn.lStructSize = sizeof ofn;
            ofn.hwndOwner = win32ui::TopModalWindow();
            ofn.lpstrFile = buffer.data();
            ofn.nMaxFile = static_cast<DWORD>(buffer.size());
            ofn.lpstrTitle = wideTitle.c_str();
            ofn.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
            ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
            if (!::GetOpenFileNameW(&ofn)) return;
            path = Narrow(buffer.c_str());
            chosen = true;
        });
    } catch (const EUiUnavailable &) {
        return false;
    }
    return chosen;
}

void TWin32Backend::ShowHelp(const std::string &helpFile, std::int32_t context) {
    // The page opens in its own program; a missing page shows nothing.
    platform::OpenHelpPage(helpFile, context);
}

TSize TWin32Backend::AverageCharSize(const TFont &) {
    TMeasuringDc m;
    SIZE size{0, 0};
    const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    if (!m.Dc() || !::GetTextExtentPoint32W(m.Dc(), letters, 52, &size)) return {7 * 52, 15};
    return {size.cx, size.cy};
}

TSize TWin32Backend::MeasureText(const TFont &, const std::string &text, int maxWidth,
                                 unsigned flags) {
    TMeasuringDc m;
    if (!m.Dc()) return MeasureMonospaced(text, maxWidth, flags, 7, 15);
    SIZE line{0, 0};
    ::GetTextExtentPoint32W(m.Dc(), L"Ag", 2, &line);
    if (text.empty()) return {0, line.cy};  // one line high, as a label showing it is
    const std::wstring wide = Wide(text);
    UINT format = DT_CALCRECT | DT_LEFT;
    if (flags & tfWordBreak) format |= DT_WORDBREAK;
    if (flags & tfExpandTabs) format |= DT_EXPANDTABS;
    if (flags & tfNoPrefix) format |= DT_NOPREFIX;
    if (flags & tfRightToLeft) format |= DT_RTLREADING;
    RECT r{0, 0, (flags & tfWordBreak) ? std::max(1, maxWidth) : 0, 0};
    ::DrawTextW(m.Dc(), wide.c_str(), static_cast<int>(wide.size()), &r, format);
    return {r.right - r.left, std::max<LONG>(r.bottom - r.top, line.cy)};
}

TSize TWin32Backend::IconSize(std::int32_t) {
    return {::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)};
}

TSize TWin32Backend::ScreenSize() {
    return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

// ---------------------------------------------------------------- the module's back end

namespace {

std::mutex g_installMutex;
TWin32Backend *g_installed = nullptr;

}  // namespace

void InstallWin32Backend() {
    std::lock_guard lock(g_installMutex);
    if (g_installed || !dynamic_cast<TNoUiBackend *>(&UiBackend())) return;
    g_installed = new TWin32Backend;
    SetUiBackend(g_installed);
}

void ShutdownWin32Backend() {
    std::lock_guard lock(g_installMutex);
    if (!g_installed) return;
    if (&UiBackend() == g_installed) SetUiBackend(nullptr);
    delete g_installed;
    g_installed = nullptr;
    // No thread of ours runs now (each keeps the module loaded): the classes can go, so that
    // the module loaded again registers its own procedures.
    HINSTANCE instance = platform::win32::OwnModuleHandle();
    ::UnregisterClassW(kWakeClass, instance);
    win32ui::UnregisterContainerClass();
}

}  // namespace brevor
