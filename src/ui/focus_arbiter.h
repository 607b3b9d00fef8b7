#pragma once

// The model's say over the keyboard focus of a shown form. A toolkit moves its focus itself,
// before the model is asked; the model's form may refuse the move (an OnExit handler). Then the
// toolkit's focus goes back to the model's focused control, and the user's action that came
// with the refused focus (the click that moved it) is dropped. Used by the renderers from the
// user-interface thread only.

#include <functional>

#include "ui/controls.h"

namespace brevor {

class TFocusArbiter {
public:
    // focusActiveLater gives the model's focused control the toolkit's focus, after the
    // current event (not from inside the focus notification that asked for it).
    TFocusArbiter(TCustomForm &form, std::function<void()> focusActiveLater)
        : form_(form), focusActiveLater_(std::move(focusActiveLater)) {}
    TFocusArbiter(const TFocusArbiter &) = delete;
    TFocusArbiter &operator=(const TFocusArbiter &) = delete;

    // A user's action on the control moves the focus there first; false when the focus was
    // refused (the action is then abandoned).
    bool UserFocus(TWinControl *control);
    // The toolkit's focus went to a window of the control (null: of no control).
    void FocusEntered(TWinControl *control);

private:
    TCustomForm &form_;
    std::function<void()> focusActiveLater_;
    TWinControl *abandon_ = nullptr;  // its focus was refused: the action that follows is dropped
};

}  // namespace brevor
