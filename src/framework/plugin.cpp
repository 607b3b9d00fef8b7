#include "framework/plugin.h"

#include "diagnostics/crash_report.h"

#include "framework/command_result.h"
#include "framework/params_list.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace brevor {

namespace {

const TqelParamsList *ParamsOf(const TPluginCallRec *rec) {
    return rec == nullptr ? nullptr : static_cast<const TqelParamsList *>(rec->Params);
}

}  // namespace

const TClassInfo &TqelPlugin::StaticClassInfo() {
    static const std::vector<std::string> kTypes = {
        "mttDataQuery", "mttDataParser", "mttDataExport",  "mttEventsHandling",
        "mttLogging",   "mttFilter",     "mttDeviceLayer", "mttMenuExt"};
    static const TClassInfo info =
        TClassBuilder<TqelPlugin>("TqelPlugin", &TDataModule::StaticClassInfo())
            .String("Description", &TqelPlugin::Description)
            .String("LogTitle", &TqelPlugin::LogTitle)
            .Float("MinVersion", &TqelPlugin::MinVersion)
            .Set("ModuleType", kTypes, &TqelPlugin::ModuleType)
            .Set("ModuleOptions", {"moNoConfig", "moXMLOptions"}, &TqelPlugin::ModuleOptions)
            .Boolean("IsMultiThreadSupported", &TqelPlugin::IsMultiThreadSupported)
            .String("EventsSupported", &TqelPlugin::EventsSupported)
            .String("MsgNoData", &TqelPlugin::MsgNoData)
            .String("MsgWriteComplete", &TqelPlugin::MsgWriteComplete)
            .String("MsgWriteCompleteError", &TqelPlugin::MsgWriteCompleteError)
            .Build();
    return info;
}
const TClassInfo &TqelPlugin::ClassInfo() const {
    return StaticClassInfo();
}

TqelPlugin::TqelPlugin(const TPluginCallRec *rec) : TDataModule(nullptr) {
    temporaryLoad_ = rec == nullptr || rec->Params == nullptr;
    if (!temporaryLoad_ && params::HasParam(ParamsOf(rec), "TEMPORARY-LOAD"))
        temporaryLoad_ = params::ReadParamBool(ParamsOf(rec), "TEMPORARY-LOAD");
    try {
        moduleVersion_ = platform::OwnModuleVersion();
    } catch (...) {
        moduleVersion_.clear();
    }
    const std::string path = platform::OwnModulePath();
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !platform::IsPathSeparator(path[nameStart - 1]))
        --nameStart;
    moduleFileName_ = path.substr(nameStart);
    moduleFolder_ = path.substr(0, nameStart);
    if (!moduleFolder_.empty() && !platform::IsPathSeparator(moduleFolder_.back()))
        moduleFolder_ += platform::PathSeparator();

    // The language file beside the module.
    const auto dot = moduleFileName_.find_last_of('.');
    language_ = std::make_unique<TModuleLanguage>(
        moduleFolder_ +
        (dot == std::string::npos ? moduleFileName_ : moduleFileName_.substr(0, dot)) + ".lng");
    for (const char *name : {"MsgNoData", "MsgWriteComplete", "MsgWriteCompleteError"})
        language_->Translator()->ComponentProperties().Add(name);
}

void TqelPlugin::AfterConstruction() {
    TWtransl *translator = language_->Translator();
    if (translator != nullptr && !translator->LanguageFile().empty()) ApplyLanguage();
    TDataModule::AfterConstruction();
}

// The rows lists free themselves: an instance released while loaded must not leak them.
TqelPlugin::~TqelPlugin() {
    language_->ReleaseTranslator();
}

std::int32_t TqelPlugin::ModuleTypeCode() const {
    return static_cast<std::int32_t>(ModuleType) |
           (static_cast<std::int32_t>(ModuleOptions & 0x03) << 16);
}

void TqelPlugin::Load(TPluginCallRec *rec) {
    if (loadCount_.fetch_add(1) + 1 > 1) return;  // only the first LOAD does anything
    host_.KeepHostContext(rec->HostContext);
    const TqelParamsList *list = ParamsOf(rec);
    // The order of the reads decides what a LOAD that fails on a bad value has kept.
    settings_.ReadAtLoad(list);
    host_.FindHost(list);
    settings_.ReadIniFile(list, true);
    rows_.Create();
    host_.Connect();
    gate_.MarkLoaded();
    std::int32_t result = kCommandDone;
    if (OnLoad) OnLoad(this, rec, result);
}

void TqelPlugin::Unload(TPluginCallRec *rec) {
    // Every UNLOAD gives back one icon reference, also one that leaves the instance loaded.
    THostLink::ReturnIcon();
    const std::int32_t count = loadCount_.fetch_sub(1) - 1;
    if (count < 0) {
        loadCount_.store(0);
        return;
    }
    if (count > 0) return;
    // Data calls are refused from here on; one still running is waited for, since its rows
    // are freed below.
    const TCommandGate::TDataHold dataCalls = gate_.Unload();
    moduleStates_.fill(false);
    try {
        if (settings_.TakeNewIniFile(ParamsOf(rec)) && OnSaveSettingsNow) OnSaveSettingsNow(this);
    } catch (...) {
        // The unload goes on; the log tells why the settings were not written.
        QueueLog(kLogError, CurrentExceptionLogText());
    }
    try {
        std::int32_t result = kCommandDone;
        if (OnUnload) OnUnload(this, rec, result);
    } catch (...) {
        QueueLog(kLogError, CurrentExceptionLogText());
    }
    // A data call that did not finish in time may still use the rows: they then stay until
    // the instance is destroyed (or the next LOAD takes them up again).
    if (dataCalls) rows_.Free();
    host_.Disconnect();
}

bool TqelPlugin::LoadSettings(TComponent *target, const TStrings *lines,
                              const std::string &iniFile) {
    return settings_.RunStore(
        false, target, lines, iniFile,
        {OnSetPropertyValue, OnGetPropertyValue, OnBeforeProcessSettingsItem});
}

bool TqelPlugin::SaveSettings(TComponent *target, const TStrings *lines,
                              const std::string &iniFile) {
    return settings_.RunStore(
        true, target, lines, iniFile,
        {OnSetPropertyValue, OnGetPropertyValue, OnBeforeProcessSettingsItem});
}

bool TqelPlugin::IsStateActive(int moduleType) const {
    return moduleType >= 0 && moduleType < kModuleTypeCount &&
           moduleStates_[static_cast<size_t>(moduleType)];
}

void TqelPlugin::SetModuleStates(TModuleTypes moduleTypes, bool active) {
    for (int k = 0; k < kModuleTypeCount; ++k) {
        if (moduleTypes & (1u << k)) moduleStates_[static_cast<size_t>(k)] = active;
    }
}

void TqelPlugin::SaveDialogBounds(const TRect &formBounds) {
    dialogBounds_ = formBounds;
}

bool TqelPlugin::DialogBoundsChanged(const TRect &formBounds) const {
    return host_.OwnerWindow() != 0 && !(dialogBounds_ == TRect{}) &&
           !(formBounds == dialogBounds_);
}

bool TqelPlugin::CenterOverOwner(TRect &formBounds) const {
    const std::uintptr_t ownerWindow = host_.OwnerWindow();
    if (ownerWindow == 0) return false;
    TRect owner;
    if (!platform::GetWindowBounds(ownerWindow, owner.Left, owner.Top, owner.Right, owner.Bottom))
        return false;
    const std::int32_t width = formBounds.Width();
    const std::int32_t height = formBounds.Height();
    formBounds.Left = owner.Left + (owner.Width() - width) / 2;
    formBounds.Top = owner.Top + (owner.Height() - height) / 2;
    formBounds.Right = formBounds.Left + width;
    formBounds.Bottom = formBounds.Top + height;
    return true;
}

}  // namespace brevor
