#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host_module.h"
#include "host_os.h"

namespace brevor::host {

namespace os {

void *OpenLibrary(const std::string &path, std::string &error) {
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *reason = dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }
    return library;
}

void *FindSymbol(void *library, const char *name) {
    return dlsym(library, name);
}

void CloseLibrary(void *library) {
    dlclose(library);
}

void *SharedAlloc(std::size_t size) {
    void *p = std::calloc(1, size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void *SharedRealloc(void *block, std::size_t size) {
    return std::realloc(block, size);
}

void SharedFree(void *block) {
    std::free(block);
}

// uint32 byte length, the units, a zero unit.
std::uint16_t *NewOleString(std::size_t units) {
    auto *block = static_cast<char *>(SharedAlloc(4 + units * 2 + 2));
    const auto bytes = static_cast<std::uint32_t>(units * 2);
    std::memcpy(block, &bytes, 4);
    return reinterpret_cast<std::uint16_t *>(block + 4);
}

void FreeOleString(std::uint16_t *text) {
    if (text != nullptr) std::free(reinterpret_cast<char *>(text) - 4);
}

bool StdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

namespace {
void (*g_onStop)() = nullptr;
void OnSignal(int) {
    if (g_onStop != nullptr) g_onStop();
}
}  // namespace

void OnStopRequest(void (*onStop)()) {
    g_onStop = onStop;
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
}

}  // namespace os

std::uintptr_t HostProgramHandle() {
    static void *self = dlopen(nullptr, RTLD_NOW);
    return reinterpret_cast<std::uintptr_t>(self);
}

std::string DefaultModulePath() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "brevor.so";
    std::string exe(buf, static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + "brevor.so";
}

}  // namespace brevor::host
