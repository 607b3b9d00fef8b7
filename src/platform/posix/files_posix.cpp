#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/files.h"

namespace brevor::platform {

namespace {

// Opens path and takes the exclusive lock without waiting; -1 on any failure.
int OpenLocked(const std::string &path, int flags, mode_t mode = 0) {
    if (FileFault(TFileCall::Open, path) != 0) return -1;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
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
    if (::fstat(fd, &byFd) != 0 || ::stat(path.c_str(), &byPath) != 0) return false;
    return byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino;
}

}  // namespace

std::unique_ptr<TExclusiveFile> TExclusiveFile::Open(const std::string &path, bool *missing) {
    if (missing != nullptr) *missing = false;
    const int fd =
        FileFault(TFileCall::Open, path) != 0 ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (missing != nullptr) *missing = errno == ENOENT || errno == ENOTDIR;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (missing != nullptr) *missing = S_ISDIR(st.st_mode);
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<TExclusiveFile>(new TExclusiveFile(fd, path));
}

TExclusiveFile::~TExclusiveFile() {
    ::close(fd_);
}

std::uint64_t TExclusiveFile::Identity() const {
    // Inode numbers are reused as soon as a file is removed, so the creation time, where the
    // file system keeps one, tells a new file that got the old number from the old file.
    struct statx sx {};
    if (::statx(fd_, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0) return 0;
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
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool TExclusiveFile::Seek(std::int64_t offset) {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

std::int64_t TExclusiveFile::Read(void *buffer, std::int64_t count) {
    auto *out = static_cast<char *>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        if (FileFault(TFileCall::Read, path_) != 0) return total > 0 ? total : -1;
        const ssize_t n = ::read(fd_, out + total, static_cast<size_t>(count - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            return total > 0 ? total : -1;
        }
        if (n == 0) break;
        total += n;
    }
    return total;
}

bool TExclusiveFile::Truncate() {
    // The read descriptor cannot truncate; a second descriptor of the same file can, and the
    // lock held by the first keeps cooperating writers out meanwhile.
    if (FileFault(TFileCall::Truncate, path_) != 0) return false;
    const int w = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (w < 0) return false;
    bool ok = false;
    struct stat a {};
    struct stat b {};
    if (::fstat(w, &a) == 0 && ::fstat(fd_, &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
        ok = ::ftruncate(w, 0) == 0;
    ::close(w);
    return ok;
}

bool TExclusiveFile::Delete() {
    return SameFile(fd_, path_) && FileFault(TFileCall::Delete, path_) == 0 &&
           ::unlink(path_.c_str()) == 0;
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

std::int64_t ExclusiveFileSize(const std::string &path) {
    const auto file = TExclusiveFile::Open(path);
    return file ? file->Size() : -1;
}

bool DeleteFile(const std::string &path) {
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
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            isDir = ::fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isDir) visit(name);
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
