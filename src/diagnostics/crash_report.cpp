#include "diagnostics/crash_report.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <typeinfo>

#include "platform/platform.h"
#include "rtl/exceptions.h"

namespace brevor {

namespace {

// Function symbols of one loaded file, from its full symbol table (.symtab) when the file has
// one, so that hidden functions get their names too.
struct TSymbolTable {
    struct Symbol {
        std::uintptr_t start;
        std::uintptr_t size;
        std::string name;
    };
    std::vector<Symbol> symbols;  // sorted by start (file-relative addresses)

    const Symbol *Find(std::uintptr_t address) const {
        auto it = std::upper_bound(symbols.begin(), symbols.end(), address,
                                   [](std::uintptr_t a, const Symbol &s) { return a < s.start; });
        if (it == symbols.begin()) return nullptr;
        --it;
        if (address >= it->start && (it->size == 0 || address < it->start + it->size)) return &*it;
        return nullptr;
    }
};

TSymbolTable LoadSymbols(const char *path) {
    TSymbolTable table;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return table;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(ElfW(Ehdr)))) {
        ::close(fd);
        return table;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void *map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return table;
    const auto *base = static_cast<const unsigned char *>(map);
    const auto *eh = reinterpret_cast<const ElfW(Ehdr) *>(base);
    auto inside = [&](std::size_t off, std::size_t len) {
        return off <= size && len <= size - off;
    };
    if (std::memcmp(eh->e_ident, ELFMAG, SELFMAG) == 0 &&
        eh->e_ident[EI_CLASS] ==
#if UINTPTR_MAX == 0xFFFFFFFFu
            ELFCLASS32
#else
            ELFCLASS64
#endif
        && inside(eh->e_shoff, std::size_t{eh->e_shnum} * sizeof(ElfW(Shdr)))) {
        const auto *sh = reinterpret_cast<const ElfW(Shdr) *>(base + eh->e_shoff);
        for (unsigned i = 0; i < eh->e_shnum; ++i) {
            if (sh[i].sh_type != SHT_SYMTAB && sh[i].sh_type != SHT_DYNSYM) continue;
            if (sh[i].sh_link >= eh->e_shnum) continue;
            const ElfW(Shdr) &strs = sh[sh[i].sh_link];
            if (!inside(sh[i].sh_offset, sh[i].sh_size) || !inside(strs.sh_offset, strs.sh_size))
                continue;
            const auto *syms = reinterpret_cast<const ElfW(Sym) *>(base + sh[i].sh_offset);
            const std::size_t count = sh[i].sh_size / sizeof(ElfW(Sym));
            const char *names = reinterpret_cast<const char *>(base + strs.sh_offset);
            for (std::size_t k = 0; k < count; ++k) {
                if (ELF64_ST_TYPE(syms[k].st_info) != STT_FUNC || syms[k].st_value == 0) continue;
                if (syms[k].st_name >= strs.sh_size) continue;
                const char *name = names + syms[k].st_name;
                const std::size_t maxLen = strs.sh_size - syms[k].st_name;
                table.symbols.push_back({static_cast<std::uintptr_t>(syms[k].st_value),
                                         static_cast<std::uintptr_t>(syms[k].st_size),
                                         std::string(name, strnlen(name, maxLen))});
            }
        }
    }
    ::munmap(map, size);
    std::sort(table.symbols.begin(), table.symbols.end(),
              [](const auto &a, const auto &b) { return a.start < b.start; });
    return table;
}

const TSymbolTable &SymbolsOf(const char *path) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<TSymbolTable>> cache;
    std::lock_guard lock(mutex);
    auto &slot = cache[path];
    if (!slot) slot = std::make_unique<TSymbolTable>(LoadSymbols(path));
    return *slot;
}

// Between the parts of a log line: the exception and each frame.
const std::string kLogSeparator = " | ";
constexpr std::string_view kOwnNamespace = "brevor::";

std::string Demangle(const std::string &name) {
    int status = 0;
    char *out = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (out == nullptr) return name;
    std::string result(out);
    std::free(out);
    return result;
}

// One line per frame, separator between lines (none after the last).
std::string RenderFrames(const std::vector<void *> &frames, std::string_view separator) {
    std::string text;
    char line[96];
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
        Dl_info info{};
        std::string where = "?";
        if (::dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr) {
            const char *file = std::strrchr(info.dli_fname, '/');
            where = file ? file + 1 : info.dli_fname;
            // Return addresses point after the call; look up the call itself.
            const std::uintptr_t relative =
                address - 1 - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
            const TSymbolTable::Symbol *sym = SymbolsOf(info.dli_fname).Find(relative);
            if (sym != nullptr) {
                std::snprintf(line, sizeof line, "+0x%zx",
                              static_cast<std::size_t>(relative + 1 - sym->start));
                where += "!" + Demangle(sym->name) + line;
            } else if (info.dli_sname != nullptr) {
                where += "!" + Demangle(info.dli_sname);
            } else {
                std::snprintf(line, sizeof line, "+0x%zx", static_cast<std::size_t>(relative + 1));
                where += line;
            }
        }
        std::snprintf(line, sizeof line, "#%zu  0x%016zx  ", i, static_cast<std::size_t>(address));
        if (!text.empty()) text += separator;
        text += line;
        text += where;
    }
    return text;
}

}  // namespace

[[gnu::noinline]] std::vector<void *> CaptureStack(std::size_t skip) {
    return platform::CaptureStackFrames(skip + 1);
}

std::string RenderStack(const std::vector<void *> &frames) {
    return RenderFrames(frames, "\r\n");
}

std::string ExceptionStackText(const std::exception &e) {
    if (const auto *own = dynamic_cast<const Exception *>(&e); own && !own->StackFrames().empty())
        return RenderStack(own->StackFrames());
    return RenderStack(CaptureStack(1));
}

std::string ExceptionLogText(const std::exception &e) {
    std::string name = Demangle(typeid(e).name());
    if (name.rfind(kOwnNamespace, 0) == 0) name.erase(0, kOwnNamespace.size());
    std::string text = name + ": " + e.what();
    const auto *own = dynamic_cast<const Exception *>(&e);
    const std::string frames = own && !own->StackFrames().empty()
                                   ? RenderFrames(own->StackFrames(), kLogSeparator)
                                   : RenderFrames(CaptureStack(1), kLogSeparator);
    if (!frames.empty()) text += kLogSeparator + frames;
    return text;
}

std::string CurrentExceptionLogText() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return {};
    try {
        std::rethrow_exception(current);
    } catch (const std::exception &e) {
        return ExceptionLogText(e);
    } catch (...) {
        // Anything else thrown (not a std::exception): named as such, with the handler's stack.
        const std::string frames = RenderFrames(CaptureStack(1), kLogSeparator);
        return frames.empty() ? "unknown exception" : "unknown exception" + kLogSeparator + frames;
    }
}

}  // namespace brevor
