#pragma once

// The native user-interface back end on Windows.
//
// Forms run on a thread of the module's own, started when a dialog is asked for and ended when
// the last piece of work on it returned: nothing runs while no dialog is shown. Not the
// caller's thread: the host may call from any of its threads, including ones that never pump
// messages, and a dialog needs a thread that pumps them for as long as it is shown; a thread of
// ours also keeps the host's own posted messages off the dialog's loop (no re-entry into the
// host while the dialog is up). The form is still owned by the host's window (a window may be
// owned by one of another thread); while the caller waits it handles the messages sent to its
// windows (enabling the owner, activation), so neither thread can block the other.
//
// This header does not include the system headers: callers need not compile against them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/backend.h"

namespace brevor {

class TWin32Backend : public TUiBackend {
public:
    TWin32Backend();
    ~TWin32Backend() override;
    TWin32Backend(const TWin32Backend &) = delete;
    TWin32Backend &operator=(const TWin32Backend &) = delete;

    // Cancels the forms still open and waits until the thread has ended.
    void Shutdown();

    // True on the thread that runs the forms.
    bool OnUiThread() const;

    void RunOnUiThread(const std::function<void()> &work) override;
    int ShowModal(TCustomForm &form) override;
    int ShowMessageBox(const std::string &text, const std::string &caption,
                       unsigned flags) override;
    bool BrowseForFolder(const std::string &title, std::string &path) override;
    bool BrowseForFile(const std::string &title, const std::string &folder,
                       std::string &path) override;
    void ShowHelp(const std::string &helpFile, std::int32_t context) override;
    TSize AverageCharSize(const TFont &font) override;
    TSize MeasureText(const TFont &font, const std::string &text, int maxWidth,
                      unsigned flags) override;
    TSize IconSize(std::int32_t iconId) override;
    TSize ScreenSize() override;

    struct TThread;

private:
    std::shared_ptr<TThread> thread_;
};

// The module's back end: installed as the process's back end when none is set yet, and
// removed when the module unloads.
void InstallWin32Backend();
void ShutdownWin32Backend();

}  // namespace brevor
