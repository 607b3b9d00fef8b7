#include "ui/modal_session.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace brevor {
namespace {

// A form whose modal steps are written to a trace: show, pump, hide and the form's own
// OnShow / OnCloseQuery / OnClose.
struct TracedForm {
    TForm form;
    TModalSession session{form};
    std::string trace;
    int refusals = 0;  // CloseQuery answers "no" this many times

    TracedForm() {
        form.OnShow = [this](TObject *) { trace += "S"; };
        form.OnCloseQuery = [this](TObject *, bool &canClose) {
            trace += "Q";
            canClose = refusals-- <= 0;
        };
        form.OnClose = [this](TObject *) { trace += "C"; };
    }
    int Run(const std::function<void()> &pump) {
        return session.Run([this] { trace += "show "; }, pump, [this] { trace += " hide"; });
    }
};

TEST(ModalSession, PumpsUntilAResultThatCloseQueryLetsThrough) {
    TracedForm f;
    f.refusals = 1;
    int pumps = 0;
    EXPECT_EQ(f.Run([&] {
        f.trace += "p";
        if (++pumps % 2 == 0) f.form.ModalResult = mrOk;
    }),
              mrOk);
    // Refused once: ModalResult reset, pumped on until the next result.
    EXPECT_EQ(f.trace, "Sshow ppQppQ hideC");
    EXPECT_FALSE(f.form.Visible());
}

TEST(ModalSession, ACancelFromOutsideClosesWithoutAskingTheForm) {
    TracedForm f;
    EXPECT_EQ(f.Run([&] {
        f.trace += "p";
        f.session.Cancel();
    }),
              mrCancel);
    EXPECT_EQ(f.trace, "Sshow p hideC");
}

// Callbacks of the toolkit run model calls through Guard: the first error ends the showing and
// is rethrown once the form is out of its modal state; later errors do not replace it.
TEST(ModalSession, TheFirstErrorOfAGuardedCallEndsTheShowingAndIsRethrown) {
    TracedForm f;
    bool firstGuard = true;
    try {
        f.Run([&] {
            f.trace += "p";
            firstGuard = f.session.Guard([] { throw std::runtime_error("first"); });
            EXPECT_FALSE(f.session.Guard([] { throw std::runtime_error("second"); }));
            EXPECT_TRUE(f.session.Guard([] {}));
        });
        ADD_FAILURE() << "no error rethrown";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_FALSE(firstGuard);
    EXPECT_EQ(f.trace, "Sshow p hideC");  // no CloseQuery: the error ended it
    EXPECT_FALSE(f.form.Visible());
}

}  // namespace
}  // namespace brevor
