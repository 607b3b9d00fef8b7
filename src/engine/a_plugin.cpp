#include "engine/a_plugin.h"

#include <cmath>
#include <limits>
#include <memory>

#include "engine/config_dialog.h"
#include "engine/settings_model.h"
#include "framework/params_list.h"
#include "platform/clock.h"
#include "ui/backend.h"

namespace brevor {

namespace {

// Read by each new instance; set once at the module's start-up.
std::atomic<bool> g_optionsDialogOffered{true};

// The engine's messages, stored with the module's form. "ErrorReadingFile" reports a read that
// failed in the middle of a file, "ErrorGetMem" a file's state or buffer that could not be had.
const char *const kPluginMessages[] = {
    "InvalidBlockSize||Invalid chunk size (%d)||||||D||||||||",
    "FileNotExist||The \"%s\" file doesn't exist||||||D||||||||",
    "ErrorOpeningFile||Unable to open the \"%s\" file||||||D||||||||",
    "FileDataNotExported||Data from the \"%s\" file have been sent (bytes: %d)||||||D||||||||",
    // clang-format off
    "FileDataExported||Data from the \"%s\" file have been sent successfully (bytes: %d)||||||D||||||||",
    // clang-format on
    "FileDeleted||The \"%s\" file has been deleted||||||D||||||||",
    "ErrorDeletingFile||Unable to delete the \"%s\" file||||||D||||||||",
    "FileTruncated||The \"%s\" file has been truncated||||||D||||||||",
    "ErrorTruncatingFile||Unable to truncate the \"%s\" file||||||D||||||||",
    "NullFileSize||The \"%s\" file is empty||||||D||||||||",
    "ErrorReadingFile||Unable to read the \"%s\" file||||||D||||||||",
    "ErrorGetMem||Not enough memory to process the \"%s\" file||||||D||||||||",
};

// Milliseconds of a scan interval in seconds: truncated to whole seconds; never negative, so
// that no setting becomes a huge unsigned wait.
std::uint32_t IntervalMs(std::int64_t seconds) {
    if (seconds <= 0) return 0;
    const std::int64_t ms = seconds * 1000;
    return ms > std::numeric_limits<std::uint32_t>::max()
               ? std::numeric_limits<std::uint32_t>::max()
               : static_cast<std::uint32_t>(ms);
}

void StopTimer(TZRTTimer *timer) {
    if (timer != nullptr && timer->Enabled()) timer->SetEnabled(false);
}

}  // namespace

const TClassInfo &TaPlugin::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TaPlugin>("TaPlugin", &TqelPlugin::StaticClassInfo())
            .Object("shConfig", [](TaPlugin &p) { return &p.shConfig; })
            .Build();
    return info;
}
const TClassInfo &TaPlugin::ClassInfo() const {
    return StaticClassInfo();
}

TaPlugin::TaPlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
    BuildStoredForm();
}

TaPlugin::~TaPlugin() {
    // Children are freed by the component base; the timers must be stopped before anything
    // their scans use goes away.
    alive_ = false;
    StopTimers();
}

// The module's stored form: published values, child components and event wiring.
void TaPlugin::BuildStoredForm() {
    SetName("aPlugin");
    Description = "Brevor";
    LogTitle = "Brevor";
    MinVersion = 4.0f;
    ModuleType = ModuleTypeBit(mttDataQuery) | ModuleTypeBit(mttFilter);
    ModuleOptions = 0;
    IsMultiThreadSupported = true;
    MsgNoData = "No data for processing";
    MsgWriteComplete = "Data have been processed successfully";
    MsgWriteCompleteError = "Data have been processed with errors";

    maPlugin = new TMsgArray(this);
    maPlugin->SetName("maPlugin");
    TStringList rows;
    for (const char *row : kPluginMessages)
        rows.Add(row);
    maPlugin->SetMessagesArray(rows);

    timSimpleTimeMode = new TZRTTimer(this);
    timSimpleTimeMode->SetName("timSimpleTimeMode");
    timSimpleTimeMode->Kind = TZRTTimerKind::tkStandard;
    timSimpleTimeMode->Sleep = 10;
    timSimpleTimeMode->UseProcessMessages = false;
    timSimpleTimeMode->OnTimer = [this](TZRTTimer *, TZRTTimerData *) { timSimpleTimeModeTimer(); };

    timSchedulerMode = new TZRTTimer(this);
    timSchedulerMode->SetName("timSchedulerMode");
    timSchedulerMode->Kind = TZRTTimerKind::tkCron;
    timSchedulerMode->Sleep = 10;
    timSchedulerMode->UseProcessMessages = false;
    timSchedulerMode->CronTypes = kModuleCronTypes;
    timSchedulerMode->DateTimeTypes = kModuleDateTimeTypes;
    timSchedulerMode->OnTimer = [this](TZRTTimer *, TZRTTimerData *data) {
        timSchedulerModeTimer(data);
    };

    shConfig.SetText("");
    for (const std::string &line : ConfigMappingLines())
        shConfig.Add(line);

    OnCreate = [this](TObject *) { qelPluginCreate(); };
    OnDestroy = [this](TObject *) { qelPluginDestroy(); };
    OnLoad = [this](TqelPlugin *, TPluginCallRec *rec, std::int32_t &) { qelPluginLoad(rec); };
    OnUnload = [this](TqelPlugin *, TPluginCallRec *, std::int32_t &) { qelPluginUnload(); };
    OnLoadSettingsNow = [this](TqelPlugin *) { qelPluginLoadSettingsNow(); };
    OnSaveSettingsNow = [this](TqelPlugin *) { qelPluginSaveSettingsNow(); };
    OnStateChanged = [this](TqelPlugin *, TModuleTypes) { qelPluginStateChanged(); };
    if (g_optionsDialogOffered.load(std::memory_order_relaxed)) {
        OnShowOptionsDialog = [this](TqelPlugin *, TPluginCallRec *, bool &success) {
            qelPluginShowOptionsDialog(success);
        };
    }
}

// ---------------------------------------------------------------- hooks

void TaPlugin::qelPluginCreate() {
    alive_ = true;
    if (Translator()) {
        for (const char *name : {"Filter", "AgainCheckCaption", "ErrorCaption",
                                 "InformationCaption", "QuestionCaption", "WarningCaption",
                                 "MessagesText", "OtherCaption", "Strings", "Columns"})
            Translator()->ComponentProperties().Add(name);
    }
    ApplyTranslation(this);
}

void TaPlugin::qelPluginDestroy() {
    alive_ = false;
    StopTimers();
}

void TaPlugin::qelPluginLoad(TPluginCallRec *rec) {
    const auto *list = rec != nullptr ? static_cast<const TqelParamsList *>(rec->Params) : nullptr;
    DataSourceId = params::ReadParamInt(list, "DATA-SOURCE-ID");
    Settings = std::make_unique<TDataSourceCfg>(this);
    FileStates =
        std::make_unique<TFileTransfer>([this](TTransferOutcome outcome, const std::string &full,
                                               std::int64_t n) { LogTransfer(outcome, full, n); });
}

void TaPlugin::qelPluginLoadSettingsNow() {
    StopTimers();
    try {
        LoadFromStore();
    } catch (...) {
        // A store that cannot be read fails the request but leaves the settings in use as they
        // were: the scans go on with them.
        UpdateTimers();
        throw;
    }
    UpdateTimers();
}

void TaPlugin::qelPluginSaveSettingsNow() {
    SaveToStore();
}

void TaPlugin::qelPluginStateChanged() {
    UpdateTimers();
}

void TaPlugin::qelPluginShowOptionsDialog(bool &success) {
    success = false;
    int result = mrNone;
    try {
        // The dialog lives and dies on the user-interface thread; this thread waits for it.
        UiBackend().RunOnUiThread([&] {
            TConfigg dialog(*this);
            result = dialog.Execute();
        });
    } catch (const std::exception &e) {
        AddLog(0, e.what());
        return;
    }
    if (result != mrOk) return;
    // Commands of other host threads must not see the settings object while it is replaced.
    const auto lock = Gate().LockCommands();
    success = true;  // the store holds the new settings whatever happens here
    // Unloaded or released while the dialog was up: nothing here to reload.
    if (!Gate().Live()) return;
    StopTimers();
    Settings = std::make_unique<TDataSourceCfg>(this);
    LoadFromStore();
    UpdateTimers();
}

void TaPlugin::qelPluginUnload() {
    StopTimers();
    FileStates.reset();
    Settings.reset();  // leaves the module's components as it goes
}

void TaPlugin::LoadFromStore() {
    if (!Settings) return;
    LoadSettings(Settings.get(), &shConfig, std::string());
    // A folder or mask stored in quotes is used without them: one quote at each end, each
    // removed on its own.
    for (std::string *text : {&Settings->edFolder_Text, &Settings->edFileSM_Text}) {
        if (!text->empty() && text->front() == '"') text->erase(0, 1);
        if (!text->empty() && text->back() == '"') text->pop_back();
    }
}

void TaPlugin::SaveToStore() {
    if (Settings) SaveSettings(Settings.get(), &shConfig, std::string());
}

// ---------------------------------------------------------------- scans

TScanSettings TaPlugin::ScanSettings() const {
    return Settings ? ScanSettingsOf(*Settings) : TScanSettings{};
}

void TaPlugin::StopTimers() {
    const std::lock_guard lock(timersMutex_);
    StopTimersLocked();
}

void TaPlugin::StopTimersLocked() {
    StopTimer(timSimpleTimeMode);
    StopTimer(timSchedulerMode);
}

void TaPlugin::Retire() {
    TqelPlugin::Retire();
    StopTimers();
}

void TaPlugin::UpdateTimers() {
    const std::lock_guard lock(timersMutex_);
    StopTimersLocked();
    if (TemporaryLoad() || Gate().Retired()) return;
    if (!IsStateActive(mttDataQuery) && !IsStateActive(mttFilter)) return;
    if (!Settings || !FileStates) return;
    scanSettings_ = ScanSettings();
    if (scanSettings_.ActiveSM || scanSettings_.ActiveTM) {
        timSimpleTimeMode->Interval = IntervalMs(scanSettings_.IntervalSeconds());
        timSimpleTimeMode->SetEnabled(true);
    }
    if (scanSettings_.ActiveSD) {
        timSchedulerMode->ClearCrons();
        for (size_t i = 0; i < scanSettings_.Schedule.size(); ++i) {
            const TTimeRec entry = ParseScheduleEntry(scanSettings_.Schedule[i]);
            const int at = timSchedulerMode->AddCron(CronTimerText(entry));
            timSchedulerMode->CronData(at)->Index = static_cast<std::int32_t>(i);
        }
        timSchedulerMode->SetEnabled(true);
    }
}

TSendTarget TaPlugin::Target() const {
    return Host().SendTarget(DataSourceId);
}

void TaPlugin::timSimpleTimeModeTimer() {
    if (!alive_ || !FileStates) return;
    TFileScanner scanner(*FileStates);
    if (scanSettings_.ActiveSM) scanner.ScanSimpleMode(Target(), scanSettings_);
    if (!alive_) return;
    if (scanSettings_.ActiveTM) {
        const platform::TDateTime now = platform::Clock().LocalNow();
        const TLocalTime local{now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second};
        scanner.ScanTimeMode(Target(), scanSettings_, local);
    }
}

void TaPlugin::timSchedulerModeTimer(TZRTTimerData *data) {
    if (!alive_ || !FileStates || data == nullptr) return;
    TFileScanner scanner(*FileStates);
    scanner.ScanScheduler(Target(), scanSettings_, data->Index);
}

void TaPlugin::LogTransfer(TTransferOutcome outcome, const std::string &fullName, std::int64_t n) {
    const TOutcomeInfo &info = OutcomeInfo(outcome);
    std::string text;
    try {
        switch (info.args) {
            case TOutcomeArgs::Number:
                text = maPlugin->FormatMessage(info.msgId, {n});
                break;
            case TOutcomeArgs::Path:
                text = maPlugin->FormatMessage(info.msgId, {fullName});
                break;
            case TOutcomeArgs::PathAndNumber:
                text = maPlugin->FormatMessage(info.msgId, {fullName, n});
                break;
        }
    } catch (const std::exception &e) {
        // A message the table does not hold: report what happened all the same.
        text = std::string(info.msgId) + ": " + fullName + " (" + e.what() + ")";
    }
    AddLog(info.level, text);
}

void SetOptionsDialogOffered(bool offered) {
    g_optionsDialogOffered.store(offered, std::memory_order_relaxed);
}

TqelPlugin *CreateTaPlugin(const TPluginCallRec *rec) {
    auto plugin = std::make_unique<TaPlugin>(rec);
    plugin->AfterConstruction();
    return plugin.release();
}

}  // namespace brevor
