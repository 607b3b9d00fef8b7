#include "rtl/exceptions.h"

#include "platform/platform.h"

namespace brevor {

Exception::Exception(const std::string &message)
    : std::runtime_error(message), frames_(platform::CaptureStackFrames(1)) {}

}  // namespace brevor
