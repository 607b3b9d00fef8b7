// Children on Windows: CreateProcessW of this program with two inherited pipe ends.

// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <string>
#include <vector>

#include "support/child_process_system.h"

namespace brevor::testing {
namespace {

using platform::win32::Narrow;
using platform::win32::THandle;
using platform::win32::Wide;

class Win32Child : public ChildProcess::System {
public:
    Win32Child(HANDLE process, HANDLE toChild, HANDLE fromChild)
        : process_(process), toChild_(toChild), fromChild_(fromChild) {}
    ~Win32Child() override {
        toChild_ = THandle();
        fromChild_ = THandle();
        Kill();
    }

    long Read(char *buffer, std::size_t size) override {
        DWORD got = 0;
        if (::ReadFile(fromChild_.Get(), buffer, static_cast<DWORD>(size), &got, nullptr) == FALSE)
            return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
        return static_cast<long>(got);
    }
    bool Write(const std::string &bytes) override {
        DWORD written = 0;
        return ::WriteFile(toChild_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) != FALSE &&
               written == bytes.size();
    }
    std::optional<int> Wait(std::chrono::milliseconds timeout) override {
        if (::WaitForSingleObject(process_.Get(), static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        if (::GetExitCodeProcess(process_.Get(), &code) == FALSE) return -1;
        return static_cast<int>(code);
    }
    void Kill() override {
        if (::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0) return;
        ::TerminateProcess(process_.Get(), 137);
        ::WaitForSingleObject(process_.Get(), INFINITE);
    }

private:
    THandle process_;
    THandle toChild_;
    THandle fromChild_;
};

// A pipe whose one end (the child's) is inherited and whose other end is not.
bool MakePipe(THandle &childEnd, THandle &ownEnd, bool childReads) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (::CreatePipe(&read, &write, &inherit, 0) == FALSE) return false;
    childEnd = THandle(childReads ? read : write);
    ownEnd = THandle(childReads ? write : read);
    return ::SetHandleInformation(ownEnd.Get(), HANDLE_FLAG_INHERIT, 0) != FALSE;
}

}  // namespace

std::unique_ptr<ChildProcess::System> StartChild(const std::string &role, const std::string &args) {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length == 0) return nullptr;
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);
    }
    THandle childIn, toChild, childOut, fromChild;
    if (!MakePipe(childIn, toChild, true) || !MakePipe(childOut, fromChild, false)) return nullptr;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn.Get();
    startup.hStdOutput = childOut.Get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + self + L"\"";
    PROCESS_INFORMATION started{};
    // The child inherits this process's environment, with the two variables set for it only.
    const std::wstring roleName = Wide(kChildRoleVariable);
    const std::wstring argsName = Wide(kChildArgsVariable);
    ::SetEnvironmentVariableW(roleName.c_str(), Wide(role).c_str());
    ::SetEnvironmentVariableW(argsName.c_str(), Wide(args).c_str());
    const BOOL created = ::CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                          0, nullptr, nullptr, &startup, &started);
    ::SetEnvironmentVariableW(roleName.c_str(), nullptr);
    ::SetEnvironmentVariableW(argsName.c_str(), nullptr);
    if (created == FALSE) return nullptr;
    ::CloseHandle(started.hThread);
    return std::make_unique<Win32Child>(started.hProcess, toChild.Release(), fromChild.Release());
}

std::optional<std::string> ChildVariable(const char *name) {
    const std::wstring wideName = Wide(name);
    const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length);
    return Narrow(value);
}

}  // namespace brevor::testing
