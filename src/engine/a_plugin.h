#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "engine/file_transfer.h"
#include "engine/scan_modes.h"
#include "framework/plugin.h"
#include "messages/msg_array.h"
#include "timing/zrt_timer.h"

namespace brevor {

class TDataSourceCfg;

// This module's class: a file feed for the host. Two timers run the scans on their own threads;
// the handlers below tie them to the framework's events.
class TaPlugin : public TqelPlugin {
public:
    explicit TaPlugin(const TPluginCallRec *rec);
    ~TaPlugin() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // ---- the stored form's children
    TMsgArray *maPlugin = nullptr;
    TZRTTimer *timSimpleTimeMode = nullptr;
    TZRTTimer *timSchedulerMode = nullptr;
    TStringList shConfig;  // the settings' mapping lines

    // ---- state the hooks own
    std::int32_t DataSourceId = 0;
    std::unique_ptr<TDataSourceCfg> Settings;   // from LOAD to UNLOAD
    std::unique_ptr<TFileTransfer> FileStates;  // the engine and its per-file states

    // ---- scans
    // Stops both timers (waiting for running scans) and starts those the settings and the
    // host's active kinds call for.
    void UpdateTimers();
    void StopTimers();
    // Leaving the registry stops both timers for good.
    void Retire() override;
    // Reads the settings from the instance's own location / writes them there.
    void LoadFromStore();
    void SaveToStore();

    // The scan settings as the timers see them; taken while the timers are stopped.
    TScanSettings ScanSettings() const;

private:
    void BuildStoredForm();
    // Handlers wired to the framework's and the timers' events.
    void qelPluginCreate();
    void qelPluginLoad(TPluginCallRec *rec);
    void qelPluginLoadSettingsNow();
    void qelPluginSaveSettingsNow();
    void qelPluginStateChanged();
    void qelPluginShowOptionsDialog(bool &success);
    void qelPluginUnload();
    void qelPluginDestroy();
    void timSimpleTimeModeTimer();
    void timSchedulerModeTimer(TZRTTimerData *data);

    // An engine report as a log line: the message row formatted with the path and number.
    void StopTimersLocked();
    void LogTransfer(TTransferOutcome outcome, const std::string &fullName, std::int64_t n);
    TSendTarget Target() const;

    // Serialises starting and stopping the timers, so that none starts after Retire.
    std::mutex timersMutex_;
    // Cleared when destruction begins: scans that still get a tick do nothing.
    std::atomic<bool> alive_{false};
    // The settings the running timers scan with; replaced only while both timers are stopped.
    TScanSettings scanSettings_;
};

// Class reference for the instance registry: constructs the instance and raises its creation
// event.
TqelPlugin *CreateTaPlugin(const TPluginCallRec *rec);

// Whether instances made from now on offer the options dialog. A module built without a dialog
// renderer turns it off at start-up, so that the host hears "no dialog" instead of a dialog that
// can never open. On unless turned off.
void SetOptionsDialogOffered(bool offered);

}  // namespace brevor
