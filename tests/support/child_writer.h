#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace brevor::testing {

// A writer in another process that takes no lock: opens the file (appending or not), writes
// the first part, and keeps the file open until Finish() lets it write the second part and close.
class ChildWriter {
public:
    ChildWriter(const std::string &path, bool append, const std::string &first,
                const std::string &second) {
        int go[2];
        int ready[2];
        if (::pipe(go) != 0 || ::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : 0), 0644);
            char c = 'r';
            if (fd < 0 || ::write(fd, first.data(), first.size()) < 0 ||
                ::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1 ||
                ::write(fd, second.data(), second.size()) < 0)
                ::_exit(1);
            ::close(fd);
            ::_exit(0);
        }
        ::close(go[0]);
        ::close(ready[1]);
        go_ = go[1];
        char c = 0;
        if (::read(ready[0], &c, 1) != 1) pid_ = -1;  // the first part is in the file
        ::close(ready[0]);
    }
    ~ChildWriter() { Finish(); }
    // Lets the child write its second part and close; true when it did so.
    bool Finish() {
        if (pid_ <= 0) return false;
        const bool told = ::write(go_, "g", 1) == 1;
        ::close(go_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return told && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int go_ = -1;
};

}  // namespace brevor::testing
