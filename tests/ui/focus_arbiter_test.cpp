#include "ui/focus_arbiter.h"

#include <gtest/gtest.h>

namespace brevor {
namespace {

// Three edits; a lets the focus go to c only. The toolkit's events arrive in the order a click
// brings them: the focus moves to the clicked window, then the click itself.
struct RefusingForm {
    TForm form;
    TEdit *a, *b, *c;
    int exits = 0;
    int refocused = 0;  // times the toolkit was told to give the model's control the focus
    TFocusArbiter focus{form, [this] { ++refocused; }};

    RefusingForm() {
        form.SetBounds(0, 0, 300, 200);
        a = MakeControl<TEdit>(&form, &form, "a", {0, 0, 100, 20});
        b = MakeControl<TEdit>(&form, &form, "b", {0, 30, 100, 50});
        c = MakeControl<TEdit>(&form, &form, "c", {0, 60, 100, 80});
        form.SetActiveControlSilently(a);
        a->OnExit = [this](TWinControl *, TWinControl *target, bool &allow) {
            ++exits;
            allow = target == c;
        };
    }
};

TEST(FocusArbiter, RefusedFocusDropsTheClickThatBroughtIt) {
    RefusingForm f;
    f.focus.FocusEntered(f.b);
    EXPECT_EQ(f.form.ActiveControl(), f.a);
    EXPECT_EQ(f.refocused, 1);
    EXPECT_FALSE(f.focus.UserFocus(f.b));  // the click on b: dropped, a is not asked again
    EXPECT_EQ(f.exits, 1);
    // Only that one click: the next action on b asks a again.
    EXPECT_FALSE(f.focus.UserFocus(f.b));
    EXPECT_EQ(f.exits, 2);
    EXPECT_EQ(f.refocused, 1);
}

TEST(FocusArbiter, FocusBackOnTheActiveControlForgetsTheRefusal) {
    RefusingForm f;
    f.focus.FocusEntered(f.b);
    f.focus.FocusEntered(f.a);  // the toolkit's focus went back before the click came
    EXPECT_FALSE(f.focus.UserFocus(f.b));
    EXPECT_EQ(f.exits, 2);  // asked again rather than dropped silently
    f.focus.FocusEntered(f.b);
    f.focus.FocusEntered(nullptr);  // a window of no control
    EXPECT_FALSE(f.focus.UserFocus(f.b));
    EXPECT_EQ(f.exits, 4);
}

TEST(FocusArbiter, AllowedFocusMovesTheModelAndKeepsTheClick) {
    RefusingForm f;
    EXPECT_TRUE(f.focus.UserFocus(f.a));  // already focused: a is not asked
    EXPECT_EQ(f.exits, 0);
    f.focus.FocusEntered(f.c);
    EXPECT_EQ(f.form.ActiveControl(), f.c);
    EXPECT_TRUE(f.focus.UserFocus(f.c));
    EXPECT_TRUE(f.focus.UserFocus(f.b));  // c lets anything go
    EXPECT_EQ(f.form.ActiveControl(), f.b);
    EXPECT_EQ(f.refocused, 0);
}

}  // namespace
}  // namespace brevor
