#include "engine/file_masks.h"

#include <gtest/gtest.h>

namespace brevor {
namespace {

TEST(FileMasks, MaskTable) {
    struct Case {
        const char *name, *mask;
        bool match;
    };
    const Case cases[] = {
        {"DATA.TXT", "data.txt", true},
        {"dat.txt", "data.txt", false},
        {"data", "data.txt", false},
        {"data.t", "data.txt", false},
        {"a.txt", "*.txt", true},
        {".txt", "*.txt", true},
        {"noext", "*.*", false},
        {"a.b", "*.*", true},
        {"ab", "a*b", false},
        {"axb", "a*b", true},
        {"axyzb", "a*b", true},
        {"abc", "abc*", true},
        {"data", "data?", true},
        {"data1", "data?", true},
        {"report.csv", "*.csv", true},
        {"report.CSV", "*.csv", true},
        {"report.csv.bak", "*.csv", false},
        {"x.csv", "?.csv", true},
        {"xy.csv", "?.csv", false},
        {"a.txt", "*", false},
        {"\xC4PFEL.txt", "\xE4pfel.txt", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MatchFileMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
    EXPECT_TRUE(MatchMask("txt", "txt"));
    EXPECT_TRUE(MatchMask("TXT", "txt"));
    EXPECT_TRUE(MatchMask("", ""));
    EXPECT_FALSE(MatchMask("txt", ""));
}

TEST(FileMasks, TimeStampWindows) {
    const TLocalTime now{2026, 12, 10, 10, 0, 30};
    struct Case {
        const char *name;
        std::int64_t interval;
        bool match;
    };
    const Case cases[] = {
        {"log_100030.txt", 3, true},                   // the current time
        {"log_100025.txt", 3, false},                  // five seconds old
        {"log_100027.txt", 3, true},                   // at the edge of the window
        {"log_.txt", 3, true},                         // no stamp: every scan
        {"log_30.txt", 3, true},                       // seconds only
        {"log_59.txt", 3, false},                      // 10:00:59
        {"log_0030.txt", 3, true},                     // minutes and seconds
        {"log_20261210100031.txt", 3, true},           // full stamp
        {"log_20261310100031.txt", 3, false},          // month 13
        {"log_20260230100031.txt", 100000000, false},  // 30 February
        {"log_10003x.txt", 3, false},                  // not a number
        {"log_1000301.txt", 3, false},                 // length 7
        {"log_100030", 3, true},                       // no extension
    };
    for (const Case &c : cases)
        EXPECT_EQ(MatchTimeStampedName(c.name, 4, now, c.interval), c.match) << c.name;
}

TEST(FileMasks, ScheduleEntries) {
    const TTimeRec rec = ParseScheduleEntry(" * ||*||*|| 10 ||30||1||*.csv||0");
    EXPECT_EQ(CronTimerText(rec), "30 10 * * *");
    EXPECT_EQ(CronDisplayText(rec), "* * * 10 30");
    EXPECT_TRUE(rec.Decode);
    EXPECT_EQ(rec.FileMask, "*.csv");
    EXPECT_EQ(rec.ReadMode, 0);

    const TTimeRec fresh = ParseScheduleEntry(kNewScheduleEntry);
    EXPECT_EQ(CronTimerText(fresh), "* * * * *");
    EXPECT_FALSE(fresh.Decode);
    EXPECT_EQ(fresh.FileMask, "");
    EXPECT_EQ(fresh.ReadMode, 2);

    struct Case {
        const char *entry;
        std::int32_t readMode;
    };
    const Case modes[] = {{"1||2||3||4||5||0||m||x", 2},
                          {"1||2||3||4||5||0||m||", 2},
                          {"1||2||3||4||5||0||m||3||extra", 2},
                          {"1||2||3||4||5||0||m|| 1 ", 1}};
    for (const Case &c : modes)
        EXPECT_EQ(ParseScheduleEntry(c.entry).ReadMode, c.readMode) << c.entry;
    EXPECT_EQ(ParseScheduleEntry("").WeekDay, "");
}

}  // namespace
}  // namespace brevor
