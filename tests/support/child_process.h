#pragma once

// Code of a test run in another process: the test program starts a copy of itself in which a
// registered role runs instead of the tests, and talks with it by lines over its standard input
// and output.
//
//   int HolderMain(const std::vector<std::string> &args) { ...; TellParent("held"); ... }
//   const ChildRole holder("lock_holder", &HolderMain);
//   ...
//   ChildProcess child("lock_holder", {name});
//   ASSERT_EQ(child.ReadLine(), "held");
//   EXPECT_EQ(child.Wait(kChildTimeout), 0);

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brevor::testing {

// What a role runs in the child; its result is the child's exit code.
using ChildMain = int (*)(const std::vector<std::string> &args);

// Registers a role under a name (at static initialisation, as a namespace-scope object).
class ChildRole {
public:
    ChildRole(const char *name, ChildMain main);
};

// Long enough for a child under an emulator on a loaded machine; a child that takes longer has
// hung.
inline constexpr std::chrono::milliseconds kChildTimeout{30000};

// A child process running one role. A child still running when the object goes is killed.
class ChildProcess {
public:
    ChildProcess(const std::string &role, const std::vector<std::string> &args);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool Started() const;
    // The next line the child told (TellParent); nothing once the child closed its output or
    // ended. Waits as long as the child neither tells nor ends.
    std::optional<std::string> ReadLine();
    // Sends one line to the child (HearFromParent); false when the child no longer listens.
    bool WriteLine(const std::string &line);
    // The child's exit code once it ended, nothing when it is still running after timeout.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    // Ends the child at once, as a crash would: it releases nothing itself.
    void Kill();

    // The system's part: starting, the two pipes, waiting and killing.
    class System;

private:
    std::unique_ptr<System> system_;
    std::string pending_;  // bytes read from the child after the last whole line
};

// In a child: tells the parent one line (no line feed inside).
void TellParent(const std::string &line);
// In a child: the next line the parent sent, nothing once the parent closed the pipe.
std::optional<std::string> HearFromParent();

}  // namespace brevor::testing
