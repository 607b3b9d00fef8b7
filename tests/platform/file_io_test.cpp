#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace brevor::platform {
namespace {

using testing::ScopedFileFaults;
using testing::TempFolder;

std::vector<std::string> Names(const TempFolder &dir) {
    std::vector<std::string> out;
    for (const auto &entry : std::filesystem::directory_iterator(dir.Path()))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(FileIo, ReadWholeFile) {
    TempFolder dir;
    const std::string bytes = std::string("a\0b\r\n\x1a", 6) + std::string(200000, 'z');
    dir.Write("f", bytes);
    std::string read;
    int error = -1;
    ASSERT_TRUE(ReadWholeFile(dir.File("f"), read, error));
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(error, 0);

    EXPECT_FALSE(ReadWholeFile(dir.File("none"), read, error));
    EXPECT_TRUE(IsMissingFileError(error));
    EXPECT_TRUE(read.empty());

    ScopedFileFaults faults({{TFileCall::Read, "/f", EIO, 1}});  // the second read fails
    EXPECT_FALSE(ReadWholeFile(dir.File("f"), read, error));
    EXPECT_EQ(error, EIO);
    EXPECT_FALSE(IsMissingFileError(error));
    EXPECT_TRUE(read.empty());
}

TEST(FileIo, FailedAtomicWriteLeavesTheFileAndNoLeftovers) {
    const std::string original = "[A]\r\nk=1\r\n\r\n";
    struct Case {
        TFileCall call;
        int error;
    };
    for (const Case c : {Case{TFileCall::Open, EMFILE}, Case{TFileCall::Write, ENOSPC},
                         Case{TFileCall::Sync, EIO}, Case{TFileCall::Rename, EXDEV}}) {
        TempFolder dir;
        dir.Write("s.ini", original);
        ScopedFileFaults faults({{c.call, "s.ini", c.error}});
        int error = 0;
        EXPECT_FALSE(WriteFileAtomic(dir.File("s.ini"), std::string(100000, 'x'), error));
        EXPECT_EQ(error, c.error);
        faults.Clear();
        EXPECT_EQ(dir.Read("s.ini"), original);
        EXPECT_EQ(Names(dir), std::vector<std::string>{"s.ini"});
    }
    // A folder that does not exist.
    TempFolder dir;
    int error = 0;
    EXPECT_FALSE(WriteFileAtomic(dir.File("no/s.ini"), "x", error));
    EXPECT_TRUE(IsMissingFileError(error));
}

}  // namespace
}  // namespace brevor::platform
