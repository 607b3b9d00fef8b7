#include "host_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace brevor::host {

namespace {

template <typename F>
void Resolve(void *handle, const char *name, F &target) {
    void *sym = dlsym(handle, name);
    if (sym == nullptr) throw TModuleLoadError(std::string("missing export ") + name);
    target = reinterpret_cast<F>(sym);
}

}  // namespace

TLoadedModule::TLoadedModule(const std::string &path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *err = dlerror();
        throw TModuleLoadError("cannot load " + path + ": " + (err ? err : "unknown error"));
    }
    try {
        Resolve(handle_, "GetPluginIntfVersion", exports_.GetPluginIntfVersion);
        Resolve(handle_, "GetAppMinVersion", exports_.GetAppMinVersion);
        Resolve(handle_, "GetModuleDescription", exports_.GetModuleDescription);
        Resolve(handle_, "GetModuleType", exports_.GetModuleType);
        Resolve(handle_, "MultiThreadSupport", exports_.MultiThreadSupport);
        Resolve(handle_, "GetCustomCommands", exports_.GetCustomCommands);
        Resolve(handle_, "ExecutePluginCommand", exports_.ExecutePluginCommand);
        Resolve(handle_, "ShowOptionsDialog", exports_.ShowOptionsDialog);
        Resolve(handle_, "GetData", exports_.GetData);
        Resolve(handle_, "GetEvents", exports_.GetEvents);
        Resolve(handle_, "ProcessData", exports_.ProcessData);
        Resolve(handle_, "GetLogEx", exports_.GetLogEx);
        Resolve(handle_, "TraceProcess", exports_.TraceProcess);
    } catch (...) {
        dlclose(handle_);
        handle_ = nullptr;
        throw;
    }
}

TLoadedModule::~TLoadedModule() {
    if (handle_ != nullptr) dlclose(handle_);
}

TPluginCallRec MakeCallRecord(std::int32_t instanceId, void *params, std::uintptr_t hostContext) {
    TPluginCallRec rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = instanceId;
    rec.Params = params;
    rec.HostContext = hostContext;
    return rec;
}

TPluginCallRec MakeReleaseRecord(std::int32_t instanceId) {
    TPluginCallRec rec = MakeCallRecord(instanceId);
    rec.Release = BRV_RELEASE;
    return rec;
}

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
