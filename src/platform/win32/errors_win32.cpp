#include "platform/file_faults.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

int LastSystemError() {
    return static_cast<int>(::GetLastError());
}

void SetLastSystemError(int code) {
    ::SetLastError(static_cast<DWORD>(code));
}

std::string SystemErrorText(int code) {
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return {};
    std::wstring_view view(text, length);
    // The system ends its texts with a line break.
    while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' '))
        view.remove_suffix(1);
    std::string result = win32::Narrow(view);
    ::LocalFree(text);
    return result;
}

}  // namespace brevor::platform
