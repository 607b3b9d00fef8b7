// The file-backed registry of POSIX: its files and folders, its root folders, damaged files, the
// read-only roots, and the bytes only it can keep (NUL in names and texts).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/registry_posix.h"
#include "platform/registry.h"
#include "support/registry_roots.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

using testing::RegistryRoots;
using testing::TempFolder;

class FileRegistryTest : public ::testing::Test {
protected:
    std::unique_ptr<TRegistryKey> Open(std::string_view path, RegAccess access = RegAccess::All,
                                       bool create = false, RegRoot root = RegRoot::CurrentUser) {
        return TRegistryKey::Open(root, path, access, create);
    }
    // Sub-folders of a folder, i.e. the keys made there.
    static std::vector<std::string> Folders(const std::string &folder) {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (entry.is_directory()) names.push_back(entry.path().filename().string());
        return names;
    }

    TempFolder dir;
    RegistryRoots roots{dir.File("hkcu"), dir.File("hklm")};
};

TEST_F(FileRegistryTest, NulInNamesAndTextsRoundTrips) {
    std::string allBytes(256, '\0');
    for (int c = 0; c < 256; ++c)
        allBytes[static_cast<std::size_t>(c)] = static_cast<char>(c);
    const std::string name("name\t\n%\0/\\=", 10);
    auto key = Open("K", RegAccess::All, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetValue(name, RegValue::Text(allBytes)));
    ASSERT_TRUE(key->SetValue("name", RegValue::Dword(1)));  // a value of its own
    RegValue read;
    ASSERT_TRUE(Open("K", RegAccess::Read)->QueryValue(name, read));
    EXPECT_EQ(read, RegValue::Text(allBytes));
    // A replaced value keeps its place.
    ASSERT_TRUE(key->SetValue(name, RegValue::Dword(2)));
    EXPECT_EQ(key->ValueNames(), (std::vector<std::string>{name, "name"}));
}

TEST_F(FileRegistryTest, FileFormat) {
    auto key = Open("K", RegAccess::All, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(
        key->SetValue("Scan interval", RegValue::Binary(std::string("\0\0\0\0\0\0\x08@", 8))));
    ASSERT_TRUE(key->SetValue("Read", RegValue::Dword(4294967295u)));
    ASSERT_TRUE(key->SetValue("a%b\tc", RegValue::Text("x\r\ny\x7f\xe9%")));
    ASSERT_TRUE(key->SetValue("E", RegValue::Text("", RegType::ExpandSz)));
    EXPECT_EQ(dir.Read("hkcu/K/.values"),
              "BREVOR-REGISTRY 1\n"
              "REG_BINARY\tScan interval\t0000000000000840\n"
              "REG_DWORD\tRead\t4294967295\n"
              "REG_SZ\ta%25b%09c\tx%0D%0Ay%7F\xe9%25\n"
              "REG_EXPAND_SZ\tE\t\n");
}

TEST_F(FileRegistryTest, KeysStayInsideTheRootAsOneFolderEach) {
    ASSERT_TRUE(Open("Software\\Brevor", RegAccess::All, true)->SetValue("v", RegValue::Dword(1)));
    // Found in any case: no second folder is made.
    ASSERT_TRUE(Open("\\SOFTWARE\\\\brevor\\", RegAccess::All, true));
    EXPECT_EQ(Folders(dir.File("hkcu")), std::vector<std::string>{"Software"});
    EXPECT_EQ(Folders(dir.File("hkcu/Software")), std::vector<std::string>{"Brevor"});
    ASSERT_TRUE(Open("Software\\\xC4rger", RegAccess::All, true));
    ASSERT_TRUE(Open("software\\\xE4RGER", RegAccess::All, true));
    EXPECT_EQ(Folders(dir.File("hkcu/Software")).size(), 2u);

    // Names that mean something to the file system are plain key names.
    for (const std::string name : {"..", ".", "a/b", ".values", "%41"}) {
        auto key = Open("Software\\" + name, RegAccess::All, true);
        ASSERT_TRUE(key) << name;
        EXPECT_EQ(std::filesystem::path(key->Location()).parent_path(), dir.File("hkcu/Software"))
            << name;
        EXPECT_TRUE(key->SetValue("n", RegValue::Text(name)));
    }
    RegValue read;
    ASSERT_TRUE(Open("Software\\..", RegAccess::Read)->QueryValue("n", read));
    EXPECT_EQ(read.data, "..");
    ASSERT_TRUE(Open("Software\\%41", RegAccess::Read)->QueryValue("n", read));
    EXPECT_EQ(read.data, "%41");
    EXPECT_FALSE(Open("Software\\A", RegAccess::Read));
    // The key's own values did not turn into keys or values of another key.
    ASSERT_TRUE(Open("Software\\Brevor", RegAccess::Read)->QueryValue("v", read));
    EXPECT_EQ(read, RegValue::Dword(1));
}

TEST_F(FileRegistryTest, RootsWithoutFolderAndReadOnlyRoots) {
    EXPECT_FALSE(Open("", RegAccess::Read));  // the root folder does not exist yet
    EXPECT_FALSE(Open("K", RegAccess::All, true, RegRoot::Users));
    EXPECT_FALSE(Open("K", RegAccess::All, true, RegRoot::ClassesRoot));

    ASSERT_TRUE(Open("K", RegAccess::All, true, RegRoot::LocalMachine));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("hklm/K")));
    for (const std::string list : {"HKLM", "hkey_local_machine", "HKCU, HKLM", "x HKLM"}) {
        RegistryRoots::SetReadOnly(list);
        EXPECT_FALSE(Open("K", RegAccess::All, false, RegRoot::LocalMachine)) << list;
        EXPECT_FALSE(Open("New", RegAccess::All, true, RegRoot::LocalMachine)) << list;
        EXPECT_TRUE(Open("K", RegAccess::Read, false, RegRoot::LocalMachine)) << list;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("hklm/New")));
    RegistryRoots::SetReadOnly("HKLMX,HKCU");
    EXPECT_TRUE(Open("K", RegAccess::All, false, RegRoot::LocalMachine));
    EXPECT_FALSE(Open("", RegAccess::All, false, RegRoot::CurrentUser));

    // Without write permission on the folder (only meaningful when not running as root).
    if (::geteuid() != 0) {
        ASSERT_TRUE(Open("Locked", RegAccess::All, true, RegRoot::LocalMachine));
        std::filesystem::permissions(
            dir.File("hklm/Locked"),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_FALSE(Open("Locked", RegAccess::All, false, RegRoot::LocalMachine));
        EXPECT_TRUE(Open("Locked", RegAccess::Read, false, RegRoot::LocalMachine));
        std::filesystem::permissions(dir.File("hklm/Locked"), std::filesystem::perms::owner_all);
    }
}

TEST_F(FileRegistryTest, DefaultRootFolders) {
    ::unsetenv("BREVOR_REGISTRY_HKCU");
    ::unsetenv("BREVOR_REGISTRY_HKLM");
    const char *home = std::getenv("HOME");
    const std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(RegistryRootFolder(RegRoot::CurrentUser), "/cfg/brevor/registry");
    for (const char *ignored : {"", "relative/cfg"}) {
        ::setenv("XDG_CONFIG_HOME", ignored, 1);
        if (home) {
            EXPECT_EQ(RegistryRootFolder(RegRoot::CurrentUser),
                      std::string(home) + "/.config/brevor/registry");
        }
    }
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryRootFolder(RegRoot::LocalMachine), "/etc/brevor/registry");
    EXPECT_EQ(RegistryRootFolder(RegRoot::Users), "");
    if (!oldXdg.empty()) ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
}

TEST_F(FileRegistryTest, MalformedValuesFileReadsAsNoValues) {
    const std::string good = "BREVOR-REGISTRY 1\nREG_DWORD\tv\t1\n";
    const char *damaged[] = {
        "",  // an empty file is no values file either
        "BREVOR-REGISTRY 2\nREG_DWORD\tv\t1\n",
        "BREVOR-REGISTRY 1\nREG_DWORD\tv\t1",  // cut short
        "BREVOR-REGISTRY 1\nREG_QWORD\tv\t1\n",
        "BREVOR-REGISTRY 1\nREG_DWORD\tv\n",
        "BREVOR-REGISTRY 1\nREG_DWORD\tv\t\n",
        "BREVOR-REGISTRY 1\nREG_DWORD\tv\t4294967296\n",
        "BREVOR-REGISTRY 1\nREG_DWORD\tv\t-1\n",
        "BREVOR-REGISTRY 1\nREG_DWORD\tv\t1\t2\n",
        "BREVOR-REGISTRY 1\nREG_BINARY\tv\tabc\n",
        "BREVOR-REGISTRY 1\nREG_BINARY\tv\tzz\n",
        "BREVOR-REGISTRY 1\nREG_SZ\tv\t100%\n",
        "BREVOR-REGISTRY 1\nREG_SZ\tv\t%4G\n",
        "BREVOR-REGISTRY 1\nREG_SZ\tv\tx\r\n",
        "BREVOR-REGISTRY 1\nREG_SZ\tv\ta\nREG_SZ\tV\tb\n",  // the same name twice
        "\xff\xfe\x00garbage",
    };
    auto key = Open("K", RegAccess::All, true);
    ASSERT_TRUE(key);
    std::vector<RegNamedValue> parsed;
    ASSERT_TRUE(ParseRegistryValues(good, parsed));
    ASSERT_EQ(parsed.size(), 1u);
    for (const char *content : damaged) {
        const std::string text(content, content == damaged[15] ? 10 : std::strlen(content));
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseRegistryValues(text, parsed));
        EXPECT_TRUE(parsed.empty());
        dir.Write("hkcu/K/.values", text);
        EXPECT_FALSE(key->ValueExists("v"));
        EXPECT_TRUE(key->ValueNames().empty());
        // A write starts afresh and keeps the damaged file aside.
        EXPECT_TRUE(key->SetValue("w", RegValue::Dword(2)));
        EXPECT_EQ(dir.Read("hkcu/K/.values"), "BREVOR-REGISTRY 1\nREG_DWORD\tw\t2\n");
        EXPECT_EQ(dir.Read("hkcu/K/.values.damaged"), text);
    }
    // Upper- and lower-case hex, leading zeros.
    ASSERT_TRUE(
        ParseRegistryValues("BREVOR-REGISTRY 1\nREG_BINARY\tb\tfF0a\nREG_SZ\t%2f\t%2F\n"
                            "REG_DWORD\td\t0007\n",
                            parsed));
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0].value, RegValue::Binary("\xff\x0a"));
    EXPECT_EQ(parsed[1].name, "/");
    EXPECT_EQ(parsed[2].value, RegValue::Dword(7));
}

}  // namespace
}  // namespace brevor::platform
