#pragma once

// Win32-internal helpers shared by the files of this folder: the system headers, text
// conversion between the module's 8-bit texts (Windows-1252) and the system's UTF-16, and a
// handle that closes itself.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace brevor::platform::win32 {

// The module's 8-bit text as the UTF-16 the wide system calls take.
inline std::wstring Wide(std::string_view text) {
    const std::u16string units = AnsiToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

// A UTF-16 text of the system as the module's 8-bit text.
inline std::string Narrow(std::wstring_view text) {
    return Utf16ToAnsi(std::u16string(text.begin(), text.end()));
}

// This module's own handle (the DLL the core is linked into), without taking a reference.
inline HMODULE OwnModuleHandle() {
    static const int anchor = 0;
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&anchor), &module) == FALSE)
        return nullptr;
    return module;
}

// Closes a kernel handle at the end of a scope unless it was handed on.
class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE handle) : handle_(handle) {}
    ~THandle() { Close(); }
    THandle(const THandle &) = delete;
    THandle &operator=(const THandle &) = delete;
    THandle(THandle &&other) noexcept : handle_(other.Release()) {}
    THandle &operator=(THandle &&other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    // Closes now; false (last error set) when the system reports an error.
    bool Close() {
        if (!Valid()) return true;
        const BOOL ok = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace brevor::platform::win32
