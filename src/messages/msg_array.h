#pragma once

// The message table: one row per message, "ID||Text||Caption||Buttons||DontShow||Icon||
// DefaultButton||LastResult||", with four parallel lists kept in step with the rows so that
// texts can be edited, stored and translated like any string list.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "messages/msg_dialog.h"
#include "messages/string_hash_trie.h"
#include "rtl/component.h"
#include "rtl/exceptions.h"
#include "rtl/format.h"
#include "rtl/strings.h"

namespace brevor {

class EMsgArrayError : public Exception {
public:
    using Exception::Exception;
};

class TButton;
class TCustomForm;

// Sender is the table, messageIdx the row index, messageId the row's ID.
using TMessageEvent =
    std::function<void(TObject *sender, int messageIdx, const std::string &messageId)>;
using TMessageButtonCreate = std::function<void(TObject *sender, int messageIdx,
                                                const std::string &messageId, TButton *button)>;

class TMsgArray : public TComponent {
public:
    explicit TMsgArray(TComponent *owner = nullptr);
    ~TMsgArray() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    TStringList &MessagesArray() { return rows_; }
    TStringList &MessagesText() { return texts_; }
    TStringList &MessagesCaption() { return captions_; }
    TStringList &DontShowAgainText() { return dontShow_; }
    TStringList &LastDialogsResult() { return lastResults_; }
    // Assigning the rows through the property: the lists are derived and the rows rewritten
    // in canonical form.
    void SetMessagesArray(const TStrings &rows);

    // Row index of an ID (letter case ignored; the later of two equal IDs), or -1.
    int IndexOfMessage(std::string_view id) const;
    // The row's text with "%0D"/"%0A" as CR/LF, formatted when arguments are given. Raises
    // EMsgArrayError "Invalid message index [n]" for a row that does not exist.
    std::string FormatMessageByIndex(int index, const TFormatArgs &args) const;
    std::string FormatMessage(std::string_view id, const TFormatArgs &args) const;

    // Field n (0-7) of a row, trimmed.
    static std::string Field(std::string_view row, int n);

    // ---- dialogs
    // Shows a row as a modal dialog and returns the dialog result (0 when no dialog could be
    // shown). A row marked "Y" (do not show again) is answered at once with its remembered
    // button unless alwaysShow. Raises EMsgArrayError for a row that does not exist.
    int ShowMessageDlg(std::string_view id, bool alwaysShow);
    int ShowMessageDlgFmt(std::string_view id, const TFormatArgs &args, bool alwaysShow);
    int ShowMessageDlgByIndex(int index, const TFormatArgs &args, bool alwaysShow);

    // One caption per button kind (index = kind).
    TStringList &ButtonCaptions() { return buttonCaptions_; }
    void SetButtonCaptions(const TStrings &captions) { buttonCaptions_.Assign(captions); }
    bool UseSystemCaptions() const { return useSystemCaptions_; }
    // True: the system's own captions replace the button captions where it has them; false:
    // the default captions come back.
    void SetUseSystemCaptions(bool use);

    std::string AgainCheckCaption = "Do not ask me again";
    std::string InformationCaption = "Information";
    std::string WarningCaption = "Warning";
    std::string ErrorCaption = "Error";
    std::string QuestionCaption = "Question";

    TMessageEvent OnShow;
    TMessageEvent OnClose;
    TMessageEvent OnHelp;
    TMessageButtonCreate OnButtonCreate;
    TMessageButtonCreate OnCustomButtonClick;

    // The built dialog while it is up (else null), and the text of the message being shown.
    TCustomForm *ActiveDialog() const { return activeDialog_; }
    const std::string &ActiveText() const { return activeText_; }

private:
    void RowsToLists();  // algorithm A
    void ListsToRows();  // algorithm B
    void RebuildIndex();
    void OnListChanged(TStrings *sender);

    struct TDialogRow;
    int ShowSystemMessageBox(const TDialogRow &row);
    int ShowBuiltDialog(const TDialogRow &row);
    void BuildAndShow(const TDialogRow &row, int &result);
    static void SetListEntry(TStringList &list, int index, const std::string &value);

    TStringList rows_;
    TStringList texts_;
    TStringList captions_;
    TStringList dontShow_;
    TStringList lastResults_;
    // What formatting reads: each row's text and the ID -> row index (letter case ignored).
    // Built whole from the rows after every change and never changed afterwards, so threads
    // formatting messages while the rows are rewritten (a language change) read one consistent
    // table without a lock held while they format.
    struct TLookup {
        std::vector<std::string> Texts;
        TStringHashTrie Index;
    };
    std::shared_ptr<const TLookup> Lookup() const;
    static std::string FormatText(const TLookup *lookup, int index, const TFormatArgs &args);
    mutable std::mutex lookupMutex_;  // guards the pointer, not the table it points to
    std::shared_ptr<const TLookup> lookup_;
    bool syncing_ = false;

    TStringList buttonCaptions_;
    bool useSystemCaptions_ = false;
    TCustomForm *activeDialog_ = nullptr;
    std::string activeText_;
};

}  // namespace brevor
