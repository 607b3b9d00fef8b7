#include "platform/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

using testing::ChildProcess;
using testing::ChildRole;
using testing::kChildTimeout;
using testing::RegistryRoots;
using testing::TempFolder;

class RegistryKeyTest : public ::testing::Test {
protected:
    std::unique_ptr<TRegistryKey> Open(std::string_view path, RegAccess access = RegAccess::All,
                                       bool create = false, RegRoot root = RegRoot::CurrentUser) {
        return TRegistryKey::Open(root, path, access, create);
    }

    TempFolder dir;
    RegistryRoots roots{dir.File("hkcu"), dir.File("hklm")};
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Every byte but NUL, which ends a text on Windows.
std::string TextBytes() {
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes += static_cast<char>(c);
    return bytes;
}

TEST_F(RegistryKeyTest, TypedValuesRoundTrip) {
    std::string allBytes(256, '\0');
    for (int c = 0; c < 256; ++c)
        allBytes[static_cast<std::size_t>(c)] = static_cast<char>(c);
    const struct {
        std::string name;
        RegValue value;
    } cases[] = {
        {"text", RegValue::Text("C:\\your_folder")},
        {"every byte", RegValue::Text(TextBytes())},
        {"expand", RegValue::Text("%HOME%/x", RegType::ExpandSz)},
        {"", RegValue::Text("the default value")},
        {"empty", RegValue::Text("")},
        {"zero", RegValue::Dword(0)},
        {"max", RegValue::Dword(0xFFFFFFFFu)},
        {"binary", RegValue::Binary(allBytes)},
        {"no bytes", RegValue::Binary("")},
        {"name\t\n%/\\=\xe9", RegValue::Dword(7)},
    };
    {
        auto key = Open("\\Software\\Brevor\\Types", RegAccess::All, true);
        ASSERT_TRUE(key);
        for (const auto &c : cases)
            EXPECT_TRUE(key->SetValue(c.name, c.value)) << c.name;
    }
    auto key = Open("Software\\Brevor\\Types", RegAccess::Read);
    ASSERT_TRUE(key);
    std::vector<std::string> names;
    for (const auto &c : cases) {
        RegValue read;
        ASSERT_TRUE(key->QueryValue(c.name, read)) << c.name;
        EXPECT_EQ(read, c.value) << c.name;
        names.push_back(c.name);
    }
    EXPECT_EQ(Sorted(key->ValueNames()), Sorted(names));
    EXPECT_EQ(RegValue::Dword(0x01020304).data, std::string("\x04\x03\x02\x01"));

    // Replacing keeps the stored name; deleting takes the value away.
    auto writer = Open("Software\\Brevor\\Types");
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->SetValue("TEXT", RegValue::Dword(1)));
    EXPECT_EQ(Sorted(writer->ValueNames()), Sorted(names));
    RegValue read;
    ASSERT_TRUE(key->QueryValue("Text", read));
    EXPECT_EQ(read, RegValue::Dword(1));
    EXPECT_TRUE(writer->DeleteValue("tExt"));
    EXPECT_FALSE(writer->DeleteValue("text"));
    EXPECT_FALSE(key->ValueExists("text"));
    // A key opened for reading refuses changes; malformed values are refused.
    EXPECT_FALSE(key->SetValue("x", RegValue::Dword(1)));
    EXPECT_FALSE(key->DeleteValue("zero"));
    EXPECT_FALSE(writer->SetValue("x", RegValue{RegType::Dword, "123"}));
    EXPECT_FALSE(writer->SetValue("x", RegValue{RegType::None, ""}));
}

TEST_F(RegistryKeyTest, KeyNamesIgnoreCase) {
    ASSERT_TRUE(Open("Software\\Brevor", RegAccess::All, true)->SetValue("v", RegValue::Dword(1)));
    // Found in any case, also Windows-1252 letters; leading, doubled and trailing "\" are skipped.
    auto other = Open("\\SOFTWARE\\\\brevor\\", RegAccess::All, true);
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->ValueExists("V"));
    ASSERT_TRUE(Open("Software\\\xC4rger", RegAccess::All, true));
    EXPECT_TRUE(Open("software\\\xE4RGER", RegAccess::Read));
    EXPECT_FALSE(Open("Software\\A", RegAccess::Read));
}

TEST_F(RegistryKeyTest, OpeningAndCreating) {
    EXPECT_FALSE(Open("Missing", RegAccess::Read));
    EXPECT_FALSE(Open("Missing", RegAccess::All));
    ASSERT_TRUE(Open("", RegAccess::All, true));
    EXPECT_TRUE(Open("", RegAccess::Read));
    ASSERT_TRUE(Open("A\\B\\C", RegAccess::All, true));
    EXPECT_TRUE(Open("a\\b", RegAccess::Read));
    // The roots are apart.
    ASSERT_TRUE(Open("K", RegAccess::All, true, RegRoot::LocalMachine)
                    ->SetValue("where", RegValue::Text("machine")));
    EXPECT_FALSE(Open("K", RegAccess::Read, false, RegRoot::CurrentUser));
    RegValue read;
    ASSERT_TRUE(
        Open("K", RegAccess::Read, false, RegRoot::LocalMachine)->QueryValue("where", read));
    EXPECT_EQ(read, RegValue::Text("machine"));
}

constexpr int kValuesPerProcess = 25;

// args[0]: the process's number. Sets its own values of one key, opening the key (with create)
// anew for each.
int RegistryWriterMain(const std::vector<std::string> &args) {
    RegistryRoots::AdoptInChild();
    const int p = std::stoi(args.at(0));
    int failures = 0;
    for (int v = 0; v < kValuesPerProcess; ++v) {
        // Opening with create also races on making the keys.
        auto key = TRegistryKey::Open(RegRoot::CurrentUser, v % 2 ? "Shared\\Key" : "SHARED\\KEY",
                                      RegAccess::All, true);
        if (!key || !key->SetValue("p" + std::to_string(p) + "-" + std::to_string(v),
                                   RegValue::Dword(static_cast<std::uint32_t>(p * 1000 + v))))
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
const ChildRole registryWriter("registry_writer", &RegistryWriterMain);

// Each process sets its own values of one key, one at a time: no process's values get lost.
// Measured runs of the file-backed registry without its key lock kept only 6 to 21 of the 150.
TEST_F(RegistryKeyTest, ConcurrentProcessesKeepEveryValue) {
    constexpr int kProcesses = 6;
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(
            std::make_unique<ChildProcess>("registry_writer", std::vector{std::to_string(p)}));
        ASSERT_TRUE(children.back()->Started());
    }
    for (auto &child : children)
        EXPECT_EQ(child->Wait(kChildTimeout), 0);
    auto key = Open("Shared\\Key", RegAccess::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ValueNames().size(), static_cast<std::size_t>(kProcesses * kValuesPerProcess));
    for (int p = 0; p < kProcesses; ++p)
        for (int v = 0; v < kValuesPerProcess; ++v) {
            RegValue read;
            ASSERT_TRUE(key->QueryValue("P" + std::to_string(p) + "-" + std::to_string(v), read));
            EXPECT_EQ(read, RegValue::Dword(static_cast<std::uint32_t>(p * 1000 + v)));
        }
}

}  // namespace
}  // namespace brevor::platform
