// The test's registry roots on Windows: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process
// redirected (RegOverridePredefKey) to two keys of the test below the real HKEY_CURRENT_USER.

// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <sddl.h>

#include <cctype>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/registry_roots.h"

namespace brevor::testing {
namespace {

// Tells a child process where its parent's roots are: the path of their key below the real
// HKEY_CURRENT_USER.
constexpr const wchar_t *kBaseVariable = L"BREVOR_TEST_REGISTRY_KEY";
constexpr const wchar_t *kParentKey = L"Software\\brevor-tests";

HKEY CreateKey(const std::wstring &path) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the test's registry key");
    return key;
}

// Redirects both roots to the keys below base; the handles stay open while redirected.
void Redirect(const std::wstring &base, HKEY &currentUser, HKEY &localMachine) {
    currentUser = CreateKey(base + L"\\hkcu");
    localMachine = CreateKey(base + L"\\hklm");
    if (::RegOverridePredefKey(HKEY_CURRENT_USER, currentUser) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, localMachine) != ERROR_SUCCESS)
        throw std::runtime_error("cannot redirect the registry roots");
}

// Gives key and every key below it the access list given in the system's text form (the owner,
// this process, may always change the list itself).
void SetAccessBelow(HKEY key, const wchar_t *access) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(access, SDDL_REVISION_1, &descriptor,
                                                               nullptr) == FALSE)
        throw std::runtime_error("cannot make a security descriptor");
    const LONG status = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set a registry key's access");
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    for (const std::wstring &child : names) {
        HKEY sub = nullptr;
        if (::RegOpenKeyExW(key, child.c_str(), 0,
                            READ_CONTROL | WRITE_DAC | KEY_ENUMERATE_SUB_KEYS,
                            &sub) != ERROR_SUCCESS)
            throw std::runtime_error("cannot open a registry key to set its access");
        SetAccessBelow(sub, access);
        ::RegCloseKey(sub);
    }
}

// Everyone may do anything, or only read; kept by keys made below later.
constexpr const wchar_t *kFullAccess = L"D:(A;CI;KA;;;WD)";
constexpr const wchar_t *kReadAccess = L"D:P(A;CI;KR;;;WD)";

// True when the list (names separated by "," or blanks, any case) names the root by its short or
// full name.
bool Names(const std::string &list, const char *shortName, const char *fullName) {
    std::string word;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        const char c = i < list.size() ? list[i] : ',';
        if (c == ',' || c == ' ' || c == '\t') {
            if (word == shortName || word == fullName) return true;
            word.clear();
        } else {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return false;
}

}  // namespace

struct RegistryRoots::Saved {
    std::wstring base;
    HKEY currentUser = nullptr;
    HKEY localMachine = nullptr;
};

namespace {
// The keys of the roots now in use, for SetReadOnly.
HKEY currentUserKey = nullptr;
HKEY localMachineKey = nullptr;
}  // namespace

RegistryRoots::RegistryRoots(const std::string &, const std::string &) : saved_(new Saved) {
    std::random_device random;
    saved_->base = std::wstring(kParentKey) + L"\\" + std::to_wstring(::GetCurrentProcessId()) +
                   L"-" + std::to_wstring(random()) + L"-" + std::to_wstring(random());
    Redirect(saved_->base, saved_->currentUser, saved_->localMachine);
    ::SetEnvironmentVariableW(kBaseVariable, saved_->base.c_str());
    currentUserKey = saved_->currentUser;
    localMachineKey = saved_->localMachine;
}

RegistryRoots::~RegistryRoots() {
    currentUserKey = nullptr;
    localMachineKey = nullptr;
    // Read-only keys could not be deleted.
    SetAccessBelow(saved_->currentUser, kFullAccess);
    SetAccessBelow(saved_->localMachine, kFullAccess);
    ::SetEnvironmentVariableW(kBaseVariable, nullptr);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegCloseKey(saved_->currentUser);
    ::RegCloseKey(saved_->localMachine);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, saved_->base.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kParentKey);  // only goes when no other run uses it
}

void RegistryRoots::AdoptInChild() {
    wchar_t base[512];
    const DWORD length = ::GetEnvironmentVariableW(kBaseVariable, base, 512);
    if (length == 0 || length >= 512) return;
    HKEY currentUser = nullptr;
    HKEY localMachine = nullptr;
    // Kept open (and redirected) until the child ends.
    Redirect(base, currentUser, localMachine);
}

// The keys below the roots named refuse full access from now on (those made later too, as they
// take their parent's access); the other root's keys allow it again.
void RegistryRoots::SetReadOnly(const std::string &roots) {
    if (currentUserKey == nullptr) throw std::logic_error("no test registry roots to restrict");
    SetAccessBelow(currentUserKey,
                   Names(roots, "HKCU", "HKEY_CURRENT_USER") ? kReadAccess : kFullAccess);
    SetAccessBelow(localMachineKey,
                   Names(roots, "HKLM", "HKEY_LOCAL_MACHINE") ? kReadAccess : kFullAccess);
}

}  // namespace brevor::testing
