#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/platform.h"

namespace brevor::platform {

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

}  // namespace

TFrameDescription DescribeFrame(void *address) {
    TFrameDescription frame;
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return frame;
    frame.known = true;
    const char *file = std::strrchr(info.dli_fname, '/');
    frame.module = file ? file + 1 : info.dli_fname;
    // Return addresses point after the call; look up the call itself.
    const std::uintptr_t relative = reinterpret_cast<std::uintptr_t>(address) - 1 -
                                    reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    const TSymbolTable::Symbol *sym = SymbolsOf(info.dli_fname).Find(relative);
    if (sym != nullptr) {
        frame.symbol = sym->name;
        frame.offset = relative + 1 - sym->start;
    } else if (info.dli_sname != nullptr) {
        frame.symbol = info.dli_sname;
    } else {
        frame.offset = relative + 1;
    }
    return frame;
}

}  // namespace brevor::platform
