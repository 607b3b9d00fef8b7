#pragma once

// A user-interface back end without a display, driven by a script: each modal showing takes
// the next steps of the script and runs them against the form at the top of the modal stack,
// until the form closes. A step that opens another dialog (a message) makes that dialog the
// target of the following steps, as a user would answer it before going on.
//
// Metrics are those of the back end without a display: a 7 x 15 pixel monospaced font,
// 32 x 32 icons and a 1024 x 768 screen.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/controls.h"

namespace brevor {

class THeadlessDriver : public TNoUiBackend {
public:
    using TStep = std::function<void(TCustomForm &form, THeadlessDriver &driver)>;

    // A modal showing as it was when it began.
    struct TShown {
        std::string Name;
        std::string Caption;
        std::string Text;  // the caption of a label named "promptText", if any
        std::vector<std::string> Buttons;
        TRect Bounds;  // client size in Width/Height
    };
    struct TMessageBoxCall {
        std::string Text;
        std::string Caption;
        unsigned Flags = 0;
    };

    // Installs itself as the process's back end; the previous one comes back on destruction.
    THeadlessDriver();
    ~THeadlessDriver() override;
    THeadlessDriver(const THeadlessDriver &) = delete;
    THeadlessDriver &operator=(const THeadlessDriver &) = delete;

    THeadlessDriver &Then(TStep step);

    // ---- steps
    // Moves the focus to the named control, as a click into it would (exit checks apply).
    static TStep Focus(std::string name);
    // Replaces the text of the focused edit, one character at a time (each fires OnChange).
    static TStep Type(std::string text);
    static TStep Key(int key, bool shift = false);
    static TStep Tab() { return Key(vkTab); }
    static TStep Esc() { return Key(vkEscape); }
    static TStep Enter() { return Key(vkReturn); }
    // Clicks a control by name: controls that take the focus get it first, and the click is
    // abandoned when the focus is refused; tool buttons and menu items click directly.
    static TStep Click(std::string name);
    // Clicks the button whose caption (without "&") is caption.
    static TStep ClickCaption(std::string caption);
    // A user's row selection in a list view (after moving the focus to it).
    static TStep SelectRow(std::string listName, int index);
    // Chooses an item of a radio group (after moving the focus to it).
    static TStep ChooseRadio(std::string name, int index);
    static TStep ShowPage(std::string pageControlName, int index);
    // Presses the browse button of a folder or file box.
    static TStep Browse(std::string name);

    // ---- answers to what is not a form
    std::deque<int> MessageBoxAnswers;  // empty: answers 0
    std::deque<std::string> FolderAnswers;
    std::deque<std::string> FileAnswers;

    // ---- what happened
    std::vector<TShown> Shown;
    std::vector<TMessageBoxCall> MessageBoxes;
    std::vector<std::pair<std::string, std::int32_t>> HelpRequests;
    // Set when a form was still open after the last step; the form was then closed with
    // Cancel.
    bool ScriptRanOut = false;
    int StepsLeft() const { return static_cast<int>(steps_.size()); }

    // ---- TUiBackend
    int ShowModal(TCustomForm &form) override;
    int ShowMessageBox(const std::string &text, const std::string &caption,
                       unsigned flags) override;
    bool BrowseForFolder(const std::string &title, std::string &path) override;
    bool BrowseForFile(const std::string &title, const std::string &folder,
                       std::string &path) override;
    void ShowHelp(const std::string &helpFile, std::int32_t context) override;

    // The named control of a form (searched among all its controls and owned components).
    static TComponent *Find(TCustomForm &form, const std::string &name);

private:
    std::deque<TStep> steps_;
    TUiBackend *previous_ = nullptr;
};

}  // namespace brevor
