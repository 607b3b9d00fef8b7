// Files on Win32. The exclusive open is the system's own: CreateFileW with share mode 0, so no
// other process can open the file (for reading, writing, renaming or deleting) while the module
// holds it, and an open fails with a sharing violation while anyone else holds it.

#include <vector>

#include "platform/file_faults.h"
#include "platform/files.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

bool IsBusyError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

DWORD Attributes(const std::string &path) {
    return ::GetFileAttributesW(win32::Wide(path).c_str());
}

// Opens an existing file without sharing and without following a link, with the first of the
// access sets the caller may have: reading, writing (to empty it) and deleting; reading and
// deleting; reading alone.
win32::THandle OpenUnshared(const std::wstring &path) {
    static const DWORD kAccessChoices[] = {GENERIC_READ | GENERIC_WRITE | DELETE,
                                           GENERIC_READ | DELETE, GENERIC_READ};
    DWORD error = ERROR_ACCESS_DENIED;
    for (const DWORD access : kAccessChoices) {
        win32::THandle file(::CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
        if (file.Valid()) return file;
        error = ::GetLastError();
        // Only a refused access right is worth asking again with fewer rights.
        if (error != ERROR_ACCESS_DENIED) break;
    }
    ::SetLastError(error);
    return win32::THandle();
}

// The file index is unique on its volume while the file exists; the creation time tells a new file
// that got a reused index from the old one. Never 0 (0 means "no file seen yet" to the engine).
std::uint64_t IdentityOf(const BY_HANDLE_FILE_INFORMATION &info) {
    std::uint64_t id = 1469598103934665603ull;
    auto mix = [&id](std::uint64_t v) { id = (id ^ v) * 1099511628211ull; };
    mix(info.dwVolumeSerialNumber);
    mix((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
    mix((std::uint64_t{info.ftCreationTime.dwHighDateTime} << 32) |
        info.ftCreationTime.dwLowDateTime);
    return id == 0 ? 1 : id;
}

}  // namespace

// The open handle, the path it was opened by, and the file's identity taken at the open (it cannot
// change while the handle is open).
struct TExclusiveFile::TImpl {
    win32::THandle file;
    std::string path;
    std::uint64_t identity = 0;
};

TExclusiveFile::TExclusiveFile(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<TExclusiveFile> TExclusiveFile::Open(const std::string &path, TOpenResult *result) {
    TOpenResult ignored = TOpenResult::Failed;
    TOpenResult &outcome = result != nullptr ? *result : ignored;
    outcome = TOpenResult::Failed;
    win32::THandle file;
    if (FileFault(TFileCall::Open, path) == 0) file = OpenUnshared(win32::Wide(path));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (IsMissingError(error)) outcome = TOpenResult::Missing;
        if (IsBusyError(error)) outcome = TOpenResult::Busy;
        // A folder refuses a plain open; it counts as missing.
        if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = Attributes(path);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                outcome = TOpenResult::Missing;
        }
        ::SetLastError(error);
        return nullptr;
    }
    // Devices, pipes and consoles are not files on a disk; a link (reparse point) was opened
    // itself and is never read.
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK ||
        ::GetFileInformationByHandle(file.Get(), &info) == FALSE) {
        outcome = TOpenResult::NotRegular;
        return nullptr;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        outcome = TOpenResult::Missing;
        return nullptr;
    }
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) {
        outcome = TOpenResult::NotRegular;
        return nullptr;
    }
    outcome = TOpenResult::Opened;
    return std::unique_ptr<TExclusiveFile>(new TExclusiveFile(
        std::make_unique<TImpl>(TImpl{std::move(file), path, IdentityOf(info)})));
}

TExclusiveFile::~TExclusiveFile() = default;

std::uint64_t TExclusiveFile::Identity() const {
    return impl_->identity;
}

std::int64_t TExclusiveFile::Size() const {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(impl_->file.Get(), &size) == FALSE) return -1;
    return size.QuadPart;
}

std::int64_t TExclusiveFile::ChangeTime() const {
    FILE_BASIC_INFO info{};
    if (::GetFileInformationByHandleEx(impl_->file.Get(), FileBasicInfo, &info, sizeof info) ==
        FALSE)
        return -1;
    // 100-nanosecond units since 1601; nanoseconds since 1601 would not fit 64 bits, so the
    // count starts at 1970 as on every system.
    constexpr std::int64_t k1601To1970 = 116444736000000000;
    return (info.ChangeTime.QuadPart - k1601To1970) * 100;
}

bool TExclusiveFile::Seek(std::int64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    return offset >= 0 && ::SetFilePointerEx(impl_->file.Get(), to, nullptr, FILE_BEGIN) != FALSE;
}

std::int64_t TExclusiveFile::Read(void *buffer, std::int64_t count) {
    auto *out = static_cast<char *>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        if (FileFault(TFileCall::Read, impl_->path) != 0) return total > 0 ? total : -1;
        const std::int64_t left = count - total;
        const DWORD ask = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD got = 0;
        if (::ReadFile(impl_->file.Get(), out + total, ask, &got, nullptr) == FALSE)
            return total > 0 ? total : -1;
        if (got == 0) break;
        total += got;
    }
    return total;
}

bool TExclusiveFile::IsGuarded() const {
    // Nobody else can hold the file open while this handle (share mode 0) is open.
    return true;
}

bool TExclusiveFile::WriterWaiting() const {
    // A writer's open fails at once instead of waiting: none ever waits on this file.
    return false;
}

bool TExclusiveFile::Delete() {
    // The handle shares nothing, so the name cannot have been given to another file. The name
    // goes when the handle is closed; until then every other open of it fails.
    if (FileFault(TFileCall::Delete, impl_->path) != 0) return false;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(impl_->file.Get(), FileDispositionInfo, &disposition,
                                        sizeof disposition) != FALSE;
}

bool TExclusiveFile::Empty() {
    // Emptied in place through the handle (opened with write access where the file allows it):
    // no other process can open the file in between.
    if (FileFault(TFileCall::Truncate, impl_->path) != 0) return false;
    LARGE_INTEGER zero{};
    return ::SetFilePointerEx(impl_->file.Get(), zero, nullptr, FILE_BEGIN) != FALSE &&
           ::SetEndOfFile(impl_->file.Get()) != FALSE;
}

bool FileExists(const std::string &path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string &path) {
    if (path.empty()) return false;
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ExtractFileName(std::string_view path) {
    // "C:name" names a file in the current folder of drive C.
    const auto separator = path.find_last_of("\\/:");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

bool RemoveFile(const std::string &path) {
    return FileFault(TFileCall::Delete, path) == 0 &&
           ::DeleteFileW(win32::Wide(path).c_str()) != FALSE;
}

bool CreateEmptyFile(const std::string &path) {
    if (FileFault(TFileCall::Open, path) != 0) return false;
    win32::THandle file(::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() && file.Close();
}

void ListFolderFiles(const std::string &folder,
                     const std::function<void(std::string_view)> &visit) {
    std::wstring pattern = win32::Wide(folder.empty() ? std::string(".") : folder);
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry{};
    // No short names and large fetches: what makes listing a large folder fast.
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        constexpr DWORD kNotRegular =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        if ((entry.dwFileAttributes & kNotRegular) != 0) continue;
        visit(win32::Narrow(entry.cFileName));
    } while (::FindNextFileW(find, &entry) != FALSE);
    ::FindClose(find);
}

std::string PathKey(std::string_view path) {
    // File names compare ignoring case, with the system's own case mapping, and either slash
    // separates folders.
    std::wstring wide = win32::Wide(path);
    for (wchar_t &c : wide)
        if (c == L'/') c = L'\\';
    if (!wide.empty()) ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return win32::Narrow(wide);
}

bool AppendExclusive(const std::string &path, const void *bytes, std::size_t count) {
    if (FileFault(TFileCall::Open, path) != 0) return false;
    // Without sharing: refused while the reader holds the file, and the reader cannot take it
    // (nor remove its name) while this handle is open.
    win32::THandle file(::CreateFileW(win32::Wide(path).c_str(), FILE_APPEND_DATA, 0, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    const auto *p = static_cast<const char *>(bytes);
    std::size_t done = 0;
    while (done < count) {
        if (FileFault(TFileCall::Write, path) != 0) break;
        const std::size_t left = count - done;
        const DWORD ask = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (::WriteFile(file.Get(), p + done, ask, &written, nullptr) == FALSE || written == 0)
            break;
        done += written;
    }
    return file.Close() && done == count;
}

}  // namespace brevor::platform
