#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

// The full path of a loaded module's file, or empty.
std::wstring ModuleFileName(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        // A full buffer means the name was cut short.
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// The module that holds an address, without taking a reference on it; null when none does.
HMODULE ModuleAt(const void *address) {
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module) == FALSE)
        return nullptr;
    return module;
}

}  // namespace

ModuleHandle FindLoadedModule(std::string_view fileName) {
    if (fileName.empty()) return 0;
    return reinterpret_cast<ModuleHandle>(::GetModuleHandleW(win32::Wide(fileName).c_str()));
}

void *FindModuleFunction(ModuleHandle module, const char *name) {
    if (module == 0 || name == nullptr) return nullptr;
    return reinterpret_cast<void *>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

bool PinLibrary(std::string_view fileName) {
    if (fileName.empty()) return false;
    const std::wstring name = win32::Wide(fileName);
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name.c_str(), &module) != FALSE)
        return true;
    // Not loaded yet: load it, then pin what was loaded (the load's own reference is kept too).
    if (::LoadLibraryW(name.c_str()) == nullptr) return false;
    return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name.c_str(), &module) != FALSE;
}

std::string OwnModulePath() {
    const HMODULE self = win32::OwnModuleHandle();
    if (self == nullptr) return {};
    return win32::Narrow(ModuleFileName(self));
}

bool GetWindowBounds(std::uintptr_t window, std::int32_t &left, std::int32_t &top,
                     std::int32_t &right, std::int32_t &bottom) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    RECT rect{};
    if (hwnd == nullptr || ::IsWindow(hwnd) == FALSE || ::GetWindowRect(hwnd, &rect) == FALSE)
        return false;
    left = rect.left;
    top = rect.top;
    right = rect.right;
    bottom = rect.bottom;
    return true;
}

[[gnu::noinline]] std::vector<void *> CaptureStackFrames(std::size_t skip) {
    void *frames[64];
    // One more frame skipped: this function's own.
    const USHORT n = ::RtlCaptureStackBackTrace(static_cast<DWORD>(skip + 1), 64, frames, nullptr);
    return std::vector<void *>(frames, frames + n);
}

TFrameDescription DescribeFrame(void *address) {
    TFrameDescription frame;
    const HMODULE module = ModuleAt(address);
    if (module == nullptr) return frame;
    const std::wstring path = ModuleFileName(module);
    if (path.empty()) return frame;
    frame.known = true;
    const std::size_t slash = path.find_last_of(L"\\/");
    frame.module = win32::Narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
    // Offsets from the module's start; symbol names from the module's own tables come later.
    frame.offset =
        reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
    return frame;
}

std::string OwnModuleVersion() {
#ifdef BREVOR_MODULE_VERSION
    return BREVOR_MODULE_VERSION;
#else
    return {};
#endif
}

}  // namespace brevor::platform
