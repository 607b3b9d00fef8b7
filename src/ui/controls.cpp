#include "ui/controls.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "rtl/format.h"
#include "ui/backend.h"

namespace brevor {

namespace {

bool IsWhole(std::string_view text, double &value) {
    const std::string s(text);
    if (s.empty()) return false;
    char *end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0') return false;
    value = static_cast<double>(v);
    return true;
}

std::string WholeText(double v) {
    return std::to_string(static_cast<long long>(std::trunc(v)));
}

}  // namespace

// ---------------------------------------------------------------- TFont

const TClassInfo &TFont::StaticClassInfo() {
    static const TClassInfo info = TClassBuilder<TFont>("TFont", &TPersistent::StaticClassInfo())
                                       .String("Name", &TFont::Name)
                                       .Integer("Size", &TFont::Size)
                                       .Integer("Charset", &TFont::Charset)
                                       .Build();
    return info;
}
const TClassInfo &TFont::ClassInfo() const {
    return StaticClassInfo();
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent *owner) : TComponent(owner) {}

TControl::~TControl() {
    SetParent(nullptr);
}

const TClassInfo &TControl::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TControl>("TControl", &TComponent::StaticClassInfo())
            .Integer("Left", &TControl::Left, &TControl::SetLeft)
            .Integer("Top", &TControl::Top, &TControl::SetTop)
            .Integer("Width", &TControl::Width, &TControl::SetWidth)
            .Integer("Height", &TControl::Height, &TControl::SetHeight)
            .Boolean("Visible", &TControl::Visible, &TControl::SetVisible)
            .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled)
            .String("Hint", &TControl::Hint)
            .Build();
    return info;
}
const TClassInfo &TControl::ClassInfo() const {
    return StaticClassInfo();
}

void TControl::SetParent(TWinControl *parent) {
    if (parent == parent_) return;
    if (parent_) {
        auto &list = parent_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (TCustomForm *form = parent_->GetParentForm()) {
            // The focused control leaves the form: nothing has the focus any more.
            TWinControl *active = form->ActiveControl();
            for (const TControl *c = active; c; c = c->Parent())
                if (c == this) {
                    form->SetActiveControlSilently(nullptr);
                    break;
                }
        }
    }
    parent_ = parent;
    if (parent_) parent_->controls_.push_back(this);
}

TCustomForm *TControl::GetParentForm() const {
    const TControl *c = this;
    while (c->parent_)
        c = c->parent_;
    return const_cast<TCustomForm *>(dynamic_cast<const TCustomForm *>(c));
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    const bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    Changed(TControlChange::Bounds);
    if (resized && OnResize) OnResize(this);
}

void TControl::SetCaption(std::string_view caption) {
    if (caption == caption_) return;
    caption_.assign(caption);
    Changed(TControlChange::Text);
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed(TControlChange::Enabled);
}

void TControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed(TControlChange::Enabled);
}

bool TControl::Showing() const {
    for (const TControl *c = this; c; c = c->parent_) {
        if (!c->visible_ && !dynamic_cast<const TCustomForm *>(c)) return false;
        if (auto *sheet = dynamic_cast<const TTabSheet *>(c)) {
            auto *pages = dynamic_cast<const TPageControl *>(sheet->Parent());
            if (pages && pages->ActivePage() != sheet) return false;
        }
    }
    return true;
}

bool TControl::EffectivelyEnabled() const {
    for (const TControl *c = this; c; c = c->parent_)
        if (!c->enabled_) return false;
    return true;
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::Changed(TControlChange change) {
    if (TCustomForm *form = GetParentForm())
        if (form->Observer) form->Observer->ControlChanged(*this, change);
}

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent *owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    // Children that outlive their parent (owned elsewhere) are detached, never left dangling.
    while (!controls_.empty())
        controls_.back()->SetParent(nullptr);
}

const TClassInfo &TWinControl::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TWinControl>("TWinControl", &TControl::StaticClassInfo())
            .Boolean("TabStop", &TWinControl::TabStop)
            .Integer("HelpContext", &TControl::HelpContext)
            .Build();
    return info;
}
const TClassInfo &TWinControl::ClassInfo() const {
    return StaticClassInfo();
}

bool TWinControl::Focused() const {
    const TCustomForm *form = GetParentForm();
    return form && form->ActiveControl() == this;
}

bool TWinControl::CanFocus() const {
    return GetParentForm() != nullptr && Showing() && EffectivelyEnabled();
}

bool TWinControl::SetFocus() {
    TCustomForm *form = GetParentForm();
    return form && form->SetFocusTo(this);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    const int dw = width - Width();
    const int dh = height - Height();
    TControl::SetBounds(left, top, width, height);
    if (dw == 0 && dh == 0) return;
    // Children keep their distance to the edges they are anchored to.
    const std::vector<TControl *> children = controls_;
    for (TControl *c : children) {
        int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
        if (c->Anchors & akRight) {
            if (c->Anchors & akLeft)
                w += dw;
            else
                l += dw;
        }
        if (c->Anchors & akBottom) {
            if (c->Anchors & akTop)
                h += dh;
            else
                t += dh;
        }
        c->SetBounds(l, t, w, h);
    }
}

// ---------------------------------------------------------------- simple controls

TLabel::TLabel(TComponent *owner) : TControl(owner) {}
const TClassInfo &TLabel::StaticClassInfo() {
    static const TClassInfo info = TClassBuilder<TLabel>("TLabel", &TControl::StaticClassInfo())
                                       .String("Caption", &TControl::Caption, &TControl::SetCaption)
                                       .Boolean("WordWrap", &TLabel::WordWrap)
                                       .Build();
    return info;
}
const TClassInfo &TLabel::ClassInfo() const {
    return StaticClassInfo();
}

TButton::TButton(TComponent *owner) : TWinControl(owner) {
    TabStop = true;
}
const TClassInfo &TButton::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TButton>("TButton", &TWinControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Integer("ModalResult", &TButton::ModalResult)
            .Boolean("Default", &TButton::Default)
            .Boolean("Cancel", &TButton::Cancel)
            .Build();
    return info;
}
const TClassInfo &TButton::ClassInfo() const {
    return StaticClassInfo();
}
void TButton::Click() {
    // The handler may free the form; read what is needed first.
    TCustomForm *form = GetParentForm();
    const std::int32_t result = ModalResult;
    TControl::Click();
    if (form && result != mrNone) form->ModalResult = result;
}

TCheckBox::TCheckBox(TComponent *owner) : TWinControl(owner) {
    TabStop = true;
}
const TClassInfo &TCheckBox::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TCheckBox>("TCheckBox", &TWinControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Boolean("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked)
            .Build();
    return info;
}
const TClassInfo &TCheckBox::ClassInfo() const {
    return StaticClassInfo();
}
void TCheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    Changed(TControlChange::State);
    TControl::Click();
}
void TCheckBox::Click() {
    SetChecked(!checked_);
}

TCustomEdit::TCustomEdit(TComponent *owner) : TWinControl(owner) {
    TabStop = true;
}
const TClassInfo &TCustomEdit::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TCustomEdit>("TCustomEdit", &TWinControl::StaticClassInfo())
            .String(
                "Text", [](TCustomEdit &e) { return e.Text(); },
                [](TCustomEdit &e, const std::string &v) { e.SetText(v); })
            .Build();
    return info;
}
const TClassInfo &TCustomEdit::ClassInfo() const {
    return StaticClassInfo();
}
void TCustomEdit::SetText(std::string_view text) {
    if (text == text_) return;
    text_.assign(text);
    Changed(TControlChange::Text);
    if (OnChange) OnChange(this);
}

const TClassInfo &TEdit::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TEdit>("TEdit", &TCustomEdit::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TEdit::ClassInfo() const {
    return StaticClassInfo();
}

TBrowseEdit::TBrowseEdit(TComponent *owner, TKind kind) : TCustomEdit(owner), Kind(kind) {}
const TClassInfo &TBrowseEdit::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TBrowseEdit>("TBrowseEdit", &TCustomEdit::StaticClassInfo())
            .String("DialogTitle", &TBrowseEdit::DialogTitle)
            .Build();
    return info;
}
const TClassInfo &TBrowseEdit::ClassInfo() const {
    return StaticClassInfo();
}
void TBrowseEdit::ButtonClick() {
    if (OnButtonClick) {
        OnButtonClick(this);
        return;
    }
    std::string path = Text();
    const bool chosen = Kind == TKind::Folder
                            ? UiBackend().BrowseForFolder(DialogTitle, path)
                            : UiBackend().BrowseForFile(DialogTitle, InitialDir, path);
    if (chosen) SetText(path);
}

TSpinEdit::TSpinEdit(TComponent *owner) : TCustomEdit(owner) {
    text_ = "0";
}
const TClassInfo &TSpinEdit::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TSpinEdit>("TSpinEdit", &TCustomEdit::StaticClassInfo())
            .Float("Value", &TSpinEdit::Value, &TSpinEdit::SetValue)
            .Float("MinValue", &TSpinEdit::MinValue)
            .Float("MaxValue", &TSpinEdit::MaxValue)
            .Build();
    return info;
}
const TClassInfo &TSpinEdit::ClassInfo() const {
    return StaticClassInfo();
}
double TSpinEdit::Clamp(double v) const {
    if (!std::isfinite(v)) v = 0;
    v = std::trunc(v);
    if (MaxValue > MinValue) v = std::clamp(v, MinValue, MaxValue);
    // Whole numbers outside the 64-bit range cannot be shown as typed digits.
    return std::clamp(v, -9.0e18, 9.0e18);
}
void TSpinEdit::SetValue(double value) {
    value = Clamp(value);
    const bool changed = value != value_ || text_ != WholeText(value);
    value_ = value;
    if (changed) TCustomEdit::SetText(WholeText(value));
}
void TSpinEdit::SetText(std::string_view text) {
    // Typed digits set the value; anything else keeps the value and shows the text as typed.
    double v = 0;
    if (IsWhole(text, v)) value_ = Clamp(v);
    TCustomEdit::SetText(text);
}

TCustomRadioGroup::TCustomRadioGroup(TComponent *owner)
    : TWinControl(owner), items_(std::make_unique<TStringList>()) {
    TabStop = true;
    items_->OnChange = [this](TStrings *) {
        if (itemIndex_ >= items_->Count()) itemIndex_ = -1;
        Changed(TControlChange::Items);
    };
}
TCustomRadioGroup::~TCustomRadioGroup() {
    items_->OnChange = nullptr;
}
const TClassInfo &TCustomRadioGroup::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TCustomRadioGroup>("TCustomRadioGroup", &TWinControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Object("Items", [](TCustomRadioGroup &g) { return &g.Items(); })
            .Integer("ItemIndex", &TCustomRadioGroup::ItemIndex, &TCustomRadioGroup::SetItemIndex)
            .Integer("Columns", &TCustomRadioGroup::Columns)
            .Build();
    return info;
}
const TClassInfo &TCustomRadioGroup::ClassInfo() const {
    return StaticClassInfo();
}
void TCustomRadioGroup::SetItemIndex(std::int32_t index) {
    if (index < 0 || index >= items_->Count()) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    Changed(TControlChange::State);
    TControl::Click();
}

const TClassInfo &TRadioGroup::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TRadioGroup>("TRadioGroup", &TCustomRadioGroup::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TRadioGroup::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TGroupBox::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TGroupBox>("TGroupBox", &TWinControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Build();
    return info;
}
const TClassInfo &TGroupBox::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TPanel::StaticClassInfo() {
    static const TClassInfo info = TClassBuilder<TPanel>("TPanel", &TWinControl::StaticClassInfo())
                                       .String("Caption", &TControl::Caption, &TControl::SetCaption)
                                       .Build();
    return info;
}
const TClassInfo &TPanel::ClassInfo() const {
    return StaticClassInfo();
}

TImage::TImage(TComponent *owner) : TControl(owner) {}
const TClassInfo &TImage::StaticClassInfo() {
    static const TClassInfo info = TClassBuilder<TImage>("TImage", &TControl::StaticClassInfo())
                                       .Integer("IconId", &TImage::IconId)
                                       .Build();
    return info;
}
const TClassInfo &TImage::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TTabSheet::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TTabSheet>("TTabSheet", &TWinControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Build();
    return info;
}
const TClassInfo &TTabSheet::ClassInfo() const {
    return StaticClassInfo();
}

TPageControl::TPageControl(TComponent *owner) : TWinControl(owner) {
    TabStop = true;
}
const TClassInfo &TPageControl::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TPageControl>("TPageControl", &TWinControl::StaticClassInfo())
            .Integer("ActivePageIndex", &TPageControl::ActivePageIndex,
                     &TPageControl::SetActivePageIndex)
            .Build();
    return info;
}
const TClassInfo &TPageControl::ClassInfo() const {
    return StaticClassInfo();
}
std::vector<TTabSheet *> TPageControl::Pages() const {
    std::vector<TTabSheet *> pages;
    for (TControl *c : Controls())
        if (auto *sheet = dynamic_cast<TTabSheet *>(c)) pages.push_back(sheet);
    return pages;
}
TTabSheet *TPageControl::ActivePage() const {
    const auto pages = Pages();
    if (activePage_ < 0 || activePage_ >= static_cast<int>(pages.size())) return nullptr;
    return pages[static_cast<std::size_t>(activePage_)];
}
void TPageControl::SetActivePageIndex(int index) {
    if (index == activePage_) return;
    activePage_ = index;
    // The focus cannot stay on a page that is no longer shown.
    if (TCustomForm *form = GetParentForm())
        if (TWinControl *active = form->ActiveControl(); active && !active->Showing())
            form->SetActiveControlSilently(this);
    Changed(TControlChange::State);
    if (OnChange) OnChange(this);
}

const TClassInfo &TMenuItem::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TMenuItem>("TMenuItem", &TComponent::StaticClassInfo())
            .String("Caption", &TMenuItem::Caption)
            .Boolean("Enabled", &TMenuItem::Enabled)
            .Build();
    return info;
}
const TClassInfo &TMenuItem::ClassInfo() const {
    return StaticClassInfo();
}
void TMenuItem::Click() {
    if (Enabled && OnClick) OnClick(this);
}

const TClassInfo &TPopupMenu::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TPopupMenu>("TPopupMenu", &TComponent::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TPopupMenu::ClassInfo() const {
    return StaticClassInfo();
}
std::vector<TMenuItem *> TPopupMenu::Items() const {
    std::vector<TMenuItem *> items;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto *item = dynamic_cast<TMenuItem *>(Components(i))) items.push_back(item);
    return items;
}
TMenuItem *TPopupMenu::Add(std::string_view name, std::string_view caption) {
    auto *item = new TMenuItem(this);
    item->SetName(name);
    item->Caption.assign(caption);
    return item;
}

const TClassInfo &TToolButton::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TToolButton>("TToolButton", &TControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Build();
    return info;
}
const TClassInfo &TToolButton::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TToolBar::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TToolBar>("TToolBar", &TWinControl::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TToolBar::ClassInfo() const {
    return StaticClassInfo();
}

TStrHolder::TStrHolder(TComponent *owner)
    : TComponent(owner), strings_(std::make_unique<TStringList>()) {}
TStrHolder::~TStrHolder() = default;
const TClassInfo &TStrHolder::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TStrHolder>("TStrHolder", &TComponent::StaticClassInfo())
            .Object("Strings", [](TStrHolder &h) { return &h.Strings(); })
            .Build();
    return info;
}
const TClassInfo &TStrHolder::ClassInfo() const {
    return StaticClassInfo();
}

// ---------------------------------------------------------------- list view

const TClassInfo &TListColumn::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TListColumn>("TListColumn", &TPersistent::StaticClassInfo())
            .String("Caption", &TListColumn::Caption)
            .Integer("Width", &TListColumn::Width)
            .Build();
    return info;
}
const TClassInfo &TListColumn::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TListColumns::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TListColumns>("TListColumns", &TPersistent::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TListColumns::ClassInfo() const {
    return StaticClassInfo();
}
TListColumn &TListColumns::Add(std::string_view caption, int width) {
    auto column = std::make_unique<TListColumn>();
    column->Caption.assign(caption);
    column->Width = width;
    items_.push_back(std::move(column));
    return *items_.back();
}

TListView::TListView(TComponent *owner)
    : TWinControl(owner), columns_(std::make_unique<TListColumns>()) {
    TabStop = true;
}
TListView::~TListView() = default;
const TClassInfo &TListView::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TListView>("TListView", &TWinControl::StaticClassInfo())
            .Object("Columns", [](TListView &v) { return &v.Columns(); })
            .Integer("ItemIndex", &TListView::ItemIndex, &TListView::SetItemIndex)
            .Boolean("Checkboxes", &TListView::Checkboxes)
            .Boolean("RowSelect", &TListView::RowSelect)
            .Boolean("ReadOnly", &TListView::ReadOnly)
            .Build();
    return info;
}
const TClassInfo &TListView::ClassInfo() const {
    return StaticClassInfo();
}
int TListView::AddItem(TListItem item) {
    items_.push_back(std::move(item));
    Changed(TControlChange::Items);
    return Count() - 1;
}
void TListView::SetItem(int i, TListItem item) {
    items_.at(static_cast<std::size_t>(i)) = std::move(item);
    Changed(TControlChange::Items);
}
void TListView::DeleteItem(int i) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    if (itemIndex_ == i)
        itemIndex_ = -1;
    else if (itemIndex_ > i)
        --itemIndex_;
    Changed(TControlChange::Items);
}
void TListView::ClearItems() {
    items_.clear();
    itemIndex_ = -1;
    Changed(TControlChange::Items);
}
void TListView::SetItemIndex(int index) {
    if (index < 0 || index >= Count()) index = -1;
    if (index == itemIndex_) return;
    const int old = itemIndex_;
    itemIndex_ = index;
    Changed(TControlChange::State);
    if (OnSelectItem) {
        if (old >= 0) OnSelectItem(this, old, false);
        if (index >= 0) OnSelectItem(this, index, true);
    }
}
bool TListView::SelectByUser(int index) {
    if (index < 0 || index >= Count()) return false;
    if (index == itemIndex_) return true;
    bool allow = true;
    if (OnSelecting) OnSelecting(this, index, allow);
    if (!allow) {
        // The renderer may already show the new row selected: show the kept one again.
        Changed(TControlChange::State);
        return false;
    }
    SetItemIndex(index);
    return itemIndex_ == index;
}

// ---------------------------------------------------------------- forms

TCustomForm::TCustomForm(TComponent *owner) : TWinControl(owner) {
    SetVisible(false);
}

TCustomForm::~TCustomForm() {
    Observer = nullptr;
    activeControl_ = nullptr;
    // Owned controls go before the form's own list of children is torn down.
    DestroyComponents();
}

const TClassInfo &TCustomForm::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TCustomForm>("TCustomForm", &TWinControl::StaticClassInfo())
            .String("Caption", &TControl::Caption, &TControl::SetCaption)
            .Object("Font", [](TCustomForm &f) { return &f.Font(); })
            .Boolean("KeyPreview", &TCustomForm::KeyPreview)
            .String("HelpFile", &TCustomForm::HelpFile)
            .Integer("ModalResult", &TCustomForm::ModalResult)
            .Build();
    return info;
}
const TClassInfo &TCustomForm::ClassInfo() const {
    return StaticClassInfo();
}

void TCustomForm::SetBounds(int left, int top, int width, int height) {
    TWinControl::SetBounds(left, top, std::max(width, MinWidth), std::max(height, MinHeight));
}

bool TCustomForm::SetFocusTo(TWinControl *target) {
    if (target == activeControl_) return target != nullptr;
    if (!target || target == this || target->GetParentForm() != this || !target->CanFocus())
        return false;
    if (TWinControl *old = activeControl_; old && old->OnExit) {
        bool allow = true;
        old->OnExit(old, target, allow);
        if (!allow) {
            // The renderer may have moved its own focus already: show it back where it is.
            Changed(TControlChange::Focus);
            return false;
        }
        // The handler may have moved the focus itself.
        if (activeControl_ != old) return activeControl_ == target;
    }
    if (!target->CanFocus()) return false;
    activeControl_ = target;
    Changed(TControlChange::Focus);
    if (target->OnEnter) target->OnEnter(target);
    return activeControl_ == target;
}

void TCustomForm::SetActiveControlSilently(TWinControl *target) {
    if (target && target->GetParentForm() != this) return;
    activeControl_ = target;
    Changed(TControlChange::Focus);
}

std::vector<TControl *> TCustomForm::AllControls() const {
    std::vector<TControl *> out;
    // Depth first, children in order.
    std::function<void(const TWinControl *)> walk = [&](const TWinControl *parent) {
        for (TControl *c : parent->Controls()) {
            out.push_back(c);
            if (auto *w = dynamic_cast<const TWinControl *>(c)) walk(w);
        }
    };
    walk(this);
    return out;
}

TWinControl *TCustomForm::FindNextControl(TWinControl *from, bool forward) const {
    std::vector<TWinControl *> order;
    for (TControl *c : AllControls()) {
        auto *w = dynamic_cast<TWinControl *>(c);
        if (!w || !w->TabStop || !w->CanFocus()) continue;
        // A container that takes the focus itself (a radio group) is one stop.
        order.push_back(w);
    }
    if (order.empty()) return nullptr;
    auto it = std::find(order.begin(), order.end(), from);
    if (it == order.end()) return forward ? order.front() : order.back();
    if (forward) return ++it == order.end() ? order.front() : *it;
    return it == order.begin() ? order.back() : *--it;
}

void TCustomForm::SelectNext(bool forward) {
    if (TWinControl *next = FindNextControl(activeControl_, forward)) SetFocusTo(next);
}

TButton *TCustomForm::FindCancelButton() const {
    for (TControl *c : AllControls())
        if (auto *b = dynamic_cast<TButton *>(c); b && b->Cancel && b->CanFocus()) return b;
    return nullptr;
}

TButton *TCustomForm::FindDefaultButton() const {
    for (TControl *c : AllControls())
        if (auto *b = dynamic_cast<TButton *>(c); b && b->Default && b->CanFocus()) return b;
    return nullptr;
}

void TCustomForm::KeyDown(int key, bool shift) {
    if (KeyPreview && OnKeyDown) {
        OnKeyDown(this, key);
        if (key == 0 || ModalResult != mrNone) return;
    }
    switch (key) {
        case vkEscape:
            // The Cancel button is clicked without taking the focus.
            if (TButton *b = FindCancelButton()) b->Click();
            break;
        case vkReturn:
            if (auto *b = dynamic_cast<TButton *>(activeControl_))
                b->Click();
            else if (TButton *d = FindDefaultButton())
                d->Click();
            break;
        case vkTab:
            SelectNext(!shift);
            break;
        case vkF1:
            ShowHelp();
            break;
        default:
            break;
    }
}

std::int32_t TCustomForm::CurrentHelpContext() const {
    for (const TControl *c = activeControl_; c; c = c->Parent())
        if (c->HelpContext != 0) return c->HelpContext;
    return HelpContext;
}

void TCustomForm::ShowHelp() {
    const std::int32_t context = CurrentHelpContext();
    if (OnHelp) {
        OnHelp(this, context);
        return;
    }
    UiBackend().ShowHelp(HelpFile, context);
}

int TCustomForm::ShowModal() {
    ModalResult = mrNone;
    return UiBackend().ShowModal(*this);
}

void TCustomForm::BeginModal() {
    modal_ = true;
    SetVisible(true);
    if (!activeControl_) activeControl_ = FindNextControl(nullptr, true);
    if (OnShow) OnShow(this);
}

void TCustomForm::EndModal() {
    Close();
    modal_ = false;
    SetVisible(false);
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) ModalResult = mrNone;
    return canClose;
}

void TCustomForm::Close() {
    if (OnClose) OnClose(this);
}

const TClassInfo &TForm::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TForm>("TForm", &TCustomForm::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TForm::ClassInfo() const {
    return StaticClassInfo();
}

}  // namespace brevor
