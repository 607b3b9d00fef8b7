#pragma once

// One adapter per kind of control: it makes the control's widgets, shows the model's changes
// in them and hands the user's actions on them to the model. The form renderer picks the
// adapter once, when the control's widgets are made, and keeps it as long as the widgets.
// GTK thread only.

#include <functional>
#include <memory>
#include <vector>

#include "ui/gtk/gtk_internal.h"
#include "ui/renderer_host.h"

namespace brevor::gtkui {

// What the adapters ask of the renderer of their form, besides what any renderer is asked.
class TAdapterHost : public TRendererHost {
public:
    // Makes the widgets of a control in a parent's child area (a fixed, the form's layout or
    // a notebook) and its children's.
    virtual void Build(TControl *control, GtkWidget *parent) = 0;
    // The widget that takes the focus for a control that is already built, or null.
    virtual GtkWidget *FocusWidget(TWinControl *control) = 0;
};

class TControlAdapter {
public:
    TControlAdapter(TAdapterHost &host, TControl &control) : host_(host), control_(control) {}
    // Widgets are not destroyed here: they go with their window.
    virtual ~TControlAdapter() = default;
    TControlAdapter(const TControlAdapter &) = delete;
    TControlAdapter &operator=(const TControlAdapter &) = delete;

    // Makes the widgets, connects their signals and puts them into parent.
    void Create(GtkWidget *parent);

    // Model -> widgets.
    virtual void ApplyBounds();
    virtual void ApplyText();     // caption, text and hint
    virtual void ApplyState() {}  // checked, item index, value, selection, active page
    virtual void ApplyVisibility();
    virtual void ApplyItems() {}  // list rows, radio items, columns
    // After the form's window was first shown.
    virtual void Shown() {}

    // The widget that is placed into the parent.
    GtkWidget *Outer() const { return outer_; }
    // Where the control's children go, or null when it has none of its own.
    GtkWidget *ChildArea() const { return fixed_; }
    // The widget that takes the focus, or null.
    virtual GtkWidget *FocusWidget() const { return main_; }

protected:
    // A signal's view of the adapter, with an index (radio item, menu item).
    struct TBinding {
        TControlAdapter *Adapter;
        int Index;
    };

    // Makes outer_ and the other widgets and connects the kind's own signals.
    virtual void CreateWidgets() = 0;
    // Whether the focus-in handler goes on main_ (a kind with several focusable widgets
    // connects its own).
    virtual bool WiresFocusIn() const { return true; }
    // Puts outer_ into the parent's child area.
    virtual void Place(GtkWidget *parent);

    // Connects a signal of a widget (or other GObject) to this adapter.
    void Connect(gpointer instance, const char *signal, GCallback callback, int index = 0);
    // The adapter and index a signal was connected with: runs f(adapter, index) guarded.
    template <typename A, typename F>
    static void Dispatch(gpointer binding, F &&f) {
        auto *b = static_cast<TBinding *>(binding);
        auto &adapter = static_cast<A &>(*b->Adapter);
        adapter.host_.Guarded([&] { f(adapter, b->Index); });
    }

    TAdapterHost &host_;
    TControl &control_;
    GtkWidget *parent_ = nullptr;  // the child area outer_ was put into
    GtkWidget *outer_ = nullptr;   // placed into the parent
    GtkWidget *main_ = nullptr;    // shows the value and takes the focus
    GtkWidget *fixed_ = nullptr;   // where the control's children go
    GtkWidget *frame_ = nullptr;   // the frame drawn around a group, sized with the control

private:
    bool ShowPopup(GtkWidget *widget, GdkEventButton *event);

    std::vector<std::unique_ptr<TBinding>> bindings_;  // live as long as the widgets
    GtkWidget *menu_ = nullptr;                        // popup menu, built on demand
    std::vector<TMenuItem *> menuItems_;               // by menu item index
};

// The adapter for a control's kind; null for a control with nothing to show.
std::unique_ptr<TControlAdapter> MakeAdapter(TAdapterHost &host, TControl &control);

// The form's own window; its client area is the child area of the form's controls.
class TFormAdapter final : public TControlAdapter {
public:
    TFormAdapter(TAdapterHost &host, TCustomForm &form)
        : TControlAdapter(host, form), form_(form) {}
    ~TFormAdapter() override;

    GtkWindow *Window() const { return GTK_WINDOW(outer_); }
    GtkWidget *FocusWidget() const override { return outer_; }
    void ApplyBounds() override;
    void ApplyText() override;
    void ApplyVisibility() override {}

protected:
    void CreateWidgets() override;
    void Place(GtkWidget *) override {}

private:
    void ApplyFont();

    TCustomForm &form_;
    GtkCssProvider *fontCss_ = nullptr;
};

}  // namespace brevor::gtkui
