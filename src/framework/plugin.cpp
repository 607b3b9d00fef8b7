#include "framework/plugin.h"

#include "diagnostics/crash_report.h"

#include "framework/params_list.h"
#include "platform/paths.h"
#include "platform/platform.h"

namespace brevor {

namespace {

const TqelParamsList *ParamsOf(const TPluginCallRec *rec) {
    return rec == nullptr ? nullptr : static_cast<const TqelParamsList *>(rec->Params);
}

// Loads of any instance that hold the host's icon. There is no icon resource on POSIX; the
// count is kept so that the first load and the last unload stay observable.
std::atomic<std::int32_t> g_iconCount{0};

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
    TemporaryLoad = rec == nullptr || rec->Params == nullptr;
    if (!TemporaryLoad && params::HasParam(ParamsOf(rec), "TEMPORARY-LOAD"))
        TemporaryLoad = params::ReadParamBool(ParamsOf(rec), "TEMPORARY-LOAD");
    try {
        ModuleVersion = platform::OwnModuleVersion();
    } catch (...) {
        ModuleVersion.clear();
    }
    Translator = std::make_unique<TWtransl>(nullptr);
    const std::string path = platform::OwnModulePath();
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !platform::IsPathSeparator(path[nameStart - 1]))
        --nameStart;
    ModuleFileName = path.substr(nameStart);
    ModuleFolder = path.substr(0, nameStart);
    if (!ModuleFolder.empty() && !platform::IsPathSeparator(ModuleFolder.back()))
        ModuleFolder += platform::PathSeparator();

    // The language file beside the module: its default language, or "EN" without one.
    const auto dot = ModuleFileName.find_last_of('.');
    const std::string languageFile =
        ModuleFolder + (dot == std::string::npos ? ModuleFileName : ModuleFileName.substr(0, dot)) +
        ".lng";
    Translator->SetLanguageFile(languageFile);
    Translator->SetDefaultLanguage("EN");
    Language = "EN";
    if (platform::FileExists(languageFile)) {
        std::string selected;
        Translator->GetLanguages(nullptr, selected);
        if (!selected.empty()) Language = selected;
    } else {
        Translator->SetLanguageFile("");
    }
    for (const char *name : {"MsgNoData", "MsgWriteComplete", "MsgWriteCompleteError"})
        Translator->ComponentProperties().Add(name);
}

void TqelPlugin::AfterConstruction() {
    if (Translator && !Translator->LanguageFile().empty()) ApplyLanguage();
    TDataModule::AfterConstruction();
}

TqelPlugin::~TqelPlugin() {
    Translator.reset();
    // Rows lists belong to UNLOAD; an instance released while loaded must not leak them.
    params::FreeParamsList(DataRows);
    DataRows = nullptr;
    params::FreeParamsList(EventRows);
    EventRows = nullptr;
}

std::int32_t TqelPlugin::ModuleTypeCode() const {
    return static_cast<std::int32_t>(ModuleType) |
           (static_cast<std::int32_t>(ModuleOptions & 0x03) << 16);
}

std::string TqelPlugin::ReadIniFile(const TPluginCallRec *rec, bool store) {
    if (rec == nullptr || rec->Params == nullptr) return {};
    std::string name = params::ReadParamText(ParamsOf(rec), "INI-FILE");
    if (store) IniFile = name;
    return name;
}

void TqelPlugin::Load(TPluginCallRec *rec) {
    if (LoadCount.fetch_add(1) + 1 > 1) return;  // only the first LOAD does anything
    HostContext = rec->HostContext;
    const TqelParamsList *list = ParamsOf(rec);
    RegistryPath = params::ReadParamText(list, "RegistryPath");
    INISectionPrefix = params::ReadParamText(list, "INISectionPrefix");
    if (params::HasParam(list, "HANDLE")) HostModule = params::ReadParamHandle(list, "HANDLE");
    ApplicationName = params::ReadParamText(list, "ApplicationName");
    if (HostModule == 0 && !ApplicationName.empty())
        HostModule = platform::FindLoadedModule(ApplicationName);
    ReadIniFile(rec, true);
    if (DataRows == nullptr) DataRows = params::NewParamsList(true);
    if (EventRows == nullptr) EventRows = params::NewParamsList(true);
    fSendData = nullptr;
    fSendString = nullptr;
    fSendByte = nullptr;
    if (HostModule != 0) {
        g_iconCount.fetch_add(1);
        fSendData =
            reinterpret_cast<TSendDataFunc>(platform::FindModuleFunction(HostModule, "fSendData"));
        fSendString = platform::FindModuleFunction(HostModule, "fSendString");
        fSendByte = platform::FindModuleFunction(HostModule, "fSendByte");
    }
    Gate.MarkLoaded();
    std::int32_t result = 0;
    if (OnLoad) OnLoad(this, rec, result);
}

void TqelPlugin::Unload(TPluginCallRec *rec) {
    // Every UNLOAD gives back one icon reference, also one that leaves the instance loaded;
    // the count never goes below zero.
    std::int32_t icons = g_iconCount.load();
    while (icons > 0 && !g_iconCount.compare_exchange_weak(icons, icons - 1)) {
    }
    const std::int32_t count = LoadCount.fetch_sub(1) - 1;
    if (count < 0) {
        LoadCount.store(0);
        return;
    }
    if (count > 0) return;
    // Data calls are refused from here on; one still running is waited for, since its rows
    // are freed below.
    const TCommandGate::TDataHold dataCalls = Gate.Unload();
    ModuleStates.fill(false);
    try {
        const std::string name = ReadIniFile(rec, false);
        if (name != IniFile) {
            IniFile = name;
            if (OnSaveSettingsNow) OnSaveSettingsNow(this);
        }
    } catch (...) {
        // The unload goes on; the log tells why the settings were not written.
        QueueLog(kLogError, CurrentExceptionLogText());
    }
    try {
        std::int32_t result = 0;
        if (OnUnload) OnUnload(this, rec, result);
    } catch (...) {
        QueueLog(kLogError, CurrentExceptionLogText());
    }
    // A data call that did not finish in time may still use the rows: they then stay until
    // the instance is destroyed (or the next LOAD takes them up again).
    if (dataCalls) {
        try {
            params::FreeParamsList(DataRows);
        } catch (...) {
        }
        DataRows = nullptr;
        try {
            params::FreeParamsList(EventRows);
        } catch (...) {
        }
        EventRows = nullptr;
    }
    HostModule = 0;
    MessagesProcessorHandle = 0;
}

bool TqelPlugin::IsStateActive(int moduleType) const {
    return moduleType >= 0 && moduleType < kModuleTypeCount &&
           ModuleStates[static_cast<size_t>(moduleType)];
}

void TqelPlugin::SaveDialogBounds(const TRect &formBounds) {
    DialogBounds = formBounds;
}

bool TqelPlugin::DialogBoundsChanged(const TRect &formBounds) const {
    return OwnerWindow != 0 && !(DialogBounds == TRect{}) && !(formBounds == DialogBounds);
}

bool TqelPlugin::CenterOverOwner(TRect &formBounds) const {
    if (OwnerWindow == 0) return false;
    TRect owner;
    if (!platform::GetWindowBounds(OwnerWindow, owner.Left, owner.Top, owner.Right, owner.Bottom))
        return false;
    const std::int32_t width = formBounds.Width();
    const std::int32_t height = formBounds.Height();
    formBounds.Left = owner.Left + (owner.Width() - width) / 2;
    formBounds.Top = owner.Top + (owner.Height() - height) / 2;
    formBounds.Right = formBounds.Left + width;
    formBounds.Bottom = formBounds.Top + height;
    return true;
}

std::int32_t TqelPlugin::IconCount() {
    return g_iconCount.load();
}

}  // namespace brevor
