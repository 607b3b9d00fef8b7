#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace brevor {

// Base of every error the module raises itself. The message is the 8-bit text a log line or a
// dialog shows.
// It records the stack where it was raised, for the crash report of a failing command.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string &message);
    const std::vector<void *> &StackFrames() const { return frames_; }

private:
    std::vector<void *> frames_;
};

// An internal consistency check failed ("Assertion failure", "Invalid call parameters").
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// A value could not be converted (text to number, variant to type).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A variant operation failed (unsupported type, overflow).
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace brevor
