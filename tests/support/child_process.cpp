#include "support/child_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "support/child_process_system.h"

namespace brevor::testing {
namespace {

// A child's own lines begin with this, so that whatever else it prints (the test framework's
// banner) is told apart.
constexpr const char *kLineMark = "@brevor-child:";

std::map<std::string, ChildMain> &Roles() {
    static std::map<std::string, ChildMain> roles;
    return roles;
}

std::vector<std::string> SplitArgs(const std::string &packed) {
    std::vector<std::string> args;
    if (packed.empty()) return args;
    std::string::size_type begin = 0;
    for (;;) {
        const std::string::size_type end = packed.find(kChildArgSeparator, begin);
        args.push_back(packed.substr(begin, end - begin));
        if (end == std::string::npos) return args;
        begin = end + 1;
    }
}

// In a child, runs the role before any test and ends the process with its result; in the test
// program itself it does nothing.
class ChildRunner : public ::testing::Environment {
public:
    void SetUp() override {
        const std::optional<std::string> role = ChildVariable(kChildRoleVariable);
        if (!role) return;
        const auto found = Roles().find(*role);
        int code = 125;  // no such role
        if (found != Roles().end())
            code = found->second(SplitArgs(ChildVariable(kChildArgsVariable).value_or("")));
        std::fflush(stdout);
        // No tests, no destructors of static objects: the role's result is the whole run.
        std::_Exit(code);
    }
};

[[maybe_unused]] ::testing::Environment *const childRunner =
    ::testing::AddGlobalTestEnvironment(new ChildRunner);

}  // namespace

ChildRole::ChildRole(const char *name, ChildMain main) {
    Roles()[name] = main;
}

ChildProcess::ChildProcess(const std::string &role, const std::vector<std::string> &args) {
    std::string packed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) packed += kChildArgSeparator;
        packed += args[i];
    }
    system_ = StartChild(role, packed);
}

ChildProcess::~ChildProcess() {
    if (system_ && !system_->Wait(std::chrono::milliseconds(0))) system_->Kill();
}

bool ChildProcess::Started() const {
    return system_ != nullptr;
}

std::optional<std::string> ChildProcess::ReadLine() {
    if (!system_) return std::nullopt;
    const std::string mark = kLineMark;
    for (;;) {
        std::string::size_type end;
        while ((end = pending_.find('\n')) != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.compare(0, mark.size(), mark) == 0) return line.substr(mark.size());
        }
        char buffer[512];
        const long got = system_->Read(buffer, sizeof buffer);
        if (got <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

bool ChildProcess::WriteLine(const std::string &line) {
    return system_ && system_->Write(line + "\n");
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (!system_) return std::nullopt;
    return system_->Wait(timeout);
}

void ChildProcess::Kill() {
    if (system_) system_->Kill();
}

void TellParent(const std::string &line) {
    // The line feed first ends whatever the framework printed without one.
    std::printf("\n%s%s\n", kLineMark, line.c_str());
    std::fflush(stdout);
}

std::optional<std::string> HearFromParent() {
    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        line += static_cast<char>(c);
    }
    return std::nullopt;
}

}  // namespace brevor::testing
