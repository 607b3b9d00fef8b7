#include "engine/scan_modes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/scan_modes_fixture.h"

namespace brevor {
namespace {

using scan_modes_test::Host;
using scan_modes_test::ScanModesTest;

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
    // Names that differ in more than case, for folders that ignore case: the stamp is hhmmss,
    // mmss or ss of now.
    for (const char *name : {"log_100030.txt", "log_100025.txt", "log_.txt", "LOG_30.txt",
                             "log_0030.TXT", "log_100030.csv", "other.txt"})
        dir_.Write(name, name);
    settings_.PrefixTM = "log_";
    settings_.ExtTM = "txt";
    settings_.ScanInterval = 3.9;  // used as 3 whole seconds
    settings_.ReadModeTM = ReadAndDel;
    scanner_.ScanTimeMode(host_.Target(), settings_, now);
    EXPECT_EQ(host_.Sorted(),
              (std::vector<std::string>{"log_.txt", "log_0030.TXT", "log_100030.txt"}));
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
