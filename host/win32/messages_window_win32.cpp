#include <windows.h>

#include <future>
#include <stdexcept>
#include <string>

#include "brevor/abi.h"
#include "messages_window.h"

namespace brevor::host {

namespace {

constexpr wchar_t kWindowClass[] = L"BrevorHostMessagesWindow";
// Posted by Close: the window's thread destroys the window and leaves its loop.
constexpr UINT kCloseMessage = WM_APP + 1;

}  // namespace

struct TMessagesWindow::TChannel {
    TMessagesWindow *owner = nullptr;
    HWND window = nullptr;      // set by the window's thread before the constructor returns
    std::uint32_t lastSeq = 0;  // window's thread only
    bool closed = false;        // guarded by the owner's mutex_

    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto *channel = reinterpret_cast<TChannel *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (channel != nullptr) {
            if (msg == WM_COPYDATA || msg == BRV_WM_LOG_PENDING)
                return channel->Take(msg, wParam, lParam);
            if (msg == kCloseMessage) {
                ::DestroyWindow(window);
                return 0;
            }
            if (msg == WM_DESTROY) {
                ::PostQuitMessage(0);
                return 0;
            }
        }
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }

    // One message for the window: recorded, then answered by returning 1 unless stalled. A
    // send is answered when this returns, so a stalled window keeps taking messages in a loop
    // of its own until it is resumed or closed; the sender meanwhile gives up on its time limit.
    LRESULT Take(UINT msg, WPARAM wParam, LPARAM lParam) {
        const bool sent = ::InSendMessage() != FALSE;
        TWindowMessage message;
        message.Seq = sent ? ++lastSeq : 0;
        message.Msg = msg;
        message.WParam = static_cast<std::uint64_t>(wParam);
        if (msg == WM_COPYDATA) {
            const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
            if (data == nullptr) return 0;
            message.DataTag = static_cast<std::uint64_t>(data->dwData);
            if (data->lpData != nullptr && data->cbData > 0)
                message.Bytes.assign(static_cast<const char *>(data->lpData), data->cbData);
        }
        int delayMs = 0;
        if (!owner->Receive(std::move(message), delayMs)) {
            if (sent) PumpWhileStalled();
            return sent ? 0 : 1;
        }
        owner->WaitToAnswer(delayMs);
        return 1;
    }

    void PumpWhileStalled() {
        while (owner->Stalled() && !owner->Stopping()) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG queued;
            while (::PeekMessageW(&queued, nullptr, 0, 0, PM_REMOVE)) {
                if (queued.message == WM_QUIT) {
                    ::PostQuitMessage(static_cast<int>(queued.wParam));
                    return;
                }
                ::TranslateMessage(&queued);
                ::DispatchMessageW(&queued);
            }
        }
    }
};

TMessagesWindow::TMessagesWindow() : channel_(std::make_unique<TChannel>()) {
    channel_->owner = this;
    std::promise<DWORD> created;
    std::future<DWORD> result = created.get_future();
    thread_ = std::thread([this, &created] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &TChannel::WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        if (::RegisterClassExW(&windowClass) == 0 &&
            ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            created.set_value(::GetLastError());
            return;
        }
        // A message-only window: never shown, but a real window the module can send to.
        HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
        if (window == nullptr) {
            created.set_value(::GetLastError());
            return;
        }
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(channel_.get()));
        channel_->window = window;
        created.set_value(0);
        Run();
    });
    const DWORD error = result.get();
    if (error != 0) {
        thread_.join();
        throw std::runtime_error("cannot create the messages window: error " +
                                 std::to_string(error));
    }
}

TMessagesWindow::~TMessagesWindow() {
    Close();
}

std::intptr_t TMessagesWindow::ModuleHandle() const {
    return reinterpret_cast<std::intptr_t>(channel_->window);
}

void TMessagesWindow::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (channel_->closed) return;
        channel_->closed = true;
        stopping_ = true;
    }
    received_.notify_all();
    ::PostMessageW(channel_->window, kCloseMessage, 0, 0);
    if (thread_.joinable()) thread_.join();
}

void TMessagesWindow::Run() {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // The window is gone with its thread: IsWindow fails for the module from here on.
    if (::IsWindow(channel_->window)) ::DestroyWindow(channel_->window);
}

}  // namespace brevor::host
