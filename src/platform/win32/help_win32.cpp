// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <shellapi.h>

#include <string>

#include "platform/help.h"

namespace brevor::platform {

namespace {

bool IsRegularFile(const std::string &path) {
    const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::string HelpLocationFor(const std::string &modulePath) {
    if (modulePath.empty()) return {};
    const std::size_t slash = modulePath.find_last_of("\\/");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = modulePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? modulePath.substr(0, dot) : modulePath) + ".help";
}

std::string HelpPagePath(const std::string &helpLocation, std::int32_t context) {
    if (helpLocation.empty()) return {};
    std::string folder = helpLocation;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    std::string page = folder + std::to_string(context) + ".html";
    if (IsRegularFile(page)) return page;
    page = folder + "index.html";
    return IsRegularFile(page) ? page : std::string();
}

bool OpenHelpPage(const std::string &helpLocation, std::int32_t context) {
    const std::string page = HelpPagePath(helpLocation, context);
    if (page.empty()) return false;
    // The page opens in the program the system associates with HTML pages; ShellExecute's
    // result above 32 means the program was started.
    const HINSTANCE started = ::ShellExecuteW(nullptr, L"open", win32::Wide(page).c_str(), nullptr,
                                              nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}

}  // namespace brevor::platform
