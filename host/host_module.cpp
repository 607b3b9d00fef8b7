#include "host_module.h"

#include <cstring>

#include "host_os.h"

namespace brevor::host {

namespace {

template <typename F>
void Resolve(void *handle, const char *name, F &target) {
    void *sym = os::FindSymbol(handle, name);
    if (sym == nullptr) throw TModuleLoadError(std::string("missing export ") + name);
    target = reinterpret_cast<F>(sym);
}

}  // namespace

TLoadedModule::TLoadedModule(const std::string &path) : path_(path) {
    std::string error;
    handle_ = os::OpenLibrary(path, error);
    if (handle_ == nullptr) throw TModuleLoadError("cannot load " + path + ": " + error);
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
        os::CloseLibrary(handle_);
        handle_ = nullptr;
        throw;
    }
}

TLoadedModule::~TLoadedModule() {
    if (handle_ != nullptr) os::CloseLibrary(handle_);
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

}  // namespace brevor::host
