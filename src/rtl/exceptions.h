#pragma once

#include <stdexcept>
#include <string>

namespace brevor {

// Base of every error the module raises itself. The message is the 8-bit text a log line or a
// dialog shows.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string &message) : std::runtime_error(message) {}
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
