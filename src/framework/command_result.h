#pragma once

// What a command or a data call tells the host besides a handler's own (positive) result.

#include <cstdint>

namespace brevor {

enum TCommandResult : std::int32_t {
    kCommandDone = 0,
    kCommandRefused = -1,     // not now, not here, or a required parameter is missing
    kCommandNotHandled = -2,  // no handler took the command
    kCommandFailed = -3,      // an exception; the module log says which
};

}  // namespace brevor
