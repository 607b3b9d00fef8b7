#pragma once

// What a renderer's modal loop for a shown form is on every toolkit: the form pumped until it
// has a result, its OnCloseQuery asked before it closes, a cancel from outside closing it with
// mrCancel, and the first error of a model call made from the toolkit's callbacks ending the
// showing and rethrown once the form is out of its modal state. The renderer supplies how to
// show, pump and hide. User-interface thread only.

#include <exception>
#include <functional>

#include "ui/controls.h"

namespace brevor {

class TModalSession {
public:
    explicit TModalSession(TCustomForm &form) : form_(form) {}
    TModalSession(const TModalSession &) = delete;
    TModalSession &operator=(const TModalSession &) = delete;

    // Runs a model call from a toolkit's callback, where nothing may unwind: the first error is
    // kept for Run to rethrow. False when work failed (the renderer then wakes its loop).
    bool Guard(const std::function<void()> &work);
    // Ends the showing with mrCancel once the loop sees it.
    void Cancel() { cancelled_ = true; }

    // Begins the form's modal state, calls show, then pumpOnce while the form is to stay open
    // and, when it has a result, asks CloseQuery (which may keep it open); hide (may be empty)
    // before the modal state ends. Returns the form's ModalResult or rethrows the first error.
    int Run(const std::function<void()> &show, const std::function<void()> &pumpOnce,
            const std::function<void()> &hide);

private:
    void KeepError();

    TCustomForm &form_;
    bool cancelled_ = false;
    std::exception_ptr error_;
};

}  // namespace brevor
