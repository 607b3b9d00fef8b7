#include "timing/cron.h"

#include <gtest/gtest.h>

namespace brevor {
namespace {

platform::TDateTime At(int hour, int minute, int day = 10, int month = 12, int dow = 4) {
    platform::TDateTime t;
    t.Year = 2026;
    t.Month = month;
    t.Day = day;
    t.Hour = hour;
    t.Minute = minute;
    t.DayOfWeek = dow;
    return t;
}

TEST(Cron, TextTable) {
    struct Case {
        const char *text;
        bool valid;
        std::vector<std::uint16_t> minutes;  // checked when valid and not empty
    };
    const Case cases[] = {
        {"* * * * *", true, {}},
        {"30 10 * * *", true, {30}},
        {"0-59/15 * * * *", true, {0, 15, 30, 45}},
        {"*/20 * * * *", true, {0, 20, 40}},
        {"* * * Jan-Mar Mn,Fr", true, {}},
        {"* * * * mn", false, {}},
        {"5/2 * * * *", false, {}},
        {"60 * * * *", false, {}},
        {"50-70 * * * *", true, {50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60,
                                 61, 62, 63, 64, 65, 66, 67, 68, 69, 70}},
        {"5-3 * * * *", false, {}},
        {"* * * *", false, {}},
        {"* * * * * extra", true, {}},
        {"*  * * * *", false, {}},
        {"? * * * *", true, {}},
        {"*/0 * * * *", false, {}},     // a step of 0 would never end
        {"0-65535 * * * *", true, {}},  // a range end near the 16-bit limit ends
        {"65566 * * * *", true, {30}},  // only the low 16 bits count
        {"5* * * * *", true, {}},       // 5 followed by *
        {"1,,2 * * * *", true, {1, 2}},
        {"- * * * *", false, {}},
        {"a * * * *", false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsCronText(c.text, kModuleCronTypes, " "), c.valid);
        const TZRTCron cron = ParseCronText(c.text, kModuleCronTypes, " ");
        EXPECT_EQ(cron[ctMinutes].empty(), !c.valid);
        if (c.valid && !c.minutes.empty()) {
            EXPECT_EQ(cron[ctMinutes], c.minutes);
        }
    }
    const TZRTCron names = ParseCronText("* * * Jan-Mar Mn,Fr", kModuleCronTypes, " ");
    EXPECT_EQ(names[ctMonths], (TZRTCronField{1, 2, 3}));
    EXPECT_EQ(names[ctWeekDays], (TZRTCronField{1, 5}));
    EXPECT_EQ(ParseCronField("Mn", ctMonths), (TZRTCronField{1}));  // weekday names tried first
    EXPECT_TRUE(ParseCronField("Jan", ctHours).empty());
    const platform::TDateTime now = At(10, 42);
    EXPECT_EQ(ParseCronField("?", ctMinutes, TCronNames{}, &now), (TZRTCronField{42}));
}

TEST(Cron, MatchesAndSameParts) {
    const TZRTCron cron = ParseCronText("30 10 * * *", kModuleCronTypes, " ");
    EXPECT_TRUE(CronMatches(cron, kModuleCronTypes, At(10, 30)));
    EXPECT_FALSE(CronMatches(cron, kModuleCronTypes, At(10, 31)));
    EXPECT_FALSE(CronMatches(TZRTCron{}, kModuleCronTypes, At(10, 30)));  // failed parse
    const TZRTCron weekdays = ParseCronText("* * * * Mn-Fr", kModuleCronTypes, " ");
    EXPECT_TRUE(CronMatches(weekdays, kModuleCronTypes, At(0, 0, 10, 12, 4)));
    EXPECT_FALSE(CronMatches(weekdays, kModuleCronTypes, At(0, 0, 13, 12, 7)));

    platform::TDateTime a = At(10, 30);
    platform::TDateTime b = a;
    b.Second = 59;
    EXPECT_TRUE(SameDateTimeParts(kModuleDateTimeTypes, a, b));
    EXPECT_FALSE(SameDateTimeParts(kAllDateTimeTypes, a, b));
    b.Minute = 31;
    EXPECT_FALSE(SameDateTimeParts(kModuleDateTimeTypes, a, b));
}

TEST(Cron, Tokens) {
    std::string_view text = "12Jan-*";
    TCronTokenKind kind;
    EXPECT_EQ(NextCronToken(text, false, kind), "12");
    EXPECT_EQ(text, "12Jan-*");  // peeking leaves the text
    EXPECT_EQ(NextCronToken(text, true, kind), "12");
    EXPECT_EQ(kind, TCronTokenKind::Number);
    EXPECT_EQ(NextCronToken(text, true, kind), "Jan");
    EXPECT_EQ(kind, TCronTokenKind::Name);
    EXPECT_EQ(NextCronToken(text, true, kind), "-");
    EXPECT_EQ(NextCronToken(text, true, kind), "*");
    EXPECT_EQ(NextCronToken(text, true, kind), "");
    EXPECT_EQ(kind, TCronTokenKind::Invalid);
    text = "ab?";
    EXPECT_EQ(NextCronToken(text, true, kind), "?");  // the collected name is dropped
}

TEST(Cron, CivilDates) {
    const platform::TDateTime t =
        platform::DateTimeFromSeconds(platform::SecondsFromDateTime(At(23, 59, 31, 12, 4)) + 60);
    EXPECT_EQ(t.Year, 2027);
    EXPECT_EQ(t.Month, 1);
    EXPECT_EQ(t.Day, 1);
    EXPECT_EQ(t.DayOfWeek, 5);  // 2027-01-01 is a Friday
}

}  // namespace
}  // namespace brevor
