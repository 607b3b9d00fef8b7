#pragma once

// One adapter per kind of control: it makes the control's windows, shows the model's changes
// in them and hands the user's actions on them to the model. The form renderer picks the
// adapter once, when the control's windows are made, and keeps it as long as the windows.
// Notifications reach the adapter through the container window they are sent to (WM_COMMAND,
// WM_NOTIFY name the child window, whose user data is its adapter) and through a subclass of
// each focusable window (focus, context menu). User-interface thread only.

#include <functional>
#include <memory>
#include <vector>

#include "ui/renderer_host.h"
#include "ui/win32/win32_internal.h"

namespace brevor::win32ui {

class TControlAdapter;

// What the adapters ask of the renderer of their form, besides what any renderer is asked.
class TAdapterHost : public TRendererHost {
public:
    // Makes the windows of a control in a parent window and its children's.
    virtual void Build(TControl *control, HWND parent) = 0;
    // The adapter of a control that is already built, or null.
    virtual TControlAdapter *AdapterOf(TControl *control) = 0;

    // The form's font and its dots per inch (the model's pixels are at 96).
    virtual HFONT Font() const = 0;
    virtual int Dpi() const = 0;
};

class TControlAdapter {
public:
    TControlAdapter(TAdapterHost &host, TControl &control) : host_(host), control_(control) {}
    // Windows are not destroyed here: they go with the form's window.
    virtual ~TControlAdapter() = default;
    TControlAdapter(const TControlAdapter &) = delete;
    TControlAdapter &operator=(const TControlAdapter &) = delete;

    // Makes the windows in parent and wires their notifications.
    void Create(HWND parent);

    // Model -> windows.
    virtual void ApplyBounds();
    virtual void ApplyText();     // caption, text
    virtual void ApplyState() {}  // checked, item index, value, selection, active page
    virtual void ApplyVisibility();
    virtual void ApplyItems() {}  // list rows, radio items, columns

    // Windows -> model: a notification a child window sent to its container.
    virtual void Command(HWND, int) {}
    virtual bool Notify(NMHDR *, LRESULT &) { return false; }
    // A message to a window of the back end's own class that this adapter made (the form or a
    // container); true when handled.
    virtual bool WindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT &) { return false; }
    // A window of this control took the focus; lost is the window that had it.
    virtual void FocusIn(HWND lost);
    // The context menu was asked for at screen point (x, y) (-1, -1: from the keyboard).
    bool ShowPopup(HWND window, int x, int y);
    // Whether a button of this control is pressed without taking the focus (tool buttons,
    // the browse button): the mouse is handled here, and a release over the button sends
    // BN_CLICKED to Command. A button that took the focus would lose its press as soon as
    // the focus went back.
    virtual bool PressedWithoutFocus(HWND) const { return false; }
    bool ButtonMouse(HWND window, UINT message, LPARAM lParam);

    HWND Outer() const { return outer_; }
    // Where the control's children go, or null when it has none of its own.
    HWND ChildArea() const { return area_; }
    // The window that takes the focus, or null.
    virtual HWND FocusWindow() const { return main_; }
    TControl &Control() const { return control_; }
    // Runs work the way a model call from a window procedure must run.
    void Guard(const std::function<void()> &work) { host_.Guarded(work); }

protected:
    // Makes outer_ (and the other windows) in the parent.
    virtual void CreateWindows(HWND parent) = 0;

    // A child window of the parent: its user data is this adapter, it has the form's font and
    // its focus and context menu reach this adapter.
    HWND MakeChild(HWND parent, const wchar_t *windowClass, DWORD style, DWORD exStyle = 0,
                   const wchar_t *text = L"");
    // A window of the back end's own class (a group): its messages reach WindowMessage.
    HWND MakeContainer(HWND parent, DWORD style, DWORD exStyle = 0);
    // Places a window at model pixels in its parent.
    void Place(HWND window, int left, int top, int width, int height) const;
    int Px(int pixels) const { return Scale(pixels, host_.Dpi()); }

    TAdapterHost &host_;
    TControl &control_;
    HWND parent_ = nullptr;    // the window outer_ was made in
    HWND outer_ = nullptr;     // placed at the control's bounds
    HWND main_ = nullptr;      // shows the value and takes the focus
    HWND area_ = nullptr;      // where the control's children go
    std::vector<HWND> extra_;  // further windows shown and enabled with outer_

private:
    HWND pressed_ = nullptr;  // the button pressed without the focus, until released
};

// The adapter for a control's kind; null for a control with nothing to show.
std::unique_ptr<TControlAdapter> MakeAdapter(TAdapterHost &host, TControl &control);

// The form's own window; its client area is the child area of the form's controls.
class TFormAdapter final : public TControlAdapter {
public:
    using TMessageHandler = std::function<bool(UINT, WPARAM, LPARAM, LRESULT &)>;

    TFormAdapter(TAdapterHost &host, TCustomForm &form, HWND owner, TMessageHandler handler)
        : TControlAdapter(host, form), form_(form), owner_(owner), handler_(std::move(handler)) {}

    HWND FocusWindow() const override { return outer_; }
    void ApplyBounds() override;
    void ApplyText() override;
    void ApplyVisibility() override {}
    bool WindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) override {
        return handler_(message, wParam, lParam, result);
    }
    // Moves the window where the form's position asks (before it is first shown).
    void PlaceWindow();

protected:
    void CreateWindows(HWND parent) override;

private:
    TCustomForm &form_;
    HWND owner_;
    TMessageHandler handler_;
};

}  // namespace brevor::win32ui
