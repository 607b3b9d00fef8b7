#include "platform/paths.h"

#include <vector>

#include "platform/win32/win32_util.h"

namespace brevor::platform {

char PathSeparator() {
    return '\\';
}

bool IsPathSeparator(char c) {
    // The system reads either slash as a separator.
    return c == '\\' || c == '/';
}

std::string DefaultFolder() {
    return "C:\\your_folder";
}

std::string FullPathName(const std::string &path) {
    if (path.empty()) return path;
    const std::wstring wide = win32::Wide(path);
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()),
                                           buffer.data(), nullptr);
        if (n == 0) return path;
        if (n < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(n);
    }
}

}  // namespace brevor::platform
