#include "ui/modal_session.h"

namespace brevor {

void TModalSession::KeepError() {
    if (!error_) error_ = std::current_exception();
}

bool TModalSession::Guard(const std::function<void()> &work) {
    try {
        work();
        return true;
    } catch (...) {
        KeepError();  // rethrown by Run
        return false;
    }
}

int TModalSession::Run(const std::function<void()> &show, const std::function<void()> &pumpOnce,
                       const std::function<void()> &hide) {
    form_.BeginModal();
    try {
        show();
        for (;;) {
            while (form_.ModalResult == mrNone && !error_ && !cancelled_)
                pumpOnce();
            if (error_) break;
            if (cancelled_) {
                form_.ModalResult = mrCancel;
                break;
            }
            if (form_.CloseQuery()) break;
        }
    } catch (...) {
        KeepError();  // rethrown below, once the form is out of its modal state
    }
    if (hide) hide();
    try {
        form_.EndModal();
    } catch (...) {
        KeepError();
    }
    if (error_) std::rethrow_exception(error_);
    return form_.ModalResult;
}

}  // namespace brevor
