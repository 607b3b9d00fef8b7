#include "engine/scan_modes.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "support/temp_folder.h"

namespace brevor {
namespace {

using testing::TempFolder;

// Records what each file sent, by the order chunks arrived.
struct Host {
    std::vector<std::string> chunks;
    static std::int32_t Send(std::uintptr_t ctx, std::int32_t, std::int32_t, const void *bytes,
                             std::int32_t n) {
        reinterpret_cast<Host *>(ctx)->chunks.emplace_back(static_cast<const char *>(bytes),
                                                           static_cast<size_t>(n));
        return n;
    }
    TSendTarget Target() { return {&Send, reinterpret_cast<std::uintptr_t>(this), 1}; }
    std::vector<std::string> Sorted() const {
        auto copy = chunks;
        std::sort(copy.begin(), copy.end());
        return copy;
    }
};

class ScanModesTest : public ::testing::Test {
protected:
    ScanModesTest()
        : engine_([this](TTransferOutcome outcome, const std::string &full, std::int64_t) {
              log_.push_back(std::string(OutcomeInfo(outcome).msgId) + " " +
                             full.substr(full.rfind('/') + 1));
          }),
          scanner_(engine_) {
        settings_.Folder = dir_.Path();
    }
    TempFolder dir_;
    std::vector<std::string> log_;
    TFileTransfer engine_;
    TFileScanner scanner_;
    TScanSettings settings_;
    Host host_;
};

TEST_F(ScanModesTest, SimpleScanSendsMatchingFilesAndPrunesStates) {
    for (const char *name : {"a.txt", "B.TXT", "c.csv", "d.txt.bak", "noext"})
        dir_.Write(name, name);
    settings_.FileSM = "*.txt";
    settings_.ReadModeSM = ReadAndNoChange;
    scanner_.ScanSimpleMode(host_.Target(), settings_);
    EXPECT_EQ(host_.Sorted(), (std::vector<std::string>{"B.TXT", "a.txt"}));
    std::filesystem::remove(dir_.File("a.txt"));
    scanner_.ScanSimpleMode(host_.Target(), settings_);  // unchanged B.TXT: nothing
    EXPECT_EQ(host_.chunks.size(), 2u);
    engine_.WithStates([](TFileStates &s) {
        EXPECT_EQ(s.Count(), 1);  // a.txt's state went with the file
        return 0;
    });
}

TEST_F(ScanModesTest, TimeScanPrefixExtensionAndStamp) {
    const TLocalTime now{2026, 12, 10, 10, 0, 30};
    for (const char *name : {"log_100030.txt", "log_100025.txt", "log_.txt", "LOG_100030.txt",
                             "log_100030.TXT", "log_100030.csv", "other.txt"})
        dir_.Write(name, name);
    settings_.PrefixTM = "log_";
    settings_.ExtTM = "txt";
    settings_.ScanInterval = 3.9;  // used as 3 whole seconds
    settings_.ReadModeTM = ReadAndDel;
    scanner_.ScanTimeMode(host_.Target(), settings_, now);
    EXPECT_EQ(host_.Sorted(),
              (std::vector<std::string>{"log_.txt", "log_100030.TXT", "log_100030.txt"}));
    EXPECT_TRUE(dir_.Exists("log_100025.txt"));
    EXPECT_FALSE(dir_.Exists("log_.txt"));

    settings_.PrefixTM = "";  // an empty prefix matches nothing
    host_.chunks.clear();
    scanner_.ScanTimeMode(host_.Target(), settings_, now);
    EXPECT_TRUE(host_.chunks.empty());
}

TEST_F(ScanModesTest, SchedulerEntryDecodesSendsAndDeletesItsFiles) {
    dir_.Write("one.csv", "a#3Bb");
    dir_.Write("two.csv", "c##d");
    dir_.Write("keep.txt", "x");
    settings_.Schedule = {"*||*||*||*||*||0||*.txt||2", "*||*||*||10||30||1||*.csv||0"};
    scanner_.ScanScheduler(host_.Target(), settings_, 1);
    EXPECT_EQ(host_.Sorted(), (std::vector<std::string>{"a;b", "c#d"}));
    EXPECT_FALSE(dir_.Exists("one.csv"));
    EXPECT_FALSE(dir_.Exists("two.csv"));
    EXPECT_TRUE(dir_.Exists("keep.txt"));
    for (int bad : {-1, 2, 99})
        scanner_.ScanScheduler(host_.Target(), settings_, bad);
    EXPECT_EQ(host_.chunks.size(), 2u);
}

TEST_F(ScanModesTest, PruneKeepsStatesOfFilesCreatedAfterTheListing) {
    dir_.Write("late.txt", "0123456789");
    // Another scan sent the file, which the listing of this one did not contain.
    engine_.ProcessFile(host_.Target(), dir_.Path(), "late.txt", 4, false, ReadAndNoChange);
    engine_.PruneFileStates(std::unordered_set<std::string>{});
    engine_.ProcessFile(host_.Target(), dir_.Path(), "late.txt", 4, false, ReadAndNoChange);
    EXPECT_EQ(host_.chunks.size(), 3u);  // sent once, not again from its start
}

// FIFOs, sockets and links are never opened, read, deleted or emptied, and cost no log line:
// a FIFO would block the open, and deleting or emptying through a link would hit its target.
TEST_F(ScanModesTest, SpecialFilesAndLinksAreLeftAlone) {
    ASSERT_EQ(::mkfifo(dir_.File("fifo.txt").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir_.File("sock.txt");
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    dir_.Write("target.dat", "precious");
    std::filesystem::create_symlink(dir_.File("target.dat"), dir_.File("link.txt"));
    std::filesystem::create_symlink(dir_.File("nowhere"), dir_.File("dangling.txt"));
    settings_.FileSM = "*.txt";
    for (int mode : {ReadAndDel, ReadAndTrunc}) {
        SCOPED_TRACE(mode);
        dir_.Write("plain.txt", "p");
        settings_.ReadModeSM = mode;
        log_.clear();
        host_.chunks.clear();
        scanner_.ScanSimpleMode(host_.Target(), settings_);
        EXPECT_EQ(host_.chunks, std::vector<std::string>{"p"});
        EXPECT_EQ(log_.size(), 2u);
        for (const std::string &line : log_)
            EXPECT_NE(line.find("plain.txt"), std::string::npos) << line;
        // Asked for by name, the engine does not open them either.
        log_.clear();
        for (const char *name : {"fifo.txt", "sock.txt", "link.txt", "dangling.txt"})
            engine_.ProcessFile(host_.Target(), dir_.Path(), name, 128, false, mode);
        EXPECT_TRUE(log_.empty());
        EXPECT_EQ(host_.chunks.size(), 1u);
        EXPECT_EQ(dir_.Read("target.dat"), "precious");
        EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("link.txt")));
    }
    ::close(sock);
}

TEST(ScanSettings, NumbersAreTruncatedAndClamped) {
    TScanSettings s;
    struct Case {
        double value;
        std::int64_t seconds;
    };
    const Case cases[] = {{3.9, 3}, {-2.5, -2}, {0, 0}, {1e30, 2147483647}, {-1e30, -2147483648LL}};
    for (const Case &c : cases) {
        s.ScanInterval = c.value;
        s.ChunkSize = c.value;
        EXPECT_EQ(s.IntervalSeconds(), c.seconds) << c.value;
        EXPECT_EQ(s.ChunkBytes(), c.seconds) << c.value;
    }
}

}  // namespace
}  // namespace brevor
