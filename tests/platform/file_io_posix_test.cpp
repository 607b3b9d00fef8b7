// Atomic writes and what POSIX files carry besides their bytes: mode, owner, links.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

using testing::TempFolder;

std::vector<std::string> Names(const TempFolder &dir) {
    std::vector<std::string> out;
    for (const auto &entry : std::filesystem::directory_iterator(dir.Path()))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(FileIo, AtomicWriteKeepsModeAndFollowsLinks) {
    TempFolder dir;
    int error = -1;
    // A new file: the process's default permissions.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(WriteFileAtomic(dir.File("new"), "one", error));
    ::umask(mask);
    EXPECT_EQ(dir.Read("new"), "one");
    EXPECT_EQ(ModeOf(dir.File("new")), 0644u);

    // An existing file keeps its mode.
    ASSERT_EQ(::chmod(dir.File("new").c_str(), 0600), 0);
    ASSERT_TRUE(WriteFileAtomic(dir.File("new"), "two", error));
    EXPECT_EQ(dir.Read("new"), "two");
    EXPECT_EQ(ModeOf(dir.File("new")), 0600u);

    // And its owner, where this process may give files away.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.File("new").c_str(), 65534, 65534), 0);
        ASSERT_TRUE(WriteFileAtomic(dir.File("new"), "four", error));
        struct stat st {};
        ASSERT_EQ(::stat(dir.File("new").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }

    // A link stays a link; the file it names gets the content.
    std::filesystem::create_symlink("new", dir.File("link"));
    ASSERT_TRUE(WriteFileAtomic(dir.File("link"), "three", error));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
    EXPECT_EQ(dir.Read("new"), "three");
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"link", "new"}));
}

}  // namespace
}  // namespace brevor::platform
