// Commands (ExecutePluginCommand), the custom-command text, the language follow-up and the
// data-call guard of the module object.

#include <new>

#include "diagnostics/crash_report.h"
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
        // No memory to render the line; the command's -3 still tells the host.
    }
}

}  // namespace

std::int32_t TqelPlugin::ExecutePluginCommand(TPluginCallRec *rec) {
    std::string command;
    try {
        TqelParamsList *list = ParamsOf(rec);
        params::CheckSignature(list);
        if (params::HasParam(list, "TEMPORARY-LOAD")) {
            try {
                TemporaryLoad = params::ReadParamBool(list, "TEMPORARY-LOAD");
            } catch (const std::exception &) {
                // A value that does not convert leaves the flag as it was.
            }
        }
        if (!params::HasParam(list, "COMMAND")) return -1;
        command = params::ReadParamText(list, "COMMAND");
    } catch (...) {
        return -3;
    }

    std::int32_t result = -2;
    try {
        const TCommandGate::TCommandHold running = Gate.EnterCommand();
        ChangeLanguage(rec);
        TqelParamsList *list = ParamsOf(rec);
        if (params::HasParam(list, "MessagesProcessorHandle"))
            MessagesProcessorHandle = params::ReadParamHandle(list, "MessagesProcessorHandle");
        if (params::HasParam(list, "OWNERFORM"))
            OwnerWindow = params::ReadParamHandle(list, "OWNERFORM");

        if (command == "LOAD") {
            try {
                Load(rec);
                result = 0;
            } catch (...) {
                // The host sees only -3; the log says what failed.
                QueueCommandFailure(*this);
                result = -3;
            }
        } else if (command == "UNLOAD") {
            try {
                Unload(rec);
                result = 0;
            } catch (...) {
                QueueCommandFailure(*this);
                result = -3;
            }
        } else if (command == "SET-ITEMS") {
            // Only a text counts; any other type, even one that would convert, is missing.
            const Variant items = params::GetValue(list, "ITEMS");
            if (items.IsText()) {
                SetParserItems(items.ToString(), true);
                if (OnSetParserItems) OnSetParserItems(this);
                result = 0;
            } else {
                result = -1;
            }
        } else if (command == "SET-STATE") {
            result = -1;
            if (params::HasParam(list, "DATA-SOURCES-IN-CFG")) {
                DataSources.clear();
                DataSources = ParseDataSources(params::ReadParamText(list, "DATA-SOURCES-IN-CFG"));
            }
            if (params::HasParam(list, "RESULT")) {
                const std::int32_t value = params::ReadParamInt(list, "RESULT");
                for (int k = 0; k < kModuleTypeCount; ++k) {
                    if (rec->ModuleTypes & (1u << k))
                        ModuleStates[static_cast<size_t>(k)] = value == 1;
                }
                if (OnStateChanged) OnStateChanged(this, rec->ModuleTypes);
                result = 0;
            }
        } else if (command == "ITEMS") {
            TqelParamsListItem *item = params::FindItem(list, "RESULT");
            if (item == nullptr) {
                result = -1;
            } else {
                if (OnBeforeGetParserItems) OnBeforeGetParserItems(this);
                ParserItemsText = GetParserItemsText();
                params::SetValue(list, "RESULT", Variant::OleStr(ParserItemsText), false);
                result = 0;
            }
        } else if (command == "EVENTS-SUPPORT") {
            params::SetValue(list, "RESULT", Variant::OleStr(EventsSupported), false);
            result = 0;
        } else if (command == "EVENT") {
            result = -1;
            if (params::HasParam(list, "EVENT-TYPE")) {
                const std::string event = params::ReadParamText(list, "EVENT-TYPE");
                try {
                    if (OnEvent)
                        OnEvent(this, event, rec, result);
                    else
                        result = 0;
                } catch (...) {
                    QueueCommandFailure(*this);
                    result = -3;
                }
            }
        } else if (command == "SAVE-SETTINGS-NOW" || command == "LOAD-SETTINGS-NOW") {
            const std::string kept = IniFile;
            try {
                ReadIniFile(rec, true);
                if (command == "LOAD-SETTINGS-NOW") {
                    if (OnLoadSettingsNow) OnLoadSettingsNow(this);
                    // The settings just read are written to the instance's own location.
                    IniFile = kept;
                }
                if (OnSaveSettingsNow) OnSaveSettingsNow(this);
            } catch (...) {
                IniFile = kept;
                throw;
            }
            IniFile = kept;
            result = -2;
        } else {
            if (OnExecuteCustomCommand) {
                try {
                    OnExecuteCustomCommand(this, command, rec, result);
                } catch (...) {
                    QueueCommandFailure(*this);
                    result = -3;
                }
            }
        }
    } catch (...) {
        QueueCommandFailure(*this);
        return -3;
    }
    return result;
}

std::string TqelPlugin::CustomCommandsText() const {
    if ((ModuleType & ModuleTypeBit(mttMenuExt)) == 0) return {};
    std::string text;
    for (const TqelPluginCustomCmd &c : CustomCommands) {
        text += c.Text1 + "|" + c.Text2 + "|" + c.Text3 + "|" + std::to_string(c.Number1) + "|" +
                std::to_string(c.Number2) + "\r\n";
    }
    return text;
}

void TqelPlugin::ChangeLanguage(const TPluginCallRec *rec) {
    const TqelParamsList *list = rec == nullptr ? nullptr : ParamsOf(rec);
    if (list == nullptr || !params::HasParam(list, "LANGUAGE")) return;
    const std::string language = params::ReadParamText(list, "LANGUAGE");
    if (language.empty() || Language.empty() || language == Language) return;
    Language = language;
    LanguageApplied = false;
    {
        // The translation rewrites texts that data calls log; none runs meanwhile.
        const TCommandGate::TDataHold dataCalls = Gate.EnterData();
        ApplyLanguage();
    }
    try {
        if (OnChangeLanguage) OnChangeLanguage(this);
    } catch (...) {
    }
}

void TqelPlugin::ApplyLanguage() {
    if (LanguageApplied || Language.empty()) return;
    struct TMarkApplied {
        bool &flag;
        ~TMarkApplied() { flag = true; }  // also when the translation raised
    } mark{LanguageApplied};
    ApplyTranslation(this);
}

void TqelPlugin::ApplyTranslation(TComponent *component) {
    if (Language.empty()) Language = "NONE";
    if (Translator) Translator->TranslateComponent(Language, component, nullptr, "EN");
}

void TqelPlugin::SetParserItems(std::string_view text, bool replace) {
    if (replace) ParserItems.clear();
    ParseParserItems(text, ParserItems);
}

std::int32_t TqelPlugin::RunDataCall(TDataCall call, TPluginCallRec *rec) {
    // Refused when another call keeps the data side past the wait, or the instance is unloaded.
    const TCommandGate::TDataHold dataCall = Gate.EnterData();
    if (!dataCall) return -1;

    if (call != TDataCall::GetEvents) rec->ResultValue = 0;
    std::int32_t result = 0;
    switch (call) {
        case TDataCall::GetData:
            if (rec->ModuleTypes == 0) return 0;
            rec->Data = nullptr;
            try {
                if (OnGetData) {
                    OnGetData(this, rec, result);
                    if (DataRows != nullptr && DataRows->Count > 0) {
                        rec->ResultKind = BRV_RESULT_KIND_LIST;
                        rec->ResultValue = reinterpret_cast<std::intptr_t>(DataRows);
                    }
                    if (result > 0 && rec->Data == nullptr) result = 0;
                }
            } catch (...) {
                result = -3;
                if (!MsgWriteCompleteError.empty()) AddLog(kLogWarning, MsgWriteCompleteError);
            }
            return result;

        case TDataCall::GetEvents:
            if (rec->ResultValue != 0 &&
                rec->ResultValue == reinterpret_cast<std::intptr_t>(EventRows)) {
                params::Clear(EventRows);
                return 0;
            }
            rec->ResultKind = BRV_RESULT_KIND_LIST;
            rec->ResultValue = reinterpret_cast<std::intptr_t>(EventRows);
            return 0;

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
                            if (DataRows != nullptr && DataRows->Count > 0) {
                                rec->ResultKind = BRV_RESULT_KIND_LIST;
                                rec->ResultValue = reinterpret_cast<std::intptr_t>(DataRows);
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
                            result = -3;
                            if (!MsgWriteCompleteError.empty())
                                AddLog(kLogWarning, MsgWriteCompleteError);
                        }
                    }
                }
            } catch (...) {
                result = -3;
            }
            // The host's input pointer never comes back as if it were a result.
            if (rec->Data == saved) rec->Data = nullptr;
            return result;
        }
    }
    return result;
}

}  // namespace brevor
