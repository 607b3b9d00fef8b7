// The test's registry roots on Windows: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process
// redirected (RegOverridePredefKey) to two keys of the test below the real HKEY_CURRENT_USER.

// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <random>
#include <stdexcept>
#include <string>

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

}  // namespace

struct RegistryRoots::Saved {
    std::wstring base;
    HKEY currentUser = nullptr;
    HKEY localMachine = nullptr;
};

RegistryRoots::RegistryRoots(const std::string &, const std::string &) : saved_(new Saved) {
    std::random_device random;
    saved_->base = std::wstring(kParentKey) + L"\\" + std::to_wstring(::GetCurrentProcessId()) +
                   L"-" + std::to_wstring(random()) + L"-" + std::to_wstring(random());
    Redirect(saved_->base, saved_->currentUser, saved_->localMachine);
    ::SetEnvironmentVariableW(kBaseVariable, saved_->base.c_str());
}

RegistryRoots::~RegistryRoots() {
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

}  // namespace brevor::testing
