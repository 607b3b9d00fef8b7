// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <winioctl.h>

#include "support/sparse_file.h"

namespace brevor::testing {

namespace {

bool MoveTo(HANDLE file, std::int64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    return ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

bool WriteSparse(const std::string &path, std::int64_t size,
                 const std::vector<SparsePiece> &pieces) {
    const HANDLE file =
        ::CreateFileW(platform::win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // Without the sparse mark NTFS would write zeros up to every piece; a file system without
    // sparse files refuses it, and then only time and space are lost.
    DWORD returned = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    bool ok = MoveTo(file, size) && ::SetEndOfFile(file) != FALSE;
    for (const SparsePiece &piece : pieces) {
        ok = ok && MoveTo(file, piece.offset);
        std::size_t done = 0;
        while (ok && done < piece.bytes.size()) {
            DWORD written = 0;
            ok = ::WriteFile(file, piece.bytes.data() + done,
                             static_cast<DWORD>(piece.bytes.size() - done), &written,
                             nullptr) != FALSE &&
                 written > 0;
            done += written;
        }
    }
    return ::CloseHandle(file) != FALSE && ok;
}

}  // namespace brevor::testing
