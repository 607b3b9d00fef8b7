#pragma once

// The module object: the base of every module instance. It keeps its state in small rooms (host
// link, settings location, command gate, module log, language, rows lists) and offers the
// stored form's published values and events.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "brevor/abi.h"
#include "framework/command_gate.h"
#include "framework/data_exchange.h"
#include "framework/host_link.h"
#include "framework/module_language.h"
#include "framework/module_log.h"
#include "framework/rows_lists.h"
#include "framework/settings_location.h"
#include "messages/translator.h"
#include "platform/platform.h"
#include "rtl/data_module.h"
#include "rtl/geometry.h"
#include "rtl/thread_containers.h"
#include "storage/wreg.h"

namespace brevor {

// One byte, bit i for enumerator i of the module kinds (mttDataQuery ... mttMenuExt).
using TModuleTypes = std::uint8_t;
// One byte, bit 0 moNoConfig, bit 1 moXMLOptions.
using TModuleOptions = std::uint8_t;

constexpr TModuleTypes ModuleTypeBit(int kind) {
    return static_cast<TModuleTypes>(1u << kind);
}
constexpr int kModuleTypeCount = 8;

// An entry of the custom-command text ("Text1|Text2|Text3|Number1|Number2").
struct TqelPluginCustomCmd {
    std::string Text1;
    std::string Text2;
    std::string Text3;
    std::uint8_t Number1 = 0;
    std::uint8_t Number2 = 0;
};

class TqelPlugin;
using TExecutePluginCommandEvent =
    std::function<void(TqelPlugin *sender, TPluginCallRec *pCallRec, std::int32_t &result)>;
using TShowOptionsDialogEvent =
    std::function<void(TqelPlugin *sender, TPluginCallRec *pCallRec, bool &success)>;
using TPluginNotifyEvent = std::function<void(TqelPlugin *sender)>;
using TOnPluginStateChangeNotifyEvent =
    std::function<void(TqelPlugin *sender, TModuleTypes moduleTypes)>;
using TExecutePluginCustomCommandEvent =
    std::function<void(TqelPlugin *sender, const std::string &command, TPluginCallRec *pCallRec,
                       std::int32_t &result)>;
using TOnProcessData =
    std::function<void(TqelPlugin *sender, TPluginCallRec *pCallRec, std::int32_t &result)>;

// Base class of a module instance. The registry constructs one per host instance id from the
// call record of the first call that names the id; the class factory then calls
// AfterConstruction, and the registry calls BeforeDestruction before it deletes the instance.
class TqelPlugin : public TDataModule {
public:
    explicit TqelPlugin(const TPluginCallRec *rec);
    ~TqelPlugin() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // ---- published values; the module class's stored form sets them
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

    // ---- published events
    TExecutePluginCommandEvent OnLoad;
    TExecutePluginCommandEvent OnUnload;
    TShowOptionsDialogEvent OnShowOptionsDialog;
    TPluginNotifyEvent OnSaveSettingsNow;
    TPluginNotifyEvent OnLoadSettingsNow;
    TOnPluginStateChangeNotifyEvent OnStateChanged;
    TPluginNotifyEvent OnChangeLanguage;
    TExecutePluginCustomCommandEvent OnExecuteCustomCommand;
    TExecutePluginCustomCommandEvent OnEvent;
    TPluginNotifyEvent OnSetParserItems;
    TPluginNotifyEvent OnBeforeGetParserItems;
    TOnProcessData OnGetData;
    TOnProcessData OnProcessData;
    TWreg::TSetValueProc OnSetPropertyValue;
    TWreg::TGetValueProc OnGetPropertyValue;
    TWreg::TBeforeProcessItemProc OnBeforeProcessSettingsItem;

    // Reads / writes the published properties of target named by the mapping lines, in the
    // instance's settings location (iniFile, or the kept INI file when empty; the registry
    // without either). False without mapping lines.
    bool LoadSettings(TComponent *target, const TStrings *lines, const std::string &iniFile);
    bool SaveSettings(TComponent *target, const TStrings *lines, const std::string &iniFile);

    // ---- the rooms
    THostLink &Host() { return host_; }
    const THostLink &Host() const { return host_; }
    TSettingsLocation &SettingsLocation() { return settings_; }
    const TSettingsLocation &SettingsLocation() const { return settings_; }
    // Commands one at a time (nested calls on one thread refused), data calls one at a time,
    // none on an unloaded instance.
    TCommandGate &Gate() { return gate_; }
    TModuleLog &Log() { return log_; }

    // ---- instance fields
    std::int32_t InstanceId() const { return instanceId_; }
    std::int32_t LoadCount() const { return loadCount_.load(); }
    // A query instance: created by a call without a parameter list. It never scans. Any command
    // may change it before it takes the command lock.
    bool TemporaryLoad() const { return temporaryLoad_.load(); }

    const std::string &ModuleFolder() const { return moduleFolder_; }      // trailing separator
    const std::string &ModuleFileName() const { return moduleFileName_; }  // without folder
    const std::string &ModuleVersion() const { return moduleVersion_; }    // "4.0.1 build 1"

    const std::string &Language() const { return language_->Language(); }
    // Translates the module's texts from the language file beside the module (.lng).
    TWtransl *Translator() const { return language_->Translator(); }

    // Applies the language before the creation event runs.
    void AfterConstruction() override;

    // The instance left the registry (its release call): nothing of it may run on for the
    // host any more, although a call still inside an export keeps the object alive.
    virtual void Retire() { gate_.Retire(); }

    // Kinds in bits 0-7, options in bits 16-17.
    std::int32_t ModuleTypeCode() const;

    // Module log: lines go to the messages window the host named (none: they are discarded).
    void AddLog(int level, std::string_view text) noexcept {
        log_.AddLog(LogDestination(), level, text);
    }
    void QueueLog(int level, std::string_view text) noexcept {
        log_.QueueLog(LogDestination(), level, text);
    }
    TLogDestination LogDestination() const { return host_.LogDestination(LogTitle); }

    // ---- lifecycle commands (dispatched by the command entry point)
    // First LOAD: settings location, host module and functions, rows lists; raises OnLoad.
    void Load(TPluginCallRec *rec);
    // Final UNLOAD: clears the module states, saves to a new INI file name, raises OnUnload.
    void Unload(TPluginCallRec *rec);

    bool IsStateActive(int moduleType) const;
    // Sets the state of every kind whose bit is set in moduleTypes.
    void SetModuleStates(TModuleTypes moduleTypes, bool active);
    void SaveDialogBounds(const TRect &formBounds);
    bool DialogBoundsChanged(const TRect &formBounds) const;
    // Centres the rectangle over the owner window; false when there is none to read.
    bool CenterOverOwner(TRect &formBounds) const;

    // ---- commands
    // Runs a command for ExecutePluginCommand once the record is valid and the instance found:
    // a TCommandResult, or a handler's result.
    std::int32_t ExecutePluginCommand(TPluginCallRec *rec);
    // The custom-command text for GetCustomCommands; empty unless the module offers mttMenuExt.
    std::string CustomCommandsText() const;
    void AddCustomCommand(const TqelPluginCustomCmd &command) {
        customCommands_.push_back(command);
    }
    // Before every command and the options dialog: follows the host's "LANGUAGE".
    void ChangeLanguage(const TPluginCallRec *rec);
    void ApplyLanguage();
    // Translates a component (and its children) into the language; a no-op without a
    // translator.
    virtual void ApplyTranslation(TComponent *component);

    // ---- data calls (GetData, GetEvents, ProcessData): the guard and the work
    enum class TDataCall { GetData, GetEvents, ProcessData };
    std::int32_t RunDataCall(TDataCall call, TPluginCallRec *rec);
    void SetParserItems(std::string_view text, bool replace);
    const std::vector<TParserItem> &ParserItems() const { return parserItems_; }
    std::string GetParserItemsText() const { return FormatParserItems(parserItems_); }
    // The text the last ITEMS command built.
    const std::string &ParserItemsText() const { return parserItemsText_; }
    // The data sources of the last SET-STATE that named them.
    const std::vector<TConfigDataSource> &DataSources() const { return dataSources_; }

    // Rows lists handed to the host by the data exports; created at LOAD, freed at UNLOAD.
    TqelParamsList *DataRows() const { return rows_.DataRows(); }
    TqelParamsList *EventRows() const { return rows_.EventRows(); }

private:
    friend class TInstanceRef;
    friend class TInstanceRegistry;

    // One handler per command text; the common prologue runs before it.
    using TCommandHandler = std::int32_t (TqelPlugin::*)(TPluginCallRec *rec, TqelParamsList *list);
    struct TCommandEntry {
        std::string_view Text;
        TCommandHandler Handler;
    };
    static const TCommandEntry kCommandHandlers[];

    std::int32_t LoadCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t UnloadCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t SetItemsCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t SetStateCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t ItemsCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t EventsSupportCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t EventCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t SaveSettingsNowCommand(TPluginCallRec *rec, TqelParamsList *list);
    std::int32_t LoadSettingsNowCommand(TPluginCallRec *rec, TqelParamsList *list);
    // Any other command text: the custom-command event.
    std::int32_t CustomCommand(const std::string &command, TPluginCallRec *rec);
    // SAVE-SETTINGS-NOW and LOAD-SETTINGS-NOW, in the request's INI file for their duration.
    std::int32_t SettingsNowCommand(TqelParamsList *list, bool load);

    std::int32_t instanceId_ = 0;
    std::atomic<std::int32_t> loadCount_{0};
    std::atomic<bool> temporaryLoad_{false};
    std::array<bool, kModuleTypeCount> moduleStates_{};

    THostLink host_;
    TSettingsLocation settings_;
    TCommandGate gate_;
    TModuleLog log_;  // holds LogLines
    TRowsLists rows_;

    std::string moduleFolder_;
    std::string moduleFileName_;
    std::string moduleVersion_;

    std::unique_ptr<TModuleLanguage> language_;  // made once the module's folder is known

    TRect dialogBounds_;  // all 0: none remembered

    std::vector<TParserItem> parserItems_;
    std::string parserItemsText_;
    std::vector<TConfigDataSource> dataSources_;
    std::vector<TqelPluginCustomCmd> customCommands_;

    // One reference for the registry's list and one for each export call using the instance;
    // whoever drops the last one destroys it.
    std::atomic<int> refs_{1};
};

}  // namespace brevor
