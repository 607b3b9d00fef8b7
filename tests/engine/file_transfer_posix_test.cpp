// The transfer engine's POSIX side: read leases, broken by a writer that arrives, the
// stand-still rule where no lease can be had, and the memory a send may take.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/file_transfer_fixture.h"
#include "support/file_faults.h"

namespace brevor::file_transfer_test {
namespace {

using testing::ScopedFileFaults;

// Opens path for writing from another process without waiting: true when the open was refused
// with EWOULDBLOCK (a lease held it back and the holder was asked to let go).
bool OpenForWritingElsewhereIsHeldBack(const std::string &path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        ::_exit(fd < 0 && errno == EWOULDBLOCK ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A writer that opens the file while the engine sends it is held back until the engine is done;
// the engine then leaves the file in place, because the writer already looked the name up and
// would write into a removed file. A later scan sends what it wrote and takes the action then.
// The break raises a signal in this process, which must do no harm.
TEST_F(FileTransferTest, WriterArrivingDuringTheSendPostponesDeleteAndEmpty) {
    struct Case {
        int mode;
        std::string late;  // what the writer adds once it got in
    };
    const Case cases[] = {
        {ReadAndDel, "late"}, {ReadAndDel, ""}, {ReadAndTrunc, "late"}, {ReadAndTrunc, ""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " late '" << c.late << "'");
        RecordingHost host;
        dir_.Write("q.log", "early");
        bool heldBack = false;
        host.onFirstSend = [&] {
            heldBack = OpenForWritingElsewhereIsHeldBack(dir_.File("q.log"));
        };
        log_.clear();
        engine_.ProcessFile(host.Target(), dir_.Path(), "q.log", 64, false, c.mode);
        EXPECT_TRUE(heldBack);
        EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 5}}));
        EXPECT_EQ(dir_.Read("q.log"), "early");

        dir_.Append("q.log", c.late);
        engine_.ProcessFile(host.Target(), dir_.Path(), "q.log", 64, false, c.mode);
        EXPECT_EQ(host.accepted, "early" + c.late);
        EXPECT_EQ(dir_.Exists("q.log"), c.mode == ReadAndTrunc);
        if (c.mode == ReadAndTrunc) {
            EXPECT_EQ(dir_.Read("q.log"), "");
        }
        std::filesystem::remove(dir_.File("q.log"));
        engine_.PruneFileStates();
    }
}

// Where no lease can be had, a file is taken only once its size and change time have stood
// still for a whole scan.
TEST_F(FileTransferTest, WithoutLeaseAFileIsTakenOnlyAfterItStoodStillForAScan) {
    ScopedFileFaults faults({{platform::TFileCall::Lease, "", EINVAL}});
    dir_.Write("s.log", "a");
    Scan("s.log", 64, ReadAndDel);
    EXPECT_TRUE(log_.empty());
    dir_.Append("s.log", "b");
    Scan("s.log", 64, ReadAndDel);
    EXPECT_TRUE(log_.empty());
    EXPECT_EQ(host_.calls, 0);
    Scan("s.log", 64, ReadAndDel);
    EXPECT_EQ(host_.accepted, "ab");
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 2}, {2, "FileDeleted", 0}}));
    EXPECT_GT(faults.Injected(), 0);
}

// The largest chunk size sends a small file in one call without asking for a buffer of the chunk
// size: run in a child process whose address space is limited to well below 2 GiB more than
// it already uses, as a 32-bit process's would be.
TEST_F(FileTransferTest, LargestChunkSizeTakesNoMoreMemoryThanTheFileNeeds) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#endif
    dir_.Write("small", "hello");
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::uint64_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const auto used = static_cast<rlim_t>(pages * static_cast<std::uint64_t>(::getpagesize()));
        const rlimit limit{used + (rlim_t{512} << 20), used + (rlim_t{512} << 20)};
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(2);
        Scan("small", INT32_MAX, ReadAndNoChange);
        const bool sent = host_.chunks == std::vector<std::string>{"hello"} &&
                          log_ == std::vector<LogLine>{{2, "FileDataExported", 5}};
        ::_exit(sent ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not sent in one call; 2: no limit could be set";
}

}  // namespace
}  // namespace brevor::file_transfer_test
