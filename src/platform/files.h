#pragma once

// Files and folders as the file feed needs them. Paths are 8-bit texts with the system's own
// separators (platform/paths.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace brevor::platform {

// How an attempt to take a file for reading went.
enum class TOpenResult {
    Opened,      // the file is open and no other process writes it
    Missing,     // no such file (a directory counts as missing)
    NotRegular,  // a link, FIFO, socket or device: never opened, never touched
    Busy,        // another process holds it open for writing, or holds the cooperating lock
    Failed,      // any other failure (permissions, I/O)
};

// A file opened for reading without sharing. On POSIX that is three things at once:
// - a read lease where the system grants one: refused while any process holds the file open for
//   writing, and while held it holds back any process that opens the file for writing (its open
//   waits until the lease is released). IsGuarded() tells whether the lease is held;
// - the cooperating exclusive lock that writers using AppendExclusive take;
// - an open that never blocks and never follows a link (FIFOs and devices are not opened).
// The lease's break signal is a signal whose default action is to ignore it, sent only to the
// opening thread, which blocks it; no process-wide handler is installed.
class TExclusiveFile {
public:
    // Null unless *result (when given) is Opened.
    static std::unique_ptr<TExclusiveFile> Open(const std::string &path,
                                                TOpenResult *result = nullptr);
    ~TExclusiveFile();
    TExclusiveFile(const TExclusiveFile &) = delete;
    TExclusiveFile &operator=(const TExclusiveFile &) = delete;

    // Identifies the file itself (not its name): changes when the name is given to another file.
    std::uint64_t Identity() const;
    // Current end-of-file offset, or -1.
    std::int64_t Size() const;
    // Nanoseconds of the file's last status change (writes, truncation, renames), or -1.
    std::int64_t ChangeTime() const;
    bool Seek(std::int64_t offset);
    // Reads up to count bytes at the current offset: the number read (0 at the end), or -1.
    std::int64_t Read(void *buffer, std::int64_t count);
    // True while the read lease is held: no other process has the file open for writing.
    bool IsGuarded() const;
    // True when a process is waiting to open the file for writing (it asked to break the lease):
    // it has already looked the name up, so the file must be neither removed nor replaced now.
    bool WriterWaiting() const;
    // Removes the file's name, so that no writer can append between the last size check and the
    // removal. False when the name no longer refers to this file or cannot be removed.
    bool Delete();
    // Replaces the file by an empty one of the same name and permissions: removes the name and
    // creates it again. The open descriptor is never made writable, so the lease stays held.
    bool Empty();

private:
    // The open file as this system holds it, its path and whether it is guarded.
    struct TImpl;
    explicit TExclusiveFile(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
};

// True when path names an existing file that is not a directory.
bool FileExists(const std::string &path);
// True for an existing folder (a link to one counts).
bool DirectoryExists(const std::string &path);
// The last component of a path: what follows the last folder separator.
std::string ExtractFileName(std::string_view path);
bool RemoveFile(const std::string &path);
// Creates (or empties) a file, read/write without sharing, and closes it.
bool CreateEmptyFile(const std::string &path);
// Calls visit for every regular file of the folder, in the order the file system returns them.
// Directories, symbolic links (to anything), FIFOs, sockets and devices are left out. A missing
// folder lists nothing.
void ListFolderFiles(const std::string &folder, const std::function<void(std::string_view)> &visit);
// The key under which per-file state is kept: paths that name the same file give the same key.
// File names are case-sensitive on POSIX, so the path itself is the key there.
std::string PathKey(std::string_view path);

// A writer that cooperates with TExclusiveFile: appends under the same exclusive lock and makes
// sure the name still refers to the file it locked. Returns false when the lock is held or the
// write fails (nothing written then).
bool AppendExclusive(const std::string &path, const void *bytes, std::size_t count);

}  // namespace brevor::platform
