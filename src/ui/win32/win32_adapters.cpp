#include "ui/win32/win32_adapters.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "ui/control_kind.h"

namespace brevor::win32ui {

namespace {

TControlAdapter *AdapterOfWindow(HWND window) {
    return window ? reinterpret_cast<TControlAdapter *>(::GetWindowLongPtrW(window, GWLP_USERDATA))
                  : nullptr;
}

// Every control window made here: focus and context menu reach its adapter.
LRESULT CALLBACK ControlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR data) {
    auto *adapter = reinterpret_cast<TControlAdapter *>(data);
    switch (message) {
        case WM_SETFOCUS: {
            const LRESULT r = ::DefSubclassProc(window, message, wParam, lParam);
            adapter->Guard([&] { adapter->FocusIn(reinterpret_cast<HWND>(wParam)); });
            return r;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (adapter->PressedWithoutFocus(window) &&
                adapter->ButtonMouse(window, message, lParam))
                return 0;
            break;
        case WM_CONTEXTMENU:
            if (adapter->Control().PopupMenu) {
                adapter->ShowPopup(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
                return 0;
            }
            break;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(window, &ControlSubclass, id);
            break;
        default:
            break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// Paints the etched frame of a group with its caption over the top edge.
void PaintFrame(HWND window, HFONT font, const std::wstring &caption) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window, &ps);
    RECT r;
    ::GetClientRect(window, &r);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    SIZE text{0, 0};
    ::GetTextExtentPoint32W(dc, L"Ag", 2, &text);
    RECT frame = r;
    frame.top += text.cy / 2;
    ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    if (!caption.empty()) {
        RECT t{r.left + 8, r.top, r.right - 8, r.top + text.cy};
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        ::SetBkMode(dc, OPAQUE);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        // A blank either side keeps the edge off the text.
        const std::wstring shown = L" " + caption + L" ";
        ::DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &t,
                    DT_LEFT | DT_SINGLELINE | DT_HIDEPREFIX);
    }
    ::SelectObject(dc, oldFont);
    ::EndPaint(window, &ps);
}

}  // namespace

// ---------------------------------------------------------------- every kind

void TControlAdapter::Create(HWND parent) {
    parent_ = parent;
    CreateWindows(parent);
}

HWND TControlAdapter::MakeChild(HWND parent, const wchar_t *windowClass, DWORD style, DWORD exStyle,
                                const wchar_t *text) {
    HWND w = ::CreateWindowExW(exStyle, windowClass, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                               nullptr, platform::win32::OwnModuleHandle(), nullptr);
    if (!w) throw EUiUnavailable("A control window could not be made");
    ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(host_.Font()), FALSE);
    ::SetWindowSubclass(w, &ControlSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
    return w;
}

HWND TControlAdapter::MakeContainer(HWND parent, DWORD style, DWORD exStyle) {
    HWND w = ::CreateWindowExW(exStyle | WS_EX_CONTROLPARENT, ContainerClass(), L"",
                               WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
                               parent, nullptr, platform::win32::OwnModuleHandle(), this);
    if (!w) throw EUiUnavailable("A group window could not be made");
    return w;
}

void TControlAdapter::Place(HWND window, int left, int top, int width, int height) const {
    ::MoveWindow(window, Px(left), Px(top), Px(std::max(0, width)), Px(std::max(0, height)), TRUE);
}

void TControlAdapter::ApplyBounds() {
    Place(outer_, control_.Left(), control_.Top(), control_.Width(), control_.Height());
}

void TControlAdapter::ApplyText() {
    ::SetWindowTextW(outer_, Wide(control_.Caption()).c_str());
}

void TControlAdapter::ApplyVisibility() {
    const int show = control_.Visible() ? SW_SHOWNA : SW_HIDE;
    const BOOL enable = control_.EffectivelyEnabled() ? TRUE : FALSE;
    ::ShowWindow(outer_, show);
    ::EnableWindow(outer_, enable);
    for (HWND w : extra_) {
        ::ShowWindow(w, show);
        ::EnableWindow(w, enable);
    }
}

bool TControlAdapter::ButtonMouse(HWND window, UINT message, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            pressed_ = window;
            ::SetCapture(window);
            ::SendMessageW(window, BM_SETSTATE, TRUE, 0);
            return true;
        case WM_LBUTTONUP: {
            if (pressed_ != window) return true;
            pressed_ = nullptr;
            if (::GetCapture() == window) ::ReleaseCapture();
            ::SendMessageW(window, BM_SETSTATE, FALSE, 0);
            RECT r;
            ::GetClientRect(window, &r);
            const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (::PtInRect(&r, at)) host_.Guarded([&] { Command(window, BN_CLICKED); });
            return true;
        }
        default:  // WM_CAPTURECHANGED: the press is over without a click
            if (pressed_ == window && reinterpret_cast<HWND>(lParam) != window) {
                pressed_ = nullptr;
                ::SendMessageW(window, BM_SETSTATE, FALSE, 0);
            }
            return false;
    }
}

void TControlAdapter::FocusIn(HWND) {
    if (auto *w = dynamic_cast<TWinControl *>(&control_)) host_.FocusEntered(w);
}

bool TControlAdapter::ShowPopup(HWND window, int x, int y) {
    TPopupMenu *popup = control_.PopupMenu;
    if (!popup) return false;
    if (x == -1 && y == -1) {
        RECT r;
        ::GetWindowRect(window, &r);
        x = r.left + 4;
        y = r.top + 4;
    }
    const std::vector<TMenuItem *> items = popup->Items();
    HMENU menu = ::CreatePopupMenu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TMenuItem &item = *items[i];
        if (item.Caption == "-")
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            ::AppendMenuW(menu, MF_STRING | (item.Enabled ? 0u : MF_GRAYED), i + 1,
                          Wide(item.Caption).c_str());
    }
    const int chosen =
        static_cast<int>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x,
                                          y, 0, ::GetAncestor(window, GA_ROOT), nullptr));
    ::DestroyMenu(menu);
    if (chosen > 0) {
        TMenuItem *item = items[static_cast<std::size_t>(chosen - 1)];
        host_.Guarded([&] { item->Click(); });
    }
    return true;
}

namespace {

// ---------------------------------------------------------------- labels, buttons, pictures

class TLabelAdapter final : public TControlAdapter {
public:
    TLabelAdapter(TAdapterHost &host, TLabel &label)
        : TControlAdapter(host, label), label_(label) {}

protected:
    void CreateWindows(HWND parent) override {
        DWORD style = label_.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
        if (!label_.ShowAccelChar) style |= SS_NOPREFIX;
        outer_ = MakeChild(parent, L"STATIC", style);
    }

private:
    TLabel &label_;
};

class TButtonAdapter final : public TControlAdapter {
public:
    TButtonAdapter(TAdapterHost &host, TButton &button)
        : TControlAdapter(host, button), button_(button) {}

    void Command(HWND, int code) override {
        if (code != BN_CLICKED || host_.Updating() || !button_.EffectivelyEnabled()) return;
        if (!host_.UserFocus(&button_)) return;  // focus refused: the click is abandoned
        button_.Click();
    }

protected:
    void CreateWindows(HWND parent) override {
        main_ = outer_ = MakeChild(
            parent, L"BUTTON",
            WS_TABSTOP | (button_.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_NOTIFY);
    }

private:
    TButton &button_;
};

// A tool button never keeps the focus: a click goes straight to the model.
class TToolButtonAdapter final : public TControlAdapter {
public:
    using TControlAdapter::TControlAdapter;

    void Command(HWND, int code) override {
        // A greyed button is clicked by no one (a message posted to it still arrives).
        if (code == BN_CLICKED && !host_.Updating() && control_.EffectivelyEnabled())
            control_.Click();
    }
    bool PressedWithoutFocus(HWND) const override { return true; }
    void FocusIn(HWND) override {}

protected:
    void CreateWindows(HWND parent) override {
        main_ = outer_ = MakeChild(parent, L"BUTTON", BS_PUSHBUTTON | BS_FLAT);
    }
};

class TCheckBoxAdapter final : public TControlAdapter {
public:
    TCheckBoxAdapter(TAdapterHost &host, TCheckBox &check)
        : TControlAdapter(host, check), check_(check) {}

    void ApplyState() override {
        TUpdating guard(host_);
        ::SendMessageW(main_, BM_SETCHECK, check_.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    void Command(HWND, int code) override {
        if (code != BN_CLICKED || host_.Updating()) return;
        if (!check_.EffectivelyEnabled()) {
            ApplyState();
            return;
        }
        const bool on = ::SendMessageW(main_, BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (!host_.UserFocus(&check_)) {
            ApplyState();  // the click is abandoned: back to the model's state
            return;
        }
        check_.SetChecked(on);
    }

protected:
    void CreateWindows(HWND parent) override {
        main_ = outer_ = MakeChild(parent, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX);
    }

private:
    TCheckBox &check_;
};

class TImageAdapter final : public TControlAdapter {
public:
    TImageAdapter(TAdapterHost &host, TImage &image)
        : TControlAdapter(host, image), image_(image) {}

    void ApplyText() override {}

protected:
    void CreateWindows(HWND parent) override {
        outer_ = MakeChild(parent, L"STATIC", SS_ICON | SS_CENTERIMAGE);
        if (image_.IconId)
            if (HICON icon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(image_.IconId)))
                ::SendMessageW(outer_, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }

private:
    TImage &image_;
};

// ---------------------------------------------------------------- edits

class TEditAdapter : public TControlAdapter {
public:
    TEditAdapter(TAdapterHost &host, TCustomEdit &edit)
        : TControlAdapter(host, edit), edit_(edit) {}

    void ApplyText() override {
        if (inChange_) return;  // the edit itself is the source; synced after
        const std::wstring text = Wide(edit_.Text());
        if (text != WindowText()) {
            TUpdating guard(host_);
            ::SetWindowTextW(main_, text.c_str());
        }
    }
    void Command(HWND from, int code) override {
        if (from == main_ && code == EN_CHANGE) Changed();
    }

protected:
    void CreateWindows(HWND parent) override {
        main_ = outer_ = MakeChild(parent, L"EDIT",
                                   WS_TABSTOP | ES_AUTOHSCROLL | (edit_.ReadOnly ? ES_READONLY : 0),
                                   WS_EX_CLIENTEDGE);
    }

    std::wstring WindowText() const {
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(main_)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            ::GetWindowTextW(main_, text.data(), static_cast<int>(text.size()))));
        return text;
    }

private:
    void Changed() {
        if (host_.Updating()) return;
        inChange_ = true;
        try {
            edit_.SetText(Narrow(WindowText()));
        } catch (...) {
            inChange_ = false;
            throw;
        }
        inChange_ = false;
        // The model may have changed the text while it was being typed.
        ApplyText();
    }

    TCustomEdit &edit_;
    bool inChange_ = false;  // the model is being told what was typed
};

// An edit with an up-down control at its right edge; the arrows step the model's value.
class TSpinEditAdapter final : public TEditAdapter {
public:
    TSpinEditAdapter(TAdapterHost &host, TSpinEdit &spin) : TEditAdapter(host, spin), spin_(spin) {}

    void ApplyBounds() override {
        const int arrows = 16;
        Place(outer_, spin_.Left(), spin_.Top(), spin_.Width() - arrows, spin_.Height());
        Place(updown_, spin_.Left() + spin_.Width() - arrows, spin_.Top(), arrows, spin_.Height());
    }
    bool Notify(NMHDR *header, LRESULT &result) override {
        if (header->hwndFrom != updown_ || header->code != UDN_DELTAPOS) return false;
        // The up-down control keeps no position of its own: the model's value is the value.
        result = TRUE;
        if (host_.Updating() || !spin_.EffectivelyEnabled() || !host_.UserFocus(&spin_))
            return true;
        const auto *delta = reinterpret_cast<NMUPDOWN *>(header);
        spin_.SetValue(spin_.Value() + delta->iDelta * std::max(1.0, spin_.Increment));
        ApplyText();
        return true;
    }

protected:
    void CreateWindows(HWND parent) override {
        TEditAdapter::CreateWindows(parent);
        updown_ = MakeChild(parent, UPDOWN_CLASSW, UDS_ARROWKEYS | UDS_NOTHOUSANDS);
        ::SendMessageW(updown_, UDM_SETRANGE32, 0, 100);
        ::SendMessageW(updown_, UDM_SETPOS32, 0, 50);
        extra_.push_back(updown_);
    }

private:
    TSpinEdit &spin_;
    HWND updown_ = nullptr;
};

class TBrowseEditAdapter final : public TEditAdapter {
public:
    TBrowseEditAdapter(TAdapterHost &host, TBrowseEdit &browse)
        : TEditAdapter(host, browse), browse_(browse) {}

    void ApplyBounds() override {
        const int side = std::min(browse_.Height(), browse_.Width());
        Place(outer_, browse_.Left(), browse_.Top(), browse_.Width() - side - 2, browse_.Height());
        Place(button_, browse_.Left() + browse_.Width() - side, browse_.Top(), side,
              browse_.Height());
    }
    void Command(HWND from, int code) override {
        if (from == button_) {
            if (code == BN_CLICKED && !host_.Updating() && browse_.EffectivelyEnabled())
                browse_.ButtonClick();
            return;
        }
        TEditAdapter::Command(from, code);
    }
    bool PressedWithoutFocus(HWND window) const override { return window == button_; }

protected:
    void CreateWindows(HWND parent) override {
        TEditAdapter::CreateWindows(parent);
        button_ = MakeChild(parent, L"BUTTON", BS_PUSHBUTTON, 0, L"...");
        extra_.push_back(button_);
    }

private:
    TBrowseEdit &browse_;
    HWND button_ = nullptr;
};

// ---------------------------------------------------------------- groups

// Group boxes, panels, tool bars and any other control that only holds others.
class TContainerAdapter final : public TControlAdapter {
public:
    TContainerAdapter(TAdapterHost &host, TWinControl &container, bool framed)
        : TControlAdapter(host, container), framed_(framed) {}

    void ApplyText() override { ::InvalidateRect(outer_, nullptr, TRUE); }
    bool WindowMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT &result) override {
        if (message != WM_PAINT || !framed_) return false;
        PaintFrame(window, host_.Font(), Wide(control_.Caption()));
        result = 0;
        return true;
    }

protected:
    void CreateWindows(HWND parent) override { outer_ = area_ = MakeContainer(parent, 0); }

private:
    bool framed_;
};

// The items are radio buttons in a framed group of their own; they are made again when the
// items change.
class TRadioGroupAdapter final : public TControlAdapter {
public:
    TRadioGroupAdapter(TAdapterHost &host, TCustomRadioGroup &group)
        : TControlAdapter(host, group), group_(group) {}

    void ApplyBounds() override {
        TControlAdapter::ApplyBounds();
        // Items fill the area below the caption column by column, as evenly as they fit.
        const int n = static_cast<int>(radios_.size());
        const int cols = std::max(1, std::min<int>(group_.Columns, std::max(1, n)));
        const int rows = std::max(1, (n + cols - 1) / cols);
        const int top = 18, side = 8, bottom = 4;
        const int cellW = std::max(1, (group_.Width() - 2 * side) / cols);
        const int cellH = std::max(1, (group_.Height() - top - bottom) / rows);
        for (int i = 0; i < n; ++i)
            Place(radios_[static_cast<std::size_t>(i)], side + (i / rows) * cellW,
                  top + (i % rows) * cellH, cellW, std::min(cellH, 20));
    }
    void ApplyText() override {
        ::InvalidateRect(outer_, nullptr, TRUE);
        for (std::size_t i = 0; i < radios_.size(); ++i)
            ::SetWindowTextW(radios_[i], Wide(group_.Items()[static_cast<int>(i)]).c_str());
    }
    void ApplyState() override {
        TUpdating guard(host_);
        for (std::size_t i = 0; i < radios_.size(); ++i)
            ::SendMessageW(radios_[i], BM_SETCHECK,
                           static_cast<int>(i) == group_.ItemIndex() ? BST_CHECKED : BST_UNCHECKED,
                           0);
    }
    void ApplyItems() override {
        CreateRadios();
        ApplyBounds();
        ApplyText();
        ApplyState();
        ApplyVisibility();
    }
    void ApplyVisibility() override {
        TControlAdapter::ApplyVisibility();
        for (HWND r : radios_)
            ::EnableWindow(r, group_.EffectivelyEnabled() ? TRUE : FALSE);
    }
    HWND FocusWindow() const override {
        if (radios_.empty()) return nullptr;
        const int i = group_.ItemIndex();
        return radios_[static_cast<std::size_t>(
            i >= 0 && i < static_cast<int>(radios_.size()) ? i : 0)];
    }
    void Command(HWND from, int code) override {
        if (code != BN_CLICKED || host_.Updating()) return;
        const auto found = std::find(radios_.begin(), radios_.end(), from);
        if (found == radios_.end()) return;
        const int index = static_cast<int>(found - radios_.begin());
        if (!host_.UserFocus(&group_)) {
            ApplyState();
            return;
        }
        if (index != group_.ItemIndex()) group_.SetItemIndex(index);
    }
    bool WindowMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT &result) override {
        if (message != WM_PAINT) return false;
        PaintFrame(window, host_.Font(), Wide(group_.Caption()));
        result = 0;
        return true;
    }

protected:
    void CreateWindows(HWND parent) override {
        outer_ = MakeContainer(parent, 0);
        CreateRadios();
    }

private:
    void CreateRadios() {
        for (HWND r : radios_)
            ::DestroyWindow(r);
        radios_.clear();
        for (int i = 0; i < group_.Items().Count(); ++i)
            radios_.push_back(
                MakeChild(outer_, L"BUTTON",
                          BS_AUTORADIOBUTTON | WS_VISIBLE | (i == 0 ? WS_GROUP | WS_TABSTOP : 0)));
    }

    TCustomRadioGroup &group_;
    std::vector<HWND> radios_;
};

// ---------------------------------------------------------------- pages

int PageIndexOf(TControl &sheet) {
    auto *pages = dynamic_cast<TPageControl *>(sheet.Parent());
    if (!pages) return -1;
    const std::vector<TTabSheet *> all = pages->Pages();
    const auto found = std::find(all.begin(), all.end(), &sheet);
    return found == all.end() ? -1 : static_cast<int>(found - all.begin());
}

// A sheet is a group in the tab control's display area, shown while its tab is chosen.
class TTabSheetAdapter final : public TControlAdapter {
public:
    using TControlAdapter::TControlAdapter;

    void ApplyBounds() override {
        RECT r;
        ::GetClientRect(parent_, &r);
        TabCtrl_AdjustRect(parent_, FALSE, &r);
        ::MoveWindow(outer_, r.left, r.top, std::max(0L, r.right - r.left),
                     std::max(0L, r.bottom - r.top), TRUE);
    }
    void ApplyText() override {
        const int index = PageIndexOf(control_);
        if (index < 0) return;
        std::wstring caption = Wide(control_.Caption());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        if (TabCtrl_GetItemCount(parent_) <= index)
            ::SendMessageW(parent_, TCM_INSERTITEMW, static_cast<WPARAM>(index),
                           reinterpret_cast<LPARAM>(&item));
        else
            ::SendMessageW(parent_, TCM_SETITEMW, static_cast<WPARAM>(index),
                           reinterpret_cast<LPARAM>(&item));
    }
    void ApplyVisibility() override {
        auto *pages = dynamic_cast<TPageControl *>(control_.Parent());
        const bool shown =
            control_.Visible() && pages && PageIndexOf(control_) == pages->ActivePageIndex();
        ::ShowWindow(outer_, shown ? SW_SHOWNA : SW_HIDE);
        ::EnableWindow(outer_, control_.EffectivelyEnabled() ? TRUE : FALSE);
    }

protected:
    void CreateWindows(HWND parent) override { outer_ = area_ = MakeContainer(parent, 0); }
};

class TPageControlAdapter final : public TControlAdapter {
public:
    TPageControlAdapter(TAdapterHost &host, TPageControl &pages)
        : TControlAdapter(host, pages), pages_(pages) {}

    void ApplyText() override {}
    void ApplyBounds() override {
        TControlAdapter::ApplyBounds();
        for (TTabSheet *sheet : pages_.Pages())
            if (TControlAdapter *a = host_.AdapterOf(sheet)) a->ApplyBounds();
    }
    void ApplyState() override {
        TUpdating guard(host_);
        TabCtrl_SetCurSel(main_, pages_.ActivePageIndex());
        for (TTabSheet *sheet : pages_.Pages())
            if (TControlAdapter *a = host_.AdapterOf(sheet)) a->ApplyVisibility();
    }
    void ApplyVisibility() override {
        TControlAdapter::ApplyVisibility();
        for (TTabSheet *sheet : pages_.Pages())
            if (TControlAdapter *a = host_.AdapterOf(sheet)) a->ApplyVisibility();
    }
    bool Notify(NMHDR *header, LRESULT &result) override {
        if (header->hwndFrom != main_) return false;
        if (header->code == TCN_SELCHANGING) {
            // The chosen page's controls may refuse to give up the focus.
            result = (!host_.Updating() && !host_.UserFocus(&pages_)) ? TRUE : FALSE;
            return true;
        }
        if (header->code == TCN_SELCHANGE && !host_.Updating()) {
            pages_.SetActivePageIndex(TabCtrl_GetCurSel(main_));
            ApplyState();
            return true;
        }
        return false;
    }

protected:
    void CreateWindows(HWND parent) override {
        main_ = outer_ =
            MakeChild(parent, WC_TABCONTROLW, WS_TABSTOP | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
        TUpdating guard(host_);
        for (TTabSheet *sheet : pages_.Pages())
            host_.Build(sheet, main_);
    }

private:
    TPageControl &pages_;
};

// ---------------------------------------------------------------- report list view

class TListViewAdapter final : public TControlAdapter {
public:
    TListViewAdapter(TAdapterHost &host, TListView &list)
        : TControlAdapter(host, list), list_(list) {}

    void ApplyText() override {}
    void ApplyState() override {
        TUpdating guard(host_);
        const int index = list_.ItemIndex();
        ListView_SetItemState(main_, -1, 0, LVIS_SELECTED);
        if (index >= 0 && index < list_.Count()) {
            ListView_SetItemState(main_, index, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(main_, index, FALSE);
        }
    }
    void ApplyItems() override {
        Fill();
        ApplyState();
    }
    bool Notify(NMHDR *header, LRESULT &) override {
        if (header->hwndFrom != main_ || header->code != LVN_ITEMCHANGED) return false;
        if (host_.Updating()) return true;
        const auto *change = reinterpret_cast<NMLISTVIEW *>(header);
        if (!(change->uChanged & LVIF_STATE) || change->iItem < 0) return true;
        const int row = change->iItem;
        if (list_.Checkboxes && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK))
            CheckChanged(row, ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2);
        if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED) &&
            row != list_.ItemIndex()) {
            if (!host_.UserFocus(&list_) || !list_.SelectByUser(row)) ApplyState();
        }
        return true;
    }

protected:
    void CreateWindows(HWND parent) override {
        main_ = outer_ = MakeChild(parent, WC_LISTVIEWW,
                                   WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                   WS_EX_CLIENTEDGE);
        DWORD ex = LVS_EX_FULLROWSELECT;
        if (list_.Checkboxes) ex |= LVS_EX_CHECKBOXES;
        ListView_SetExtendedListViewStyle(main_, ex);
        Fill();
    }

private:
    void Fill() {
        TUpdating guard(host_);
        ListView_DeleteAllItems(main_);
        while (ListView_DeleteColumn(main_, 0)) {
        }
        const int columns = std::max(1, list_.Columns().Count());
        for (int i = 0; i < columns; ++i) {
            std::wstring caption;
            int width = control_.Width() - 4;
            if (i < list_.Columns().Count()) {
                caption = Wide(list_.Columns()[i].Caption);
                width = list_.Columns()[i].Width;
            }
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.pszText = caption.data();
            col.cx = Px(std::max(1, width));
            ::SendMessageW(main_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(&col));
        }
        for (int r = 0; r < list_.Count(); ++r) {
            const TListItem &item = list_.Item(r);
            std::wstring text = Wide(item.Caption);
            LVITEMW lv{};
            lv.mask = LVIF_TEXT;
            lv.iItem = r;
            lv.pszText = text.data();
            ::SendMessageW(main_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv));
            for (int i = 1; i < columns; ++i) {
                if (static_cast<std::size_t>(i - 1) >= item.SubItems.size()) break;
                std::wstring sub = Wide(item.SubItems[static_cast<std::size_t>(i - 1)]);
                LVITEMW cell{};
                cell.iSubItem = i;
                cell.pszText = sub.data();
                ::SendMessageW(main_, LVM_SETITEMTEXTW, static_cast<WPARAM>(r),
                               reinterpret_cast<LPARAM>(&cell));
            }
            if (list_.Checkboxes) ListView_SetCheckState(main_, r, item.Checked ? TRUE : FALSE);
        }
    }

    void CheckChanged(int row, bool checked) {
        if (row >= list_.Count()) return;
        TListItem item = list_.Item(row);
        if (item.Checked == checked) return;
        if (list_.ReadOnly || !host_.UserFocus(&list_)) {
            TUpdating guard(host_);
            ListView_SetCheckState(main_, row, item.Checked ? TRUE : FALSE);
            return;
        }
        item.Checked = checked;
        list_.SetItem(row, std::move(item));
    }

    TListView &list_;
};

}  // namespace

// ---------------------------------------------------------------- the form

void TFormAdapter::CreateWindows(HWND) {
    const bool dialog = form_.BorderStyle == TFormBorderStyle::Dialog;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (dialog) {
        style |= DS_MODALFRAME;
        exStyle |= WS_EX_DLGMODALFRAME;
    } else {
        style |= WS_THICKFRAME;
    }
    if (form_.BorderIconHelp) exStyle |= WS_EX_CONTEXTHELP;
    if (!owner_) exStyle |= WS_EX_APPWINDOW;
    outer_ = ::CreateWindowExW(exStyle, ContainerClass(), L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                               0, 0, owner_, nullptr, platform::win32::OwnModuleHandle(), this);
    if (!outer_) throw EUiUnavailable("The dialog's window could not be made");
    area_ = outer_;
}

void TFormAdapter::ApplyBounds() {
    RECT r{0, 0, Px(form_.Width()), Px(form_.Height())};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(outer_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(outer_, GWL_EXSTYLE)));
    ::SetWindowPos(outer_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormAdapter::ApplyText() {
    ::SetWindowTextW(outer_, Wide(form_.Caption()).c_str());
}

void TFormAdapter::PlaceWindow() {
    RECT window;
    ::GetWindowRect(outer_, &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    HMONITOR monitor = ::MonitorFromWindow(owner_ ? owner_ : outer_, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(monitor, &info);
    const RECT work = info.rcWork;
    int left = 0, top = 0;
    RECT over = work;
    switch (form_.Position) {
        case TFormPosition::Designed:
            // Screen coordinates, as the host's window reports its own: not scaled.
            left = form_.Left();
            top = form_.Top();
            break;
        case TFormPosition::ScreenCenter:
            left = work.left + (work.right - work.left - width) / 2;
            top = work.top + (work.bottom - work.top - height) / 2;
            break;
        default:
            if (owner_) ::GetWindowRect(owner_, &over);
            left = over.left + (over.right - over.left - width) / 2;
            top = over.top + (over.bottom - over.top - height) / 2;
            break;
    }
    if (form_.Position != TFormPosition::Designed) {
        // Centred windows stay on the monitor's work area.
        left = std::max<int>(work.left, std::min<int>(left, work.right - width));
        top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    }
    ::SetWindowPos(outer_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------- choosing the kind

std::unique_ptr<TControlAdapter> MakeAdapter(TAdapterHost &host, TControl &c) {
    switch (KindOf(c)) {
        case TControlKind::Label:
            return std::make_unique<TLabelAdapter>(host, static_cast<TLabel &>(c));
        case TControlKind::Button:
            return std::make_unique<TButtonAdapter>(host, static_cast<TButton &>(c));
        case TControlKind::CheckBox:
            return std::make_unique<TCheckBoxAdapter>(host, static_cast<TCheckBox &>(c));
        case TControlKind::SpinEdit:
            return std::make_unique<TSpinEditAdapter>(host, static_cast<TSpinEdit &>(c));
        case TControlKind::BrowseEdit:
            return std::make_unique<TBrowseEditAdapter>(host, static_cast<TBrowseEdit &>(c));
        case TControlKind::Edit:
            return std::make_unique<TEditAdapter>(host, static_cast<TCustomEdit &>(c));
        case TControlKind::RadioGroup:
            return std::make_unique<TRadioGroupAdapter>(host, static_cast<TCustomRadioGroup &>(c));
        case TControlKind::GroupBox:
            return std::make_unique<TContainerAdapter>(host, static_cast<TGroupBox &>(c), true);
        case TControlKind::Panel: {
            auto &panel = static_cast<TPanel &>(c);
            return std::make_unique<TContainerAdapter>(host, panel, panel.Bevel);
        }
        case TControlKind::Image:
            return std::make_unique<TImageAdapter>(host, static_cast<TImage &>(c));
        case TControlKind::ToolButton:
            return std::make_unique<TToolButtonAdapter>(host, c);
        case TControlKind::PageControl:
            return std::make_unique<TPageControlAdapter>(host, static_cast<TPageControl &>(c));
        case TControlKind::ListView:
            return std::make_unique<TListViewAdapter>(host, static_cast<TListView &>(c));
        case TControlKind::TabSheet:
            return std::make_unique<TTabSheetAdapter>(host, c);
        case TControlKind::Container:
            return std::make_unique<TContainerAdapter>(host, static_cast<TWinControl &>(c), false);
        case TControlKind::None:
            break;
    }
    return nullptr;  // nothing to show
}

// ---------------------------------------------------------------- the container class

namespace {

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *create = reinterpret_cast<CREATESTRUCTW *>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TControlAdapter *self = AdapterOfWindow(window);
    LRESULT result = 0;
    if (self && self->WindowMessage(window, message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_COMMAND:
            if (lParam)
                if (TControlAdapter *child = AdapterOfWindow(reinterpret_cast<HWND>(lParam)))
                    child->Guard(
                        [&] { child->Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam)); });
            return 0;
        case WM_NOTIFY: {
            auto *header = reinterpret_cast<NMHDR *>(lParam);
            if (TControlAdapter *child = AdapterOfWindow(header->hwndFrom)) {
                bool handled = false;
                child->Guard([&] { handled = child->Notify(header, result); });
                if (handled) return result;
            }
            break;
        }
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

namespace {
const wchar_t kContainerClass[] = L"BrevorDialogGroup";
}

const wchar_t *ContainerClass() {
    // Registered for this module's instance while the user-interface thread runs, and
    // unregistered when it ends: a module loaded again must not find the old procedure.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    HINSTANCE instance = platform::win32::OwnModuleHandle();
    if (::GetClassInfoExW(instance, kContainerClass, &wc)) return kContainerClass;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &ContainerProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kContainerClass;
    if (!::RegisterClassExW(&wc)) throw EUiUnavailable("The dialog's window class was refused");
    return kContainerClass;
}

void UnregisterContainerClass() {
    ::UnregisterClassW(kContainerClass, platform::win32::OwnModuleHandle());
}

int Scale(int pixels, int dpi) {
    return ::MulDiv(pixels, dpi, 96);
}

}  // namespace brevor::win32ui
