#pragma once

// What the adapters of a shown form's controls ask of the renderer of the form, whatever the
// toolkit. Each renderer's adapter host adds what concerns its own widgets. User-interface
// thread only.

#include <functional>

#include "ui/controls.h"

namespace brevor {

class TRendererHost {
public:
    virtual ~TRendererHost() = default;

    // Runs a model call from a toolkit's callback: nothing may unwind through the toolkit's
    // frames, so the first error ends the showing and is rethrown when the form returns.
    virtual void Guarded(const std::function<void()> &work) = 0;

    // The feedback guard: while the renderer itself changes widgets, their notifications are
    // ignored, so a change never comes back as a user's action.
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual bool Updating() const = 0;

    // A user's action on the control moves the focus there first; false when the focus was
    // refused (the action is then abandoned).
    virtual bool UserFocus(TWinControl *control) = 0;
    // A widget of the control took the keyboard focus.
    virtual void FocusEntered(TWinControl *control) = 0;
};

// RAII for the feedback guard.
class TUpdating {
public:
    explicit TUpdating(TRendererHost &host) : host_(host) { host_.BeginUpdate(); }
    ~TUpdating() { host_.EndUpdate(); }
    TUpdating(const TUpdating &) = delete;
    TUpdating &operator=(const TUpdating &) = delete;

private:
    TRendererHost &host_;
};

}  // namespace brevor
