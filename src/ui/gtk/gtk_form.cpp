// Renders a model form with GTK widgets at the model's geometry and keeps both in step: the
// widgets' signals go to the model's user entry points, the model's change notifications
// update the widgets. While the renderer itself changes a widget (updating_ > 0) the widget's
// signals are ignored, so a change never comes back as a user's action.

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <vector>

#include "rtl/ansi.h"
#include "ui/gtk/gtk_internal.h"

namespace brevor::gtkui {

namespace {

class TGtkForm;
std::vector<TGtkForm *> g_shown;  // innermost last; GTK thread only

const char *IconName(std::int32_t id) {
    switch (id) {
        case 32513:
            return "dialog-error";
        case 32514:
            return "dialog-question";
        case 32515:
            return "dialog-warning";
        case 32516:
            return "dialog-information";
        default:
            return "application-x-executable";  // 32512, 32517 and anything else
    }
}

// A signal's view of the model: the renderer, the component and an index (radio item, row).
struct TBinding {
    TGtkForm *Form;
    TComponent *Target;
    int Index;
};

class TGtkForm final : public TFormObserver {
public:
    explicit TGtkForm(TCustomForm &form) : form_(form) {}
    ~TGtkForm() override;
    TGtkForm(const TGtkForm &) = delete;
    TGtkForm &operator=(const TGtkForm &) = delete;

    int Run();
    void Cancel() {
        cancelled_ = true;
        g_main_context_wakeup(nullptr);
    }
    GtkWindow *Window() const { return GTK_WINDOW(window_); }
    void ControlChanged(TComponent &control, TControlChange change) override;

private:
    struct TView {
        GtkWidget *Outer = nullptr;   // placed into the parent's fixed
        GtkWidget *Parent = nullptr;  // that fixed
        GtkWidget *Main = nullptr;    // the widget that shows the value and takes the focus
        GtkWidget *Fixed = nullptr;   // where the control's children go
        GtkWidget *Frame = nullptr;   // group box and radio group frame
        GtkWidget *Extra = nullptr;   // browse button; radio group: the hidden "none" radio
        GtkWidget *Menu = nullptr;    // popup menu, built on demand
        std::vector<GtkWidget *> Radios;
        GtkListStore *Store = nullptr;
        std::string ColumnsKey;  // the columns the tree view was built with
    };

    // ---- building
    void BuildWindow();
    void Build(TControl *c, GtkWidget *parentFixed);
    void BuildChildren(TWinControl *w, GtkWidget *fixed);
    void BuildRadios(TCustomRadioGroup &g, TView &v);
    void BuildListColumns(TListView &l, TView &v);
    void FillList(TListView &l, TView &v);
    void ApplyBounds(TControl &c, TView &v);
    void ApplyText(TControl &c, TView &v);
    void ApplyState(TControl &c, TView &v);
    void ApplyVisibility(TControl &c, TView &v);
    void ApplyFont();
    GtkWidget *FocusWidget(TWinControl *w);
    void FocusActive();
    void FocusActiveLater();
    TBinding *Bind(TComponent *target, int index = 0);
    void Connect(GtkWidget *w, const char *signal, GCallback cb, TComponent *target, int index = 0);

    // ---- user actions
    template <typename F>
    void Guarded(F &&f);
    bool UserFocus(TWinControl *w);
    void OnFocusIn(TComponent *c);
    void OnEntryChanged(TCustomEdit &e, GtkWidget *entry);
    void OnClicked(TComponent *c);
    void OnToggled(TComponent *c, int index, GtkWidget *w);
    void OnListSelection(TListView &l);
    void OnListToggle(TListView &l, const char *path);
    void OnPageSwitched(TPageControl &p, int page);
    bool OnKey(GdkEventKey *e);
    bool OnPopup(TControl &c, GtkWidget *w, GdkEventButton *e);
    void OnAllocated(int width, int height);

    static gboolean FocusIdle(gpointer self);
    static gboolean ResizeIdle(gpointer self);

    TCustomForm &form_;
    TFormObserver *previousObserver_ = nullptr;
    GtkWidget *window_ = nullptr;
    GtkWidget *root_ = nullptr;
    GtkCssProvider *fontCss_ = nullptr;
    std::map<TComponent *, TView> views_;
    std::vector<std::unique_ptr<TBinding>> bindings_;
    int updating_ = 0;
    TComponent *inEntryChange_ = nullptr;
    TWinControl *abandon_ = nullptr;  // its focus was refused: the click that follows is dropped
    guint focusIdle_ = 0;
    guint resizeIdle_ = 0;
    int allocWidth_ = 0, allocHeight_ = 0;
    bool cancelled_ = false;
    std::exception_ptr error_;
};

// RAII for the feedback guard.
struct TUpdating {
    explicit TUpdating(int &n) : n_(n) { ++n_; }
    ~TUpdating() { --n_; }
    TUpdating(const TUpdating &) = delete;
    TUpdating &operator=(const TUpdating &) = delete;
    int &n_;
};

TGtkForm::~TGtkForm() {
    if (focusIdle_) g_source_remove(focusIdle_);
    if (resizeIdle_) g_source_remove(resizeIdle_);
    for (auto &[c, v] : views_)
        if (v.Store) g_object_unref(v.Store);
    if (window_) gtk_widget_destroy(window_);
    if (fontCss_) g_object_unref(fontCss_);
}

template <typename F>
void TGtkForm::Guarded(F &&f) {
    // Nothing may unwind through GTK's C frames: the first error ends the showing and is
    // rethrown by Run.
    try {
        f();
    } catch (...) {
        if (!error_) error_ = std::current_exception();
        g_main_context_wakeup(nullptr);
    }
}

TBinding *TGtkForm::Bind(TComponent *target, int index) {
    bindings_.push_back(std::make_unique<TBinding>(TBinding{this, target, index}));
    return bindings_.back().get();
}

void TGtkForm::Connect(GtkWidget *w, const char *signal, GCallback cb, TComponent *target,
                       int index) {
    g_signal_connect(w, signal, cb, Bind(target, index));
}

namespace {

// Children are placed in a fixed container, or in the layout of the form's client area.
void PutChild(GtkWidget *parent, GtkWidget *child, int x, int y) {
    if (GTK_IS_LAYOUT(parent))
        gtk_layout_put(GTK_LAYOUT(parent), child, x, y);
    else
        gtk_fixed_put(GTK_FIXED(parent), child, x, y);
}

void MoveChild(GtkWidget *parent, GtkWidget *child, int x, int y) {
    if (GTK_IS_LAYOUT(parent))
        gtk_layout_move(GTK_LAYOUT(parent), child, x, y);
    else
        gtk_fixed_move(GTK_FIXED(parent), child, x, y);
}

}  // namespace

// ---------------------------------------------------------------- building

void TGtkForm::ApplyFont() {
    const TFont &font = form_.Font();
    const std::string css = "* { font-family: \"" + ToUtf8(font.Name) +
                            "\"; font-size: " + std::to_string(std::max(1, font.Size)) + "pt; }";
    if (!fontCss_) {
        fontCss_ = gtk_css_provider_new();
        gtk_style_context_add_provider(gtk_widget_get_style_context(window_),
                                       GTK_STYLE_PROVIDER(fontCss_),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    gtk_css_provider_load_from_data(fontCss_, css.c_str(), -1, nullptr);
}

void TGtkForm::BuildWindow() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "brevor-form");
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    GtkWindow *parent = TopModalWindow();
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(window_), parent);
    switch (form_.Position) {
        case TFormPosition::Designed:
            gtk_window_move(GTK_WINDOW(window_), form_.Left(), form_.Top());
            break;
        case TFormPosition::ScreenCenter:
            gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
            break;
        default:
            gtk_window_set_position(GTK_WINDOW(window_),
                                    parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
            break;
    }
    const bool dialog = form_.BorderStyle == TFormBorderStyle::Dialog;
    gtk_window_set_resizable(GTK_WINDOW(window_), dialog ? FALSE : TRUE);
    if (dialog) gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    ApplyFont();

    if (form_.BorderIconHelp) {
        GtkWidget *bar = gtk_header_bar_new();
        gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(bar), TRUE);
        GtkWidget *help = gtk_button_new_with_label("?");
        gtk_widget_set_focus_on_click(help, FALSE);
        gtk_widget_set_tooltip_text(help, "Help");
        g_signal_connect(
            help, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                auto *b = static_cast<TBinding *>(p);
                b->Form->Guarded([&] { static_cast<TCustomForm *>(b->Target)->ShowHelp(); });
            }),
            Bind(&form_));
        gtk_header_bar_pack_end(GTK_HEADER_BAR(bar), help);
        gtk_window_set_titlebar(GTK_WINDOW(window_), bar);
    }

    // The client area is a layout: a window of its own (made native below) whose size is the
    // form's client size alone. A fixed container would ask its children instead, and a
    // wrapping label asks for the height of its narrowest wrap.
    root_ = gtk_layout_new(nullptr, nullptr);
    g_signal_connect_after(root_, "realize", G_CALLBACK(+[](GtkWidget *w, gpointer) {
                               if (GdkWindow *area = gtk_widget_get_window(w))
                                   gdk_window_ensure_native(area);
                           }),
                           nullptr);
    // The layout paints nothing by itself: give it the dialog's background.
    g_signal_connect(root_, "draw", G_CALLBACK(+[](GtkWidget *w, cairo_t *cr, gpointer) {
                         GtkWidget *top = gtk_widget_get_toplevel(w);
                         gtk_render_background(gtk_widget_get_style_context(top), cr, 0, 0,
                                               gtk_widget_get_allocated_width(w),
                                               gtk_widget_get_allocated_height(w));
                         return FALSE;
                     }),
                     nullptr);
    gtk_container_add(GTK_CONTAINER(window_), root_);
    TView &v = views_[&form_];
    v.Outer = window_;
    v.Fixed = root_;
    v.Main = window_;
    ApplyText(form_, v);
    ApplyBounds(form_, v);

    g_signal_connect(window_, "delete-event",
                     G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                         auto *b = static_cast<TBinding *>(p);
                         // The close button cancels, as the Cancel button would.
                         static_cast<TCustomForm *>(b->Target)->ModalResult = mrCancel;
                         return TRUE;
                     }),
                     Bind(&form_));
    g_signal_connect(window_, "key-press-event",
                     G_CALLBACK(+[](GtkWidget *, GdkEventKey *e, gpointer p) -> gboolean {
                         auto *b = static_cast<TBinding *>(p);
                         return b->Form->OnKey(e) ? TRUE : FALSE;
                     }),
                     Bind(&form_));
    g_signal_connect(root_, "size-allocate",
                     G_CALLBACK(+[](GtkWidget *, GdkRectangle *r, gpointer p) {
                         static_cast<TBinding *>(p)->Form->OnAllocated(r->width, r->height);
                     }),
                     Bind(&form_));
    BuildChildren(&form_, root_);
}

void TGtkForm::BuildChildren(TWinControl *w, GtkWidget *fixed) {
    for (TControl *c : w->Controls())
        Build(c, fixed);
}

void TGtkForm::Build(TControl *c, GtkWidget *parentFixed) {
    if (!c || views_.count(c)) return;
    TView v;
    v.Parent = parentFixed;
    bool container = false;
    if (auto *label = dynamic_cast<TLabel *>(c)) {
        v.Main = v.Outer = gtk_label_new(nullptr);
        gtk_label_set_xalign(GTK_LABEL(v.Main), 0.0f);
        gtk_label_set_yalign(GTK_LABEL(v.Main), 0.0f);
        if (label->WordWrap) {
            gtk_label_set_line_wrap(GTK_LABEL(v.Main), TRUE);
            gtk_label_set_line_wrap_mode(GTK_LABEL(v.Main), PANGO_WRAP_WORD_CHAR);
            // Wrapping at the model's width, not at the label's natural width.
            gtk_label_set_width_chars(GTK_LABEL(v.Main), 1);
            gtk_label_set_max_width_chars(GTK_LABEL(v.Main), 1);
        }
    } else if (dynamic_cast<TButton *>(c)) {
        v.Main = v.Outer = gtk_button_new_with_mnemonic("");
        Connect(v.Main, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded([&] { b->Form->OnClicked(b->Target); });
                }),
                c);
    } else if (dynamic_cast<TCheckBox *>(c)) {
        v.Main = v.Outer = gtk_check_button_new_with_mnemonic("");
        Connect(
            v.Main, "toggled", G_CALLBACK(+[](GtkToggleButton *w, gpointer p) {
                auto *b = static_cast<TBinding *>(p);
                b->Form->Guarded([&] { b->Form->OnToggled(b->Target, b->Index, GTK_WIDGET(w)); });
            }),
            c);
    } else if (auto *spin = dynamic_cast<TSpinEdit *>(c)) {
        const bool limited = spin->MaxValue > spin->MinValue;
        // Without limits of its own the box still keeps to 32-bit whole numbers: the widget
        // parses and clamps with doubles, and a huge range would turn into a huge value.
        v.Main = v.Outer = gtk_spin_button_new_with_range(limited ? spin->MinValue : -2147483648.0,
                                                          limited ? spin->MaxValue : 2147483647.0,
                                                          std::max(1.0, spin->Increment));
        gtk_spin_button_set_digits(GTK_SPIN_BUTTON(v.Main), 0);
        gtk_entry_set_width_chars(GTK_ENTRY(v.Main), 1);
    } else if (auto *browse = dynamic_cast<TBrowseEdit *>(c)) {
        v.Outer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
        v.Main = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(v.Main), 1);
        v.Extra = gtk_button_new_with_label("...");
        gtk_widget_set_focus_on_click(v.Extra, FALSE);
        gtk_box_pack_start(GTK_BOX(v.Outer), v.Main, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(v.Outer), v.Extra, FALSE, FALSE, 0);
        g_signal_connect(v.Extra, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                             auto *b = static_cast<TBinding *>(p);
                             b->Form->Guarded([&] {
                                 auto *e = static_cast<TBrowseEdit *>(b->Target);
                                 if (e->EffectivelyEnabled()) e->ButtonClick();
                             });
                         }),
                         Bind(browse));
    } else if (dynamic_cast<TCustomEdit *>(c)) {
        v.Main = v.Outer = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(v.Main), 1);
    } else if (auto *group = dynamic_cast<TCustomRadioGroup *>(c)) {
        v.Outer = gtk_fixed_new();
        v.Frame = gtk_frame_new(nullptr);
        gtk_fixed_put(GTK_FIXED(v.Outer), v.Frame, 0, 0);
        BuildRadios(*group, v);
    } else if (dynamic_cast<TGroupBox *>(c)) {
        v.Outer = v.Fixed = gtk_fixed_new();
        v.Frame = gtk_frame_new(nullptr);
        gtk_fixed_put(GTK_FIXED(v.Outer), v.Frame, 0, 0);
        container = true;
    } else if (auto *panel = dynamic_cast<TPanel *>(c)) {
        v.Outer = v.Fixed = gtk_fixed_new();
        if (panel->Bevel) {
            v.Frame = gtk_frame_new(nullptr);
            gtk_fixed_put(GTK_FIXED(v.Outer), v.Frame, 0, 0);
        }
        container = true;
    } else if (auto *image = dynamic_cast<TImage *>(c)) {
        v.Main = v.Outer = image->IconId ? gtk_image_new_from_icon_name(IconName(image->IconId),
                                                                        GTK_ICON_SIZE_DIALOG)
                                         : gtk_image_new();
    } else if (dynamic_cast<TToolButton *>(c)) {
        v.Main = v.Outer = gtk_button_new_with_mnemonic("");
        gtk_button_set_relief(GTK_BUTTON(v.Main), GTK_RELIEF_NONE);
        gtk_widget_set_focus_on_click(v.Main, FALSE);
        gtk_widget_set_can_focus(v.Main, FALSE);
        Connect(v.Main, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded([&] { static_cast<TControl *>(b->Target)->Click(); });
                }),
                c);
    } else if (auto *pages = dynamic_cast<TPageControl *>(c)) {
        v.Main = v.Outer = gtk_notebook_new();
        gtk_notebook_set_scrollable(GTK_NOTEBOOK(v.Main), TRUE);
        {
            TUpdating guard(updating_);
            for (TTabSheet *sheet : pages->Pages()) {
                TView sv;
                sv.Outer = sv.Fixed = gtk_fixed_new();
                sv.Main = gtk_label_new_with_mnemonic("");
                // A notebook switches only to pages that are shown.
                gtk_widget_show(sv.Fixed);
                gtk_notebook_append_page(GTK_NOTEBOOK(v.Main), sv.Fixed, sv.Main);
                views_[sheet] = sv;
                ApplyText(*sheet, views_[sheet]);
                BuildChildren(sheet, sv.Fixed);
            }
        }
        Connect(v.Main, "switch-page",
                G_CALLBACK(+[](GtkNotebook *, GtkWidget *, guint page, gpointer p) {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded([&] {
                        b->Form->OnPageSwitched(*static_cast<TPageControl *>(b->Target),
                                                static_cast<int>(page));
                    });
                }),
                c);
    } else if (auto *list = dynamic_cast<TListView *>(c)) {
        v.Outer = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(v.Outer), GTK_SHADOW_IN);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(v.Outer), GTK_POLICY_AUTOMATIC,
                                       GTK_POLICY_AUTOMATIC);
        v.Main = gtk_tree_view_new();
        gtk_container_add(GTK_CONTAINER(v.Outer), v.Main);
        FillList(*list, v);
        GtkTreeSelection *sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(v.Main));
        gtk_tree_selection_set_mode(sel, GTK_SELECTION_SINGLE);
        g_signal_connect(sel, "changed", G_CALLBACK(+[](GtkTreeSelection *, gpointer p) {
                             auto *b = static_cast<TBinding *>(p);
                             b->Form->Guarded([&] {
                                 b->Form->OnListSelection(*static_cast<TListView *>(b->Target));
                             });
                         }),
                         Bind(list));
    } else if (auto *w = dynamic_cast<TWinControl *>(c)) {
        (void)w;
        v.Outer = v.Fixed = gtk_fixed_new();  // tool bars and any other container
        container = true;
    } else {
        return;  // nothing to show
    }

    // Radio items connect their own focus handlers (they are rebuilt with the items).
    if (auto *w = dynamic_cast<TWinControl *>(c);
        w && v.Main && !dynamic_cast<TCustomRadioGroup *>(c)) {
        Connect(v.Main, "focus-in-event",
                G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded([&] { b->Form->OnFocusIn(b->Target); });
                    return FALSE;
                }),
                c);
        if (auto *edit = dynamic_cast<TCustomEdit *>(c)) {
            gtk_editable_set_editable(GTK_EDITABLE(v.Main), edit->ReadOnly ? FALSE : TRUE);
            Connect(v.Main, "changed", G_CALLBACK(+[](GtkEditable *e, gpointer p) {
                        auto *b = static_cast<TBinding *>(p);
                        b->Form->Guarded([&] {
                            b->Form->OnEntryChanged(*static_cast<TCustomEdit *>(b->Target),
                                                    GTK_WIDGET(e));
                        });
                    }),
                    c);
        }
    }
    if (v.Main && c->PopupMenu) {
        gtk_widget_add_events(v.Main, GDK_BUTTON_PRESS_MASK);
        Connect(v.Main, "button-press-event",
                G_CALLBACK(+[](GtkWidget *w, GdkEventButton *e, gpointer p) -> gboolean {
                    auto *b = static_cast<TBinding *>(p);
                    bool handled = false;
                    b->Form->Guarded([&] {
                        handled = b->Form->OnPopup(*static_cast<TControl *>(b->Target), w, e);
                    });
                    return handled ? TRUE : FALSE;
                }),
                c);
    }

    PutChild(parentFixed, v.Outer, c->Left(), c->Top());
    TView &stored = views_[c] = v;
    {
        TUpdating guard(updating_);
        ApplyBounds(*c, stored);
        ApplyText(*c, stored);
        ApplyState(*c, stored);
    }
    if (container) BuildChildren(static_cast<TWinControl *>(c), stored.Fixed);
}

void TGtkForm::BuildRadios(TCustomRadioGroup &g, TView &v) {
    for (GtkWidget *r : v.Radios)
        gtk_widget_destroy(r);
    v.Radios.clear();
    if (v.Extra) gtk_widget_destroy(v.Extra);
    // A hidden first member stands for "no item chosen" (ItemIndex -1).
    v.Extra = gtk_radio_button_new(nullptr);
    gtk_widget_set_no_show_all(v.Extra, TRUE);
    gtk_fixed_put(GTK_FIXED(v.Outer), v.Extra, 0, 0);
    for (int i = 0; i < g.Items().Count(); ++i) {
        GtkWidget *r = gtk_radio_button_new_with_mnemonic_from_widget(
            GTK_RADIO_BUTTON(v.Extra), MnemonicText(g.Items()[i]).c_str());
        gtk_fixed_put(GTK_FIXED(v.Outer), r, 0, 0);
        Connect(
            r, "toggled", G_CALLBACK(+[](GtkToggleButton *w, gpointer p) {
                auto *b = static_cast<TBinding *>(p);
                b->Form->Guarded([&] { b->Form->OnToggled(b->Target, b->Index, GTK_WIDGET(w)); });
            }),
            &g, i);
        Connect(r, "focus-in-event",
                G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded([&] { b->Form->OnFocusIn(b->Target); });
                    return FALSE;
                }),
                &g);
        v.Radios.push_back(r);
        if (gtk_widget_get_realized(v.Outer)) gtk_widget_show(r);
    }
    v.Main = v.Radios.empty() ? v.Frame : v.Radios.front();
}

void TGtkForm::BuildListColumns(TListView &l, TView &v) {
    std::string key = l.Checkboxes ? "1" : "0";
    for (int i = 0; i < l.Columns().Count(); ++i)
        key += "|" + l.Columns()[i].Caption + "/" + std::to_string(l.Columns()[i].Width);
    if (key == v.ColumnsKey && v.Store) return;
    v.ColumnsKey = key;
    GtkTreeView *tree = GTK_TREE_VIEW(v.Main);
    while (GtkTreeViewColumn *col = gtk_tree_view_get_column(tree, 0))
        gtk_tree_view_remove_column(tree, col);
    const int columns = std::max(1, l.Columns().Count());
    std::vector<GType> types(static_cast<std::size_t>(columns) + 1, G_TYPE_STRING);
    types[0] = G_TYPE_BOOLEAN;
    GtkListStore *store = gtk_list_store_newv(static_cast<gint>(types.size()), types.data());
    {
        TUpdating guard(updating_);
        gtk_tree_view_set_model(tree, GTK_TREE_MODEL(store));
    }
    if (v.Store) g_object_unref(v.Store);
    v.Store = store;
    gtk_tree_view_set_headers_visible(tree, l.Columns().Count() > 0);
    for (int i = 0; i < columns; ++i) {
        GtkTreeViewColumn *col = gtk_tree_view_column_new();
        if (i < l.Columns().Count()) {
            gtk_tree_view_column_set_title(col, ToUtf8(l.Columns()[i].Caption).c_str());
            gtk_tree_view_column_set_sizing(col, GTK_TREE_VIEW_COLUMN_FIXED);
            gtk_tree_view_column_set_fixed_width(col, std::max(1, l.Columns()[i].Width));
            gtk_tree_view_column_set_resizable(col, TRUE);
        }
        if (i == 0 && l.Checkboxes) {
            GtkCellRenderer *toggle = gtk_cell_renderer_toggle_new();
            gtk_tree_view_column_pack_start(col, toggle, FALSE);
            gtk_tree_view_column_add_attribute(col, toggle, "active", 0);
            g_signal_connect(
                toggle, "toggled",
                G_CALLBACK(+[](GtkCellRendererToggle *, gchar *path, gpointer p) {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded(
                        [&] { b->Form->OnListToggle(*static_cast<TListView *>(b->Target), path); });
                }),
                Bind(&l));
        }
        GtkCellRenderer *text = gtk_cell_renderer_text_new();
        g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
        gtk_tree_view_column_pack_start(col, text, TRUE);
        gtk_tree_view_column_add_attribute(col, text, "text", i + 1);
        gtk_tree_view_append_column(tree, col);
    }
}

void TGtkForm::FillList(TListView &l, TView &v) {
    BuildListColumns(l, v);
    TUpdating guard(updating_);
    gtk_list_store_clear(v.Store);
    const int columns = std::max(1, l.Columns().Count());
    for (int r = 0; r < l.Count(); ++r) {
        const TListItem &item = l.Item(r);
        GtkTreeIter it;
        gtk_list_store_append(v.Store, &it);
        gtk_list_store_set(v.Store, &it, 0, item.Checked ? TRUE : FALSE, -1);
        for (int i = 0; i < columns; ++i) {
            std::string text;
            if (i == 0)
                text = item.Caption;
            else if (static_cast<std::size_t>(i - 1) < item.SubItems.size())
                text = item.SubItems[static_cast<std::size_t>(i - 1)];
            gtk_list_store_set(v.Store, &it, i + 1, ToUtf8(text).c_str(), -1);
        }
    }
}

// ---------------------------------------------------------------- model -> widgets

void TGtkForm::ApplyBounds(TControl &c, TView &v) {
    if (&c == &form_) {
        if (form_.BorderStyle == TFormBorderStyle::Dialog) {
            gtk_widget_set_size_request(root_, form_.Width(), form_.Height());
        } else {
            gtk_widget_set_size_request(root_, std::max(1, form_.MinWidth),
                                        std::max(1, form_.MinHeight));
            if (gtk_widget_get_realized(window_))
                gtk_window_resize(GTK_WINDOW(window_), std::max(1, form_.Width()),
                                  std::max(1, form_.Height()));
            else
                gtk_window_set_default_size(GTK_WINDOW(window_), std::max(1, form_.Width()),
                                            std::max(1, form_.Height()));
        }
        return;
    }
    if (dynamic_cast<TTabSheet *>(&c) || !v.Parent) return;  // the notebook places its pages
    MoveChild(v.Parent, v.Outer, c.Left(), c.Top());
    gtk_widget_set_size_request(v.Outer, c.Width(), c.Height());
    if (v.Frame) gtk_widget_set_size_request(v.Frame, c.Width(), c.Height());
    if (auto *image = dynamic_cast<TImage *>(&c); image && c.Width() > 0 && c.Height() > 0)
        gtk_image_set_pixel_size(GTK_IMAGE(v.Main), std::min(c.Width(), c.Height()));
    if (auto *g = dynamic_cast<TCustomRadioGroup *>(&c)) {
        // Items fill the area below the caption column by column, as evenly as they fit.
        const int n = static_cast<int>(v.Radios.size());
        const int cols = std::max(1, std::min<int>(g->Columns, std::max(1, n)));
        const int rows = std::max(1, (n + cols - 1) / cols);
        const int top = 18, side = 8, bottom = 4;
        const int cellW = std::max(1, (c.Width() - 2 * side) / cols);
        const int cellH = std::max(1, (c.Height() - top - bottom) / rows);
        for (int i = 0; i < n; ++i) {
            GtkWidget *r = v.Radios[static_cast<std::size_t>(i)];
            gtk_fixed_move(GTK_FIXED(v.Outer), r, side + (i / rows) * cellW,
                           top + (i % rows) * cellH);
            gtk_widget_set_size_request(r, cellW, std::min(cellH, 24));
        }
    }
}

void TGtkForm::ApplyText(TControl &c, TView &v) {
    const std::string &caption = c.Caption();
    if (&c == &form_) {
        gtk_window_set_title(GTK_WINDOW(window_), ToUtf8(caption).c_str());
        return;
    }
    if (auto *label = dynamic_cast<TLabel *>(&c)) {
        if (label->ShowAccelChar) {
            gtk_label_set_text_with_mnemonic(GTK_LABEL(v.Main), MnemonicText(caption).c_str());
            if (label->FocusControl)
                if (GtkWidget *target = FocusWidget(label->FocusControl))
                    gtk_label_set_mnemonic_widget(GTK_LABEL(v.Main), target);
        } else {
            gtk_label_set_text(GTK_LABEL(v.Main), ToUtf8(caption).c_str());
        }
    } else if (dynamic_cast<TTabSheet *>(&c)) {
        gtk_label_set_text_with_mnemonic(GTK_LABEL(v.Main), MnemonicText(caption).c_str());
    } else if (dynamic_cast<TButton *>(&c) || dynamic_cast<TCheckBox *>(&c) ||
               dynamic_cast<TToolButton *>(&c)) {
        gtk_button_set_label(GTK_BUTTON(v.Main), MnemonicText(caption).c_str());
        gtk_button_set_use_underline(GTK_BUTTON(v.Main), TRUE);
    } else if (auto *edit = dynamic_cast<TCustomEdit *>(&c)) {
        if (inEntryChange_ == &c) return;  // the entry itself is the source; synced after
        if (auto *spin = dynamic_cast<TSpinEdit *>(edit)) {
            // The spin button shows its adjustment's value and rewrites its text from it when
            // it updates: the value must be set, not only the text.
            TUpdating guard(updating_);
            gtk_spin_button_set_value(GTK_SPIN_BUTTON(v.Main), spin->Value());
        }
        const std::string text = ToUtf8(edit->Text());
        if (text != gtk_entry_get_text(GTK_ENTRY(v.Main))) {
            TUpdating guard(updating_);
            gtk_entry_set_text(GTK_ENTRY(v.Main), text.c_str());
        }
    } else if (v.Frame) {
        gtk_frame_set_label(GTK_FRAME(v.Frame),
                            caption.empty() ? nullptr : ToUtf8(caption).c_str());
    }
    if (!c.Hint.empty()) gtk_widget_set_tooltip_text(v.Outer, ToUtf8(c.Hint).c_str());
}

void TGtkForm::ApplyState(TControl &c, TView &v) {
    TUpdating guard(updating_);
    if (auto *check = dynamic_cast<TCheckBox *>(&c)) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(v.Main), check->Checked() ? TRUE : FALSE);
    } else if (auto *g = dynamic_cast<TCustomRadioGroup *>(&c)) {
        const int i = g->ItemIndex();
        GtkWidget *on = i >= 0 && i < static_cast<int>(v.Radios.size())
                            ? v.Radios[static_cast<std::size_t>(i)]
                            : v.Extra;
        if (on) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(on), TRUE);
    } else if (auto *p = dynamic_cast<TPageControl *>(&c)) {
        if (p->ActivePageIndex() >= 0 &&
            p->ActivePageIndex() < gtk_notebook_get_n_pages(GTK_NOTEBOOK(v.Main)))
            gtk_notebook_set_current_page(GTK_NOTEBOOK(v.Main), p->ActivePageIndex());
    } else if (auto *l = dynamic_cast<TListView *>(&c)) {
        GtkTreeSelection *sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(v.Main));
        GtkTreeIter it;
        if (l->ItemIndex() >= 0 &&
            gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(v.Store), &it, nullptr, l->ItemIndex())) {
            gtk_tree_selection_select_iter(sel, &it);
            GtkTreePath *path = gtk_tree_model_get_path(GTK_TREE_MODEL(v.Store), &it);
            gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(v.Main), path, nullptr, FALSE, 0, 0);
            gtk_tree_path_free(path);
        } else {
            gtk_tree_selection_unselect_all(sel);
        }
    }
}

void TGtkForm::ApplyVisibility(TControl &c, TView &v) {
    if (&c == &form_) return;
    gtk_widget_set_visible(v.Outer, c.Visible() ? TRUE : FALSE);
    gtk_widget_set_sensitive(v.Outer, c.Enabled() ? TRUE : FALSE);
}

void TGtkForm::ControlChanged(TComponent &component, TControlChange change) {
    auto *c = dynamic_cast<TControl *>(&component);
    if (!c) return;
    auto found = views_.find(c);
    if (found == views_.end()) {
        // A control placed on the form while it is shown.
        if (!c->Parent()) return;
        auto parent = views_.find(c->Parent());
        if (parent == views_.end() || !parent->second.Fixed) return;
        Build(c, parent->second.Fixed);
        found = views_.find(c);
        if (found == views_.end()) return;
        gtk_widget_show_all(found->second.Outer);
        ApplyVisibility(*c, found->second);
        return;
    }
    TView &v = found->second;
    switch (change) {
        case TControlChange::Bounds:
            ApplyBounds(*c, v);
            break;
        case TControlChange::Text:
            ApplyText(*c, v);
            break;
        case TControlChange::State:
            ApplyState(*c, v);
            break;
        case TControlChange::Enabled:
            ApplyVisibility(*c, v);
            break;
        case TControlChange::Items:
            if (auto *g = dynamic_cast<TCustomRadioGroup *>(c)) {
                TUpdating guard(updating_);
                BuildRadios(*g, v);
                ApplyBounds(*c, v);
                ApplyState(*c, v);
            } else if (auto *l = dynamic_cast<TListView *>(c)) {
                FillList(*l, v);
                ApplyState(*c, v);
            }
            break;
        case TControlChange::Focus:
            FocusActiveLater();
            break;
    }
}

GtkWidget *TGtkForm::FocusWidget(TWinControl *w) {
    auto found = views_.find(w);
    if (found == views_.end()) return nullptr;
    TView &v = found->second;
    if (auto *g = dynamic_cast<TCustomRadioGroup *>(w); g && !v.Radios.empty()) {
        const int i = g->ItemIndex();
        return v.Radios[static_cast<std::size_t>(
            i >= 0 && i < static_cast<int>(v.Radios.size()) ? i : 0)];
    }
    return v.Main;
}

void TGtkForm::FocusActive() {
    TWinControl *active = form_.ActiveControl();
    GtkWidget *w = active ? FocusWidget(active) : nullptr;
    if (!w || gtk_widget_has_focus(w)) return;
    TUpdating guard(updating_);
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

bool TGtkForm::UserFocus(TWinControl *w) {
    if (abandon_ == w) {
        abandon_ = nullptr;
        return false;
    }
    return form_.ActiveControl() == w || form_.SetFocusTo(w);
}

void TGtkForm::OnFocusIn(TComponent *c) {
    if (updating_) return;
    auto *w = dynamic_cast<TWinControl *>(c);
    if (!w || form_.ActiveControl() == w) {
        abandon_ = nullptr;
        return;
    }
    if (form_.SetFocusTo(w)) {
        abandon_ = nullptr;
    } else {
        abandon_ = w;
        FocusActiveLater();
    }
}

void TGtkForm::OnEntryChanged(TCustomEdit &e, GtkWidget *entry) {
    if (updating_) return;
    const std::string typed = gtk_entry_get_text(GTK_ENTRY(entry));
    inEntryChange_ = &e;
    try {
        e.SetText(FromUtf8(typed.c_str()));
    } catch (...) {
        inEntryChange_ = nullptr;
        throw;
    }
    inEntryChange_ = nullptr;
    // The model may have changed the text while it was being typed.
    auto found = views_.find(&e);
    if (found != views_.end()) ApplyText(e, found->second);
}

void TGtkForm::OnClicked(TComponent *c) {
    if (updating_) return;
    auto *button = dynamic_cast<TButton *>(c);
    if (!button || !button->EffectivelyEnabled()) return;
    if (!UserFocus(button)) return;  // focus refused: the click is abandoned
    button->Click();
}

void TGtkForm::OnToggled(TComponent *c, int index, GtkWidget *w) {
    if (updating_) return;
    const bool on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
    if (auto *check = dynamic_cast<TCheckBox *>(c)) {
        if (!UserFocus(check)) {
            auto found = views_.find(check);
            if (found != views_.end()) ApplyState(*check, found->second);
            return;
        }
        check->SetChecked(on);
    } else if (auto *g = dynamic_cast<TCustomRadioGroup *>(c)) {
        if (!on) return;  // the other half of the same change
        if (!UserFocus(g)) {
            auto found = views_.find(g);
            if (found != views_.end()) ApplyState(*g, found->second);
            return;
        }
        g->SetItemIndex(index);
    }
}

void TGtkForm::OnListSelection(TListView &l) {
    if (updating_) return;
    auto found = views_.find(&l);
    if (found == views_.end()) return;
    TView &v = found->second;
    GtkTreeModel *model = nullptr;
    GtkTreeIter it;
    int row = -1;
    if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(v.Main)), &model,
                                        &it)) {
        GtkTreePath *path = gtk_tree_model_get_path(model, &it);
        row = gtk_tree_path_get_indices(path)[0];
        gtk_tree_path_free(path);
    }
    if (row == l.ItemIndex()) return;
    if (row < 0 || !UserFocus(&l) || !l.SelectByUser(row)) ApplyState(l, v);
}

void TGtkForm::OnListToggle(TListView &l, const char *path) {
    if (updating_ || l.ReadOnly || !UserFocus(&l)) return;
    const int row = std::atoi(path);
    if (row < 0 || row >= l.Count()) return;
    TListItem item = l.Item(row);
    item.Checked = !item.Checked;
    l.SetItem(row, std::move(item));
}

void TGtkForm::OnPageSwitched(TPageControl &p, int page) {
    if (updating_) return;
    p.SetActivePageIndex(page);
}

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

bool TGtkForm::OnPopup(TControl &c, GtkWidget *w, GdkEventButton *e) {
    if (e->type != GDK_BUTTON_PRESS || e->button != 3 || !c.PopupMenu) return false;
    auto found = views_.find(&c);
    if (found == views_.end()) return false;
    TView &v = found->second;
    if (!v.Menu) {
        v.Menu = gtk_menu_new();
        gtk_menu_attach_to_widget(GTK_MENU(v.Menu), w, nullptr);
    }
    GList *old = gtk_container_get_children(GTK_CONTAINER(v.Menu));
    for (GList *i = old; i; i = i->next)
        gtk_widget_destroy(GTK_WIDGET(i->data));
    g_list_free(old);
    for (TMenuItem *item : c.PopupMenu->Items()) {
        GtkWidget *mi = item->Caption == "-"
                            ? gtk_separator_menu_item_new()
                            : gtk_menu_item_new_with_mnemonic(MnemonicText(item->Caption).c_str());
        gtk_widget_set_sensitive(mi, item->Enabled ? TRUE : FALSE);
        Connect(mi, "activate", G_CALLBACK(+[](GtkMenuItem *, gpointer p) {
                    auto *b = static_cast<TBinding *>(p);
                    b->Form->Guarded([&] { static_cast<TMenuItem *>(b->Target)->Click(); });
                }),
                item);
        gtk_menu_shell_append(GTK_MENU_SHELL(v.Menu), mi);
    }
    gtk_widget_show_all(v.Menu);
    gtk_menu_popup_at_pointer(GTK_MENU(v.Menu), reinterpret_cast<GdkEvent *>(e));
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
        TUpdating guard(f->updating_);
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

    form_.BeginModal();
    try {
        gtk_widget_show_all(window_);
        for (auto &[c, v] : views_)
            ApplyVisibility(*static_cast<TControl *>(c), v);
        for (auto &[c, v] : views_)
            if (!v.Radios.empty()) ApplyState(*static_cast<TControl *>(c), v);
        FocusActive();
        gtk_window_present(GTK_WINDOW(window_));
        for (;;) {
            while (form_.ModalResult == mrNone && !error_ && !cancelled_)
                g_main_context_iteration(nullptr, TRUE);
            if (error_) break;
            if (cancelled_) {
                form_.ModalResult = mrCancel;
                break;
            }
            if (form_.CloseQuery()) break;
        }
    } catch (...) {
        if (!error_) error_ = std::current_exception();
    }
    gtk_widget_hide(window_);
    try {
        form_.EndModal();
    } catch (...) {
        if (!error_) error_ = std::current_exception();
    }
    if (error_) std::rethrow_exception(error_);
    return form_.ModalResult;
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
