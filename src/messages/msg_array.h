#pragma once

// The message table: one row per message, "ID||Text||Caption||Buttons||DontShow||Icon||
// DefaultButton||LastResult||", with four parallel lists kept in step with the rows so that
// texts can be edited, stored and translated like any string list.

#include <memory>
#include <string>
#include <string_view>

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

    // Dialog texts; the dialogs themselves come with the message dialogs.
    std::string AgainCheckCaption = "Do not ask me again";
    std::string InformationCaption = "Information";
    std::string WarningCaption = "Warning";
    std::string ErrorCaption = "Error";
    std::string QuestionCaption = "Question";
    bool UseSystemCaptions = false;

private:
    void RowsToLists();  // algorithm A
    void ListsToRows();  // algorithm B
    void RebuildIndex();
    void OnListChanged(TStrings *sender);

    TStringList rows_;
    TStringList texts_;
    TStringList captions_;
    TStringList dontShow_;
    TStringList lastResults_;
    // ID -> row index, letter case ignored; replaced whole on every rebuild.
    std::unique_ptr<TStringHashTrie> index_;
    bool syncing_ = false;
};

}  // namespace brevor
