#include "ui/controls.h"

#include <gtest/gtest.h>

#include "support/headless_driver.h"
#include "ui/backend.h"

namespace brevor {
namespace {

// A form with two pages, edits, a radio group and the two usual buttons.
struct SmallForm {
    TForm form;
    TEdit *a, *b, *onPage2;
    TCheckBox *check;
    TPageControl *pages;
    TButton *ok, *cancel;
    std::vector<std::string> events;

    SmallForm() {
        form.SetBounds(0, 0, 300, 200);
        a = MakeControl<TEdit>(&form, &form, "a", {0, 0, 100, 20});
        b = MakeControl<TEdit>(&form, &form, "b", {0, 30, 100, 50});
        pages = MakeControl<TPageControl>(&form, &form, "pages", {0, 60, 300, 150});
        pages->TabStop = false;
        auto *p1 = MakeControl<TTabSheet>(&form, pages, "p1", {0, 20, 300, 90});
        auto *p2 = MakeControl<TTabSheet>(&form, pages, "p2", {0, 20, 300, 90});
        check = MakeControl<TCheckBox>(&form, p1, "check", {0, 0, 100, 20});
        onPage2 = MakeControl<TEdit>(&form, p2, "onPage2", {0, 0, 100, 20});
        ok = MakeControl<TButton>(&form, &form, "ok", {100, 160, 175, 185});
        ok->ModalResult = mrOk;
        cancel = MakeControl<TButton>(&form, &form, "cancel", {180, 160, 255, 185});
        cancel->ModalResult = mrCancel;
        cancel->Cancel = true;
        cancel->Default = true;
        ok->OnClick = [this](TObject *) { events.push_back("ok"); };
        cancel->OnClick = [this](TObject *) { events.push_back("cancel"); };
    }
};

TEST(Controls, TabOrderSkipsWhatCannotTakeTheFocus) {
    SmallForm f;
    EXPECT_EQ(f.form.FindNextControl(nullptr, true), f.a);
    EXPECT_EQ(f.form.FindNextControl(f.b, true), f.check);   // page 2 is hidden
    EXPECT_EQ(f.form.FindNextControl(f.cancel, true), f.a);  // wraps
    EXPECT_EQ(f.form.FindNextControl(f.a, false), f.cancel);
    f.b->SetEnabled(false);
    f.pages->SetActivePageIndex(1);
    EXPECT_EQ(f.form.FindNextControl(f.a, true), f.onPage2);
    EXPECT_FALSE(f.form.SetFocusTo(f.check));  // not on the shown page
    EXPECT_FALSE(f.form.SetFocusTo(f.b));      // disabled
}

TEST(Controls, RefusedExitKeepsTheFocusAndAbandonsTheClick) {
    SmallForm f;
    int exits = 0;
    f.a->OnExit = [&](TWinControl *, TWinControl *target, bool &allow) {
        ++exits;
        allow = target == f.cancel;  // only Cancel may take the focus away
    };
    ASSERT_TRUE(f.form.SetFocusTo(f.a));
    THeadlessDriver driver;
    driver.Then(THeadlessDriver::Tab())
        .Then(THeadlessDriver::Click("ok"))
        .Then([&](TCustomForm &form, THeadlessDriver &) {
            EXPECT_EQ(form.ActiveControl(), f.a);
            EXPECT_EQ(form.ModalResult, mrNone);
        })
        .Then(THeadlessDriver::Click("cancel"));
    EXPECT_EQ(f.form.ShowModal(), mrCancel);
    EXPECT_EQ(exits, 3);
    EXPECT_EQ(f.events, std::vector<std::string>{"cancel"});
}

TEST(Controls, KeysTable) {
    struct Case {
        const char *focus;
        int key;
        int result;
        const char *clicked;
    };
    const Case cases[] = {
        {"a", vkEscape, mrCancel, "cancel"},  // Esc clicks Cancel without moving the focus
        {"a", vkReturn, mrCancel, "cancel"},  // Enter outside a button: the default button
        {"ok", vkReturn, mrOk, "ok"},         // Enter on a button clicks it
    };
    for (const Case &c : cases) {
        SmallForm f;
        THeadlessDriver driver;
        driver.Then(THeadlessDriver::Focus(c.focus)).Then(THeadlessDriver::Key(c.key));
        EXPECT_EQ(f.form.ShowModal(), c.result) << c.focus << " " << c.key;
        EXPECT_EQ(f.events, std::vector<std::string>{c.clicked});
    }
}

TEST(Controls, AnchorsKeepTheirDistanceWhenTheParentGrows) {
    TForm form;
    form.SetBounds(0, 0, 200, 100);
    auto *stretch = MakeControl<TPanel>(&form, &form, "stretch", {10, 10, 190, 50});
    stretch->Anchors = akLeft | akTop | akRight | akBottom;
    auto *corner = MakeControl<TButton>(&form, stretch, "corner", {100, 10, 170, 30});
    corner->Anchors = akRight | akBottom;
    int resized = 0;
    stretch->OnResize = [&](TObject *) { ++resized; };
    form.SetBounds(0, 0, 260, 140);
    EXPECT_EQ(stretch->BoundsRect(), (TRect{10, 10, 250, 90}));
    EXPECT_EQ(corner->BoundsRect(), (TRect{160, 50, 230, 70}));
    EXPECT_EQ(resized, 1);
    form.MinWidth = 250;
    form.SetBounds(0, 0, 100, 140);
    EXPECT_EQ(form.Width(), 250);
}

TEST(Controls, SpinEditKeepsAWholeValue) {
    TSpinEdit spin;
    int changes = 0;
    spin.OnChange = [&](TObject *) { ++changes; };
    spin.SetValue(12.9);
    EXPECT_EQ(spin.Value(), 12);
    EXPECT_EQ(spin.Text(), "12");
    spin.SetText("40");
    EXPECT_EQ(spin.Value(), 40);
    spin.SetText("4x");  // shown as typed, the value stays
    EXPECT_EQ(spin.Value(), 40);
    spin.MinValue = 1;
    spin.MaxValue = 10;
    spin.SetValue(99);
    EXPECT_EQ(spin.Value(), 10);
    SetFloatProp(spin, "Value", 3);
    EXPECT_EQ(GetFloatProp(spin, "Value"), 3);
    EXPECT_EQ(changes, 5);
}

TEST(Controls, ListSelectionCanBeRefusedAndDeletionKeepsTheIndexInStep) {
    TForm form;
    auto *list = MakeControl<TListView>(&form, &form, "list", {0, 0, 100, 100});
    for (const char *caption : {"r0", "r1", "r2"})
        list->AddItem({caption, {}, false});
    std::vector<int> selected;
    list->OnSelectItem = [&](TListView *, int i, bool on) {
        if (on) selected.push_back(i);
    };
    bool allow = true;
    list->OnSelecting = [&](TListView *, int, bool &a) { a = allow; };
    EXPECT_TRUE(list->SelectByUser(2));
    allow = false;
    EXPECT_FALSE(list->SelectByUser(0));
    EXPECT_EQ(list->ItemIndex(), 2);
    list->DeleteItem(0);
    EXPECT_EQ(list->ItemIndex(), 1);  // the same row, one up
    list->DeleteItem(1);
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(selected, std::vector<int>{2});
}

TEST(Controls, MonospacedLayoutTable) {
    struct Case {
        const char *text;
        int maxWidth;
        unsigned flags;
        TSize size;
    };
    const Case cases[] = {
        {"abc", 70, 0, {21, 15}},
        {"one two three", 56, tfWordBreak, {49, 30}},  // "one two" fits 8 columns
        {"one two three", 42, tfWordBreak, {35, 45}},
        {"abcdefghij", 28, tfWordBreak, {28, 45}},  // a long word is broken
        {"a\r\nbb\n", 100, 0, {14, 45}},
        {"\tx", 100, tfExpandTabs, {63, 15}},
        {"&Yes", 100, 0, {21, 15}},
        {"&Yes", 100, tfNoPrefix, {28, 15}},
        {"a&&b", 100, 0, {21, 15}},
        {"a  b", 100, tfWordBreak, {28, 15}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MeasureMonospaced(c.text, c.maxWidth, c.flags, 7, 15), c.size) << c.text;
}

TEST(Controls, NoBackEndRefusesDialogs) {
    TUiBackend *saved = SetUiBackend(nullptr);
    TForm form;
    EXPECT_THROW(form.ShowModal(), EUiUnavailable);
    SetUiBackend(saved);
}

}  // namespace
}  // namespace brevor
