// The system registry itself. Keys open with KEY_READ or KEY_ALL_ACCESS; a key the process may
// not change fails to open with full access, so callers fall back to HKEY_CURRENT_USER.

#include <vector>

#include "platform/registry.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

HKEY RootKey(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegRoot::Users:
            return HKEY_USERS;
        case RegRoot::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
    }
    return nullptr;
}

const char *RootName(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case RegRoot::CurrentUser:
            return "HKEY_CURRENT_USER";
        case RegRoot::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case RegRoot::Users:
            return "HKEY_USERS";
        case RegRoot::CurrentConfig:
            return "HKEY_CURRENT_CONFIG";
    }
    return "";
}

// The key path with empty names dropped: no leading, trailing or doubled "\".
std::string CleanKeyPath(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out.append(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

// Text data as the registry stores it: UTF-16 with a terminator.
std::vector<BYTE> TextData(std::string_view text) {
    const std::wstring wide = win32::Wide(text);
    const auto *first = reinterpret_cast<const BYTE *>(wide.c_str());
    return std::vector<BYTE>(first, first + (wide.size() + 1) * sizeof(wchar_t));
}

}  // namespace

// The open key, where it is, and whether it may be changed.
struct TRegistryKey::TImpl {
    HKEY key = nullptr;
    std::string location;
    RegAccess access = RegAccess::Read;
    ~TImpl() {
        if (key != nullptr) ::RegCloseKey(key);
    }
};

TRegistryKey::TRegistryKey(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

TRegistryKey::~TRegistryKey() = default;

std::unique_ptr<TRegistryKey> TRegistryKey::Open(RegRoot root, std::string_view path,
                                                 RegAccess access, bool create) {
    const HKEY rootKey = RootKey(root);
    if (rootKey == nullptr) return nullptr;
    const std::string keyPath = CleanKeyPath(path);
    const std::wstring wide = win32::Wide(keyPath);
    const REGSAM sam = access == RegAccess::All ? KEY_ALL_ACCESS : KEY_READ;
    auto impl = std::make_unique<TImpl>();
    impl->access = access;
    impl->location = std::string(RootName(root)) + (keyPath.empty() ? "" : "\\" + keyPath);
    LSTATUS status;
    if (create)
        status = ::RegCreateKeyExW(rootKey, wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam,
                                   nullptr, &impl->key, nullptr);
    else
        status = ::RegOpenKeyExW(rootKey, wide.c_str(), 0, sam, &impl->key);
    if (status != ERROR_SUCCESS) {
        impl->key = nullptr;
        ::SetLastError(static_cast<DWORD>(status));
        return nullptr;
    }
    return std::unique_ptr<TRegistryKey>(new TRegistryKey(std::move(impl)));
}

std::string TRegistryKey::Location() const {
    return impl_->location;
}

bool TRegistryKey::QueryValue(std::string_view name, RegValue &value) const {
    const std::wstring wideName = win32::Wide(name);
    std::vector<BYTE> data(256);
    DWORD type = 0;
    LSTATUS status;
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        status =
            ::RegQueryValueExW(impl_->key, wideName.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS) return false;
        data.resize(size);
        break;
    }
    value.type = static_cast<RegType>(type);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring_view text(reinterpret_cast<const wchar_t *>(data.data()),
                               data.size() / sizeof(wchar_t));
        // Stored texts usually, but not always, end with their terminator.
        const std::size_t end = text.find(L'\0');
        if (end != std::wstring_view::npos) text = text.substr(0, end);
        value.data = win32::Narrow(text);
    } else {
        value.data.assign(reinterpret_cast<const char *>(data.data()), data.size());
    }
    return true;
}

bool TRegistryKey::ValueExists(std::string_view name) const {
    return ::RegQueryValueExW(impl_->key, win32::Wide(name).c_str(), nullptr, nullptr, nullptr,
                              nullptr) == ERROR_SUCCESS;
}

std::vector<std::string> TRegistryKey::ValueNames() const {
    std::vector<std::string> names;
    DWORD count = 0;
    DWORD longest = 0;
    if (::RegQueryInfoKeyW(impl_->key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> buffer(longest + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::RegEnumValueW(impl_->key, i, buffer.data(), &length, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS)
            continue;
        names.push_back(win32::Narrow(std::wstring_view(buffer.data(), length)));
    }
    return names;
}

bool TRegistryKey::SetValue(std::string_view name, const RegValue &value) {
    if (impl_->access != RegAccess::All || !value.Storable()) return false;
    std::vector<BYTE> data;
    if (value.type == RegType::Sz || value.type == RegType::ExpandSz)
        data = TextData(value.data);
    else
        data.assign(value.data.begin(), value.data.end());
    return ::RegSetValueExW(impl_->key, win32::Wide(name).c_str(), 0,
                            static_cast<DWORD>(value.type), data.data(),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool TRegistryKey::DeleteValue(std::string_view name) {
    if (impl_->access != RegAccess::All) return false;
    return ::RegDeleteValueW(impl_->key, win32::Wide(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace brevor::platform
