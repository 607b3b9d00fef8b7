#pragma once

// The system's own time, one body per operating system; the real clock (clock_common.cpp) is
// built on these two and is the same everywhere.

#include <cstdint>

#include "platform/clock.h"

namespace brevor::platform::detail {

// Milliseconds on the system's monotonic counter.
std::uint64_t SystemMonotonicMs();
// The local date and time now, seconds capped at 59 (no leap second).
TDateTime SystemLocalNow();

}  // namespace brevor::platform::detail
