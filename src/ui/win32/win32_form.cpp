// Renders a model form with Win32 windows at the model's geometry and keeps both in step: the
// windows' notifications go to the model's user entry points, the model's change notifications
// update the windows. Each control's windows are made and kept by the adapter of its kind;
// this file holds what concerns the form as a whole: the owner, the focus, the keys, the
// window's size and the modal loop. While the renderer itself changes a window (updating_ > 0)
// its notifications are ignored, so a change never comes back as a user's action.

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "ui/focus_arbiter.h"
#include "ui/modal_session.h"
#include "ui/win32/win32_adapters.h"

namespace brevor::win32ui {

namespace {

class TWin32Form;
std::vector<TWin32Form *> g_shown;  // innermost last; user-interface thread only

// The dots per inch of a window's monitor where the system tells it (loaded at run time: older
// systems have no such call), else the screen's.
int WindowDpi(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI *)(HWND);
    static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && window)
        if (const UINT dpi = getDpi(window)) return static_cast<int>(dpi);
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// Sent to a window of a thread aware of each monitor's dots per inch when it moved to a monitor
// of other dots per inch (the value of the systems that send it; older headers lack the name).
constexpr UINT kWmDpiChanged = 0x02E0;

class TWin32Form final : public TFormObserver, private TAdapterHost {
public:
    explicit TWin32Form(TCustomForm &form) : form_(form) {}
    ~TWin32Form() override;
    TWin32Form(const TWin32Form &) = delete;
    TWin32Form &operator=(const TWin32Form &) = delete;

    int Run();
    void Cancel() {
        session_.Cancel();
        if (Window()) ::PostMessageW(Window(), kWmWake, 0, 0);
    }
    HWND Window() const { return window_ ? window_->Outer() : nullptr; }
    void ControlChanged(TComponent &control, TControlChange change) override;

private:
    // ---- TAdapterHost
    void Guarded(const std::function<void()> &work) override;
    void BeginUpdate() override { ++updating_; }
    void EndUpdate() override { --updating_; }
    bool Updating() const override { return updating_ > 0; }
    bool UserFocus(TWinControl *w) override { return focus_.UserFocus(w); }
    void FocusEntered(TWinControl *w) override {
        if (!updating_) focus_.FocusEntered(w);
    }
    void Build(TControl *c, HWND parent) override;
    TControlAdapter *AdapterOf(TControl *c) override {
        auto found = adapters_.find(c);
        return found == adapters_.end() ? nullptr : found->second.get();
    }
    HFONT Font() const override { return font_; }
    int Dpi() const override { return dpi_; }

    void BuildWindow();
    void FocusActive();
    void FocusActiveLater();
    bool FormMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result);
    bool PreviewKey(const MSG &msg);
    void DpiChanged(int dpi, const RECT &suggested);

    TCustomForm &form_;
    TFormObserver *previousObserver_ = nullptr;
    TFormAdapter *window_ = nullptr;  // the form's own adapter, in adapters_
    std::map<TComponent *, std::unique_ptr<TControlAdapter>> adapters_;
    HWND owner_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    int updating_ = 0;
    TFocusArbiter focus_{form_, [this] { FocusActiveLater(); }};
    bool focusPosted_ = false;
    TModalSession session_{form_};
};

TWin32Form::~TWin32Form() {
    // The child windows go with the form's window, while the adapters they reach are alive.
    if (Window()) ::DestroyWindow(Window());
    if (font_) ::DeleteObject(font_);
}

void TWin32Form::Guarded(const std::function<void()> &work) {
    // Nothing may unwind through the system's frames.
    if (!session_.Guard(work) && Window()) ::PostMessageW(Window(), kWmWake, 0, 0);
}

// ---------------------------------------------------------------- building

void TWin32Form::BuildWindow() {
    // Owned by the innermost form shown, else by the host's window the form names.
    owner_ = g_shown.empty() ? reinterpret_cast<HWND>(form_.OwnerWindow) : g_shown.back()->Window();
    if (owner_ && !::IsWindow(owner_)) owner_ = nullptr;
    dpi_ = WindowDpi(owner_);
    font_ = MakeMessageFont(dpi_);
    auto adapter = std::make_unique<TFormAdapter>(
        static_cast<TAdapterHost &>(*this), form_, owner_,
        [this](UINT m, WPARAM w, LPARAM l, LRESULT &r) { return FormMessage(m, w, l, r); });
    window_ = adapter.get();
    // The window's first sizes while it is made are not the user's.
    TUpdating guard(*this);
    window_->Create(nullptr);
    adapters_[&form_] = std::move(adapter);
    window_->ApplyText();
    window_->ApplyBounds();
    window_->PlaceWindow();
    for (TControl *c : form_.Controls())
        Build(c, Window());
}

void TWin32Form::Build(TControl *c, HWND parent) {
    if (!c || adapters_.count(c)) return;
    std::unique_ptr<TControlAdapter> made = MakeAdapter(*this, *c);
    if (!made) return;  // nothing to show
    TControlAdapter &adapter = *(adapters_[c] = std::move(made));
    adapter.Create(parent);
    {
        TUpdating guard(*this);
        adapter.ApplyBounds();
        adapter.ApplyText();
        adapter.ApplyState();
        adapter.ApplyVisibility();
    }
    if (HWND area = adapter.ChildArea())
        for (TControl *child : static_cast<TWinControl *>(c)->Controls())
            Build(child, area);
}

// ---------------------------------------------------------------- model -> windows

void TWin32Form::ControlChanged(TComponent &component, TControlChange change) {
    auto *c = dynamic_cast<TControl *>(&component);
    if (!c) return;
    auto found = adapters_.find(c);
    if (found == adapters_.end()) {
        // A control placed on the form while it is shown.
        if (!c->Parent()) return;
        auto parent = adapters_.find(c->Parent());
        if (parent == adapters_.end() || !parent->second->ChildArea()) return;
        Build(c, parent->second->ChildArea());
        return;
    }
    TControlAdapter &adapter = *found->second;
    TUpdating guard(*this);
    switch (change) {
        case TControlChange::Bounds:
            adapter.ApplyBounds();
            break;
        case TControlChange::Text:
            adapter.ApplyText();
            break;
        case TControlChange::State:
            adapter.ApplyState();
            break;
        case TControlChange::Enabled:
            // Windows do not grey with their parent: every control looks at its parents.
            for (auto &[control, a] : adapters_)
                a->ApplyVisibility();
            break;
        case TControlChange::Items:
            adapter.ApplyItems();
            break;
        case TControlChange::Focus:
            FocusActiveLater();
            break;
    }
}

void TWin32Form::FocusActive() {
    TWinControl *active = form_.ActiveControl();
    TControlAdapter *adapter = active ? AdapterOf(active) : nullptr;
    HWND w = adapter ? adapter->FocusWindow() : nullptr;
    if (!w || ::GetFocus() == w) return;
    TUpdating guard(*this);
    ::SetFocus(w);
    // An edit entered from the keyboard shows its whole text chosen, as in any dialog.
    wchar_t cls[16] = {};
    ::GetClassNameW(w, cls, 16);
    if (lstrcmpiW(cls, L"Edit") == 0) ::SendMessageW(w, EM_SETSEL, 0, -1);
}

void TWin32Form::FocusActiveLater() {
    // Not from inside the focus notification that caused it: after the current message.
    if (focusPosted_ || !Window()) return;
    focusPosted_ = true;
    ::PostMessageW(Window(), kWmFocusActive, 0, 0);
}

// ---------------------------------------------------------------- windows -> model

bool TWin32Form::FormMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) {
    switch (message) {
        case kWmFocusActive:
            focusPosted_ = false;
            Guarded([&] { FocusActive(); });
            return true;
        case kWmWake:
            return true;
        case kWmDpiChanged:
            Guarded([&] { DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT *>(lParam)); });
            return true;
        case WM_CLOSE:
            // The close button cancels, as the Cancel button would.
            form_.ModalResult = mrCancel;
            return true;
        case WM_HELP:
            Guarded([&] { form_.ShowHelp(); });
            result = TRUE;
            return true;
        case WM_GETMINMAXINFO: {
            if (form_.BorderStyle == TFormBorderStyle::Dialog || !Window()) return false;
            RECT r{0, 0, Scale(form_.MinWidth, dpi_), Scale(form_.MinHeight, dpi_)};
            ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_STYLE)),
                                 FALSE,
                                 static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_EXSTYLE)));
            auto *info = reinterpret_cast<MINMAXINFO *>(lParam);
            info->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
            return true;
        }
        case WM_SIZE: {
            if (form_.BorderStyle == TFormBorderStyle::Dialog || updating_ ||
                wParam == SIZE_MINIMIZED)
                return false;
            const int width = ::MulDiv(LOWORD(lParam), 96, dpi_);
            const int height = ::MulDiv(HIWORD(lParam), 96, dpi_);
            if (width == form_.Width() && height == form_.Height()) return false;
            // The model re-anchors its children and tells their windows.
            Guarded([&] { form_.SetBounds(form_.Left(), form_.Top(), width, height); });
            return false;
        }
        default:
            return false;
    }
}

// The model's pixels are at 96 dots per inch: the font and every window are made again at the
// new monitor's dots per inch, the window where the system suggests.
void TWin32Form::DpiChanged(int dpi, const RECT &suggested) {
    if (dpi <= 0 || dpi == dpi_) return;
    TUpdating guard(*this);
    dpi_ = dpi;
    HFONT old = font_;
    font_ = MakeMessageFont(dpi_);
    for (HWND w = ::GetWindow(Window(), GW_CHILD); w;) {
        // Depth first over every window of the form.
        ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        HWND next = ::GetWindow(w, GW_CHILD);
        while (!next && w && w != Window()) {
            next = ::GetWindow(w, GW_HWNDNEXT);
            if (!next) w = ::GetParent(w);
        }
        w = next;
    }
    if (old) ::DeleteObject(old);
    ::SetWindowPos(Window(), nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (auto &[control, adapter] : adapters_) {
        adapter->ApplyBounds();
        if (dynamic_cast<TListView *>(control)) adapter->ApplyItems();  // column widths
    }
    ::InvalidateRect(Window(), nullptr, TRUE);
}

// Tab, Enter, Esc and F1 go to the model, which knows the tab order, the default and cancel
// buttons and whether the focus may move; the dialog manager handles the other keys (arrows
// in a radio group, mnemonics).
bool TWin32Form::PreviewKey(const MSG &msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    if (msg.hwnd != Window() && !::IsChild(Window(), msg.hwnd)) return false;
    int key = 0;
    switch (msg.wParam) {
        case VK_TAB:
            key = vkTab;
            break;
        case VK_RETURN:
            key = vkReturn;
            break;
        case VK_ESCAPE:
            key = vkEscape;
            break;
        case VK_F1:
            key = vkF1;
            break;
        default:
            return false;
    }
    const bool shift = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
    Guarded([&] { form_.KeyDown(key, shift); });
    return true;
}

// ---------------------------------------------------------------- the modal loop

int TWin32Form::Run() {
    BuildWindow();
    previousObserver_ = form_.Observer;
    form_.Observer = this;
    g_shown.push_back(this);
    // The owner is disabled while the form is shown, and enabled again before the form's
    // window goes (so that the system activates the owner and not some other window).
    const bool disableOwner = owner_ && ::IsWindowEnabled(owner_);
    struct TPop {
        TWin32Form *self;
        bool enableOwner;
        ~TPop() {
            g_shown.erase(std::remove(g_shown.begin(), g_shown.end(), self), g_shown.end());
            self->form_.Observer = self->previousObserver_;
            if (enableOwner) ::EnableWindow(self->owner_, TRUE);
            if (self->Window()) ::ShowWindow(self->Window(), SW_HIDE);
        }
    } pop{this, disableOwner};

    return session_.Run(
        [&] {
            if (disableOwner) ::EnableWindow(owner_, FALSE);
            ::ShowWindow(Window(), SW_SHOW);
            ::SetForegroundWindow(Window());
            FocusActive();
        },
        [this] {
            MSG msg;
            const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
            if (got <= 0) {
                // Quit asked for: handed on to the loop outside, the form is cancelled.
                if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
                session_.Cancel();
                return;
            }
            if (PreviewKey(msg)) return;
            if (!::IsDialogMessageW(Window(), &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        },
        nullptr);  // the form's window is hidden as the showing ends (pop, above)
}

}  // namespace

int ShowFormModal(TCustomForm &form) {
    TWin32Form renderer(form);
    return renderer.Run();
}

HWND TopModalWindow() {
    return g_shown.empty() ? nullptr : g_shown.back()->Window();
}

void CancelAllModals() {
    for (TWin32Form *f : g_shown)
        f->Cancel();
}

HFONT MakeMessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
        HDC screen = ::GetDC(nullptr);
        const int systemDpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ::ReleaseDC(nullptr, screen);
        font.lfHeight = ::MulDiv(font.lfHeight, dpi, systemDpi > 0 ? systemDpi : 96);
    } else {
        font.lfHeight = -::MulDiv(9, dpi, 72);
        font.lfCharSet = DEFAULT_CHARSET;
    }
    return ::CreateFontIndirectW(&font);
}

}  // namespace brevor::win32ui
