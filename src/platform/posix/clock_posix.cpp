#include <time.h>

#include "platform/common/system_clock.h"

namespace brevor::platform::detail {

std::uint64_t SystemMonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

TDateTime SystemLocalNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    const time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    TDateTime t;
    t.Year = local.tm_year + 1900;
    t.Month = local.tm_mon + 1;
    t.Day = local.tm_mday;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    t.MSecond = static_cast<int>(ts.tv_nsec / 1000000);
    t.DayOfWeek = local.tm_wday == 0 ? 7 : local.tm_wday;
    return t;
}

}  // namespace brevor::platform::detail
