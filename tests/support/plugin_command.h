#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/a_plugin.h"
#include "framework/params_list.h"
#include "host_module.h"
#include "messages_window.h"

namespace brevor::testing {

// Sends a command to a module object the test made itself (instance 1, the data-query kind),
// creating it from the first record as the registry would. Every command names the settings
// file; with a window, its handle and the host program's handle go along as a host sends them.
// A result >= 0 is passed as "RESULT".
inline std::int32_t RunPluginCommand(std::unique_ptr<TaPlugin> &plugin, const char *name,
                                     const std::string &iniFile,
                                     const host::TMessagesWindow *window = nullptr,
                                     std::int32_t result = -1) {
    params::TParamsListPtr list(params::NewParamsList());
    params::AddItem(list.get(), "COMMAND", Variant(name));
    params::AddItem(list.get(), "INI-FILE", Variant(iniFile));
    if (window != nullptr) {
        params::AddItem(list.get(), "MessagesProcessorHandle",
                        Variant(static_cast<std::int32_t>(window->ModuleHandle())));
        params::AddItem(list.get(), "HANDLE",
                        Variant(static_cast<std::int64_t>(host::HostProgramHandle())));
    }
    if (result >= 0) params::AddItem(list.get(), "RESULT", Variant(result));
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = 1;
    rec.Params = list.get();
    rec.ModuleTypes = 1u << mttDataQuery;
    if (!plugin) plugin.reset(static_cast<TaPlugin *>(CreateTaPlugin(&rec)));
    return plugin->ExecutePluginCommand(&rec);
}

}  // namespace brevor::testing
