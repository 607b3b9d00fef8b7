#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace brevor::platform {
namespace {

bool IsRegularFile(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutableFile(const std::string &path) {
    return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

// The full path of a program: a name with a "/" as it is, any other name looked up along PATH
// (an empty PATH entry is the current folder). Empty when there is no such executable file.
std::string FindProgram(const std::string &name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    const char *env = std::getenv("PATH");
    const std::string path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

void CloseQuietly(int fd) {
    if (fd >= 0) ::close(fd);
}

// Runs program with one argument in a grandchild that belongs to no one here: the intermediate
// child exits at once and is reaped, so no zombie remains, and the viewer outlives neither a
// wait nor the caller's terminal. Its standard streams are /dev/null. True once the program has
// been executed; an exec failure comes back through a close-on-exec pipe.
bool StartDetached(const std::string &program, const std::string &argument) {
    // Everything the children need is made before fork: after it only async-signal-safe calls.
    std::string programCopy = program;
    std::string argumentCopy = argument;
    char *const argv[] = {programCopy.data(), argumentCopy.data(), nullptr};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) return false;
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        ::close(devNull);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        CloseQuietly(devNull);
        CloseQuietly(status[0]);
        CloseQuietly(status[1]);
        return false;
    }
    if (child == 0) {
        ::close(status[0]);
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (grandchild < 0) {
                const int error = errno;
                (void)!::write(status[1], &error, sizeof error);
            }
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        ::setsid();
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &dfl, nullptr);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::execv(argv[0], argv);
        const int error = errno;
        (void)!::write(status[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(status[1]);
    ::close(devNull);
    int childStatus = 0;
    pid_t waited;
    do {
        waited = ::waitpid(child, &childStatus, 0);
    } while (waited < 0 && errno == EINTR);
    // ECHILD: the host has SIGCHLD ignored, so the child was reaped for us.
    bool ok =
        waited == child ? WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0 : errno == ECHILD;
    int error = 0;
    ssize_t n;
    do {
        n = ::read(status[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    if (n != 0) ok = false;  // an error number came back, or the pipe failed
    ::close(status[0]);
    return ok;
}

}  // namespace

std::string HelpLocationFor(const std::string &modulePath) {
    if (modulePath.empty()) return {};
    const std::size_t slash = modulePath.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = modulePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? modulePath.substr(0, dot) : modulePath) + ".help";
}

std::string HelpPagePath(const std::string &helpLocation, std::int32_t context) {
    if (helpLocation.empty()) return {};
    std::string folder = helpLocation;
    if (folder.back() != '/') folder += '/';
    // A relative location must not look like an option to the viewer.
    if (folder.front() == '-') folder.insert(0, "./");
    std::string page = folder + std::to_string(context) + ".html";
    if (IsRegularFile(page)) return page;
    page = folder + "index.html";
    return IsRegularFile(page) ? page : std::string();
}

bool OpenHelpPage(const std::string &helpLocation, std::int32_t context) {
    const std::string page = HelpPagePath(helpLocation, context);
    if (page.empty()) return false;
    const char *chosen = std::getenv("BREVOR_HELP_OPENER");
    const std::string program =
        FindProgram(chosen != nullptr && *chosen != '\0' ? chosen : "xdg-open");
    if (program.empty()) return false;
    return StartDetached(program, page);
}

}  // namespace brevor::platform
