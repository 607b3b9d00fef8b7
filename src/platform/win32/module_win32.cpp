#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_util.h"

namespace brevor::platform {

namespace {

// The full path of a loaded module's file, or empty.
std::wstring ModuleFileName(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        // A full buffer means the name was cut short.
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// The module that holds an address, without taking a reference on it; null when none does.
HMODULE ModuleAt(const void *address) {
    // A null name asks for the program's own module, whatever the flags say.
    if (address == nullptr) return nullptr;
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module) == FALSE)
        return nullptr;
    return module;
}

// Function symbols of one module file, from the COFF symbol table the linker leaves in the file
// (unless it was stripped), so that functions that are not exported get their names too.
struct TSymbolTable {
    struct Symbol {
        std::uint32_t rva;  // relative to the module's start
        std::string name;
    };
    std::vector<Symbol> symbols;  // sorted by rva

    const Symbol *Find(std::uint32_t rva) const {
        auto it = std::upper_bound(symbols.begin(), symbols.end(), rva,
                                   [](std::uint32_t a, const Symbol &s) { return a < s.rva; });
        if (it == symbols.begin()) return nullptr;
        return &*--it;
    }
};

// The whole file, or empty.
std::string ReadModuleFile(const std::wstring &path) {
    win32::THandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || ::GetFileSizeEx(file.Get(), &size) == FALSE || size.QuadPart <= 0 ||
        size.QuadPart > 0x7FFFFFFF)
        return {};
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ==
            FALSE ||
        got != bytes.size())
        return {};
    return bytes;
}

TSymbolTable LoadSymbols(const std::wstring &path) {
    TSymbolTable table;
    const std::string file = ReadModuleFile(path);
    auto inside = [&](std::size_t off, std::size_t len) {
        return off <= file.size() && len <= file.size() - off;
    };
    auto read32 = [&](std::size_t off) {
        std::uint32_t v = 0;
        std::memcpy(&v, file.data() + off, 4);
        return v;
    };
    auto read16 = [&](std::size_t off) {
        std::uint16_t v = 0;
        std::memcpy(&v, file.data() + off, 2);
        return v;
    };
    if (!inside(0, 0x40) || read16(0) != IMAGE_DOS_SIGNATURE) return table;
    const std::size_t pe = read32(0x3C);
    if (!inside(pe, 4 + IMAGE_SIZEOF_FILE_HEADER) || read32(pe) != IMAGE_NT_SIGNATURE) return table;
    const std::size_t header = pe + 4;
    const std::size_t sectionCount = read16(header + 2);
    const std::size_t symbolsAt = read32(header + 8);
    const std::size_t symbolCount = read32(header + 12);
    const std::size_t sectionsAt = header + IMAGE_SIZEOF_FILE_HEADER + read16(header + 16);
    constexpr std::size_t kSymbolSize = 18;  // IMAGE_SIZEOF_SYMBOL
    if (symbolsAt == 0 || !inside(sectionsAt, sectionCount * IMAGE_SIZEOF_SECTION_HEADER) ||
        !inside(symbolsAt, symbolCount * kSymbolSize + 4))
        return table;
    const std::size_t stringsAt = symbolsAt + symbolCount * kSymbolSize;
    const std::size_t stringsSize = read32(stringsAt);
    if (!inside(stringsAt, stringsSize)) return table;
    for (std::size_t i = 0; i < symbolCount; ++i) {
        const std::size_t at = symbolsAt + i * kSymbolSize;
        const std::uint32_t value = read32(at + 8);
        const std::int16_t section = static_cast<std::int16_t>(read16(at + 12));
        const std::uint16_t type = read16(at + 14);
        const std::uint8_t storage = static_cast<std::uint8_t>(file[at + 16]);
        const std::uint8_t auxCount = static_cast<std::uint8_t>(file[at + 17]);
        const bool function =
            (type >> 4) == IMAGE_SYM_DTYPE_FUNCTION &&
            (storage == IMAGE_SYM_CLASS_EXTERNAL || storage == IMAGE_SYM_CLASS_STATIC);
        if (function && section > 0 && static_cast<std::size_t>(section) <= sectionCount) {
            std::string name;
            if (read32(at) == 0) {
                const std::size_t offset = read32(at + 4);
                if (offset < stringsSize) {
                    const char *start = file.data() + stringsAt + offset;
                    name.assign(start, strnlen(start, stringsSize - offset));
                }
            } else {
                name.assign(file.data() + at, strnlen(file.data() + at, 8));
            }
#if defined(_WIN32) && !defined(_WIN64)
            // 32-bit C symbols carry a leading underscore the source never wrote.
            if (!name.empty() && name[0] == '_') name.erase(0, 1);
#endif
            const std::size_t sectionHeader =
                sectionsAt + static_cast<std::size_t>(section - 1) * IMAGE_SIZEOF_SECTION_HEADER;
            const std::uint32_t sectionRva = read32(sectionHeader + 12);
            if (!name.empty()) table.symbols.push_back({sectionRva + value, std::move(name)});
        }
        i += auxCount;
    }
    std::sort(table.symbols.begin(), table.symbols.end(),
              [](const auto &a, const auto &b) { return a.rva < b.rva; });
    return table;
}

const TSymbolTable &SymbolsOf(const std::wstring &path) {
    static std::mutex mutex;
    static std::map<std::wstring, std::unique_ptr<TSymbolTable>> cache;
    std::lock_guard lock(mutex);
    auto &slot = cache[path];
    if (!slot) slot = std::make_unique<TSymbolTable>(LoadSymbols(path));
    return *slot;
}

}  // namespace

ModuleHandle FindLoadedModule(std::string_view fileName) {
    if (fileName.empty()) return 0;
    return reinterpret_cast<ModuleHandle>(::GetModuleHandleW(win32::Wide(fileName).c_str()));
}

void *FindModuleFunction(ModuleHandle module, const char *name) {
    if (module == 0 || name == nullptr) return nullptr;
    return reinterpret_cast<void *>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

bool PinLibrary(std::string_view fileName) {
    if (fileName.empty()) return false;
    const std::wstring name = win32::Wide(fileName);
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name.c_str(), &module) != FALSE)
        return true;
    // Not loaded yet: load it, then pin what was loaded (the load's own reference is kept too).
    if (::LoadLibraryW(name.c_str()) == nullptr) return false;
    return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name.c_str(), &module) != FALSE;
}

std::string OwnModulePath() {
    const HMODULE self = win32::OwnModuleHandle();
    if (self == nullptr) return {};
    return win32::Narrow(ModuleFileName(self));
}

bool GetWindowBounds(std::uintptr_t window, std::int32_t &left, std::int32_t &top,
                     std::int32_t &right, std::int32_t &bottom) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    RECT rect{};
    if (hwnd == nullptr || ::IsWindow(hwnd) == FALSE || ::GetWindowRect(hwnd, &rect) == FALSE)
        return false;
    left = rect.left;
    top = rect.top;
    right = rect.right;
    bottom = rect.bottom;
    return true;
}

[[gnu::noinline]] std::vector<void *> CaptureStackFrames(std::size_t skip) {
    // How many of its own frames the system leaves out differs between systems and word sizes,
    // so the caller's frame is found by its return address: the list starts there.
    void *frames[80];
    const USHORT n = ::RtlCaptureStackBackTrace(0, 80, frames, nullptr);
    void *const caller = __builtin_return_address(0);
    std::size_t first = 1;
    for (USHORT i = 0; i < n; ++i)
        if (frames[i] == caller) {
            first = i;
            break;
        }
    std::vector<void *> out;
    for (std::size_t i = first + skip; i < n && out.size() < 64; ++i)
        out.push_back(frames[i]);
    return out;
}

TFrameDescription DescribeFrame(void *address) {
    TFrameDescription frame;
    const HMODULE module = ModuleAt(address);
    if (module == nullptr) return frame;
    const std::wstring path = ModuleFileName(module);
    if (path.empty()) return frame;
    frame.known = true;
    const std::size_t slash = path.find_last_of(L"\\/");
    frame.module = win32::Narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
    const std::uintptr_t relative =
        reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
    // Return addresses point after the call; look up the call itself.
    const TSymbolTable::Symbol *sym =
        relative > 0 && relative <= 0xFFFFFFFFu
            ? SymbolsOf(path).Find(static_cast<std::uint32_t>(relative - 1))
            : nullptr;
    if (sym != nullptr) {
        frame.symbol = sym->name;
        frame.offset = relative - sym->rva;
    } else {
        frame.offset = relative;
    }
    return frame;
}

std::string OwnModuleVersion() {
    // The file's version resource: "major.minor.release build N", empty when it cannot be read.
    const HMODULE self = win32::OwnModuleHandle();
    if (self == nullptr) return {};
    const std::wstring path = ModuleFileName(self);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (::GetFileVersionInfoW(path.c_str(), 0, size, data.data()) == FALSE) return {};
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&info), &length) == FALSE ||
        info == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + " build " +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace brevor::platform
