#include "platform/common/system_clock.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform::detail {

std::uint64_t SystemMonotonicMs() {
    return ::GetTickCount64();
}

TDateTime SystemLocalNow() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    TDateTime t;
    t.Year = local.wYear;
    t.Month = local.wMonth;
    t.Day = local.wDay;
    t.Hour = local.wHour;
    t.Minute = local.wMinute;
    t.Second = local.wSecond > 59 ? 59 : local.wSecond;
    t.MSecond = local.wMilliseconds;
    t.DayOfWeek = local.wDayOfWeek == 0 ? 7 : local.wDayOfWeek;
    return t;
}

}  // namespace brevor::platform::detail
