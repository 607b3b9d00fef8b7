#pragma once

// The native user-interface back end on desktops with GTK 3.
//
// GTK is used from one thread only: a thread this back end starts on the first request and
// owns until Shutdown. Every form is built, shown and freed on it; callers on other threads
// post work there and wait (RunOnUiThread). Without a display the thread does not stay up and
// every dialog fails with EUiUnavailable; nothing is started while no dialog is asked for.
//
// This header does not include GTK: callers need not compile against it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/backend.h"

namespace brevor {

class TGtkBackend : public TUiBackend {
public:
    using THelpOpener = std::function<void(const std::string &helpFile, std::int32_t context)>;

    TGtkBackend();
    ~TGtkBackend() override;  // Shutdown
    TGtkBackend(const TGtkBackend &) = delete;
    TGtkBackend &operator=(const TGtkBackend &) = delete;

    // Cancels the forms still open, stops the thread and waits for it. The back end can start
    // again afterwards (a later request starts a new thread).
    void Shutdown();

    // True on the thread that runs GTK.
    bool OnUiThread() const;

    // Opens the help page of a context; the default opens "<helpFile>/<context>.html" (or the
    // folder's index) with the desktop's viewer.
    THelpOpener HelpOpener;

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
    std::unique_ptr<TThread> thread_;
};

// The module's back end: installed as the process's back end when none is set yet, and shut
// down (thread stopped, previous back end restored) when the module unloads.
void InstallGtkBackend();
void ShutdownGtkBackend();

}  // namespace brevor
