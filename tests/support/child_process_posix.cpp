// Children on POSIX: posix_spawn of /proc/self/exe with two pipes. A build whose programs run
// under an emulator (BREVOR_TEST_EMULATOR, e.g. qemu-i386 for 32-bit programs on a kernel that
// runs none) starts its children through the same emulator: the kernel would refuse them.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "support/child_process_system.h"

extern char **environ;

namespace brevor::testing {
namespace {

class PosixChild : public ChildProcess::System {
public:
    PosixChild(pid_t pid, int toChild, int fromChild)
        : pid_(pid), toChild_(toChild), fromChild_(fromChild) {}
    ~PosixChild() override {
        ::close(toChild_);
        ::close(fromChild_);
        if (!exitCode_) {
            Kill();
        }
    }

    long Read(char *buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(fromChild_, buffer, size);
            if (got >= 0 || errno != EINTR) return static_cast<long>(got);
        }
    }
    bool Write(const std::string &bytes) override {
        // A child that ended must not end this process through SIGPIPE.
        struct sigaction ignore {
        }, old{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &old);
        const bool ok =
            ::write(toChild_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::sigaction(SIGPIPE, &old, nullptr);
        return ok;
    }
    std::optional<int> Wait(std::chrono::milliseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!exitCode_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (done < 0 && errno != EINTR) {
                exitCode_ = -1;
            } else if (std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return exitCode_;
    }
    void Kill() override {
        if (exitCode_) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        exitCode_ = 128 + SIGKILL;
    }

private:
    pid_t pid_;
    int toChild_;
    int fromChild_;
    std::optional<int> exitCode_;
};

}  // namespace

std::unique_ptr<ChildProcess::System> StartChild(const std::string &role, const std::string &args) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return nullptr;
    self[length] = '\0';

    std::vector<std::string> variables;
    for (char **v = environ; *v != nullptr; ++v) {
        if (std::strncmp(*v, "BREVOR_TEST_CHILD_", 18) != 0) variables.emplace_back(*v);
    }
    variables.push_back(std::string(kChildRoleVariable) + "=" + role);
    variables.push_back(std::string(kChildArgsVariable) + "=" + args);
    std::vector<char *> envp;
    for (std::string &v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return nullptr;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
#ifdef BREVOR_TEST_EMULATOR
    char emulator[] = BREVOR_TEST_EMULATOR;
    char *argv[] = {emulator, self, nullptr};
#else
    char *argv[] = {self, nullptr};
#endif
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (error != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return nullptr;
    }
    return std::make_unique<PosixChild>(pid, in[1], out[0]);
}

std::optional<std::string> ChildVariable(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace brevor::testing
