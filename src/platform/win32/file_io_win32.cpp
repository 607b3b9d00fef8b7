#include <atomic>
#include <string>
#include <vector>

#include "platform/file_faults.h"
#include "platform/file_io.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

// The file a write to path lands in: a link is replaced by nothing but the file it names.
std::wstring WriteTarget(const std::wstring &path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    win32::THandle file(::CreateFileW(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return path;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(file.Get(), buffer.data(),
                                                    static_cast<DWORD>(buffer.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return path;
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

bool WriteAll(HANDLE file, const std::string &path, std::string_view bytes) {
    while (!bytes.empty()) {
        if (FileFault(TFileCall::Write, path) != 0) return false;
        const DWORD ask = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (::WriteFile(file, bytes.data(), ask, &written, nullptr) == FALSE) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Creates a temporary file beside target, named after it, that no other writer uses, with the
// given attributes.
win32::THandle CreateTemporary(const std::wstring &target, DWORD attributes, std::wstring &name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter.fetch_add(1)) + L".tmp";
        if (FileFault(TFileCall::Open, win32::Narrow(name)) != 0) return win32::THandle();
        win32::THandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          attributes, nullptr));
        if (file.Valid() || ::GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return win32::THandle();
}

// Puts source in target's place. An existing target is replaced with ReplaceFileW, which gives
// the new file the replaced one's security descriptor and attributes (a file shared with other
// users stays so); a missing one is made by a rename that is on the disk when it returns. A file
// that any process holds open cannot be replaced, even where it shares deleting: readers of
// settings files keep them open only briefly, so the replacement is tried again for a short
// while (about half a second in all) before it fails.
bool ReplaceWith(const std::wstring &source, const std::wstring &target) {
    constexpr int kAttempts = 10;
    for (int attempt = 1;; ++attempt) {
        // Where ReplaceFileW removed the target but could not move source into its place
        // (ERROR_UNABLE_TO_MOVE_REPLACEMENT), the next attempt finds no target and renames.
        const BOOL done =
            ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES
                ? ::MoveFileExW(source.c_str(), target.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                : ::ReplaceFileW(target.c_str(), source.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                                 nullptr, nullptr);
        if (done != FALSE) return true;
        const DWORD error = ::GetLastError();
        const bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                          error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                          error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                          error == ERROR_FILE_NOT_FOUND;  // the target went away meanwhile
        if (attempt == kAttempts || !busy) return false;
        ::Sleep(static_cast<DWORD>(attempt * 10));
        ::SetLastError(error);
    }
}

}  // namespace

bool IsMissingFileError(int error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool ReadWholeFile(const std::string &path, std::string &bytes, int &error) {
    bytes.clear();
    error = 0;
    if (FileFault(TFileCall::Open, path) != 0) {
        error = LastSystemError();
        return false;
    }
    // Shared for deleting too, so that a writer can replace the file while it is read.
    win32::THandle file(::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.Get(), &size) != FALSE && size.QuadPart > 0)
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    std::vector<char> buffer(65536);
    for (;;) {
        DWORD got = 0;
        if (FileFault(TFileCall::Read, path) != 0 ||
            ::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                       nullptr) == FALSE) {
            error = LastSystemError();
            bytes.clear();
            return false;
        }
        if (got == 0) return true;
        bytes.append(buffer.data(), got);
    }
}

bool WriteFileAtomic(const std::string &path, std::string_view bytes, int &error) {
    error = 0;
    const std::wstring target = WriteTarget(win32::Wide(path));
    // A read-only file is not replaced, as the system refuses to; its other attributes (hidden,
    // system) are the new file's from the start, whatever the replacing call keeps.
    DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    attributes = attributes == INVALID_FILE_ATTRIBUTES || (attributes & kKept) == 0
                     ? FILE_ATTRIBUTE_NORMAL
                     : attributes & kKept;
    std::wstring temporary;
    win32::THandle file = CreateTemporary(target, attributes, temporary);
    if (!file.Valid()) {
        error = LastSystemError();
        return false;
    }
    const std::string temporaryName = win32::Narrow(temporary);
    auto fail = [&] {
        const DWORD code = ::GetLastError();
        error = code != 0 ? static_cast<int>(code) : ERROR_WRITE_FAULT;
        file.Close();
        // Cleaning up must not be blocked by an injected fault.
        ::DeleteFileW(temporary.c_str());
        return false;
    };
    if (!WriteAll(file.Get(), temporaryName, bytes)) return fail();
    if (FileFault(TFileCall::Sync, temporaryName) != 0 || ::FlushFileBuffers(file.Get()) == FALSE)
        return fail();
    if (!file.Close()) return fail();
    if (FileFault(TFileCall::Rename, win32::Narrow(target)) != 0 || !ReplaceWith(temporary, target))
        return fail();
    return true;
}

}  // namespace brevor::platform
