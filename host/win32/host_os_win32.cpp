#include <windows.h>
// After <windows.h>, which it needs.
#include <oleauto.h>

#include <new>

#include "host_module.h"
#include "host_os.h"

namespace brevor::host {

namespace {

// Paths of the host are 8-bit texts in the system's ANSI code page.
std::wstring Wide(const std::string &text) {
    if (text.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring &text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n,
                          nullptr, nullptr);
    return narrow;
}

std::string ErrorText(DWORD code) {
    wchar_t *buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : " (" + Narrow(text) + ")");
}

}  // namespace

namespace os {

void *OpenLibrary(const std::string &path, std::string &error) {
    HMODULE library = ::LoadLibraryW(Wide(path).c_str());
    if (library == nullptr) error = ErrorText(::GetLastError());
    return reinterpret_cast<void *>(library);
}

void *FindSymbol(void *library, const char *name) {
    return reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void *library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}

void *SharedAlloc(std::size_t size) {
    void *p = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void *SharedRealloc(void *block, std::size_t size) {
    if (block == nullptr) return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    return ::HeapReAlloc(::GetProcessHeap(), 0, block, size);
}

void SharedFree(void *block) {
    if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

std::uint16_t *NewOleString(std::size_t units) {
    BSTR text = ::SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (text == nullptr) throw std::bad_alloc();
    return reinterpret_cast<std::uint16_t *>(text);
}

void FreeOleString(std::uint16_t *text) {
    ::SysFreeString(reinterpret_cast<BSTR>(text));
}

bool StdoutIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

namespace {
void (*g_onStop)() = nullptr;
// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (g_onStop != nullptr) g_onStop();
    return TRUE;
}
}  // namespace

void OnStopRequest(void (*onStop)()) {
    g_onStop = onStop;
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

}  // namespace os

std::uintptr_t HostProgramHandle() {
    return reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(nullptr));
}

std::string DefaultModulePath() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return "brevor.dll";
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    const auto slash = exe.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::string() : Narrow(exe.substr(0, slash + 1))) +
           "brevor.dll";
}

}  // namespace brevor::host
