#pragma once

// Files and folders as the file feed needs them. Paths are 8-bit texts with "/" separators.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace brevor::platform {

// A file opened for reading without sharing: while it is open no cooperating process can open
// it (cooperating writers take the same exclusive lock), and the open fails when one holds it.
class TExclusiveFile {
public:
    // Null when the file does not exist (then *missing is set), cannot be opened, or is held by
    // someone else. A directory counts as missing.
    static std::unique_ptr<TExclusiveFile> Open(const std::string &path, bool *missing = nullptr);
    ~TExclusiveFile();
    TExclusiveFile(const TExclusiveFile &) = delete;
    TExclusiveFile &operator=(const TExclusiveFile &) = delete;

    // Identifies the file itself (not its name): changes when the name is given to another file.
    std::uint64_t Identity() const;
    // Current end-of-file offset, or -1.
    std::int64_t Size() const;
    bool Seek(std::int64_t offset);
    // Reads up to count bytes at the current offset: the number read (0 at the end), or -1.
    std::int64_t Read(void *buffer, std::int64_t count);
    // Empties the file in place while the lock is held; false when that is not possible.
    bool Truncate();
    // Removes the file's name while the lock is held, so that no cooperating writer can append
    // between the last size check and the removal.
    bool Delete();

private:
    TExclusiveFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

// True when path names an existing file that is not a directory.
bool FileExists(const std::string &path);
// True for an existing folder (a link to one counts).
bool DirectoryExists(const std::string &path);
// The last component of a path: what follows the last folder separator.
std::string ExtractFileName(std::string_view path);
// Size of a file opened read-only without sharing, or -1 when it cannot be opened.
std::int64_t ExclusiveFileSize(const std::string &path);
bool DeleteFile(const std::string &path);
// Creates (or empties) a file, read/write without sharing, and closes it.
bool CreateEmptyFile(const std::string &path);
// Calls visit for every entry of the folder that is not a directory, in the order the file
// system returns them ("." and ".." skipped). A missing folder lists nothing.
void ListFolderFiles(const std::string &folder, const std::function<void(std::string_view)> &visit);
// The key under which per-file state is kept: paths that name the same file give the same key.
// File names are case-sensitive on POSIX, so the path itself is the key there.
std::string PathKey(std::string_view path);

// A writer that cooperates with TExclusiveFile: appends under the same exclusive lock and makes
// sure the name still refers to the file it locked. Returns false when the lock is held or the
// write fails (nothing written then).
bool AppendExclusive(const std::string &path, const void *bytes, std::size_t count);

}  // namespace brevor::platform
