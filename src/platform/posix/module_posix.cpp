#include <dlfcn.h>
#include <execinfo.h>

#include <string>

#include "platform/platform.h"

namespace brevor::platform {

ModuleHandle FindLoadedModule(std::string_view fileName) {
    if (fileName.empty()) return 0;
    const std::string name(fileName);
    void *handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return 0;
    // RTLD_NOLOAD still counts a reference; the module stays loaded by its owner, so drop ours.
    dlclose(handle);
    return reinterpret_cast<ModuleHandle>(handle);
}

void *FindModuleFunction(ModuleHandle module, const char *name) {
    if (module == 0 || name == nullptr) return nullptr;
    dlerror();
    return dlsym(reinterpret_cast<void *>(module), name);
}

bool PinLibrary(std::string_view fileName) {
    if (fileName.empty()) return false;
    const std::string name(fileName);
    // The reference is kept on purpose: with RTLD_NODELETE the library stays anyway.
    return dlopen(name.c_str(), RTLD_NOW | RTLD_NODELETE) != nullptr;
}

std::string OwnModulePath() {
    Dl_info info{};
    static const int anchor = 0;
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

bool GetWindowBounds(std::uintptr_t, std::int32_t &, std::int32_t &, std::int32_t &,
                     std::int32_t &) {
    return false;
}

[[gnu::noinline]] std::vector<void *> CaptureStackFrames(std::size_t skip) {
    void *frames[66];
    const int n = ::backtrace(frames, 66);
    std::vector<void *> out;
    for (int i = static_cast<int>(skip) + 1; i < n && out.size() < 64; ++i)
        out.push_back(frames[i]);
    return out;
}

std::string OwnModuleVersion() {
#ifdef BREVOR_MODULE_VERSION
    return BREVOR_MODULE_VERSION;
#else
    return {};
#endif
}

}  // namespace brevor::platform
