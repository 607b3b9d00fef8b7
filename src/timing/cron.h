#pragma once

// Cron-style schedule texts: validation, parsing into value lists, and matching against a
// local date and time.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace brevor {

enum TZRTCronType : int {
    ctMSeconds = 0,
    ctSeconds,
    ctMinutes,
    ctHours,
    ctDays,
    ctMonths,
    ctWeekDays,
    ctYears,
};
// Bit k for cron type k.
using TZRTCronTypes = std::uint8_t;
inline constexpr TZRTCronTypes kAllCronTypes = 0xFF;
// Minute, hour, day of month, month, day of week: the module's five fields.
inline constexpr TZRTCronTypes kModuleCronTypes = 0x7C;

enum TZRTDateTimeType : int {
    dttMSecond = 0,
    dttSecond,
    dttMinute,
    dttHour,
    dttDay,
    dttMonth,
    dttWeekDay,
    dttYear,
};
using TZRTDateTimeTypes = std::uint8_t;
inline constexpr TZRTDateTimeTypes kAllDateTimeTypes = 0xFF;
inline constexpr TZRTDateTimeTypes kModuleDateTimeTypes = 0x7C;

using TZRTCronField = std::vector<std::uint16_t>;
using TZRTCron = std::array<TZRTCronField, 8>;

enum class TCronTokenKind { Invalid, Number, Name, Star, Slash, Dash, Comma, Question };

// The names month and weekday fields accept: weekday names for 1-7 (Monday first), month names
// for 1-12. Compared exactly, letter case included.
struct TCronNames {
    std::array<std::string, 7> WeekDays{"Mn", "Tu", "We", "Th", "Fr", "Sa", "Su"};
    std::array<std::string, 12> Months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
};

// Lowest and highest value of a field.
void CronFieldRange(TZRTCronType type, int &lowest, int &highest);

std::string NextCronToken(std::string_view &text, bool consume, TCronTokenKind &kind);
TZRTCronField ParseCronField(std::string_view text, TZRTCronType type,
                             const TCronNames &names = TCronNames{},
                             const platform::TDateTime *now = nullptr);
bool IsCronText(std::string_view text, TZRTCronTypes types, std::string_view separator,
                const TCronNames &names = TCronNames{});
TZRTCron ParseCronText(std::string_view text, TZRTCronTypes types, std::string_view separator,
                       const TCronNames &names = TCronNames{});
bool CronMatches(const TZRTCron &cron, TZRTCronTypes types, const platform::TDateTime &moment);
bool SameDateTimeParts(TZRTDateTimeTypes types, const platform::TDateTime &a,
                       const platform::TDateTime &b);

}  // namespace brevor
