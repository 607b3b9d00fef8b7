#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/files.h"

namespace brevor::platform {

// Sizes and offsets of files of 2 GiB and more: a 32-bit target must be built with a 64-bit
// off_t, or such files could not even be opened.
static_assert(sizeof(off_t) == 8, "build with -D_FILE_OFFSET_BITS=64");

namespace {

// The signal a lease break raises. Its default action is to ignore it, so no thread of a host
// can be ended by it; it is directed at the thread that took the lease, which blocks it.
constexpr int kLeaseBreakSignal = SIGURG;

// Opens path and takes the exclusive lock without waiting; -1 on any failure. Never waits for a
// lease held elsewhere either: such an open fails at once (EWOULDBLOCK).
int OpenLocked(const std::string &path, int flags, mode_t mode = 0) {
    if (FileFault(TFileCall::Open, path) != 0) return -1;
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The descriptor still refers to the file the path names (it was not removed or replaced
// between the open and the lock).
bool SameFile(int fd, const std::string &path) {
    struct stat byFd {};
    struct stat byPath {};
    if (::fstat(fd, &byFd) != 0 || ::lstat(path.c_str(), &byPath) != 0) return false;
    return byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino;
}

void BlockLeaseBreakSignalOnThisThread() {
    thread_local bool blocked = false;
    if (blocked) return;
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, kLeaseBreakSignal);
    blocked = ::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

// Takes a read lease on a descriptor opened read-only: 0 when held, otherwise the error (EAGAIN:
// the file is open for writing somewhere; EACCES/EPERM: not the file's owner; EINVAL/ENOSYS: the
// file system has no leases).
int TakeReadLease(int fd, const std::string &path) {
    if (const int fault = FileFault(TFileCall::Lease, path); fault != 0) return fault;
    BlockLeaseBreakSignalOnThisThread();
    // The signal is chosen before the lease exists, so a break can never raise the default one.
    if (::fcntl(fd, F_SETSIG, kLeaseBreakSignal) != 0) return errno;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) return errno;
    // Setting the lease made the whole process the owner; narrow it to this thread.
    struct f_owner_ex owner {};
    owner.type = F_OWNER_TID;
    owner.pid = static_cast<pid_t>(::gettid());
    ::fcntl(fd, F_SETOWN_EX, &owner);
    return 0;
}

}  // namespace

// The open descriptor, the path it was opened by, and whether the read lease is held.
struct TExclusiveFile::TImpl {
    int fd;
    std::string path;
    bool leased;
};

TExclusiveFile::TExclusiveFile(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<TExclusiveFile> TExclusiveFile::Open(const std::string &path, TOpenResult *result) {
    TOpenResult ignored = TOpenResult::Failed;
    TOpenResult &outcome = result != nullptr ? *result : ignored;
    outcome = TOpenResult::Failed;
    // Never blocks (a FIFO without a writer, a device) and never follows a link.
    const int fd =
        FileFault(TFileCall::Open, path) != 0
            ? -1
            : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) outcome = TOpenResult::Missing;
        if (error == ELOOP || error == ENXIO) outcome = TOpenResult::NotRegular;  // link, socket
        if (error == EWOULDBLOCK) outcome = TOpenResult::Busy;  // someone holds a write lease
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            outcome = TOpenResult::Missing;
        else if (st.st_mode != 0)
            outcome = TOpenResult::NotRegular;
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        outcome = TOpenResult::Busy;
        return nullptr;
    }
    const int lease = TakeReadLease(fd, path);
    if (lease == EAGAIN || lease == EWOULDBLOCK) {
        ::close(fd);
        outcome = TOpenResult::Busy;
        return nullptr;
    }
    // Another consumer of the folder may have finished this file between the open and the lock:
    // sent it, then removed the name or gave it to a new file while it held the lock. The
    // descriptor then holds a file that must not be sent again; what the name holds now is
    // another file, for a later scan.
    if (!SameFile(fd, path)) {
        struct stat byPath {};
        outcome = ::lstat(path.c_str(), &byPath) != 0 && errno == ENOENT ? TOpenResult::Missing
                                                                         : TOpenResult::Busy;
        ::close(fd);
        return nullptr;
    }
    outcome = TOpenResult::Opened;
    return std::unique_ptr<TExclusiveFile>(
        new TExclusiveFile(std::make_unique<TImpl>(TImpl{fd, path, lease == 0})));
}

TExclusiveFile::~TExclusiveFile() {
    // Closing the only descriptor releases the lease and the lock; a writer waiting for the
    // lease goes on at once.
    ::close(impl_->fd);
}

std::uint64_t TExclusiveFile::Identity() const {
    // Inode numbers are reused as soon as a file is removed, so the creation time, where the
    // file system keeps one, tells a new file that got the old number from the old file.
    struct statx sx {};
    if (::statx(impl_->fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0) return 0;
    std::uint64_t id = 1469598103934665603ull;
    auto mix = [&id](std::uint64_t v) { id = (id ^ v) * 1099511628211ull; };
    mix(sx.stx_dev_major);
    mix(sx.stx_dev_minor);
    mix(sx.stx_ino);
    if (sx.stx_mask & STATX_BTIME) {
        mix(static_cast<std::uint64_t>(sx.stx_btime.tv_sec));
        mix(sx.stx_btime.tv_nsec);
    }
    return id == 0 ? 1 : id;
}

std::int64_t TExclusiveFile::Size() const {
    struct stat st {};
    if (::fstat(impl_->fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::int64_t TExclusiveFile::ChangeTime() const {
    struct stat st {};
    if (::fstat(impl_->fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

bool TExclusiveFile::Seek(std::int64_t offset) {
    return ::lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

std::int64_t TExclusiveFile::Read(void *buffer, std::int64_t count) {
    auto *out = static_cast<char *>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        if (FileFault(TFileCall::Read, impl_->path) != 0) return total > 0 ? total : -1;
        const ssize_t n = ::read(impl_->fd, out + total, static_cast<size_t>(count - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            return total > 0 ? total : -1;
        }
        if (n == 0) break;
        total += n;
    }
    return total;
}

bool TExclusiveFile::IsGuarded() const {
    return impl_->leased;
}

bool TExclusiveFile::WriterWaiting() const {
    // While a break is under way the lease reads as the type it is being broken to.
    return impl_->leased && ::fcntl(impl_->fd, F_GETLEASE) != F_RDLCK;
}

bool TExclusiveFile::Delete() {
    return SameFile(impl_->fd, impl_->path) && FileFault(TFileCall::Delete, impl_->path) == 0 &&
           ::unlink(impl_->path.c_str()) == 0;
}

bool TExclusiveFile::Empty() {
    // A second, writable descriptor of this file would break the lease this one holds (and wait
    // for itself), so the name is given to a new empty file instead.
    if (FileFault(TFileCall::Truncate, impl_->path) != 0) return false;
    struct stat st {};
    if (::fstat(impl_->fd, &st) != 0 || !Delete()) return false;
    if (FileFault(TFileCall::Open, impl_->path) != 0) return false;
    const mode_t permissions = st.st_mode & 07777;
    const int fd = ::open(
        impl_->path.c_str(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, permissions);
    // A writer that created the name meanwhile left only its own new bytes under it.
    if (fd < 0) return errno == EEXIST;
    // The creation mask may have narrowed the permissions; the owner can be kept only where the
    // process may give files away, and is otherwise the process's own, as for any new file.
    bool ok = ::fchmod(fd, permissions) == 0;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM) ok = false;
    ::close(fd);
    return ok;
}

bool FileExists(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string &path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExtractFileName(std::string_view path) {
    const auto slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool RemoveFile(const std::string &path) {
    return FileFault(TFileCall::Delete, path) == 0 && ::unlink(path.c_str()) == 0;
}

bool CreateEmptyFile(const std::string &path) {
    const int fd = OpenLocked(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0) return false;
    const bool ok = ::ftruncate(fd, 0) == 0;
    ::close(fd);
    return ok;
}

void ListFolderFiles(const std::string &folder,
                     const std::function<void(std::string_view)> &visit) {
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) visit(name);
    }
    ::closedir(dir);
}

std::string PathKey(std::string_view path) {
    return std::string(path);
}

bool AppendExclusive(const std::string &path, const void *bytes, std::size_t count) {
    const int fd = OpenLocked(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) return false;
    // The reader may have removed the name after this open; appending to the removed file would
    // lose the bytes, so report failure and let the caller try again.
    if (!SameFile(fd, path)) {
        ::close(fd);
        return false;
    }
    const auto *p = static_cast<const char *>(bytes);
    std::size_t done = 0;
    while (done < count) {
        if (FileFault(TFileCall::Write, path) != 0) break;
        const ssize_t n = ::write(fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == count;
}

}  // namespace brevor::platform
