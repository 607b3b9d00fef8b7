#pragma once

// Fault injection for the file layer. Every file operation of the platform layer asks the
// installed fault table before it touches the disk, so a test can make any of them fail the way
// the system would (a full disk on write, a read error in the middle of a file, a delete refused).
// Nothing is installed in a shipped module; the check then costs one atomic load.

#include <string>
#include <string_view>

namespace brevor::platform {

// The operations a fault can be injected into.
enum class TFileCall {
    Open,      // opening an existing file or creating one (any access)
    Read,      // one read of a file's bytes
    Write,     // one write of a file's bytes
    Delete,    // removing a file's name
    Truncate,  // emptying a file in place
    Rename,    // moving a file over another name
    Sync,      // flushing a file's bytes to the disk
    Lease,     // taking a read lease on an open file (refused: the system has none to give)
};

class TFileFaults {
public:
    virtual ~TFileFaults() = default;
    // The system error code (errno on POSIX, a Win32 error code on Windows) the call on path
    // fails with, or 0 to let it run. Called from any thread.
    virtual int Fault(TFileCall call, std::string_view path) = 0;
};

// Installs a fault table for the whole process (null removes it) and returns the previous one.
// The table must outlive every file operation that may still ask it.
TFileFaults *SetFileFaults(TFileFaults *faults);

// For the platform's implementations: the error code the call on path must fail with (after
// setting the thread's system error to it), or 0 when the call may run.
int FileFault(TFileCall call, std::string_view path);

// The calling thread's last system error code (errno, GetLastError()), and setting it.
int LastSystemError();
void SetLastSystemError(int code);
// The system's text for one of its error codes, in the system's language.
std::string SystemErrorText(int code);

}  // namespace brevor::platform
