#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/file_faults.h"
#include "platform/file_io.h"
#include "platform/posix/open_checked.h"

namespace brevor::platform {

namespace {

// Closes a descriptor at the end of a scope unless it was handed on.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int Get() const { return fd_; }
    // Closes now; false (errno set) when the system reports an error, which for a file just
    // written can be a delayed write error.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const std::string &path, std::string_view bytes) {
    while (!bytes.empty()) {
        if (FileFault(TFileCall::Write, path) != 0) return false;
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool SyncFd(int fd, const std::string &path) {
    if (FileFault(TFileCall::Sync, path) != 0) return false;
    return ::fsync(fd) == 0;
}

std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a write to path lands in: a link is replaced by nothing but the file it names.
std::string WriteTarget(const std::string &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char *resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// Creates a temporary file beside target, named after it, that no other writer uses.
int CreateTemporary(const std::string &target, std::string &name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + "." + std::to_string(::getpid()) + "-" +
               std::to_string(counter.fetch_add(1)) + ".tmp";
        // 0666 less the process's umask: the permissions a new file would get.
        const int fd = OpenChecked(name, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

bool IsMissingFileError(int error) {
    return error == ENOENT || error == ENOTDIR;
}

bool ReadWholeFile(const std::string &path, std::string &bytes, int &error) {
    bytes.clear();
    error = 0;
    TFd fd(OpenChecked(path, O_RDONLY));
    if (fd.Get() < 0) {
        error = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n;
        if (FileFault(TFileCall::Read, path) != 0) {
            n = -1;
        } else {
            n = ::read(fd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
        }
        if (n < 0) {
            error = errno;
            bytes.clear();
            return false;
        }
        if (n == 0) return true;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WriteFileAtomic(const std::string &path, std::string_view bytes, int &error) {
    error = 0;
    const std::string target = WriteTarget(path);
    std::string temporary;
    TFd fd(CreateTemporary(target, temporary));
    if (fd.Get() < 0) {
        error = errno;
        return false;
    }
    auto fail = [&] {
        error = errno != 0 ? errno : EIO;
        if (fd.Get() >= 0) fd.Close();
        // Cleaning up must not be blocked by an injected fault.
        ::unlink(temporary.c_str());
        return false;
    };
    struct stat original {};
    if (::stat(target.c_str(), &original) == 0) {
        // Only a privileged process may give a file away; anyone else becomes its owner. The
        // owner goes first: changing it may clear the set-id bits that the mode then restores.
        if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
            if (::fchown(fd.Get(), original.st_uid, original.st_gid) != 0 &&
                ::fchown(fd.Get(), static_cast<uid_t>(-1), original.st_gid) != 0) {
                // Not allowed: the file then belongs to this process's user and group.
            }
        }
        if (::fchmod(fd.Get(), original.st_mode & 07777) != 0) return fail();
    }
    if (!WriteAll(fd.Get(), temporary, bytes)) return fail();
    if (!SyncFd(fd.Get(), temporary)) return fail();
    if (!fd.Close()) return fail();
    if (FileFault(TFileCall::Rename, target) != 0 ||
        ::rename(temporary.c_str(), target.c_str()) != 0)
        return fail();
    // The rename itself is only durable once the folder is on the disk.
    const std::string folder = FolderOf(target);
    // A folder this process may write but not read cannot be flushed; that is no failure.
    TFd dir(OpenChecked(folder, O_RDONLY | O_DIRECTORY));
    if (dir.Get() < 0) return true;
    if (!SyncFd(dir.Get(), folder)) {
        // File systems that cannot flush a folder say so; the rename stands either way.
        if (errno == EINVAL || errno == ENOTSUP) return true;
        error = errno;
        return false;
    }
    return true;
}

int OpenChecked(const std::string &path, int flags, mode_t mode) {
    if (FileFault(TFileCall::Open, path) != 0) return -1;
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace brevor::platform
