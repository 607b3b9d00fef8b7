#include "ui/gtk/gtk_adapters.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/control_kind.h"

namespace brevor::gtkui {

namespace {

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

// ---------------------------------------------------------------- every kind

void TControlAdapter::Create(GtkWidget *parent) {
    CreateWidgets();
    if (main_ && WiresFocusIn() && dynamic_cast<TWinControl *>(&control_)) {
        Connect(main_, "focus-in-event",
                G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                    Dispatch<TControlAdapter>(p, [](TControlAdapter &a, int) {
                        a.host_.FocusEntered(static_cast<TWinControl *>(&a.control_));
                    });
                    return FALSE;
                }));
    }
    if (main_ && control_.PopupMenu) {
        gtk_widget_add_events(main_, GDK_BUTTON_PRESS_MASK);
        Connect(main_, "button-press-event",
                G_CALLBACK(+[](GtkWidget *w, GdkEventButton *e, gpointer p) -> gboolean {
                    bool handled = false;
                    Dispatch<TControlAdapter>(
                        p, [&](TControlAdapter &a, int) { handled = a.ShowPopup(w, e); });
                    return handled ? TRUE : FALSE;
                }));
    }
    Place(parent);
}

void TControlAdapter::Place(GtkWidget *parent) {
    parent_ = parent;
    PutChild(parent, outer_, control_.Left(), control_.Top());
}

void TControlAdapter::Connect(gpointer instance, const char *signal, GCallback callback,
                              int index) {
    bindings_.push_back(std::make_unique<TBinding>(TBinding{this, index}));
    g_signal_connect(instance, signal, callback, bindings_.back().get());
}

void TControlAdapter::ApplyBounds() {
    if (!parent_) return;
    MoveChild(parent_, outer_, control_.Left(), control_.Top());
    gtk_widget_set_size_request(outer_, control_.Width(), control_.Height());
    if (frame_) gtk_widget_set_size_request(frame_, control_.Width(), control_.Height());
}

void TControlAdapter::ApplyText() {
    // A kind with a frame shows its caption there.
    if (frame_) {
        const std::string &caption = control_.Caption();
        gtk_frame_set_label(GTK_FRAME(frame_), caption.empty() ? nullptr : ToUtf8(caption).c_str());
    }
    if (!control_.Hint.empty()) gtk_widget_set_tooltip_text(outer_, ToUtf8(control_.Hint).c_str());
}

void TControlAdapter::ApplyVisibility() {
    gtk_widget_set_visible(outer_, control_.Visible() ? TRUE : FALSE);
    gtk_widget_set_sensitive(outer_, control_.Enabled() ? TRUE : FALSE);
}

bool TControlAdapter::ShowPopup(GtkWidget *widget, GdkEventButton *event) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 3 || !control_.PopupMenu) return false;
    if (!menu_) {
        menu_ = gtk_menu_new();
        gtk_menu_attach_to_widget(GTK_MENU(menu_), widget, nullptr);
    }
    GList *old = gtk_container_get_children(GTK_CONTAINER(menu_));
    for (GList *i = old; i; i = i->next)
        gtk_widget_destroy(GTK_WIDGET(i->data));
    g_list_free(old);
    menuItems_ = control_.PopupMenu->Items();
    for (std::size_t i = 0; i < menuItems_.size(); ++i) {
        const TMenuItem &item = *menuItems_[i];
        GtkWidget *mi = item.Caption == "-"
                            ? gtk_separator_menu_item_new()
                            : gtk_menu_item_new_with_mnemonic(MnemonicText(item.Caption).c_str());
        gtk_widget_set_sensitive(mi, item.Enabled ? TRUE : FALSE);
        Connect(mi, "activate", G_CALLBACK(+[](GtkMenuItem *, gpointer p) {
                    Dispatch<TControlAdapter>(p, [](TControlAdapter &a, int index) {
                        a.menuItems_[static_cast<std::size_t>(index)]->Click();
                    });
                }),
                static_cast<int>(i));
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_), mi);
    }
    gtk_widget_show_all(menu_);
    gtk_menu_popup_at_pointer(GTK_MENU(menu_), reinterpret_cast<GdkEvent *>(event));
    return true;
}

namespace {

// ---------------------------------------------------------------- labels, buttons, pictures

class TLabelAdapter final : public TControlAdapter {
public:
    TLabelAdapter(TAdapterHost &host, TLabel &label)
        : TControlAdapter(host, label), label_(label) {}

    void ApplyText() override {
        const std::string &caption = label_.Caption();
        if (label_.ShowAccelChar) {
            gtk_label_set_text_with_mnemonic(GTK_LABEL(main_), MnemonicText(caption).c_str());
            if (label_.FocusControl)
                if (GtkWidget *target = host_.FocusWidget(label_.FocusControl))
                    gtk_label_set_mnemonic_widget(GTK_LABEL(main_), target);
        } else {
            gtk_label_set_text(GTK_LABEL(main_), ToUtf8(caption).c_str());
        }
        TControlAdapter::ApplyText();
    }

protected:
    void CreateWidgets() override {
        main_ = outer_ = gtk_label_new(nullptr);
        gtk_label_set_xalign(GTK_LABEL(main_), 0.0f);
        gtk_label_set_yalign(GTK_LABEL(main_), 0.0f);
        if (label_.WordWrap) {
            gtk_label_set_line_wrap(GTK_LABEL(main_), TRUE);
            gtk_label_set_line_wrap_mode(GTK_LABEL(main_), PANGO_WRAP_WORD_CHAR);
            // Wrapping at the model's width, not at the label's natural width.
            gtk_label_set_width_chars(GTK_LABEL(main_), 1);
            gtk_label_set_max_width_chars(GTK_LABEL(main_), 1);
        }
    }

private:
    TLabel &label_;
};

// A caption with a mnemonic on a button of any kind.
void SetButtonCaption(GtkWidget *button, const std::string &caption) {
    gtk_button_set_label(GTK_BUTTON(button), MnemonicText(caption).c_str());
    gtk_button_set_use_underline(GTK_BUTTON(button), TRUE);
}

class TButtonAdapter final : public TControlAdapter {
public:
    TButtonAdapter(TAdapterHost &host, TButton &button)
        : TControlAdapter(host, button), button_(button) {}

    void ApplyText() override {
        SetButtonCaption(main_, button_.Caption());
        TControlAdapter::ApplyText();
    }

protected:
    void CreateWidgets() override {
        main_ = outer_ = gtk_button_new_with_mnemonic("");
        Connect(main_, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                    Dispatch<TButtonAdapter>(p, [](TButtonAdapter &a, int) { a.Clicked(); });
                }));
    }

private:
    void Clicked() {
        if (host_.Updating() || !button_.EffectivelyEnabled()) return;
        if (!host_.UserFocus(&button_)) return;  // focus refused: the click is abandoned
        button_.Click();
    }

    TButton &button_;
};

// A tool button never takes the focus: a click goes straight to the model.
class TToolButtonAdapter final : public TControlAdapter {
public:
    using TControlAdapter::TControlAdapter;

    void ApplyText() override {
        SetButtonCaption(main_, control_.Caption());
        TControlAdapter::ApplyText();
    }

protected:
    void CreateWidgets() override {
        main_ = outer_ = gtk_button_new_with_mnemonic("");
        gtk_button_set_relief(GTK_BUTTON(main_), GTK_RELIEF_NONE);
        gtk_widget_set_focus_on_click(main_, FALSE);
        gtk_widget_set_can_focus(main_, FALSE);
        Connect(main_, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                    Dispatch<TToolButtonAdapter>(
                        p, [](TToolButtonAdapter &a, int) { a.control_.Click(); });
                }));
    }
};

class TCheckBoxAdapter final : public TControlAdapter {
public:
    TCheckBoxAdapter(TAdapterHost &host, TCheckBox &check)
        : TControlAdapter(host, check), check_(check) {}

    void ApplyText() override {
        SetButtonCaption(main_, check_.Caption());
        TControlAdapter::ApplyText();
    }
    void ApplyState() override {
        TUpdating guard(host_);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(main_), check_.Checked() ? TRUE : FALSE);
    }

protected:
    void CreateWidgets() override {
        main_ = outer_ = gtk_check_button_new_with_mnemonic("");
        Connect(main_, "toggled", G_CALLBACK(+[](GtkToggleButton *, gpointer p) {
                    Dispatch<TCheckBoxAdapter>(p, [](TCheckBoxAdapter &a, int) { a.Toggled(); });
                }));
    }

private:
    void Toggled() {
        if (host_.Updating()) return;
        const bool on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(main_));
        if (!host_.UserFocus(&check_)) {
            ApplyState();  // the click is abandoned: back to the model's state
            return;
        }
        check_.SetChecked(on);
    }

    TCheckBox &check_;
};

class TImageAdapter final : public TControlAdapter {
public:
    TImageAdapter(TAdapterHost &host, TImage &image)
        : TControlAdapter(host, image), image_(image) {}

    void ApplyBounds() override {
        TControlAdapter::ApplyBounds();
        if (parent_ && image_.Width() > 0 && image_.Height() > 0)
            gtk_image_set_pixel_size(GTK_IMAGE(main_), std::min(image_.Width(), image_.Height()));
    }

protected:
    void CreateWidgets() override {
        main_ = outer_ = image_.IconId ? gtk_image_new_from_icon_name(IconName(image_.IconId),
                                                                      GTK_ICON_SIZE_DIALOG)
                                       : gtk_image_new();
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
        if (inChange_) return;  // the entry itself is the source; synced after
        ShowValue();
        const std::string text = ToUtf8(edit_.Text());
        if (text != gtk_entry_get_text(GTK_ENTRY(main_))) {
            TUpdating guard(host_);
            gtk_entry_set_text(GTK_ENTRY(main_), text.c_str());
        }
        TControlAdapter::ApplyText();
    }

protected:
    // Makes outer_ and main_, the entry.
    virtual void CreateEntry() {
        main_ = outer_ = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(main_), 1);
    }
    // Shows what the entry's text does not carry by itself.
    virtual void ShowValue() {}

    void CreateWidgets() final {
        CreateEntry();
        gtk_editable_set_editable(GTK_EDITABLE(main_), edit_.ReadOnly ? FALSE : TRUE);
        Connect(main_, "changed", G_CALLBACK(+[](GtkEditable *, gpointer p) {
                    Dispatch<TEditAdapter>(p, [](TEditAdapter &a, int) { a.Changed(); });
                }));
    }

private:
    void Changed() {
        if (host_.Updating()) return;
        const std::string typed = gtk_entry_get_text(GTK_ENTRY(main_));
        inChange_ = true;
        try {
            edit_.SetText(FromUtf8(typed.c_str()));
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

class TSpinEditAdapter final : public TEditAdapter {
public:
    TSpinEditAdapter(TAdapterHost &host, TSpinEdit &spin) : TEditAdapter(host, spin), spin_(spin) {}

protected:
    void CreateEntry() override {
        const bool limited = spin_.MaxValue > spin_.MinValue;
        // Without limits of its own the box still keeps to 32-bit whole numbers: the widget
        // parses and clamps with doubles, and a huge range would turn into a huge value.
        main_ = outer_ = gtk_spin_button_new_with_range(limited ? spin_.MinValue : -2147483648.0,
                                                        limited ? spin_.MaxValue : 2147483647.0,
                                                        std::max(1.0, spin_.Increment));
        gtk_spin_button_set_digits(GTK_SPIN_BUTTON(main_), 0);
        gtk_entry_set_width_chars(GTK_ENTRY(main_), 1);
    }
    void ShowValue() override {
        // The spin button shows its adjustment's value and rewrites its text from it when it
        // updates: the value must be set, not only the text.
        TUpdating guard(host_);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(main_), spin_.Value());
    }

private:
    TSpinEdit &spin_;
};

class TBrowseEditAdapter final : public TEditAdapter {
public:
    TBrowseEditAdapter(TAdapterHost &host, TBrowseEdit &browse)
        : TEditAdapter(host, browse), browse_(browse) {}

protected:
    void CreateEntry() override {
        outer_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
        main_ = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(main_), 1);
        GtkWidget *button = gtk_button_new_with_label("...");
        gtk_widget_set_focus_on_click(button, FALSE);
        gtk_box_pack_start(GTK_BOX(outer_), main_, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(outer_), button, FALSE, FALSE, 0);
        Connect(button, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                    Dispatch<TBrowseEditAdapter>(p, [](TBrowseEditAdapter &a, int) {
                        if (a.browse_.EffectivelyEnabled()) a.browse_.ButtonClick();
                    });
                }));
    }

private:
    TBrowseEdit &browse_;
};

// ---------------------------------------------------------------- groups

// Group boxes, panels, tool bars and any other control that only holds others.
class TContainerAdapter final : public TControlAdapter {
public:
    TContainerAdapter(TAdapterHost &host, TWinControl &container, bool framed)
        : TControlAdapter(host, container), framed_(framed) {}

protected:
    void CreateWidgets() override {
        outer_ = fixed_ = gtk_fixed_new();
        if (framed_) {
            frame_ = gtk_frame_new(nullptr);
            gtk_fixed_put(GTK_FIXED(outer_), frame_, 0, 0);
        }
    }

private:
    bool framed_;
};

// The items are radio buttons in one group with a hidden first member that stands for "no
// item chosen" (ItemIndex -1); they are made again when the items change.
class TRadioGroupAdapter final : public TControlAdapter {
public:
    TRadioGroupAdapter(TAdapterHost &host, TCustomRadioGroup &group)
        : TControlAdapter(host, group), group_(group) {}

    void ApplyBounds() override {
        TControlAdapter::ApplyBounds();
        if (!parent_) return;
        // Items fill the area below the caption column by column, as evenly as they fit.
        const int n = static_cast<int>(radios_.size());
        const int cols = std::max(1, std::min<int>(group_.Columns, std::max(1, n)));
        const int rows = std::max(1, (n + cols - 1) / cols);
        const int top = 18, side = 8, bottom = 4;
        const int cellW = std::max(1, (group_.Width() - 2 * side) / cols);
        const int cellH = std::max(1, (group_.Height() - top - bottom) / rows);
        for (int i = 0; i < n; ++i) {
            GtkWidget *r = radios_[static_cast<std::size_t>(i)];
            gtk_fixed_move(GTK_FIXED(outer_), r, side + (i / rows) * cellW,
                           top + (i % rows) * cellH);
            gtk_widget_set_size_request(r, cellW, std::min(cellH, 24));
        }
    }
    void ApplyState() override {
        TUpdating guard(host_);
        const int i = group_.ItemIndex();
        GtkWidget *on = i >= 0 && i < static_cast<int>(radios_.size())
                            ? radios_[static_cast<std::size_t>(i)]
                            : none_;
        if (on) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(on), TRUE);
    }
    void ApplyItems() override {
        TUpdating guard(host_);
        CreateRadios();
        ApplyBounds();
        ApplyState();
    }
    // Radios are realised with the window: the chosen one is set again.
    void Shown() override {
        if (!radios_.empty()) ApplyState();
    }
    GtkWidget *FocusWidget() const override {
        if (radios_.empty()) return main_;
        const int i = group_.ItemIndex();
        return radios_[static_cast<std::size_t>(
            i >= 0 && i < static_cast<int>(radios_.size()) ? i : 0)];
    }

protected:
    void CreateWidgets() override {
        outer_ = gtk_fixed_new();
        frame_ = gtk_frame_new(nullptr);
        gtk_fixed_put(GTK_FIXED(outer_), frame_, 0, 0);
        CreateRadios();
    }
    // Each item connects its own focus handler (they are made again with the items).
    bool WiresFocusIn() const override { return false; }

private:
    void CreateRadios() {
        for (GtkWidget *r : radios_)
            gtk_widget_destroy(r);
        radios_.clear();
        if (none_) gtk_widget_destroy(none_);
        none_ = gtk_radio_button_new(nullptr);
        gtk_widget_set_no_show_all(none_, TRUE);
        gtk_fixed_put(GTK_FIXED(outer_), none_, 0, 0);
        for (int i = 0; i < group_.Items().Count(); ++i) {
            GtkWidget *r = gtk_radio_button_new_with_mnemonic_from_widget(
                GTK_RADIO_BUTTON(none_), MnemonicText(group_.Items()[i]).c_str());
            gtk_fixed_put(GTK_FIXED(outer_), r, 0, 0);
            Connect(r, "toggled", G_CALLBACK(+[](GtkToggleButton *w, gpointer p) {
                        Dispatch<TRadioGroupAdapter>(p, [&](TRadioGroupAdapter &a, int index) {
                            a.Toggled(index, gtk_toggle_button_get_active(w) != FALSE);
                        });
                    }),
                    i);
            Connect(r, "focus-in-event",
                    G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                        Dispatch<TRadioGroupAdapter>(
                            p, [](TRadioGroupAdapter &a, int) { a.host_.FocusEntered(&a.group_); });
                        return FALSE;
                    }));
            radios_.push_back(r);
            if (gtk_widget_get_realized(outer_)) gtk_widget_show(r);
        }
        main_ = radios_.empty() ? frame_ : radios_.front();
    }

    void Toggled(int index, bool on) {
        if (host_.Updating()) return;
        if (!on) return;  // the other half of the same change
        if (!host_.UserFocus(&group_)) {
            ApplyState();  // the click is abandoned: back to the model's choice
            return;
        }
        group_.SetItemIndex(index);
    }

    TCustomRadioGroup &group_;
    std::vector<GtkWidget *> radios_;
    GtkWidget *none_ = nullptr;
};

// ---------------------------------------------------------------- pages

// A page of a notebook; the notebook places it and shows its caption on the tab.
class TTabSheetAdapter final : public TControlAdapter {
public:
    using TControlAdapter::TControlAdapter;

    void ApplyBounds() override {}
    void ApplyText() override {
        if (tab_)
            gtk_label_set_text_with_mnemonic(GTK_LABEL(tab_),
                                             MnemonicText(control_.Caption()).c_str());
        TControlAdapter::ApplyText();
    }

protected:
    void CreateWidgets() override {
        outer_ = fixed_ = gtk_fixed_new();
        // A notebook switches only to pages that are shown.
        gtk_widget_show(fixed_);
    }
    void Place(GtkWidget *parent) override {
        if (!GTK_IS_NOTEBOOK(parent)) {
            TControlAdapter::Place(parent);
            return;
        }
        tab_ = gtk_label_new_with_mnemonic("");
        gtk_notebook_append_page(GTK_NOTEBOOK(parent), fixed_, tab_);
    }

private:
    GtkWidget *tab_ = nullptr;
};

class TPageControlAdapter final : public TControlAdapter {
public:
    TPageControlAdapter(TAdapterHost &host, TPageControl &pages)
        : TControlAdapter(host, pages), pages_(pages) {}

    void ApplyState() override {
        TUpdating guard(host_);
        if (pages_.ActivePageIndex() >= 0 &&
            pages_.ActivePageIndex() < gtk_notebook_get_n_pages(GTK_NOTEBOOK(main_)))
            gtk_notebook_set_current_page(GTK_NOTEBOOK(main_), pages_.ActivePageIndex());
    }

protected:
    void CreateWidgets() override {
        main_ = outer_ = gtk_notebook_new();
        gtk_notebook_set_scrollable(GTK_NOTEBOOK(main_), TRUE);
        {
            TUpdating guard(host_);
            for (TTabSheet *sheet : pages_.Pages())
                host_.Build(sheet, main_);
        }
        Connect(main_, "switch-page",
                G_CALLBACK(+[](GtkNotebook *, GtkWidget *, guint page, gpointer p) {
                    Dispatch<TPageControlAdapter>(p, [&](TPageControlAdapter &a, int) {
                        if (a.host_.Updating()) return;
                        a.pages_.SetActivePageIndex(static_cast<int>(page));
                    });
                }));
    }

private:
    TPageControl &pages_;
};

// ---------------------------------------------------------------- report list view

// A tree view over a list store: column 0 holds the check mark, column i + 1 the text of the
// list's column i (the caption, then the sub-items).
class TListViewAdapter final : public TControlAdapter {
public:
    TListViewAdapter(TAdapterHost &host, TListView &list)
        : TControlAdapter(host, list), list_(list) {}
    ~TListViewAdapter() override {
        if (store_) g_object_unref(store_);
    }

    void ApplyState() override {
        TUpdating guard(host_);
        GtkTreeSelection *sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(main_));
        GtkTreeIter it;
        if (list_.ItemIndex() >= 0 && gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store_), &it,
                                                                    nullptr, list_.ItemIndex())) {
            gtk_tree_selection_select_iter(sel, &it);
            GtkTreePath *path = gtk_tree_model_get_path(GTK_TREE_MODEL(store_), &it);
            gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(main_), path, nullptr, FALSE, 0, 0);
            gtk_tree_path_free(path);
        } else {
            gtk_tree_selection_unselect_all(sel);
        }
    }
    void ApplyItems() override {
        Fill();
        ApplyState();
    }

protected:
    void CreateWidgets() override {
        outer_ = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer_), GTK_SHADOW_IN);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer_), GTK_POLICY_AUTOMATIC,
                                       GTK_POLICY_AUTOMATIC);
        main_ = gtk_tree_view_new();
        gtk_container_add(GTK_CONTAINER(outer_), main_);
        Fill();
        GtkTreeSelection *sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(main_));
        gtk_tree_selection_set_mode(sel, GTK_SELECTION_SINGLE);
        Connect(sel, "changed", G_CALLBACK(+[](GtkTreeSelection *, gpointer p) {
                    Dispatch<TListViewAdapter>(
                        p, [](TListViewAdapter &a, int) { a.SelectionChanged(); });
                }));
    }

private:
    // Makes the columns again when the list's columns or check boxes changed.
    void CreateColumns() {
        std::string key = list_.Checkboxes ? "1" : "0";
        for (int i = 0; i < list_.Columns().Count(); ++i)
            key +=
                "|" + list_.Columns()[i].Caption + "/" + std::to_string(list_.Columns()[i].Width);
        if (key == columnsKey_ && store_) return;
        columnsKey_ = key;
        GtkTreeView *tree = GTK_TREE_VIEW(main_);
        while (GtkTreeViewColumn *col = gtk_tree_view_get_column(tree, 0))
            gtk_tree_view_remove_column(tree, col);
        const int columns = std::max(1, list_.Columns().Count());
        std::vector<GType> types(static_cast<std::size_t>(columns) + 1, G_TYPE_STRING);
        types[0] = G_TYPE_BOOLEAN;
        GtkListStore *store = gtk_list_store_newv(static_cast<gint>(types.size()), types.data());
        {
            TUpdating guard(host_);
            gtk_tree_view_set_model(tree, GTK_TREE_MODEL(store));
        }
        if (store_) g_object_unref(store_);
        store_ = store;
        gtk_tree_view_set_headers_visible(tree, list_.Columns().Count() > 0);
        for (int i = 0; i < columns; ++i) {
            GtkTreeViewColumn *col = gtk_tree_view_column_new();
            if (i < list_.Columns().Count()) {
                gtk_tree_view_column_set_title(col, ToUtf8(list_.Columns()[i].Caption).c_str());
                gtk_tree_view_column_set_sizing(col, GTK_TREE_VIEW_COLUMN_FIXED);
                gtk_tree_view_column_set_fixed_width(col, std::max(1, list_.Columns()[i].Width));
                gtk_tree_view_column_set_resizable(col, TRUE);
            }
            if (i == 0 && list_.Checkboxes) {
                GtkCellRenderer *toggle = gtk_cell_renderer_toggle_new();
                gtk_tree_view_column_pack_start(col, toggle, FALSE);
                gtk_tree_view_column_add_attribute(col, toggle, "active", 0);
                Connect(toggle, "toggled",
                        G_CALLBACK(+[](GtkCellRendererToggle *, gchar *path, gpointer p) {
                            Dispatch<TListViewAdapter>(
                                p, [&](TListViewAdapter &a, int) { a.CheckToggled(path); });
                        }));
            }
            GtkCellRenderer *text = gtk_cell_renderer_text_new();
            g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
            gtk_tree_view_column_pack_start(col, text, TRUE);
            gtk_tree_view_column_add_attribute(col, text, "text", i + 1);
            gtk_tree_view_append_column(tree, col);
        }
    }

    void Fill() {
        CreateColumns();
        TUpdating guard(host_);
        gtk_list_store_clear(store_);
        const int columns = std::max(1, list_.Columns().Count());
        for (int r = 0; r < list_.Count(); ++r) {
            const TListItem &item = list_.Item(r);
            GtkTreeIter it;
            gtk_list_store_append(store_, &it);
            gtk_list_store_set(store_, &it, 0, item.Checked ? TRUE : FALSE, -1);
            for (int i = 0; i < columns; ++i) {
                std::string text;
                if (i == 0)
                    text = item.Caption;
                else if (static_cast<std::size_t>(i - 1) < item.SubItems.size())
                    text = item.SubItems[static_cast<std::size_t>(i - 1)];
                gtk_list_store_set(store_, &it, i + 1, ToUtf8(text).c_str(), -1);
            }
        }
    }

    void SelectionChanged() {
        if (host_.Updating()) return;
        GtkTreeModel *model = nullptr;
        GtkTreeIter it;
        int row = -1;
        if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(main_)),
                                            &model, &it)) {
            GtkTreePath *path = gtk_tree_model_get_path(model, &it);
            row = gtk_tree_path_get_indices(path)[0];
            gtk_tree_path_free(path);
        }
        if (row == list_.ItemIndex()) return;
        if (row < 0 || !host_.UserFocus(&list_) || !list_.SelectByUser(row)) ApplyState();
    }

    void CheckToggled(const char *path) {
        if (host_.Updating() || list_.ReadOnly || !host_.UserFocus(&list_)) return;
        const int row = std::atoi(path);
        if (row < 0 || row >= list_.Count()) return;
        TListItem item = list_.Item(row);
        item.Checked = !item.Checked;
        list_.SetItem(row, std::move(item));
    }

    TListView &list_;
    GtkListStore *store_ = nullptr;
    std::string columnsKey_;  // the columns the tree view was made with
};

}  // namespace

// ---------------------------------------------------------------- the form

TFormAdapter::~TFormAdapter() {
    if (fontCss_) g_object_unref(fontCss_);
}

void TFormAdapter::ApplyFont() {
    const TFont &font = form_.Font();
    const std::string css = "* { font-family: \"" + ToUtf8(font.Name) +
                            "\"; font-size: " + std::to_string(std::max(1, font.Size)) + "pt; }";
    if (!fontCss_) {
        fontCss_ = gtk_css_provider_new();
        gtk_style_context_add_provider(gtk_widget_get_style_context(outer_),
                                       GTK_STYLE_PROVIDER(fontCss_),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    gtk_css_provider_load_from_data(fontCss_, css.c_str(), -1, nullptr);
}

void TFormAdapter::CreateWidgets() {
    outer_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow *window = GTK_WINDOW(outer_);
    gtk_style_context_add_class(gtk_widget_get_style_context(outer_), "brevor-form");
    gtk_window_set_modal(window, TRUE);
    GtkWindow *parent = TopModalWindow();
    if (parent) gtk_window_set_transient_for(window, parent);
    switch (form_.Position) {
        case TFormPosition::Designed:
            gtk_window_move(window, form_.Left(), form_.Top());
            break;
        case TFormPosition::ScreenCenter:
            gtk_window_set_position(window, GTK_WIN_POS_CENTER);
            break;
        default:
            gtk_window_set_position(window,
                                    parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
            break;
    }
    const bool dialog = form_.BorderStyle == TFormBorderStyle::Dialog;
    gtk_window_set_resizable(window, dialog ? FALSE : TRUE);
    if (dialog) gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    ApplyFont();

    if (form_.BorderIconHelp) {
        GtkWidget *bar = gtk_header_bar_new();
        gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(bar), TRUE);
        GtkWidget *help = gtk_button_new_with_label("?");
        gtk_widget_set_focus_on_click(help, FALSE);
        gtk_widget_set_tooltip_text(help, "Help");
        Connect(help, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                    Dispatch<TFormAdapter>(p, [](TFormAdapter &a, int) { a.form_.ShowHelp(); });
                }));
        gtk_header_bar_pack_end(GTK_HEADER_BAR(bar), help);
        gtk_window_set_titlebar(window, bar);
    }

    // The client area is a layout: a window of its own (made native below) whose size is the
    // form's client size alone. A fixed container would ask its children instead, and a
    // wrapping label asks for the height of its narrowest wrap.
    fixed_ = gtk_layout_new(nullptr, nullptr);
    g_signal_connect_after(fixed_, "realize", G_CALLBACK(+[](GtkWidget *w, gpointer) {
                               if (GdkWindow *area = gtk_widget_get_window(w))
                                   gdk_window_ensure_native(area);
                           }),
                           nullptr);
    // The layout paints nothing by itself: give it the dialog's background.
    g_signal_connect(fixed_, "draw", G_CALLBACK(+[](GtkWidget *w, cairo_t *cr, gpointer) {
                         GtkWidget *top = gtk_widget_get_toplevel(w);
                         gtk_render_background(gtk_widget_get_style_context(top), cr, 0, 0,
                                               gtk_widget_get_allocated_width(w),
                                               gtk_widget_get_allocated_height(w));
                         return FALSE;
                     }),
                     nullptr);
    gtk_container_add(GTK_CONTAINER(outer_), fixed_);

    // The close button cancels, as the Cancel button would. Not guarded: nothing here throws.
    Connect(outer_, "delete-event",
            G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                auto *b = static_cast<TBinding *>(p);
                static_cast<TFormAdapter *>(b->Adapter)->form_.ModalResult = mrCancel;
                return TRUE;
            }));
}

void TFormAdapter::ApplyBounds() {
    GtkWindow *window = Window();
    if (form_.BorderStyle == TFormBorderStyle::Dialog) {
        gtk_widget_set_size_request(fixed_, form_.Width(), form_.Height());
        return;
    }
    gtk_widget_set_size_request(fixed_, std::max(1, form_.MinWidth), std::max(1, form_.MinHeight));
    if (gtk_widget_get_realized(outer_))
        gtk_window_resize(window, std::max(1, form_.Width()), std::max(1, form_.Height()));
    else
        gtk_window_set_default_size(window, std::max(1, form_.Width()),
                                    std::max(1, form_.Height()));
}

void TFormAdapter::ApplyText() {
    gtk_window_set_title(Window(), ToUtf8(form_.Caption()).c_str());
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

}  // namespace brevor::gtkui
