// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_io.h"
#include "platform/help.h"

namespace brevor::platform {

namespace {

bool IsRegularFile(const std::string &path) {
    const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The compiled help beside a help folder: "<base>.chm" for "<base>.help", empty otherwise.
std::string CompiledHelpFor(const std::string &helpLocation) {
    std::string base = helpLocation;
    while (!base.empty() && (base.back() == '\\' || base.back() == '/'))
        base.pop_back();
    constexpr std::string_view kFolderExtension = ".help";
    if (base.size() <= kFolderExtension.size() ||
        base.compare(base.size() - kFolderExtension.size(), kFolderExtension.size(),
                     kFolderExtension) != 0)
        return {};
    return base.substr(0, base.size() - kFolderExtension.size()) + ".chm";
}

// The HTML Help topic of a context: "<chm>::/<context>.html" when the compiled help holds that
// page, else the compiled help alone (its default topic, the overview). The file's directory
// names every page it holds in plain bytes ("/42.html"); the pages themselves are compressed.
// Empty when the file cannot be read.
std::string CompiledHelpTopic(const std::string &chm, std::int32_t context) {
    std::string bytes;
    int error = 0;
    if (!ReadWholeFile(chm, bytes, error)) return {};
    const std::string page = "/" + std::to_string(context) + ".html";
    return bytes.find(page) != std::string::npos ? chm + "::" + page : chm;
}

// The viewer that stands in for the system's (HTML Help, or the program associated with HTML
// pages), from BREVOR_HELP_OPENER; empty when not set.
std::wstring HelpOpener() {
    const DWORD size = ::GetEnvironmentVariableW(L"BREVOR_HELP_OPENER", nullptr, 0);
    if (size == 0) return {};
    std::vector<wchar_t> value(size);
    const DWORD n = ::GetEnvironmentVariableW(L"BREVOR_HELP_OPENER", value.data(), size);
    return n > 0 && n < size ? std::wstring(value.data(), n) : std::wstring();
}

// Starts the stand-in viewer with the topic or page as its one argument, without a console
// window and without waiting for it.
bool StartOpener(const std::wstring &opener, const std::string &target) {
    std::wstring commandLine = L"\"" + opener + L"\" \"" + win32::Wide(target) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(opener.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                         CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr, nullptr, &startup,
                         &process) == FALSE)
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

// Shows a topic in HTML Help (hhctrl.ocx, loaded on first use and kept: its viewer windows live
// on after the call). False when HTML Help is not there or cannot show the topic.
bool ShowInHtmlHelp(const std::string &topic) {
    using THtmlHelpW = HWND(WINAPI *)(HWND, LPCWSTR, UINT, DWORD_PTR);
    static const THtmlHelpW htmlHelp = [] {
        const HMODULE control = ::LoadLibraryW(L"hhctrl.ocx");
        return control == nullptr ? nullptr
                                  : reinterpret_cast<THtmlHelpW>(reinterpret_cast<void *>(
                                        ::GetProcAddress(control, "HtmlHelpW")));
    }();
    if (htmlHelp == nullptr) return false;
    constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
    return htmlHelp(::GetDesktopWindow(), win32::Wide(topic).c_str(), kDisplayTopic, 0) != nullptr;
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
    const std::wstring opener = HelpOpener();
    // The compiled help first; the page itself when there is none or HTML Help cannot show it.
    const std::string chm = CompiledHelpFor(helpLocation);
    if (!chm.empty() && IsRegularFile(chm)) {
        const std::string topic = CompiledHelpTopic(chm, context);
        if (!topic.empty()) {
            if (!opener.empty()) return StartOpener(opener, topic);
            if (ShowInHtmlHelp(topic)) return true;
        }
    }
    const std::string page = HelpPagePath(helpLocation, context);
    if (page.empty()) return false;
    if (!opener.empty()) return StartOpener(opener, page);
    // The page opens in the program the system associates with HTML pages; ShellExecute's
    // result above 32 means the program was started.
    const HINSTANCE started = ::ShellExecuteW(nullptr, L"open", win32::Wide(page).c_str(), nullptr,
                                              nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}

}  // namespace brevor::platform
