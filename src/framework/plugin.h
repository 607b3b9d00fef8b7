#pragma once

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
#include "framework/module_log.h"
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

// A screen rectangle in pixels: Left/Top inclusive, Right/Bottom exclusive.

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
    // instance's settings location (iniFile, or IniFile when empty; the registry without
    // either). False without mapping lines.
    bool LoadSettings(TComponent *target, const TStrings *lines, const std::string &iniFile);
    bool SaveSettings(TComponent *target, const TStrings *lines, const std::string &iniFile);

    // ---- instance fields
    std::int32_t InstanceId = 0;
    std::atomic<std::int32_t> LoadCount{0};
    // A query instance: created by a call without a parameter list. It never scans. Any command
    // may change it before it takes the command lock.
    std::atomic<bool> TemporaryLoad{false};
    std::array<bool, kModuleTypeCount> ModuleStates{};

    std::string IniFile;
    std::string RegistryPath;
    std::string INISectionPrefix;

    std::string ApplicationName;
    platform::ModuleHandle HostModule = 0;
    std::uintptr_t OwnerWindow = 0;
    TSendDataFunc fSendData = nullptr;
    void *fSendString = nullptr;
    void *fSendByte = nullptr;

    std::string ModuleFolder;    // with a trailing separator
    std::string ModuleFileName;  // without folder
    std::string ModuleVersion;   // "4.0.1 build 1", empty when unknown

    std::string Language;
    bool LanguageApplied = false;
    // Translates the module's texts from the language file beside the module (.lng).
    std::unique_ptr<TWtransl> Translator;

    // Applies the language before the creation event runs.
    void AfterConstruction() override;

    TRect DialogBounds;  // all 0: none remembered

    // Commands one at a time (nested calls on one thread refused), data calls one at a time,
    // none on an unloaded instance.
    TCommandGate Gate;

    // The instance left the registry (its release call): nothing of it may run on for the
    // host any more, although a call still inside an export keeps the object alive.
    virtual void Retire() { Gate.Retire(); }

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

    // ---- lifecycle commands (dispatched by the command entry point)
    // First LOAD: settings location, host module and functions, rows lists; raises OnLoad.
    void Load(TPluginCallRec *rec);
    // Final UNLOAD: clears the module states, saves to a new INI file name, raises OnUnload.
    void Unload(TPluginCallRec *rec);
    // The "INI-FILE" parameter (empty when absent); with store set, also kept in IniFile.
    std::string ReadIniFile(const TPluginCallRec *rec, bool store);

    bool IsStateActive(int moduleType) const;
    void SaveDialogBounds(const TRect &formBounds);
    bool DialogBoundsChanged(const TRect &formBounds) const;
    // Centres the rectangle over the owner window; false when there is none to read.
    bool CenterOverOwner(TRect &formBounds) const;

    // ---- commands
    // Runs a command for ExecutePluginCommand once the record is valid and the instance found:
    // 0 done, -1 refused, -2 not handled, -3 an exception, or a handler's result.
    std::int32_t ExecutePluginCommand(TPluginCallRec *rec);
    // The custom-command text for GetCustomCommands; empty unless the module offers mttMenuExt.
    std::string CustomCommandsText() const;
    // Before every command and the options dialog: follows the host's "LANGUAGE".
    void ChangeLanguage(const TPluginCallRec *rec);
    void ApplyLanguage();
    // Translates a component (and its children) into Language; a no-op without a translator.
    virtual void ApplyTranslation(TComponent *component);

    // ---- data calls (GetData, GetEvents, ProcessData): the guard and the work
    enum class TDataCall { GetData, GetEvents, ProcessData };
    std::int32_t RunDataCall(TDataCall call, TPluginCallRec *rec);
    void SetParserItems(std::string_view text, bool replace);
    std::string GetParserItemsText() const { return FormatParserItems(ParserItems); }

    std::vector<TParserItem> ParserItems;
    std::string ParserItemsText;  // the text the last ITEMS command built
    std::vector<TConfigDataSource> DataSources;
    std::vector<TqelPluginCustomCmd> CustomCommands;

    // Process-wide number of loads that hold the host's icon.
    static std::int32_t IconCount();

    // Rows lists handed to the host by the data exports; created at LOAD, freed at UNLOAD.
    TqelParamsList *DataRows = nullptr;
    TqelParamsList *EventRows = nullptr;

private:
    friend class TInstanceRef;
    friend class TInstanceRegistry;
    // One reference for the registry's list and one for each export call using the instance;
    // whoever drops the last one destroys it.
    std::atomic<int> refs_{1};
};

}  // namespace brevor
