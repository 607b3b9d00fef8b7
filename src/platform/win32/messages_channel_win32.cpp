// The host's messages window: a real window of the host, reached with SendMessageTimeout
// (abort-if-hung) carrying WM_COPYDATA, and PostMessage.

#include "platform/messages_channel.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

HWND AsWindow(MessagesWindow window) {
    return reinterpret_cast<HWND>(window);
}

}  // namespace

bool IsMessagesWindow(MessagesWindow window) {
    return window != 0 && ::IsWindow(AsWindow(window)) != FALSE;
}

bool SendWindowMessage(MessagesWindow window, std::uint32_t msg, std::uint64_t wParam,
                       std::uint64_t dataTag, const void *bytes, std::size_t byteCount,
                       std::uint32_t timeoutMs, std::int64_t *result) {
    if (!IsMessagesWindow(window)) return false;
    // The window's thread answers one message at a time; the time limit of each send covers
    // its wait behind the others.
    COPYDATASTRUCT data{};
    LPARAM lParam = 0;
    if (msg == WM_COPYDATA) {
        if (byteCount > 0xFFFFFFFFu) return false;
        data.dwData = static_cast<ULONG_PTR>(dataTag);
        data.cbData = static_cast<DWORD>(byteCount);
        data.lpData = const_cast<void *>(bytes);
        lParam = reinterpret_cast<LPARAM>(&data);
    }
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(AsWindow(window), msg, static_cast<WPARAM>(wParam), lParam,
                              SMTO_ABORTIFHUNG, timeoutMs, &answer) == 0)
        return false;
    if (result != nullptr) *result = static_cast<std::int64_t>(static_cast<LONG_PTR>(answer));
    return true;
}

bool PostWindowMessage(MessagesWindow window, std::uint32_t msg, std::uint64_t wParam) {
    if (!IsMessagesWindow(window)) return false;
    return ::PostMessageW(AsWindow(window), msg, static_cast<WPARAM>(wParam), 0) != FALSE;
}

void PrepareMessagesChannel() {
    // The system keeps every piece of the channel's state.
}

}  // namespace brevor::platform
