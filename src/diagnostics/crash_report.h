#pragma once

// The crash-report facility: call-stack texts for the log and for hosts.

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

namespace brevor {

// Return addresses of the calling thread's stack, innermost first, without the first skip
// frames (this function's own frame is never included).
std::vector<void *> CaptureStack(std::size_t skip = 0);

// One line per frame: "#n  address  module!function+0xoffset" (the function where the module's
// symbols tell it, else the offset in the module). CR LF between lines, none after the last.
std::string RenderStack(const std::vector<void *> &frames);

// The call-stack text of an exception being handled: where it was raised for the module's own
// exceptions (they record their stack), else the stack of the handler. Empty without frames.
std::string ExceptionStackText(const std::exception &e);

// One log line for an exception being handled: its class and message, then the frames of its
// call-stack text, each part separated by " | ":
// "std::runtime_error: boom | #0  0x...  brevor.so!Fn+0x1a | #1  ...". The module's own classes
// are named without their namespace ("EConvertError: ...").
std::string ExceptionLogText(const std::exception &e);
// The same for the exception currently being handled (call only inside a handler); one of no
// known class reads "unknown exception" followed by the handler's frames. Empty outside a
// handler.
std::string CurrentExceptionLogText();

}  // namespace brevor
