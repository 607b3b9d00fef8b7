// Civil-date arithmetic: plain computation, the same on every platform.

#include "platform/clock.h"

namespace brevor::platform {

std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TDateTime DateTimeFromSeconds(std::int64_t seconds, int msecond) {
    std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    std::int64_t rest = seconds - days * 86400;
    TDateTime t;
    t.Hour = static_cast<int>(rest / 3600);
    t.Minute = static_cast<int>(rest % 3600 / 60);
    t.Second = static_cast<int>(rest % 60);
    t.MSecond = msecond;
    // 1970-01-01 was a Thursday (4).
    t.DayOfWeek = static_cast<int>(((days % 7) + 7 + 3) % 7) + 1;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    t.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.Year = static_cast<int>(yoe + era * 400 + (t.Month <= 2));
    return t;
}

std::int64_t SecondsFromDateTime(const TDateTime &t) {
    return DaysFromCivil(t.Year, t.Month, t.Day) * 86400 + t.Hour * 3600 + t.Minute * 60 + t.Second;
}

}  // namespace brevor::platform
