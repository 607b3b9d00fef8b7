// The transfer engine's POSIX side: read leases, broken by a writer that arrives, the
// stand-still rule where no lease can be had, and the memory a send may take.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/file_transfer_fixture.h"
#include "support/child_process.h"
#include "support/file_faults.h"

namespace brevor::file_transfer_test {
namespace {

using testing::ChildProcess;
using testing::ChildRole;
using testing::kChildTimeout;
using testing::ScopedFileFaults;
using testing::TellParent;

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

// Another consumer of the same folder (an instance, or a host on another machine) that finishes
// a file between this engine's open and its lock: it sent the file and removed or replaced the
// name, so the descriptor this engine holds is of a file nobody may send again. Played by a
// fault table that acts when the engine, lock held, asks for its lease.
class OtherConsumer : public platform::TFileFaults {
public:
    OtherConsumer(std::string name, std::function<void()> act)
        : name_(std::move(name)), act_(std::move(act)) {
        previous_ = platform::SetFileFaults(this);
    }
    ~OtherConsumer() override { platform::SetFileFaults(previous_); }
    OtherConsumer(const OtherConsumer &) = delete;
    OtherConsumer &operator=(const OtherConsumer &) = delete;

    int Fault(platform::TFileCall call, std::string_view path) override {
        if (call == platform::TFileCall::Lease && path.ends_with(name_) && act_)
            std::exchange(act_, nullptr)();
        return 0;
    }

private:
    std::string name_;
    std::function<void()> act_;
    platform::TFileFaults *previous_ = nullptr;
};

TEST_F(FileTransferTest, AFileTakenByAnotherConsumerMeanwhileIsNotSentAgain) {
    struct Case {
        const char *what;
        int mode;
        const char *after;  // what the name holds once the other consumer is done; null: gone
    };
    const Case cases[] = {
        {"deleted", ReadAndDel, nullptr},
        {"emptied", ReadAndTrunc, ""},
        {"deleted, then a new file", ReadAndDel, "new"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        const std::string path = dir_.File("taken.txt");
        dir_.Write("taken.txt", "sent by the other consumer");
        {
            OtherConsumer other("taken.txt", [&] {
                std::filesystem::remove(path);
                if (c.after != nullptr) dir_.Write("taken.txt", c.after);
            });
            log_.clear();
            engine_.ProcessFile(host.Target(), dir_.Path(), "taken.txt", 8, false, c.mode);
        }
        EXPECT_EQ(host.accepted, "");
        if (c.after == nullptr) {
            EXPECT_FALSE(std::filesystem::exists(path));
            continue;
        }
        EXPECT_EQ(dir_.Read("taken.txt"), c.after);
        // What the name holds now is a file of its own, sent once at the next scan.
        engine_.ProcessFile(host.Target(), dir_.Path(), "taken.txt", 8, false, c.mode);
        EXPECT_EQ(host.accepted, c.after);
        std::filesystem::remove(path);
    }
}

// One consumer of a folder: scans it over and over until done() says no more files come and no
// file in it waits to be sent; the chunks its host took. A file that cannot be finished makes it
// give up after a minute.
std::vector<std::string> DrainFolder(const std::string &inbox, int mode,
                                     const std::function<bool()> &done) {
    RecordingHost host;
    TFileTransfer engine([](TTransferOutcome, const std::string &, std::int64_t) {});
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const bool last = done();  // then this listing comes after the last file arrived
        bool waiting = false;
        std::error_code ec;
        for (const auto &entry : std::filesystem::directory_iterator(inbox, ec)) {
            engine.ProcessFile(host.Target(), inbox, entry.path().filename().string(), 64, false,
                               mode);
            std::error_code sizeError;
            if (std::filesystem::file_size(entry.path(), sizeError) > 0 && !sizeError)
                waiting = true;
        }
        if ((last && !waiting) || std::chrono::steady_clock::now() > giveUp) return host.chunks;
    }
}

// The consumer in another process: says "ready", drains the folder until the marker file exists,
// then tells every chunk it took, and "end".
int ConsumerMain(const std::vector<std::string> &args) {
    const std::string marker = args.at(2);
    TellParent("ready");
    for (const std::string &chunk : DrainFolder(args.at(0), std::stoi(args.at(1)),
                                                [&] { return std::filesystem::exists(marker); }))
        TellParent(chunk);
    TellParent("end");
    return 0;
}
const ChildRole consumerRole("competing_consumer", &ConsumerMain);

// Two consumers draining one folder while complete files are renamed into it, as two engines of
// one process and as two processes: in the modes that remove what they sent, every file reaches
// exactly one of them, once.
TEST(CompetingConsumers, EveryFileReachesOneConsumerOnce) {
    constexpr int kFiles = 300;
    struct Case {
        int mode;
        bool otherProcess;
    };
    const Case cases[] = {
        {ReadAndDel, false}, {ReadAndTrunc, false}, {ReadAndDel, true}, {ReadAndTrunc, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << c.mode << (c.otherProcess ? ", two processes" : ""));
        TempFolder dir;
        const std::string inbox = dir.File("inbox");
        const std::string marker = dir.File("all-written");
        std::filesystem::create_directories(inbox);
        std::filesystem::create_directories(dir.File("staging"));
        std::atomic<bool> written{false};
        const auto done = [&] { return written.load(); };

        std::vector<std::string> chunks[2];
        std::thread second;
        std::optional<ChildProcess> child;
        if (c.otherProcess) {
            child.emplace("competing_consumer",
                          std::vector<std::string>{inbox, std::to_string(c.mode), marker});
            ASSERT_TRUE(child->Started());
            ASSERT_EQ(child->ReadLine(), "ready");  // both consumers scan before files arrive
        } else {
            second = std::thread([&] { chunks[1] = DrainFolder(inbox, c.mode, done); });
        }
        std::thread first([&] { chunks[0] = DrainFolder(inbox, c.mode, done); });
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            dir.Write("staging/" + name, "record " + std::to_string(i) + ";");
            std::filesystem::rename(dir.File("staging/" + name), inbox + "/" + name);
        }
        written = true;
        dir.Write("all-written", "");
        first.join();
        if (second.joinable()) second.join();
        if (child) {
            while (std::optional<std::string> line = child->ReadLine()) {
                if (*line == "end") break;
                chunks[1].push_back(*line);
            }
            EXPECT_EQ(child->Wait(kChildTimeout), 0);
        }

        // Every record's count over both hosts; only the wrong ones are shown.
        std::map<std::string, int> received;
        for (int i = 0; i < kFiles; ++i)
            received["record " + std::to_string(i) + ";"] = 0;
        for (const std::vector<std::string> &taken : chunks)
            for (const std::string &chunk : taken)
                ++received[chunk];
        std::erase_if(received, [](const auto &item) { return item.second == 1; });
        EXPECT_THAT(received, ::testing::IsEmpty()) << "records not received exactly once";
    }
}

// The largest chunk size sends a small file in one call without asking for a buffer of the
// chunk size: run in a child process whose address space is limited to well below 2 GiB more
// than it already uses, as a 32-bit process's would be.
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
