// The module's exported C functions. No exception ever leaves one of them: each catches
// everything and returns its failure value.

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "brevor/abi.h"
#include "diagnostics/crash_report.h"
#include "framework/command_result.h"
#include "framework/instance_registry.h"
#include "framework/params_list.h"
#include "platform/export.h"
#include "rtl/interned_text.h"

using brevor::GetModuleInstance;
using brevor::IsValidCallRecord;
using brevor::TInstanceRef;

namespace {

// After a confirmed options dialog: every other live instance with the same registry path
// reloads what the dialog saved. Each runs under its own command lock, so that no command (an
// UNLOAD freeing its settings) runs meanwhile; one unloaded or released meanwhile, or whose
// lock this thread already holds for a command, is skipped. No two command locks are held at
// once, so dialogs confirmed together on two siblings do not wait for each other.
void ReloadSiblings(brevor::TqelPlugin &self, const std::string &registryPath) {
    brevor::TInstanceRegistry *registry = brevor::Registry();
    if (registry == nullptr) return;
    std::vector<TInstanceRef> siblings;
    registry->ForEach([&](brevor::TqelPlugin *other) {
        if (other != &self) siblings.emplace_back(other);
    });
    for (const TInstanceRef &other : siblings) {
        const brevor::TCommandGate::TCommandHold command = other->Gate().EnterCommandIfLive();
        if (!command || other->SettingsLocation().RegistryPath() != registryPath ||
            !other->OnLoadSettingsNow)
            continue;
        try {
            other->OnLoadSettingsNow(other.get());
        } catch (const std::exception &e) {
            // One sibling's failure does not keep the others from reloading.
            other->AddLog(brevor::kLogError, e.what());
        }
    }
}

}  // namespace

BRV_EXPORT int32_t BRV_CALL GetPluginIntfVersion(void) {
    return BRV_INTERFACE_VERSION;
}

BRV_EXPORT float BRV_CALL GetAppMinVersion(TPluginCallRec *rec) {
    try {
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return -1.0f;
        return instance->MinVersion;
    } catch (...) {
        return -1.0f;
    }
}

BRV_EXPORT const char *BRV_CALL GetModuleDescription(TPluginCallRec *rec) {
    try {
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return nullptr;
        // Interned: the text stays valid after the instance is gone, for hosts that keep it.
        return brevor::InternText(instance->Description);
    } catch (...) {
        return nullptr;
    }
}

BRV_EXPORT int32_t BRV_CALL GetModuleType(TPluginCallRec *rec) {
    try {
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return 0;
        return instance->ModuleTypeCode();
    } catch (...) {
        return 0;
    }
}

BRV_EXPORT uint8_t BRV_CALL MultiThreadSupport(TPluginCallRec *rec) {
    try {
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return 0;
        return instance->IsMultiThreadSupported ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

// The custom-command text: copied to Data when it fits BufferSize; ResultValue tells the size.
BRV_EXPORT int32_t BRV_CALL GetCustomCommands(TPluginCallRec *rec) {
    if (rec == nullptr) return 0;
    try {
        rec->ResultValue = 0;
        rec->ResultKind = BRV_RESULT_KIND_NUMBER;
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return 0;
        const std::string text = instance->CustomCommandsText();
        const auto length = static_cast<int32_t>(text.size());
        rec->ResultValue = length;
        if (length == 0 || length > rec->BufferSize || rec->Data == nullptr) return 0;
        std::memcpy(rec->Data, text.data(), text.size());
        return length;
    } catch (...) {
        return 0;
    }
}

BRV_EXPORT int32_t BRV_CALL ExecutePluginCommand(TPluginCallRec *rec) {
    try {
        if (!IsValidCallRecord(rec)) return brevor::kCommandRefused;
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return brevor::kCommandRefused;
        return instance->ExecutePluginCommand(rec);
    } catch (...) {
        return brevor::kCommandFailed;
    }
}

// Status in ResultValue: 2 no instance, 3 the module has no options dialog, 4 stopped on an
// error, 0 closed without change, 1 settings changed (siblings sharing the registry path then
// reload theirs).
BRV_EXPORT void BRV_CALL ShowOptionsDialog(TPluginCallRec *rec) {
    if (rec == nullptr) return;
    // Nothing may reach the host: an error after the status 4 was set leaves that status.
    try {
        rec->ResultKind = BRV_RESULT_KIND_NUMBER;
        rec->ResultSize = 4;
        rec->ResultValue = 2;
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return;
        if (!instance->OnShowOptionsDialog) {
            rec->ResultValue = 3;
            return;
        }
        rec->ResultValue = 4;
        std::string registryPath;
        {
            // What commands change as well is changed under their lock.
            const auto lock = instance->Gate().LockCommands();
            if (rec->Params != nullptr) {
                const auto *list = static_cast<const TqelParamsList *>(rec->Params);
                instance->SettingsLocation().ReadIniFile(list, true);
                instance->ChangeLanguage(rec);
                instance->Host().FollowOwnerForm(list);
            }
            registryPath = instance->SettingsLocation().RegistryPath();
        }
        bool success = false;
        try {
            instance->OnShowOptionsDialog(instance.get(), rec, success);
        } catch (const std::exception &e) {
            success = false;
            instance->AddLog(brevor::kLogError, e.what());
        } catch (...) {
            // Not an exception of ours (it carries no text to log): the dialog counts as closed
            // without change, as for any other failure of the handler.
            success = false;
        }
        rec->ResultValue = success ? 1 : 0;
        if (success) ReloadSiblings(*instance.get(), registryPath);
    } catch (...) {
    }
}

namespace {

int32_t DataCall(brevor::TqelPlugin::TDataCall call, TPluginCallRec *rec) {
    try {
        if (!IsValidCallRecord(rec)) return brevor::kCommandRefused;
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return brevor::kCommandRefused;
        return instance->RunDataCall(call, rec);
    } catch (...) {
        return brevor::kCommandFailed;
    }
}

}  // namespace

BRV_EXPORT int32_t BRV_CALL GetData(TPluginCallRec *rec) {
    return DataCall(brevor::TqelPlugin::TDataCall::GetData, rec);
}
BRV_EXPORT int32_t BRV_CALL GetEvents(TPluginCallRec *rec) {
    return DataCall(brevor::TqelPlugin::TDataCall::GetEvents, rec);
}
BRV_EXPORT int32_t BRV_CALL ProcessData(TPluginCallRec *rec) {
    return DataCall(brevor::TqelPlugin::TDataCall::ProcessData, rec);
}

// Hands the queued log lines to the host: the number of bytes copied to Data, or 0; ResultValue
// receives the number of bytes the lines need (Data gets them without a terminating zero).
BRV_EXPORT int32_t BRV_CALL GetLogEx(TPluginCallRec *rec) {
    if (rec == nullptr) return 0;
    try {
        rec->ResultValue = 0;
        rec->ResultKind = BRV_RESULT_KIND_NUMBER;
        TInstanceRef instance;
        if (!GetModuleInstance(rec, instance)) return 0;
        std::int64_t needed = 0;
        const std::int32_t copied = instance->Log().GetLogEx(rec->Data, rec->BufferSize, needed);
        rec->ResultValue = static_cast<intptr_t>(needed);
        return copied;
    } catch (...) {
        return 0;
    }
}

// The calling thread's call-stack text: copied (without a terminating zero) when it fits;
// the result is the number of bytes it needs.
BRV_EXPORT int32_t BRV_CALL TraceProcess(char *buffer, int32_t bufferSize) {
    try {
        const std::string text = brevor::RenderStack(brevor::CaptureStack(0));
        const auto needed = static_cast<int32_t>(text.size());
        if (buffer != nullptr && bufferSize >= needed)
            std::memcpy(buffer, text.data(), text.size());
        return needed;
    } catch (...) {
        return 0;
    }
}
