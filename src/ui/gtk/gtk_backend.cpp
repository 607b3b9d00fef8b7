#include "ui/gtk/gtk_backend.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/platform.h"
#include "ui/controls.h"
#include "ui/gtk/gtk_internal.h"

namespace brevor {

using gtkui::FromUtf8;
using gtkui::ToUtf8;

namespace {

// Native widgets are taller than the pixel geometry forms are laid out for: tighter padding
// for the widgets on our forms only.
const char kCompactCss[] =
    ".brevor-form entry { min-height: 0; padding-top: 1px; padding-bottom: 1px; }\n"
    ".brevor-form button { min-height: 0; min-width: 0; padding: 1px 6px; }\n"
    ".brevor-form spinbutton button { padding: 0 4px; }\n"
    ".brevor-form checkbutton, .brevor-form radiobutton { min-height: 0; padding: 0; }\n"
    ".brevor-form notebook tab { min-height: 0; padding: 2px 8px; }\n"
    ".brevor-form treeview.view header button { padding: 1px 4px; }\n";

void DefaultHelpOpener(const std::string &helpFile, std::int32_t context) {
    // The pages' viewer runs detached; a missing page or viewer shows nothing.
    platform::OpenHelpPage(helpFile, context);
}

PangoFontDescription *FontDescription(const TFont &font) {
    PangoFontDescription *d = pango_font_description_from_string(ToUtf8(font.Name).c_str());
    pango_font_description_set_size(d, std::max(1, font.Size) * PANGO_SCALE);
    return d;
}

// Lays text out with the font on this thread's own font map (Pango needs no display).
// Queues fn on the GTK thread's context. Unlike g_main_context_invoke it never runs fn on the
// calling thread, even while the context has no owner.
void Post(GSourceFunc fn, gpointer data) {
    GSource *source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, fn, data, nullptr);
    g_source_attach(source, nullptr);
    g_source_unref(source);
}

TSize LayoutExtent(const TFont &font, const std::string &utf8, int maxWidth, bool wrap) {
    PangoFontMap *map = pango_cairo_font_map_get_default();
    PangoContext *context = pango_font_map_create_context(map);
    PangoLayout *layout = pango_layout_new(context);
    PangoFontDescription *d = FontDescription(font);
    pango_layout_set_font_description(layout, d);
    pango_layout_set_text(layout, utf8.c_str(), -1);
    if (wrap) {
        pango_layout_set_width(layout, std::max(1, maxWidth) * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    pango_font_description_free(d);
    g_object_unref(layout);
    g_object_unref(context);
    return {w, h};
}

}  // namespace

// ---------------------------------------------------------------- the GTK thread

struct TGtkBackend::TThread {
    enum class TState { Stopped, Starting, Running, Failed };

    std::mutex mutex;
    std::condition_variable changed;
    TState state = TState::Stopped;
    std::thread thread;
    std::thread::id id;
    GMainLoop *loop = nullptr;

    void Main() {
        bool ok = gtk_init_check(nullptr, nullptr) != FALSE;
        if (ok) {
            // GTK cannot be unloaded safely once it ran: keep it for the process's life.
            platform::PinLibrary("libgtk-3.so.0");
            GtkCssProvider *css = gtk_css_provider_new();
            gtk_css_provider_load_from_data(css, kCompactCss, -1, nullptr);
            gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                                      GTK_STYLE_PROVIDER(css),
                                                      GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
            g_object_unref(css);
        }
        {
            std::lock_guard lock(mutex);
            if (ok) loop = g_main_loop_new(nullptr, FALSE);
            state = ok ? TState::Running : TState::Failed;
        }
        changed.notify_all();
        if (!ok) return;
        g_main_loop_run(loop);
        // Work posted before the loop stopped still runs: its callers are waiting.
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }

    // Starts the thread when needed; throws EUiUnavailable without a display.
    void Ensure() {
        std::unique_lock lock(mutex);
        if (state == TState::Running) return;
        if (state == TState::Failed) {
            // Tried before without success: try again (a display may have come).
            lock.unlock();
            thread.join();
            lock.lock();
            state = TState::Stopped;
        }
        if (state == TState::Stopped) {
            state = TState::Starting;
            thread = std::thread([this] { Main(); });
            id = thread.get_id();
        }
        changed.wait(lock, [&] { return state != TState::Starting; });
        if (state != TState::Running)
            throw EUiUnavailable("No display is available for the user interface");
    }

    void Stop() {
        std::unique_lock lock(mutex);
        if (state == TState::Running) {
            GMainLoop *l = loop;
            Post(
                +[](gpointer p) -> gboolean {
                    gtkui::CancelAllModals();
                    g_main_loop_quit(static_cast<GMainLoop *>(p));
                    return G_SOURCE_REMOVE;
                },
                l);
        }
        if (thread.joinable()) {
            lock.unlock();
            thread.join();
            lock.lock();
        }
        if (loop) g_main_loop_unref(loop);
        loop = nullptr;
        state = TState::Stopped;
        id = {};
    }
};

TGtkBackend::TGtkBackend() : HelpOpener(&DefaultHelpOpener), thread_(std::make_unique<TThread>()) {}

TGtkBackend::~TGtkBackend() {
    Shutdown();
}

void TGtkBackend::Shutdown() {
    thread_->Stop();
}

bool TGtkBackend::OnUiThread() const {
    std::lock_guard lock(thread_->mutex);
    return thread_->state == TThread::TState::Running && thread_->id == std::this_thread::get_id();
}

void TGtkBackend::RunOnUiThread(const std::function<void()> &work) {
    if (OnUiThread()) {
        work();
        return;
    }
    thread_->Ensure();
    struct TCall {
        const std::function<void()> *work;
        std::exception_ptr error;
        bool done = false;
        std::mutex mutex;
        std::condition_variable finished;
    } call;
    call.work = &work;
    Post(
        +[](gpointer p) -> gboolean {
            auto *c = static_cast<TCall *>(p);
            try {
                (*c->work)();
            } catch (...) {
                c->error = std::current_exception();
            }
            {
                std::lock_guard lock(c->mutex);
                c->done = true;
            }
            c->finished.notify_all();
            return G_SOURCE_REMOVE;
        },
        &call);
    std::unique_lock lock(call.mutex);
    call.finished.wait(lock, [&] { return call.done; });
    if (call.error) std::rethrow_exception(call.error);
}

int TGtkBackend::ShowModal(TCustomForm &form) {
    int result = mrNone;
    RunOnUiThread([&] { result = gtkui::ShowFormModal(form); });
    return result;
}

int TGtkBackend::ShowMessageBox(const std::string &text, const std::string &caption,
                                unsigned flags) {
    int result = 0;
    try {
        RunOnUiThread([&] {
            GtkMessageType type = GTK_MESSAGE_OTHER;
            switch (flags & 0xF0) {
                case 0x10:
                    type = GTK_MESSAGE_ERROR;
                    break;
                case 0x20:
                    type = GTK_MESSAGE_QUESTION;
                    break;
                case 0x30:
                    type = GTK_MESSAGE_WARNING;
                    break;
                case 0x40:
                    type = GTK_MESSAGE_INFO;
                    break;
                default:
                    break;
            }
            struct TButtonDef {
                const char *label;
                int id;
            };
            std::vector<TButtonDef> buttons;
            switch (flags & 0x0F) {
                case 1:
                    buttons = {{"_OK", 1}, {"_Cancel", 2}};
                    break;
                case 2:
                    buttons = {{"_Abort", 3}, {"_Retry", 4}, {"_Ignore", 5}};
                    break;
                case 3:
                    buttons = {{"_Yes", 6}, {"_No", 7}, {"_Cancel", 2}};
                    break;
                case 4:
                    buttons = {{"_Yes", 6}, {"_No", 7}};
                    break;
                case 5:
                    buttons = {{"_Retry", 4}, {"_Cancel", 2}};
                    break;
                default:
                    buttons = {{"_OK", 1}};
                    break;
            }
            // Closing the box answers Cancel where there is one, OK for a lone OK button;
            // otherwise the box cannot be closed without choosing.
            int closeAnswer = 0;
            for (const auto &b : buttons)
                if (b.id == 2) closeAnswer = 2;
            if (buttons.size() == 1) closeAnswer = 1;

            GtkWidget *dialog =
                gtk_message_dialog_new(gtkui::TopModalWindow(), GTK_DIALOG_MODAL, type,
                                       GTK_BUTTONS_NONE, "%s", ToUtf8(text).c_str());
            gtk_window_set_title(GTK_WINDOW(dialog), ToUtf8(caption).c_str());
            gtk_window_set_deletable(GTK_WINDOW(dialog), closeAnswer ? TRUE : FALSE);
            for (const auto &b : buttons)
                gtk_dialog_add_button(GTK_DIALOG(dialog), b.label, b.id);
            const std::size_t defaultIndex = (flags >> 8) & 0x0F;
            gtk_dialog_set_default_response(
                GTK_DIALOG(dialog), buttons[defaultIndex < buttons.size() ? defaultIndex : 0].id);
            for (;;) {
                const int r = gtk_dialog_run(GTK_DIALOG(dialog));
                if (r > 0) {
                    result = r;
                    break;
                }
                if (closeAnswer) {
                    result = closeAnswer;
                    break;
                }
            }
            gtk_widget_destroy(dialog);
        });
    } catch (const EUiUnavailable &) {
        return 0;
    }
    return result;
}

namespace {

bool RunChooser(GtkFileChooserAction action, const std::string &title, const std::string &folder,
                std::string &path) {
    GtkWidget *dialog = gtk_file_chooser_dialog_new(
        ToUtf8(title).c_str(), gtkui::TopModalWindow(), action, "_Cancel", GTK_RESPONSE_CANCEL,
        action == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER ? "_Select" : "_Open", GTK_RESPONSE_ACCEPT,
        nullptr);
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
    if (action == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER) {
        if (!path.empty()) gtk_file_chooser_set_current_folder(chooser, path.c_str());
    } else {
        if (!path.empty()) gtk_file_chooser_set_filename(chooser, path.c_str());
        if (!folder.empty()) gtk_file_chooser_set_current_folder(chooser, folder.c_str());
    }
    bool chosen = false;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar *name = gtk_file_chooser_get_filename(chooser)) {
            path = FromUtf8(name);
            g_free(name);
            chosen = true;
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

}  // namespace

bool TGtkBackend::BrowseForFolder(const std::string &title, std::string &path) {
    bool chosen = false;
    try {
        RunOnUiThread(
            [&] { chosen = RunChooser(GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, title, {}, path); });
    } catch (const EUiUnavailable &) {
        return false;
    }
    return chosen;
}

bool TGtkBackend::BrowseForFile(const std::string &title, const std::string &folder,
                                std::string &path) {
    bool chosen = false;
    try {
        RunOnUiThread(
            [&] { chosen = RunChooser(GTK_FILE_CHOOSER_ACTION_OPEN, title, folder, path); });
    } catch (const EUiUnavailable &) {
        return false;
    }
    return chosen;
}

void TGtkBackend::ShowHelp(const std::string &helpFile, std::int32_t context) {
    if (HelpOpener) HelpOpener(helpFile, context);
}

TSize TGtkBackend::AverageCharSize(const TFont &font) {
    return LayoutExtent(font, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 0, false);
}

TSize TGtkBackend::MeasureText(const TFont &font, const std::string &text, int maxWidth,
                               unsigned flags) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // "&x" marks an accelerator and takes no room; "&&" shows one "&".
        if (text[i] == '&' && !(flags & tfNoPrefix) && i + 1 < text.size()) ++i;
        shown.push_back(text[i]);
    }
    if (!(flags & tfExpandTabs))
        for (char &c : shown)
            if (c == '\t') c = ' ';
    TSize size = LayoutExtent(font, ToUtf8(shown), maxWidth, (flags & tfWordBreak) != 0);
    // An empty text is one line high, as a label showing it is.
    if (shown.empty()) size.cx = 0;
    return size;
}

TSize TGtkBackend::IconSize(std::int32_t) {
    return {48, 48};  // the dialog icon size the images are shown at
}

TSize TGtkBackend::ScreenSize() {
    TSize size{1024, 768};
    try {
        RunOnUiThread([&] {
            GdkDisplay *display = gdk_display_get_default();
            GdkMonitor *monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
            if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
            if (!monitor) return;
            GdkRectangle r;
            gdk_monitor_get_geometry(monitor, &r);
            size = {r.width, r.height};
        });
    } catch (const EUiUnavailable &) {
    }
    return size;
}

// ---------------------------------------------------------------- the module's back end

namespace {

std::mutex g_installMutex;
TGtkBackend *g_installed = nullptr;

}  // namespace

void InstallGtkBackend() {
    std::lock_guard lock(g_installMutex);
    if (g_installed || !dynamic_cast<TNoUiBackend *>(&UiBackend())) return;
    // The toolkit and its libraries came with the module; their start-up code has run, and
    // unloading them with the module is not safe (nor is it for the memory they keep).
    platform::PinLibrary("libgtk-3.so.0");
    g_installed = new TGtkBackend;
    SetUiBackend(g_installed);
}

void ShutdownGtkBackend() {
    std::lock_guard lock(g_installMutex);
    if (!g_installed) return;
    if (&UiBackend() == g_installed) SetUiBackend(nullptr);
    delete g_installed;  // stops the thread
    g_installed = nullptr;
}

}  // namespace brevor
