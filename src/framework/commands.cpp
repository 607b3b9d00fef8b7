// Commands (ExecutePluginCommand), the custom-command text, the language follow-up and the
// data-call guard of the module object.

#include <new>

#include "diagnostics/crash_report.h"
#include "framework/command_result.h"
#include "framework/params_list.h"
#include "framework/plugin.h"
#include "rtl/counted_text.h"
#include "rtl/exceptions.h"
#include "rtl/strings.h"

#include "rtl/ansi.h"

namespace brevor {

namespace {

TqelParamsList *ParamsOf(const TPluginCallRec *rec) {
    return static_cast<TqelParamsList *>(rec->Params);
}

// Inside a handler: queues the exception being handled as an error line, its class and message
// followed by the stack where it was raised.
void QueueCommandFailure(TqelPlugin &plugin) noexcept {
    try {
        const std::string text = CurrentExceptionLogText();
        if (!text.empty()) plugin.QueueLog(kLogError, text);
    } catch (const std::bad_alloc &) {
        // No memory to render the line; the command's failure code still tells the host.
    }
}

}  // namespace

// A new command: one row here and one handler below.
const TqelPlugin::TCommandEntry TqelPlugin::kCommandHandlers[] = {
    {"LOAD", &TqelPlugin::LoadCommand},
    {"UNLOAD", &TqelPlugin::UnloadCommand},
    {"SET-ITEMS", &TqelPlugin::SetItemsCommand},
    {"SET-STATE", &TqelPlugin::SetStateCommand},
    {"ITEMS", &TqelPlugin::ItemsCommand},
    {"EVENTS-SUPPORT", &TqelPlugin::EventsSupportCommand},
    {"EVENT", &TqelPlugin::EventCommand},
    {"SAVE-SETTINGS-NOW", &TqelPlugin::SaveSettingsNowCommand},
    {"LOAD-SETTINGS-NOW", &TqelPlugin::LoadSettingsNowCommand},
};

std::int32_t TqelPlugin::ExecutePluginCommand(TPluginCallRec *rec) {
    std::string command;
    try {
        TqelParamsList *list = ParamsOf(rec);
        params::CheckSignature(list);
        if (params::HasParam(list, "TEMPORARY-LOAD")) {
            try {
                temporaryLoad_ = params::ReadParamBool(list, "TEMPORARY-LOAD");
            } catch (const std::exception &) {
                // A value that does not convert leaves the flag as it was.
            }
        }
        if (!params::HasParam(list, "COMMAND")) return kCommandRefused;
        command = params::ReadParamText(list, "COMMAND");
    } catch (...) {
        return kCommandFailed;
    }

    try {
        const TCommandGate::TCommandHold running = gate_.EnterCommand();
        ChangeLanguage(rec);
        TqelParamsList *list = ParamsOf(rec);
        host_.FollowCommand(list);
        for (const TCommandEntry &entry : kCommandHandlers) {
            if (entry.Text == command) return (this->*entry.Handler)(rec, list);
        }
        return CustomCommand(command, rec);
    } catch (...) {
        QueueCommandFailure(*this);
        return kCommandFailed;
    }
}

// A handler that raises fails the command: ExecutePluginCommand queues the failure line and
// answers kCommandFailed, for every command alike.

std::int32_t TqelPlugin::LoadCommand(TPluginCallRec *rec, TqelParamsList *) {
    Load(rec);
    return kCommandDone;
}

std::int32_t TqelPlugin::UnloadCommand(TPluginCallRec *rec, TqelParamsList *) {
    Unload(rec);
    return kCommandDone;
}

std::int32_t TqelPlugin::SetItemsCommand(TPluginCallRec *, TqelParamsList *list) {
    // Only a text counts; any other type, even one that would convert, is missing.
    const Variant items = params::GetValue(list, "ITEMS");
    if (!items.IsText()) return kCommandRefused;
    SetParserItems(items.ToString(), true);
    if (OnSetParserItems) OnSetParserItems(this);
    return kCommandDone;
}

std::int32_t TqelPlugin::SetStateCommand(TPluginCallRec *rec, TqelParamsList *list) {
    if (params::HasParam(list, "DATA-SOURCES-IN-CFG")) {
        dataSources_.clear();
        dataSources_ = ParseDataSources(params::ReadParamText(list, "DATA-SOURCES-IN-CFG"));
    }
    if (!params::HasParam(list, "RESULT")) return kCommandRefused;
    SetModuleStates(rec->ModuleTypes, params::ReadParamInt(list, "RESULT") == 1);
    if (OnStateChanged) OnStateChanged(this, rec->ModuleTypes);
    return kCommandDone;
}

std::int32_t TqelPlugin::ItemsCommand(TPluginCallRec *, TqelParamsList *list) {
    if (params::FindItem(list, "RESULT") == nullptr) return kCommandRefused;
    if (OnBeforeGetParserItems) OnBeforeGetParserItems(this);
    parserItemsText_ = GetParserItemsText();
    params::SetValue(list, "RESULT", Variant::OleStr(parserItemsText_), false);
    return kCommandDone;
}

std::int32_t TqelPlugin::EventsSupportCommand(TPluginCallRec *, TqelParamsList *list) {
    params::SetValue(list, "RESULT", Variant::OleStr(EventsSupported), false);
    return kCommandDone;
}

std::int32_t TqelPlugin::EventCommand(TPluginCallRec *rec, TqelParamsList *list) {
    if (!params::HasParam(list, "EVENT-TYPE")) return kCommandRefused;
    const std::string event = params::ReadParamText(list, "EVENT-TYPE");
    if (!OnEvent) return kCommandDone;
    std::int32_t result = kCommandRefused;  // what the handler sees before it decides
    OnEvent(this, event, rec, result);
    return result;
}

std::int32_t TqelPlugin::SaveSettingsNowCommand(TPluginCallRec *, TqelParamsList *list) {
    return SettingsNowCommand(list, false);
}

std::int32_t TqelPlugin::LoadSettingsNowCommand(TPluginCallRec *, TqelParamsList *list) {
    return SettingsNowCommand(list, true);
}

std::int32_t TqelPlugin::SettingsNowCommand(TqelParamsList *list, bool load) {
    TSettingsLocation::TIniFileOverride requested(settings_, list);
    if (load) {
        if (OnLoadSettingsNow) OnLoadSettingsNow(this);
        // The settings just read are written to the instance's own location.
        requested.Restore();
    }
    if (OnSaveSettingsNow) OnSaveSettingsNow(this);
    // The host expects this answer for both requests, whatever the handlers did.
    return kCommandNotHandled;
}

std::int32_t TqelPlugin::CustomCommand(const std::string &command, TPluginCallRec *rec) {
    std::int32_t result = kCommandNotHandled;
    if (OnExecuteCustomCommand) OnExecuteCustomCommand(this, command, rec, result);
    return result;
}

std::string TqelPlugin::CustomCommandsText() const {
    if ((ModuleType & ModuleTypeBit(mttMenuExt)) == 0) return {};
    std::string text;
    for (const TqelPluginCustomCmd &c : customCommands_) {
        text += c.Text1 + "|" + c.Text2 + "|" + c.Text3 + "|" + std::to_string(c.Number1) + "|" +
                std::to_string(c.Number2) + "\r\n";
    }
    return text;
}

void TqelPlugin::ChangeLanguage(const TPluginCallRec *rec) {
    const TqelParamsList *list = rec == nullptr ? nullptr : ParamsOf(rec);
    if (list == nullptr || !params::HasParam(list, "LANGUAGE")) return;
    if (!language_->Follow(params::ReadParamText(list, "LANGUAGE"))) return;
    {
        // The translation rewrites texts that data calls log; none runs meanwhile.
        const TCommandGate::TDataHold dataCalls = gate_.EnterData();
        ApplyLanguage();
    }
    try {
        if (OnChangeLanguage) OnChangeLanguage(this);
    } catch (...) {
    }
}

void TqelPlugin::ApplyLanguage() {
    language_->ApplyOnce([this] { ApplyTranslation(this); });
}

void TqelPlugin::ApplyTranslation(TComponent *component) {
    language_->Translate(component);
}

void TqelPlugin::SetParserItems(std::string_view text, bool replace) {
    if (replace) parserItems_.clear();
    ParseParserItems(text, parserItems_);
}

std::int32_t TqelPlugin::RunDataCall(TDataCall call, TPluginCallRec *rec) {
    // Refused when another call keeps the data side past the wait, or the instance is unloaded.
    const TCommandGate::TDataHold dataCall = gate_.EnterData();
    if (!dataCall) return kCommandRefused;

    if (call != TDataCall::GetEvents) rec->ResultValue = 0;
    std::int32_t result = kCommandDone;
    switch (call) {
        case TDataCall::GetData:
            if (rec->ModuleTypes == 0) return kCommandDone;
            rec->Data = nullptr;
            try {
                if (OnGetData) {
                    OnGetData(this, rec, result);
                    if (rows_.DataRows() != nullptr && rows_.DataRows()->Count > 0) {
                        rec->ResultKind = BRV_RESULT_KIND_LIST;
                        rec->ResultValue = reinterpret_cast<std::intptr_t>(rows_.DataRows());
                    }
                    if (result > 0 && rec->Data == nullptr) result = 0;
                }
            } catch (...) {
                result = kCommandFailed;
                if (!MsgWriteCompleteError.empty()) AddLog(kLogWarning, MsgWriteCompleteError);
            }
            return result;

        case TDataCall::GetEvents:
            if (rec->ResultValue != 0 &&
                rec->ResultValue == reinterpret_cast<std::intptr_t>(rows_.EventRows())) {
                params::Clear(rows_.EventRows());
                return kCommandDone;
            }
            rec->ResultKind = BRV_RESULT_KIND_LIST;
            rec->ResultValue = reinterpret_cast<std::intptr_t>(rows_.EventRows());
            return kCommandDone;

        case TDataCall::ProcessData: {
            void *saved = rec->Data;
            try {
                params::CheckCallParams(rec->Params);
                const TModuleTypes types = rec->ModuleTypes;
                if (types != 0) {
                    auto *input = static_cast<TqelParamsList *>(rec->Data);
                    if (rec->DataKind == BRV_DATA_KIND_LIST && input != nullptr &&
                        (types & ModuleTypeBit(mttDataQuery)) == 0) {
                        params::CheckSignature(input);
                        if (input->Count == 0) rec->Data = nullptr;
                    }
                    bool raise = true;
                    if (types & ModuleTypeBit(mttDataExport)) {
                        input = static_cast<TqelParamsList *>(rec->Data);
                        if (input == nullptr) {
                            if (!MsgNoData.empty()) AddLog(kLogWarning, MsgNoData);
                            raise = false;
                        } else if (rec->DataKind == BRV_DATA_KIND_LIST &&
                                   params::IsRowsList(input)) {
                            params::CheckSignature(input);
                            if (input->Count > 0) {
                                const TqelParamsListItem *last =
                                    params::Items(input, input->Count - 1);
                                if (CountedTextView(last->Name) != params::kRowMarker)
                                    params::AddRowMarker(input);
                            }
                        }
                    }
                    if (raise && OnProcessData) {
                        try {
                            OnProcessData(this, rec, result);
                            if (rows_.DataRows() != nullptr && rows_.DataRows()->Count > 0) {
                                rec->ResultKind = BRV_RESULT_KIND_LIST;
                                rec->ResultValue =
                                    reinterpret_cast<std::intptr_t>(rows_.DataRows());
                            }
                            if (result > 0 && rec->Data == nullptr) result = 0;
                            if (types &
                                (ModuleTypeBit(mttDataExport) | ModuleTypeBit(mttEventsHandling))) {
                                if (result < 0) {
                                    if (!MsgWriteCompleteError.empty())
                                        AddLog(kLogWarning, MsgWriteCompleteError);
                                } else if (!MsgWriteComplete.empty()) {
                                    AddLog(kLogInformation, MsgWriteComplete);
                                }
                            }
                        } catch (...) {
                            result = kCommandFailed;
                            if (!MsgWriteCompleteError.empty())
                                AddLog(kLogWarning, MsgWriteCompleteError);
                        }
                    }
                }
            } catch (...) {
                result = kCommandFailed;
            }
            // The host's input pointer never comes back as if it were a result.
            if (rec->Data == saved) rec->Data = nullptr;
            return result;
        }
    }
    return result;
}

}  // namespace brevor
