#pragma once

// Toolkit-neutral controls and forms. Dialog logic is written once against these classes; a
// renderer (a native toolkit, or the headless driver of the tests) shows a form and feeds the
// user's actions back through the same entry points a user would use: SetFocusTo, Click,
// KeyDown, SetText, SelectItem.
//
// Geometry is in pixels. A control's Left/Top are relative to its parent's client area; a
// form's Width/Height are its client size.
//
// Everything here runs on the user-interface thread: the thread that called ShowModal.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/component.h"
#include "rtl/geometry.h"
#include "rtl/strings.h"

namespace brevor {

// Standard dialog results; 0 leaves a modal form open.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// Virtual key codes the forms react to.
enum TVirtualKey : int {
    vkTab = 0x09,
    vkReturn = 0x0D,
    vkEscape = 0x1B,
    vkF1 = 0x70,
};

// Anchor bits: which parent edges keep their distance when the parent is resized.
enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TCustomForm;
class TWinControl;
class TPopupMenu;

// What a renderer is told when the model changed under it.
enum class TControlChange {
    Bounds,
    Text,     // Caption or Text
    State,    // Checked, ItemIndex, Value, selection, active page
    Enabled,  // Enabled or Visible
    Items,    // list rows, radio items, columns
    Focus,    // the form's focused control
};

class TFormObserver {
public:
    virtual ~TFormObserver() = default;
    virtual void ControlChanged(TComponent &control, TControlChange change) = 0;
};

class TFont : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::string Name = "Sans";
    std::int32_t Size = 9;  // points
    std::int32_t Charset = 1;
};

// ---------------------------------------------------------------- controls

class TControl : public TComponent {
public:
    using TNotifyEvent = std::function<void(TObject *sender)>;

    explicit TControl(TComponent *owner = nullptr);
    ~TControl() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    TWinControl *Parent() const { return parent_; }
    void SetParent(TWinControl *parent);
    // The form this control sits on (itself for a form), or null.
    TCustomForm *GetParentForm() const;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    int Right() const { return left_ + width_; }
    int Bottom() const { return top_ + height_; }
    TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual void SetBounds(int left, int top, int width, int height);
    unsigned Anchors = akLeft | akTop;

    const std::string &Caption() const { return caption_; }
    void SetCaption(std::string_view caption);
    std::string Hint;

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Visible and enabled, and so is every parent.
    bool Showing() const;
    bool EffectivelyEnabled() const;

    std::int32_t HelpContext = 0;
    TPopupMenu *PopupMenu = nullptr;
    std::uint32_t Color = 0xFF00000F;  // a system colour (button face) unless set

    TNotifyEvent OnClick;
    TNotifyEvent OnResize;

    // A user's click: fires OnClick (derived controls add their own effect first).
    virtual void Click();

    // Tells the renderer of the form that something changed.
    void Changed(TControlChange change);

protected:
    std::string caption_;

private:
    TWinControl *parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
};

// A control that can hold the focus and contain other controls.
class TWinControl : public TControl {
public:
    // allow := false keeps the focus here and abandons the action that moved it; target is the
    // control the focus was going to (null when unknown).
    using TExitEvent = std::function<void(TWinControl *sender, TWinControl *target, bool &allow)>;

    explicit TWinControl(TComponent *owner = nullptr);
    ~TWinControl() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // Children in insertion order, which is also their tab order.
    const std::vector<TControl *> &Controls() const { return controls_; }
    bool TabStop = false;
    TNotifyEvent OnEnter;
    TExitEvent OnExit;

    bool Focused() const;
    // Can take the focus now: showing, enabled, on the visible page of a page control.
    virtual bool CanFocus() const;
    // Asks the form to move the focus here; false when refused or impossible.
    bool SetFocus();

    void SetBounds(int left, int top, int width, int height) override;

private:
    friend class TControl;
    std::vector<TControl *> controls_;
};

class TLabel : public TControl {
public:
    explicit TLabel(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    bool WordWrap = false;
    bool ShowAccelChar = true;  // "&x" underlines x; false shows "&" literally
    bool AutoSize = true;
    TWinControl *FocusControl = nullptr;
};

class TButton : public TWinControl {
public:
    explicit TButton(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::int32_t ModalResult = mrNone;
    bool Default = false;  // clicked by Enter when the focus is not on a button
    bool Cancel = false;   // clicked by Esc
    // OnClick, then the form's ModalResult := ModalResult when that is not 0.
    void Click() override;
};

class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    bool Checked() const { return checked_; }
    // A change fires OnClick, as a user's click would.
    void SetChecked(bool checked);
    void Click() override;  // toggles

private:
    bool checked_ = false;
};

class TCustomEdit : public TWinControl {
public:
    explicit TCustomEdit(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    const std::string &Text() const { return text_; }
    // A change fires OnChange.
    virtual void SetText(std::string_view text);
    bool ReadOnly = false;
    TNotifyEvent OnChange;

protected:
    std::string text_;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

// An edit with a browse button beside it: a folder or a file name.
class TBrowseEdit : public TCustomEdit {
public:
    enum class TKind { Folder, File };
    explicit TBrowseEdit(TComponent *owner = nullptr, TKind kind = TKind::Folder);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    TKind Kind;
    std::string DialogTitle;
    // The folder a file dialog starts in (file kind).
    std::string InitialDir;
    // Called by the renderer when the browse button is pressed; the default asks the back end
    // and puts the chosen path into Text.
    TNotifyEvent OnButtonClick;
    void ButtonClick();
};

// A whole-number spin box; Value is published as a float so that it stores like the settings
// object's numbers.
class TSpinEdit : public TCustomEdit {
public:
    explicit TSpinEdit(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    double Value() const { return value_; }
    void SetValue(double value);
    void SetText(std::string_view text) override;
    double MinValue = 0;
    double MaxValue = 0;  // MinValue = MaxValue: no limits
    double Increment = 1;

private:
    double Clamp(double v) const;
    double value_ = 0;
};

class TCustomRadioGroup : public TWinControl {
public:
    explicit TCustomRadioGroup(TComponent *owner = nullptr);
    ~TCustomRadioGroup() override;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    TStringList &Items() { return *items_; }
    std::int32_t ItemIndex() const { return itemIndex_; }
    // A change fires OnClick; an index outside the items selects none (-1).
    void SetItemIndex(std::int32_t index);
    std::int32_t Columns = 1;

private:
    std::unique_ptr<TStringList> items_;
    std::int32_t itemIndex_ = -1;
};

class TRadioGroup : public TCustomRadioGroup {
public:
    using TCustomRadioGroup::TCustomRadioGroup;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

class TGroupBox : public TWinControl {
public:
    using TWinControl::TWinControl;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

class TPanel : public TWinControl {
public:
    using TWinControl::TWinControl;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    bool Opaque = true;
    bool Bevel = false;
};

// A picture holding one of the standard icons (IconId, 0: empty area).
class TImage : public TControl {
public:
    explicit TImage(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::int32_t IconId = 0;
    bool Transparent = true;
    bool AutoSize = true;
};

class TTabSheet : public TWinControl {
public:
    using TWinControl::TWinControl;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

class TPageControl : public TWinControl {
public:
    explicit TPageControl(TComponent *owner = nullptr);
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    // The tab sheets among the children, in order.
    std::vector<TTabSheet *> Pages() const;
    int ActivePageIndex() const { return activePage_; }
    void SetActivePageIndex(int index);
    TTabSheet *ActivePage() const;
    TNotifyEvent OnChange;

private:
    int activePage_ = 0;
};

class TMenuItem : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::string Caption;
    bool Enabled = true;
    std::function<void(TObject *sender)> OnClick;
    void Click();
};

// Items are owned menu items (components), in order.
class TPopupMenu : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::vector<TMenuItem *> Items() const;
    TMenuItem *Add(std::string_view name, std::string_view caption);
};

// A button of a tool bar: clicking it does not move the focus.
class TToolButton : public TControl {
public:
    using TControl::TControl;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

class TToolBar : public TWinControl {
public:
    using TWinControl::TWinControl;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

// A component holding string lines (no picture of its own).
class TStrHolder : public TComponent {
public:
    explicit TStrHolder(TComponent *owner = nullptr);
    ~TStrHolder() override;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    TStringList &Strings() { return *strings_; }

private:
    std::unique_ptr<TStringList> strings_;
};

// ---------------------------------------------------------------- report list view

class TListColumn : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::string Caption;
    std::int32_t Width = 50;
};

class TListColumns : public TPersistent, public TTranslatableItems {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    TListColumn &Add(std::string_view caption, int width);
    int Count() const { return static_cast<int>(items_.size()); }
    TListColumn &operator[](int i) { return *items_[static_cast<std::size_t>(i)]; }
    int TranslatableItemCount() const override { return Count(); }
    TObject *TranslatableItem(int index) const override {
        return items_[static_cast<std::size_t>(index)].get();
    }

private:
    std::vector<std::unique_ptr<TListColumn>> items_;
};

struct TListItem {
    std::string Caption;
    std::vector<std::string> SubItems;
    bool Checked = false;
};

class TListView : public TWinControl {
public:
    // allow := false keeps the current selection.
    using TSelectingEvent = std::function<void(TListView *sender, int newIndex, bool &allow)>;
    using TSelectItemEvent = std::function<void(TListView *sender, int index, bool selected)>;

    explicit TListView(TComponent *owner = nullptr);
    ~TListView() override;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    TListColumns &Columns() { return *columns_; }
    int Count() const { return static_cast<int>(items_.size()); }
    const TListItem &Item(int i) const { return items_.at(static_cast<std::size_t>(i)); }
    int AddItem(TListItem item);
    void SetItem(int i, TListItem item);
    void DeleteItem(int i);
    void ClearItems();

    bool Checkboxes = false;
    bool RowSelect = false;
    bool ReadOnly = false;

    int ItemIndex() const { return itemIndex_; }
    // Selects a row (or none with -1) from code: no OnSelecting, OnSelectItem fires.
    void SetItemIndex(int index);
    // A user's selection: OnSelecting may refuse it. True when the row is selected afterwards.
    bool SelectByUser(int index);
    TSelectingEvent OnSelecting;
    TSelectItemEvent OnSelectItem;

private:
    std::unique_ptr<TListColumns> columns_;
    std::vector<TListItem> items_;
    int itemIndex_ = -1;
};

// ---------------------------------------------------------------- forms

enum class TFormPosition { Designed, ScreenCenter, MainFormCenter, OwnerFormCenter };
enum class TFormBorderStyle { Sizeable, Dialog };

class TCustomForm : public TWinControl {
public:
    using TKeyEvent = std::function<void(TObject *sender, int &key)>;
    using TCloseQueryEvent = std::function<void(TObject *sender, bool &canClose)>;

    explicit TCustomForm(TComponent *owner = nullptr);
    ~TCustomForm() override;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    TFont &Font() { return font_; }
    TFormPosition Position = TFormPosition::Designed;
    TFormBorderStyle BorderStyle = TFormBorderStyle::Sizeable;
    bool BorderIconHelp = false;  // a help button in the caption
    bool KeyPreview = false;
    int MinWidth = 0, MinHeight = 0;
    std::string HelpFile;
    // The host's native window that owns the form while it is shown (0: none). A form shown
    // over another form is owned by that one.
    std::uintptr_t OwnerWindow = 0;

    std::int32_t ModalResult = mrNone;
    bool Modal() const { return modal_; }

    // The focused control (null: none).
    TWinControl *ActiveControl() const { return activeControl_; }
    // Moves the focus, asking the control that loses it (OnExit may refuse). True when target
    // has the focus afterwards. A control that cannot take the focus is refused.
    bool SetFocusTo(TWinControl *target);
    // Sets the initial focus without exit checks (before showing, or when the focused control
    // disappears).
    void SetActiveControlSilently(TWinControl *target);
    // Tab / Shift+Tab: the next (previous) control that can take the focus, or null.
    TWinControl *FindNextControl(TWinControl *from, bool forward) const;
    void SelectNext(bool forward);

    // A key pressed while the form is active: OnKeyDown first when KeyPreview (it may clear
    // the key), then Esc clicks the Cancel button, Enter clicks the focused button or else the
    // default button, Tab moves the focus, F1 shows the help of the focused control.
    void KeyDown(int key, bool shift = false);
    TKeyEvent OnKeyDown;

    // The help context of the focused control, of its nearest parent that has one, or of the
    // form.
    std::int32_t CurrentHelpContext() const;
    void ShowHelp();
    std::function<void(TCustomForm *sender, std::int32_t context)> OnHelp;

    TNotifyEvent OnShow;
    TNotifyEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TNotifyEvent OnDeactivate;

    // Shows the form modally through the user-interface back end and returns ModalResult.
    int ShowModal();
    // Called by the back end around a modal showing.
    void BeginModal();
    void EndModal();
    // Asks OnCloseQuery; false keeps the form open (ModalResult reset to 0).
    bool CloseQuery();
    void Close();

    // Every control on the form, depth first in child order.
    std::vector<TControl *> AllControls() const;
    TButton *FindCancelButton() const;
    TButton *FindDefaultButton() const;

    TFormObserver *Observer = nullptr;

    void SetBounds(int left, int top, int width, int height) override;

private:
    TFont font_;
    TWinControl *activeControl_ = nullptr;
    bool modal_ = false;
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

// Builds a control of type T owned by owner, placed in parent, with a name and bounds.
template <typename T, typename... Args>
T *MakeControl(TComponent *owner, TWinControl *parent, std::string_view name, TRect bounds,
               Args &&...args) {
    T *c = new T(owner, std::forward<Args>(args)...);
    c->SetName(name);
    c->SetBounds(bounds.Left, bounds.Top, bounds.Right - bounds.Left, bounds.Bottom - bounds.Top);
    if (parent) c->SetParent(parent);
    return c;
}

}  // namespace brevor
