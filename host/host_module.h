#pragma once

// Host-side helpers: load a Brevor module (dlopen, or LoadLibrary on Windows), resolve its exports
// and build call records. Shared by brevor-host and the tests.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "brevor/abi.h"

namespace brevor::host {

// The module's exports, resolved by name.
struct TModuleExports {
    TGetPluginIntfVersion GetPluginIntfVersion = nullptr;
    TGetAppMinVersion GetAppMinVersion = nullptr;
    TGetModuleDescription GetModuleDescription = nullptr;
    TGetModuleType GetModuleType = nullptr;
    TMultiThreadSupport MultiThreadSupport = nullptr;
    TGetCustomCommands GetCustomCommands = nullptr;
    TExecutePluginCommand ExecutePluginCommand = nullptr;
    TShowOptionsDialog ShowOptionsDialog = nullptr;
    TGetData GetData = nullptr;
    TGetEvents GetEvents = nullptr;
    TProcessData ProcessData = nullptr;
    TGetLogEx GetLogEx = nullptr;
    TTraceProcess TraceProcess = nullptr;
};

class TModuleLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A loaded module. Unloads it on destruction.
class TLoadedModule {
public:
    // Loads the module file and resolves every export; throws TModuleLoadError when the file
    // cannot be loaded or an export is missing.
    explicit TLoadedModule(const std::string &path);
    ~TLoadedModule();
    TLoadedModule(const TLoadedModule &) = delete;
    TLoadedModule &operator=(const TLoadedModule &) = delete;

    const TModuleExports &Exports() const { return exports_; }
    const TModuleExports *operator->() const { return &exports_; }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
    void *handle_ = nullptr;
    TModuleExports exports_;
};

// A call record for an instance id; tag 102, everything else zero.
TPluginCallRec MakeCallRecord(std::int32_t instanceId, void *params = nullptr,
                              std::uintptr_t hostContext = 0);
// A call record that releases the instance.
TPluginCallRec MakeReleaseRecord(std::int32_t instanceId);

// The handle of the host program itself, for the parameter "HANDLE": its dlopen handle, or its
// module handle on Windows.
std::uintptr_t HostProgramHandle();

// Path of the module beside the running program: brevor.so, or brevor.dll on Windows.
std::string DefaultModulePath();

}  // namespace brevor::host
