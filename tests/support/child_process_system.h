#pragma once

// The system's part of a child process (one source per system implements it).

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "support/child_process.h"

namespace brevor::testing {

// The environment variables that make a copy of the test program a child: the role's name, and
// its arguments separated by kChildArgSeparator.
inline constexpr const char *kChildRoleVariable = "BREVOR_TEST_CHILD_ROLE";
inline constexpr const char *kChildArgsVariable = "BREVOR_TEST_CHILD_ARGS";
inline constexpr char kChildArgSeparator = '\x1f';

class ChildProcess::System {
public:
    virtual ~System() = default;
    // Up to size bytes of the child's output; 0 at its end, negative on an error.
    virtual long Read(char *buffer, std::size_t size) = 0;
    virtual bool Write(const std::string &bytes) = 0;
    virtual std::optional<int> Wait(std::chrono::milliseconds timeout) = 0;
    virtual void Kill() = 0;
};

// Starts this test program again with the two variables set (in the child only) and its
// standard input and output on pipes to this process; null when it cannot be started.
std::unique_ptr<ChildProcess::System> StartChild(const std::string &role, const std::string &args);

// In a child: the value of one of the variables, nothing when it is not set.
std::optional<std::string> ChildVariable(const char *name);

}  // namespace brevor::testing
