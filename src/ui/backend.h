#pragma once

// The user-interface back end: what shows forms and asks the user. One back end serves the
// process at a time: the native renderer in the module, the headless driver in tests.

#include <cstdint>
#include <functional>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/geometry.h"

namespace brevor {

class TCustomForm;
class TFont;

// Text layout flags for MeasureText.
enum TTextFlags : unsigned {
    tfWordBreak = 1,    // wrap at blanks to fit the width
    tfExpandTabs = 2,   // tabs to the next multiple of eight characters
    tfNoPrefix = 4,     // "&" is shown literally
    tfRightToLeft = 8,  // right-to-left reading order
};

// No dialog can be shown in this process (no display, or no toolkit).
class EUiUnavailable : public Exception {
public:
    using Exception::Exception;
};

class TUiBackend {
public:
    virtual ~TUiBackend() = default;

    // Runs work on the user-interface thread and waits for it. Forms are built, shown and
    // freed inside such work. Exceptions reach the caller.
    virtual void RunOnUiThread(const std::function<void()> &work) = 0;

    // Shows the form modally (on the user-interface thread) until its ModalResult is not 0,
    // and returns it.
    virtual int ShowModal(TCustomForm &form) = 0;

    // The system message box: flags as the Win32 message box takes them (type in the low four
    // bits, icon in 0xF0, default button in 0xF00); returns the dialog result (1-7), 0 on
    // failure.
    virtual int ShowMessageBox(const std::string &text, const std::string &caption,
                               unsigned flags) = 0;

    // Browse dialogs; false when the user cancelled (path unchanged).
    virtual bool BrowseForFolder(const std::string &title, std::string &path) = 0;
    virtual bool BrowseForFile(const std::string &title, const std::string &folder,
                               std::string &path) = 0;

    // Opens the help page of a context in the help file (or folder of pages).
    virtual void ShowHelp(const std::string &helpFile, std::int32_t context) = 0;

    // Font metrics: the extent of "A".."Z""a".."z" (cx / 52 is the average character width,
    // cy the character height).
    virtual TSize AverageCharSize(const TFont &font) = 0;
    // The extent of text laid out with the flags, wrapping at maxWidth when tfWordBreak.
    virtual TSize MeasureText(const TFont &font, const std::string &text, int maxWidth,
                              unsigned flags) = 0;
    // Size of a standard icon (IDI_* number).
    virtual TSize IconSize(std::int32_t iconId) = 0;
    virtual TSize ScreenSize() = 0;
};

// The process's back end; never null (a back end that refuses every dialog when nothing was
// set). Set returns the previous one; the caller keeps ownership.
TUiBackend &UiBackend();
TUiBackend *SetUiBackend(TUiBackend *backend);

// A back end for a process without a display: every dialog fails with EUiUnavailable, the
// message box answers 0, metrics are those of a 7 x 15 pixel font.
class TNoUiBackend : public TUiBackend {
public:
    void RunOnUiThread(const std::function<void()> &work) override { work(); }
    int ShowModal(TCustomForm &form) override;
    int ShowMessageBox(const std::string &, const std::string &, unsigned) override { return 0; }
    bool BrowseForFolder(const std::string &, std::string &) override { return false; }
    bool BrowseForFile(const std::string &, const std::string &, std::string &) override {
        return false;
    }
    void ShowHelp(const std::string &, std::int32_t) override {}
    TSize AverageCharSize(const TFont &font) override;
    TSize MeasureText(const TFont &font, const std::string &text, int maxWidth,
                      unsigned flags) override;
    TSize IconSize(std::int32_t) override { return {32, 32}; }
    TSize ScreenSize() override { return {1024, 768}; }
};

// Monospaced layout shared by the back ends without a real font: every character is
// charWidth wide, lines are lineHeight high; words wrap at blanks when tfWordBreak is set and
// a word longer than the width is broken.
TSize MeasureMonospaced(const std::string &text, int maxWidth, unsigned flags, int charWidth,
                        int lineHeight);

}  // namespace brevor
