#include "ui/focus_arbiter.h"

namespace brevor {

bool TFocusArbiter::UserFocus(TWinControl *control) {
    if (abandon_ == control) {
        abandon_ = nullptr;
        return false;
    }
    return form_.ActiveControl() == control || form_.SetFocusTo(control);
}

void TFocusArbiter::FocusEntered(TWinControl *control) {
    if (!control || form_.ActiveControl() == control) {
        abandon_ = nullptr;
        return;
    }
    if (form_.SetFocusTo(control)) {
        abandon_ = nullptr;
    } else {
        abandon_ = control;
        focusActiveLater_();
    }
}

}  // namespace brevor
