#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "brevor/abi.h"
#include "framework/module_log.h"

namespace brevor {

// One byte, bit i for enumerator i of the module kinds (mttDataQuery ... mttMenuExt).
using TModuleTypes = std::uint8_t;
// One byte, bit 0 moNoConfig, bit 1 moXMLOptions.
using TModuleOptions = std::uint8_t;

constexpr TModuleTypes ModuleTypeBit(int kind) {
    return static_cast<TModuleTypes>(1u << kind);
}

// Base class of a module instance. The registry constructs one per host instance id from the
// call record of the first call that names the id.
class TqelPlugin {
public:
    explicit TqelPlugin(const TPluginCallRec *rec);
    virtual ~TqelPlugin();
    TqelPlugin(const TqelPlugin &) = delete;
    TqelPlugin &operator=(const TqelPlugin &) = delete;

    // Published values; the module class sets them when it is built.
    std::string Description;
    std::string LogTitle;
    float MinVersion = 0.0f;
    TModuleTypes ModuleType = 0;
    TModuleOptions ModuleOptions = 0;
    bool IsMultiThreadSupported = false;
    std::string EventsSupported;
    std::string MsgNoData;
    std::string MsgWriteComplete;
    std::string MsgWriteCompleteError;

    // Instance fields.
    std::int32_t InstanceId = 0;
    // A query instance: created by a call without a parameter list. It never scans.
    bool TemporaryLoad = false;

    // Kinds in bits 0-7, options in bits 16-17.
    std::int32_t ModuleTypeCode() const;

    // Module log. HostContext is kept at LOAD; MessagesProcessorHandle is set by any command that
    // names the window and cleared by the final UNLOAD (0: none, lines are discarded). Both are
    // read by every thread that logs, hence atomic.
    std::atomic<std::uintptr_t> HostContext{0};
    std::atomic<std::uintptr_t> MessagesProcessorHandle{0};
    TModuleLog Log;  // holds LogLines
    void AddLog(int level, std::string_view text) noexcept {
        Log.AddLog(LogDestination(), level, text);
    }
    void QueueLog(int level, std::string_view text) noexcept {
        Log.QueueLog(LogDestination(), level, text);
    }
    TLogDestination LogDestination() const {
        return TLogDestination{LogTitle, HostContext.load(), MessagesProcessorHandle.load()};
    }

private:
    friend class TInstanceRef;
    friend class TInstanceRegistry;
    // One reference for the registry's list and one for each export call using the instance;
    // whoever drops the last one destroys it.
    std::atomic<int> refs_{1};
};

}  // namespace brevor
