#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/code_page.h"
#include "platform/common/hex_digits.h"
#include "platform/posix/registry_posix.h"

namespace brevor::platform {

namespace {

using detail::AppendHexByte;
using detail::HexDigit;

const char kValuesFile[] = ".values";
const char kTempFile[] = ".values.tmp";
const char kDamagedFile[] = ".values.damaged";
const char kLockFile[] = ".lock";

// ---------------------------------------------------------------- small helpers

std::string Env(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    struct passwd pw {};
    struct passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

bool IsFolder(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; true when the folder exists afterwards.
bool MakeFolders(const std::string &path) {
    if (path.empty()) return false;
    if (IsFolder(path)) return true;
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsFolder(path));
}

// ---------------------------------------------------------------- roots and key names

bool RootIsReadOnly(RegRoot root) {
    const std::string list = AnsiUpperCase(Env("BREVOR_REGISTRY_READONLY"));
    std::size_t pos = 0;
    while (pos < list.size()) {
        const std::size_t end = list.find_first_of(", \t", pos);
        const std::string name =
            list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if ((root == RegRoot::CurrentUser && (name == "HKCU" || name == "HKEY_CURRENT_USER")) ||
            (root == RegRoot::LocalMachine && (name == "HKLM" || name == "HKEY_LOCAL_MACHINE")))
            return true;
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return false;
}

std::string EncodeKeyName(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '%' || c == '/' || c == '\0' || (i == 0 && c == '.')) {
            out += '%';
            AppendHexByte(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

// Lenient: a "%" without two hex digits after it is kept (folders made by hand).
std::string DecodeKeyName(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            const int hi = HexDigit(name[i + 1]);
            const int lo = HexDigit(name[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        if (end > pos) names.emplace_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return names;
}

// The subfolder of folder that holds the key name: the exact encoded name first, otherwise the
// smallest entry whose decoded name matches ignoring case. Empty when there is none.
std::string FindSubKey(const std::string &folder, const std::string &name) {
    const std::string encoded = EncodeKeyName(name);
    if (IsFolder(folder + "/" + encoded)) return folder + "/" + encoded;
    DIR *dir = ::opendir(folder.c_str());
    if (!dir) return {};
    std::string best;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName.empty() || entryName[0] == '.') continue;  // the key's own files
        if (!AnsiSameText(DecodeKeyName(entryName), name)) continue;
        if (!IsFolder(folder + "/" + entryName)) continue;
        if (best.empty() || entryName < best) best = entryName;
    }
    ::closedir(dir);
    return best.empty() ? std::string() : folder + "/" + best;
}

// flock on the key's lock file, held for the object's lifetime.
class TFolderLock {
public:
    explicit TFolderLock(const std::string &folder) {
        fd_ = ::open((folder + "/" + kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~TFolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    TFolderLock(const TFolderLock &) = delete;
    TFolderLock &operator=(const TFolderLock &) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// ---------------------------------------------------------------- values files

// Reads a values file. A missing file is a key without values (true); a damaged one too, but
// then damaged is set.
std::vector<RegNamedValue> ReadValuesFile(const std::string &folder, bool *damaged = nullptr) {
    std::vector<RegNamedValue> values;
    if (damaged) *damaged = false;
    const int fd = ::open((folder + "/" + kValuesFile).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return values;
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0 && damaged) *damaged = true;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ParseRegistryValues(content, values) && damaged) *damaged = true;
    return values;
}

bool WriteAll(int fd, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the values file whole: temporary file, flush, rename, flush of the folder.
bool WriteValuesFile(const std::string &folder, const std::vector<RegNamedValue> &values) {
    const std::string temp = folder + "/" + kTempFile;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, FormatRegistryValues(values)) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), (folder + "/" + kValuesFile).c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

template <typename Values>
auto FindValue(Values &values, std::string_view name) -> decltype(values.begin()) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (AnsiSameText(it->name, name)) return it;
    return values.end();
}

// Read-modify-write of a key's values under its lock. change returns false to leave the file
// as it is (and makes the whole call false).
template <typename Change>
bool ChangeValues(const std::string &folder, Change change) {
    TFolderLock lock(folder);
    if (!lock.Held()) return false;
    bool damaged = false;
    std::vector<RegNamedValue> values = ReadValuesFile(folder, &damaged);
    if (!change(values)) return false;
    if (damaged)
        ::rename((folder + "/" + kValuesFile).c_str(), (folder + "/" + kDamagedFile).c_str());
    return WriteValuesFile(folder, values);
}

}  // namespace

// ---------------------------------------------------------------- keys

std::string RegistryRootFolder(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser: {
            std::string folder = Env("BREVOR_REGISTRY_HKCU");
            if (!folder.empty()) return folder;
            std::string config = Env("XDG_CONFIG_HOME");
            if (config.empty() || config[0] != '/') {
                const std::string home = HomeFolder();
                if (home.empty()) return {};
                config = home + "/.config";
            }
            return config + "/brevor/registry";
        }
        case RegRoot::LocalMachine: {
            std::string folder = Env("BREVOR_REGISTRY_HKLM");
            return folder.empty() ? std::string("/etc/brevor/registry") : folder;
        }
        default:
            return {};
    }
}

// A key is the folder that holds its files.
struct TRegistryKey::TImpl {
    std::string folder;
    RegAccess access;
};

TRegistryKey::TRegistryKey(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

TRegistryKey::~TRegistryKey() = default;

std::unique_ptr<TRegistryKey> TRegistryKey::Open(RegRoot root, std::string_view path,
                                                 RegAccess access, bool create) {
    std::string folder = RegistryRootFolder(root);
    if (folder.empty()) return nullptr;
    if (access == RegAccess::All && RootIsReadOnly(root)) return nullptr;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!IsFolder(folder) && !(create && MakeFolders(folder))) return nullptr;
    for (const std::string &name : SplitKeyPath(path)) {
        std::string sub = FindSubKey(folder, name);
        if (sub.empty()) {
            if (!create) return nullptr;
            // Under the parent's lock, so that a key made meanwhile by another process (maybe
            // spelt in another case) is found instead of made twice.
            TFolderLock lock(folder);
            if (!lock.Held()) return nullptr;
            sub = FindSubKey(folder, name);
            if (sub.empty()) {
                sub = folder + "/" + EncodeKeyName(name);
                if (::mkdir(sub.c_str(), 0777) != 0 && !(errno == EEXIST && IsFolder(sub)))
                    return nullptr;
            }
        }
        folder = std::move(sub);
    }
    const int mode = access == RegAccess::All ? (R_OK | W_OK | X_OK) : (R_OK | X_OK);
    if (::access(folder.c_str(), mode) != 0) return nullptr;
    return std::unique_ptr<TRegistryKey>(
        new TRegistryKey(std::make_unique<TImpl>(TImpl{folder, access})));
}

std::string TRegistryKey::Location() const {
    return impl_->folder;
}

bool TRegistryKey::QueryValue(std::string_view name, RegValue &value) const {
    std::vector<RegNamedValue> values = ReadValuesFile(impl_->folder);
    const auto it = FindValue(values, name);
    if (it == values.end()) return false;
    value = std::move(it->value);
    return true;
}

bool TRegistryKey::ValueExists(std::string_view name) const {
    RegValue ignored;
    return QueryValue(name, ignored);
}

std::vector<std::string> TRegistryKey::ValueNames() const {
    std::vector<std::string> names;
    for (RegNamedValue &entry : ReadValuesFile(impl_->folder))
        names.push_back(std::move(entry.name));
    return names;
}

bool TRegistryKey::SetValue(std::string_view name, const RegValue &value) {
    if (impl_->access != RegAccess::All || !value.Storable()) return false;
    return ChangeValues(impl_->folder, [&](std::vector<RegNamedValue> &values) {
        const auto it = FindValue(values, name);
        if (it != values.end())
            it->value = value;
        else
            values.push_back(RegNamedValue{std::string(name), value});
        return true;
    });
}

bool TRegistryKey::DeleteValue(std::string_view name) {
    if (impl_->access != RegAccess::All) return false;
    return ChangeValues(impl_->folder, [&](std::vector<RegNamedValue> &values) {
        const auto it = FindValue(values, name);
        if (it == values.end()) return false;
        values.erase(it);
        return true;
    });
}

}  // namespace brevor::platform
