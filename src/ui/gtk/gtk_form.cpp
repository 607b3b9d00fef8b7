// Renders a model form with GTK widgets at the model's geometry and keeps both in step: the
// widgets' signals go to the model's user entry points, the model's change notifications
// update the widgets. Each control's widgets are made and kept by the adapter of its kind;
// this file holds what concerns the form as a whole: the focus, the keys, the window's size
// and the modal loop. While the renderer itself changes a widget (updating_ > 0) the widget's
// signals are ignored, so a change never comes back as a user's action.

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "rtl/ansi.h"
#include "ui/focus_arbiter.h"
#include "ui/gtk/gtk_adapters.h"
#include "ui/gtk/gtk_internal.h"
#include "ui/modal_session.h"

namespace brevor::gtkui {

namespace {

class TGtkForm;
std::vector<TGtkForm *> g_shown;  // innermost last; GTK thread only

class TGtkForm final : public TFormObserver, private TAdapterHost {
public:
    explicit TGtkForm(TCustomForm &form) : form_(form) {}
    ~TGtkForm() override;
    TGtkForm(const TGtkForm &) = delete;
    TGtkForm &operator=(const TGtkForm &) = delete;

    int Run();
    void Cancel() {
        session_.Cancel();
        g_main_context_wakeup(nullptr);
    }
    GtkWindow *Window() const { return window_ ? window_->Window() : nullptr; }
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
    void Build(TControl *c, GtkWidget *parent) override;
    GtkWidget *FocusWidget(TWinControl *w) override;

    void BuildWindow();
    void BuildChildren(TWinControl *w, GtkWidget *area);
    void FocusActive();
    void FocusActiveLater();
    bool OnKey(GdkEventKey *e);
    void OnAllocated(int width, int height);

    static gboolean FocusIdle(gpointer self);
    static gboolean ResizeIdle(gpointer self);

    TCustomForm &form_;
    TFormObserver *previousObserver_ = nullptr;
    TFormAdapter *window_ = nullptr;  // the form's own adapter, in adapters_
    std::map<TComponent *, std::unique_ptr<TControlAdapter>> adapters_;
    int updating_ = 0;
    TFocusArbiter focus_{form_, [this] { FocusActiveLater(); }};
    guint focusIdle_ = 0;
    guint resizeIdle_ = 0;
    int allocWidth_ = 0, allocHeight_ = 0;
    TModalSession session_{form_};
};

TGtkForm::~TGtkForm() {
    if (focusIdle_) g_source_remove(focusIdle_);
    if (resizeIdle_) g_source_remove(resizeIdle_);
    // The widgets go with the window, while the adapters their signals reach are still alive.
    if (window_) gtk_widget_destroy(window_->Outer());
}

void TGtkForm::Guarded(const std::function<void()> &work) {
    // Nothing may unwind through GTK's C frames.
    if (!session_.Guard(work)) g_main_context_wakeup(nullptr);
}

// ---------------------------------------------------------------- building

void TGtkForm::BuildWindow() {
    auto adapter = std::make_unique<TFormAdapter>(static_cast<TAdapterHost &>(*this), form_);
    window_ = adapter.get();
    window_->Create(nullptr);
    adapters_[&form_] = std::move(adapter);
    window_->ApplyText();
    window_->ApplyBounds();

    g_signal_connect(window_->Outer(), "key-press-event",
                     G_CALLBACK(+[](GtkWidget *, GdkEventKey *e, gpointer self) -> gboolean {
                         return static_cast<TGtkForm *>(self)->OnKey(e) ? TRUE : FALSE;
                     }),
                     this);
    g_signal_connect(window_->ChildArea(), "size-allocate",
                     G_CALLBACK(+[](GtkWidget *, GdkRectangle *r, gpointer self) {
                         static_cast<TGtkForm *>(self)->OnAllocated(r->width, r->height);
                     }),
                     this);
    BuildChildren(&form_, window_->ChildArea());
}

void TGtkForm::BuildChildren(TWinControl *w, GtkWidget *area) {
    for (TControl *c : w->Controls())
        Build(c, area);
}

void TGtkForm::Build(TControl *c, GtkWidget *parent) {
    if (!c || adapters_.count(c)) return;
    std::unique_ptr<TControlAdapter> made = MakeAdapter(*this, *c);
    if (!made) return;  // nothing to show
    made->Create(parent);
    TControlAdapter &adapter = *(adapters_[c] = std::move(made));
    {
        TUpdating guard(*this);
        adapter.ApplyBounds();
        adapter.ApplyText();
        adapter.ApplyState();
    }
    if (GtkWidget *area = adapter.ChildArea()) BuildChildren(static_cast<TWinControl *>(c), area);
}

// ---------------------------------------------------------------- model -> widgets

void TGtkForm::ControlChanged(TComponent &component, TControlChange change) {
    auto *c = dynamic_cast<TControl *>(&component);
    if (!c) return;
    auto found = adapters_.find(c);
    if (found == adapters_.end()) {
        // A control placed on the form while it is shown.
        if (!c->Parent()) return;
        auto parent = adapters_.find(c->Parent());
        if (parent == adapters_.end() || !parent->second->ChildArea()) return;
        Build(c, parent->second->ChildArea());
        found = adapters_.find(c);
        if (found == adapters_.end()) return;
        gtk_widget_show_all(found->second->Outer());
        found->second->ApplyVisibility();
        return;
    }
    TControlAdapter &adapter = *found->second;
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
            adapter.ApplyVisibility();
            break;
        case TControlChange::Items:
            adapter.ApplyItems();
            break;
        case TControlChange::Focus:
            FocusActiveLater();
            break;
    }
}

GtkWidget *TGtkForm::FocusWidget(TWinControl *w) {
    auto found = adapters_.find(w);
    return found == adapters_.end() ? nullptr : found->second->FocusWidget();
}

void TGtkForm::FocusActive() {
    TWinControl *active = form_.ActiveControl();
    GtkWidget *w = active ? FocusWidget(active) : nullptr;
    if (!w || gtk_widget_has_focus(w)) return;
    TUpdating guard(*this);
    gtk_widget_grab_focus(w);
}

gboolean TGtkForm::FocusIdle(gpointer self) {
    auto *f = static_cast<TGtkForm *>(self);
    f->focusIdle_ = 0;
    f->FocusActive();
    return G_SOURCE_REMOVE;
}

void TGtkForm::FocusActiveLater() {
    // Not from inside the focus handler that caused it: after the current event, before the
    // next one.
    if (!focusIdle_) focusIdle_ = g_idle_add_full(G_PRIORITY_HIGH, &FocusIdle, this, nullptr);
}

// ---------------------------------------------------------------- widgets -> model

bool TGtkForm::OnKey(GdkEventKey *e) {
    int key = 0;
    bool shift = (e->state & GDK_SHIFT_MASK) != 0;
    switch (e->keyval) {
        case GDK_KEY_Escape:
            key = vkEscape;
            break;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            key = vkReturn;
            break;
        case GDK_KEY_Tab:
        case GDK_KEY_KP_Tab:
            key = vkTab;
            break;
        case GDK_KEY_ISO_Left_Tab:
            key = vkTab;
            shift = true;
            break;
        case GDK_KEY_F1:
            key = vkF1;
            break;
        default:
            return false;
    }
    Guarded([&] { form_.KeyDown(key, shift); });
    return true;
}

void TGtkForm::OnAllocated(int width, int height) {
    if (form_.BorderStyle == TFormBorderStyle::Dialog) return;
    if (width == form_.Width() && height == form_.Height()) return;
    allocWidth_ = width;
    allocHeight_ = height;
    // The model re-anchors its children; not from inside GTK's allocation pass.
    if (!resizeIdle_) resizeIdle_ = g_idle_add(&ResizeIdle, this);
}

gboolean TGtkForm::ResizeIdle(gpointer self) {
    auto *f = static_cast<TGtkForm *>(self);
    f->resizeIdle_ = 0;
    f->Guarded([&] {
        TUpdating guard(*f);
        f->form_.SetBounds(f->form_.Left(), f->form_.Top(), f->allocWidth_, f->allocHeight_);
    });
    return G_SOURCE_REMOVE;
}

// ---------------------------------------------------------------- the modal loop

int TGtkForm::Run() {
    BuildWindow();
    previousObserver_ = form_.Observer;
    form_.Observer = this;
    g_shown.push_back(this);
    struct TPop {
        TGtkForm *self;
        ~TPop() {
            g_shown.erase(std::remove(g_shown.begin(), g_shown.end(), self), g_shown.end());
            self->form_.Observer = self->previousObserver_;
        }
    } pop{this};

    return session_.Run(
        [this] {
            gtk_widget_show_all(window_->Outer());
            for (auto &[c, adapter] : adapters_)
                adapter->ApplyVisibility();
            for (auto &[c, adapter] : adapters_)
                adapter->Shown();
            FocusActive();
            gtk_window_present(window_->Window());
        },
        [] { g_main_context_iteration(nullptr, TRUE); },
        [this] { gtk_widget_hide(window_->Outer()); });
}

}  // namespace

int ShowFormModal(TCustomForm &form) {
    TGtkForm renderer(form);
    return renderer.Run();
}

GtkWindow *TopModalWindow() {
    // Message and file dialogs are not forms: the toolkit's own list knows them too.
    GtkWindow *top = nullptr;
    GList *all = gtk_window_list_toplevels();
    for (GList *i = all; i; i = i->next) {
        auto *w = GTK_WINDOW(i->data);
        if (gtk_window_get_modal(w) && gtk_widget_get_visible(GTK_WIDGET(w))) top = w;
    }
    g_list_free(all);
    if (!g_shown.empty() && (!top || top == g_shown.back()->Window()))
        return g_shown.back()->Window();
    return top;
}

void CancelAllModals() {
    for (TGtkForm *f : g_shown)
        f->Cancel();
}

std::string ToUtf8(std::string_view ansi) {
    const std::u16string wide = AnsiToUtf16(ansi);
    gchar *utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2 *>(wide.data()),
                                  static_cast<glong>(wide.size()), nullptr, nullptr, nullptr);
    std::string out = utf8 ? utf8 : "";
    g_free(utf8);
    return out;
}

std::string FromUtf8(const char *utf8) {
    if (!utf8) return {};
    glong n = 0;
    gunichar2 *wide = g_utf8_to_utf16(utf8, -1, nullptr, &n, nullptr);
    if (!wide) return utf8;
    std::string out = Utf16ToAnsi(
        std::u16string_view(reinterpret_cast<const char16_t *>(wide), static_cast<std::size_t>(n)));
    g_free(wide);
    return out;
}

std::string MnemonicText(std::string_view caption, bool accelerators) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        const char ch = caption[i];
        if (ch == '_') {
            out += "__";
        } else if (ch == '&' && accelerators && i + 1 < caption.size()) {
            ++i;
            if (caption[i] == '&')
                out += '&';
            else if (caption[i] == '_')
                out += "__";
            else {
                out += '_';
                out += caption[i];
            }
        } else {
            out += ch;
        }
    }
    return ToUtf8(out);
}

}  // namespace brevor::gtkui
