#include "platform/system_strings.h"

#include <vector>

#include "platform/win32/win32_util.h"

#include <uxtheme.h>

namespace brevor::platform {

namespace {

// The library that holds the standard button captions.
constexpr wchar_t kSystemStringsLibrary[] = L"user32.dll";

}  // namespace

bool SystemStringsAvailable() {
    return ::GetModuleHandleW(kSystemStringsLibrary) != nullptr;
}

std::string LoadSystemString(std::uint32_t id) {
    const HMODULE library = ::GetModuleHandleW(kSystemStringsLibrary);
    if (library == nullptr) return {};
    wchar_t buffer[1024] = {};
    const int n = ::LoadStringW(library, id, buffer, 1024);
    if (n <= 0) return {};
    return win32::Narrow(std::wstring_view(buffer, static_cast<std::size_t>(n)));
}

std::string ApplicationTitle() {
    // The program's file name without folder and extension.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            std::wstring_view path(buffer.data(), n);
            const std::size_t slash = path.find_last_of(L"\\/");
            if (slash != std::wstring_view::npos) path.remove_prefix(slash + 1);
            const std::size_t dot = path.find_last_of(L'.');
            if (dot != std::wstring_view::npos && dot > 0) path = path.substr(0, dot);
            return win32::Narrow(path);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ModernDialogLayout() {
    // Every Windows this module supports is 6.0 or later.
    return true;
}

bool ThemedSystemColor(std::string_view themeClass, std::uint32_t index, std::uint32_t &color) {
    if (::IsThemeActive() == FALSE) return false;
    HTHEME theme = ::OpenThemeData(nullptr, win32::Wide(themeClass).c_str());
    if (theme == nullptr) return false;
    color =
        static_cast<std::uint32_t>(::GetThemeSysColor(theme, static_cast<int>(index & 0xFFFFFF)));
    ::CloseThemeData(theme);
    return true;
}

}  // namespace brevor::platform
