// Replacing a settings file keeps what the system and its users attached to it: attributes and
// access rights.

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/temp_folder.h"

namespace brevor::testing {
namespace {

std::wstring W(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

bool OnWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::vector<std::string> Names(const TempFolder &dir) {
    std::vector<std::string> out;
    for (const auto &entry : std::filesystem::directory_iterator(dir.Path()))
        out.push_back(entry.path().filename().string());
    return out;
}

// The file's access list in the system's text form; empty when it cannot be read.
std::wstring Dacl(const std::string &path) {
    DWORD needed = 0;
    ::GetFileSecurityW(W(path).c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<unsigned char> descriptor(needed);
    if (::GetFileSecurityW(W(path).c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                           &needed) == FALSE)
        return {};
    wchar_t *text = nullptr;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr) == FALSE)
        return {};
    std::wstring out(text);
    ::LocalFree(text);
    return out;
}

bool SetDacl(const std::string &path, const wchar_t *sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                               nullptr) == FALSE)
        return false;
    const BOOL ok = ::SetFileSecurityW(W(path).c_str(), DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    return ok != FALSE;
}

constexpr DWORD kDosAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

TEST(Win32AtomicReplace, ReplacedFileKeepsItsAttributes) {
    TempFolder dir;
    const std::string path = dir.File("settings.ini");
    dir.Write("settings.ini", "old");
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_NE(::SetFileAttributesW(W(path).c_str(), attributes), FALSE);
    if ((::GetFileAttributesW(W(path).c_str()) & kDosAttributes) != attributes)
        GTEST_SKIP() << "the file system keeps no DOS attributes here";
    int error = 0;
    ASSERT_TRUE(platform::WriteFileAtomic(path, "new", error)) << error;
    EXPECT_EQ(::GetFileAttributesW(W(path).c_str()) & kDosAttributes, attributes);
    EXPECT_EQ(dir.Read("settings.ini"), "new");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"settings.ini"});
}

TEST(Win32AtomicReplace, ReadOnlyFileIsRefusedAndStaysAsItWas) {
    TempFolder dir;
    const std::string path = dir.File("settings.ini");
    dir.Write("settings.ini", "old");
    ASSERT_NE(::SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_READONLY), FALSE);
    int error = 0;
    EXPECT_FALSE(platform::WriteFileAtomic(path, "new", error));
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(dir.Read("settings.ini"), "old");
    EXPECT_NE(::GetFileAttributesW(W(path).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"settings.ini"});
    ::SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_NORMAL);  // so that it can be removed
}

TEST(Win32AtomicReplace, ReplacedFileKeepsItsAccessList) {
    TempFolder dir;
    const std::string path = dir.File("settings.ini");
    dir.Write("settings.ini", "old");
    // Protected from inheritance: full access for everyone, read access for the users group.
    const wchar_t *const kSddl = L"D:P(A;;FA;;;WD)(A;;FR;;;BU)";
    ASSERT_TRUE(SetDacl(path, kSddl));
    const std::wstring before = Dacl(path);
    if (before.find(L"(A;;FR;;;BU)") == std::wstring::npos) {
        if (OnWine()) GTEST_SKIP() << "Wine does not keep the access list set on a file";
        FAIL() << "the access list was not set";
    }
    int error = 0;
    ASSERT_TRUE(platform::WriteFileAtomic(path, "new", error)) << error;
    EXPECT_EQ(Dacl(path), before);
    EXPECT_EQ(dir.Read("settings.ini"), "new");
}

}  // namespace
}  // namespace brevor::testing
