// Shows real windows on an X display (a virtual one under xvfb-run) and drives them with
// xdotool, as a user would.
//
//   brevor_gui_test form <artifact folder>     a model form through the GTK back end
//   brevor_gui_test options <artifact folder>  the module's options dialog through its export
//
// Exit codes: 0 passed, 1 failed, 77 skipped.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host_module.h"
#include "params_builder.h"
#include "support/temp_folder.h"
#include "ui/controls.h"
#include "ui/gtk/gtk_backend.h"

namespace {

using namespace brevor;
using Clock = std::chrono::steady_clock;

int g_failures = 0;

TRect Box(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

void Check(bool ok, const std::string &what) {
    std::cout << (ok ? "  ok:   " : "  FAIL: ") << what << std::endl;
    if (!ok) ++g_failures;
}

std::string Run(const std::string &command) {
    std::string out;
    if (FILE *p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

// The first visible window whose title matches, waiting up to timeout; 0 when none came.
unsigned long FindWindow(const std::string &title, int timeoutSeconds,
                         const std::function<bool()> &giveUp = {}) {
    const auto end = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (Clock::now() < end) {
        const std::string out =
            Run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
        if (!out.empty()) return std::stoul(out);
        if (giveUp && giveUp()) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

bool WindowShown(unsigned long id) {
    return Run("xdotool search --onlyvisible --name . 2>/dev/null").find(std::to_string(id)) !=
           std::string::npos;
}

struct TShot {
    int Width = 0, Height = 0;
    std::vector<unsigned char> Rgb;
    std::size_t Colours = 0;
};

TShot Screenshot(unsigned long window) {
    TShot shot;
    Display *display = XOpenDisplay(nullptr);
    if (!display) return shot;
    XWindowAttributes attrs;
    if (XGetWindowAttributes(display, window, &attrs)) {
        shot.Width = attrs.width;
        shot.Height = attrs.height;
        if (XImage *image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attrs.width),
                                      static_cast<unsigned>(attrs.height), AllPlanes, ZPixmap)) {
            std::set<unsigned long> colours;
            shot.Rgb.reserve(static_cast<std::size_t>(attrs.width * attrs.height * 3));
            for (int y = 0; y < attrs.height; ++y)
                for (int x = 0; x < attrs.width; ++x) {
                    const unsigned long p = XGetPixel(image, x, y);
                    colours.insert(p);
                    shot.Rgb.push_back(static_cast<unsigned char>((p >> 16) & 0xFF));
                    shot.Rgb.push_back(static_cast<unsigned char>((p >> 8) & 0xFF));
                    shot.Rgb.push_back(static_cast<unsigned char>(p & 0xFF));
                }
            shot.Colours = colours.size();
            XDestroyImage(image);
        }
    }
    XCloseDisplay(display);
    return shot;
}

// The first viewable window of exactly width x height at or below window, or 0.
unsigned long FindWindowOfSize(Display *display, unsigned long window, int width, int height) {
    XWindowAttributes attrs;
    if (XGetWindowAttributes(display, window, &attrs) && attrs.map_state == IsViewable &&
        attrs.c_class == InputOutput && attrs.width == width && attrs.height == height)
        return window;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = FindWindowOfSize(display, children[i], width, height);
        if (children) XFree(children);
    }
    return found;
}

unsigned long FindWindowOfSize(unsigned long window, int width, int height) {
    Display *display = XOpenDisplay(nullptr);
    if (!display) return 0;
    const unsigned long found = FindWindowOfSize(display, window, width, height);
    XCloseDisplay(display);
    return found;
}

// Waits until the window has been drawn (more than a few colours), then takes it.
TShot DrawnScreenshot(unsigned long window) {
    TShot shot;
    const auto end = Clock::now() + std::chrono::seconds(5);
    do {
        shot = Screenshot(window);
        if (shot.Colours > 8) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return shot;
}

void SavePng(const TShot &shot, const std::string &path) {
    if (shot.Rgb.empty()) return;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    GdkPixbuf *pixbuf =
        gdk_pixbuf_new_from_data(shot.Rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, shot.Width,
                                 shot.Height, shot.Width * 3, nullptr, nullptr);
    GError *error = nullptr;
    if (!gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr)) {
        std::cout << "  could not save " << path << ": " << (error ? error->message : "?")
                  << std::endl;
        if (error) g_error_free(error);
    } else {
        std::cout << "  screenshot: " << path << std::endl;
    }
    g_object_unref(pixbuf);
}

void Focus(unsigned long window) {
    Run("xdotool windowfocus --sync " + std::to_string(window) + " 2>/dev/null");
}

void ClickAt(unsigned long window, int x, int y) {
    Run("xdotool mousemove --sync --window " + std::to_string(window) + " " + std::to_string(x) +
        " " + std::to_string(y) + " click 1 2>/dev/null");
}

bool WaitFor(const std::function<bool()> &condition, int timeoutMs = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// ---------------------------------------------------------------- a model form

int FormTest(const std::string &artifacts) {
    TGtkBackend backend;
    TUiBackend *previous = SetUiBackend(&backend);
    std::vector<std::pair<std::string, std::int32_t>> help;
    backend.HelpOpener = [&](const std::string &file, std::int32_t context) {
        help.emplace_back(file, context);
    };

    // Built, shown and freed on the GTK thread; the test thread reads it through
    // RunOnUiThread while it is shown.
    TForm *form = nullptr;
    TEdit *name = nullptr;
    TCheckBox *check = nullptr;
    TRadioGroup *radio = nullptr;
    TListView *list = nullptr;
    std::atomic<int> result{-1};
    int nestedResult = -1;
    std::string finalName;
    bool finalChecked = false;
    int finalRadio = -2, finalRow = -2;
    double finalSpin = -1;
    TSpinEdit *spin = nullptr;

    std::thread shower([&] {
        backend.RunOnUiThread([&] {
            form = new TForm;
            form->SetCaption("Brevor model form");
            form->BorderStyle = TFormBorderStyle::Dialog;
            form->Position = TFormPosition::ScreenCenter;
            form->SetBounds(0, 0, 420, 260);
            auto *label = MakeControl<TLabel>(form, form, "nameLabel", Box(12, 16, 70, 32));
            label->SetCaption("&Name:");
            name = MakeControl<TEdit>(form, form, "nameEdit", Box(80, 12, 200, 28));
            label->FocusControl = name;
            // "bad" cannot be left: the focus stays and a click elsewhere is dropped.
            name->OnExit = [](TWinControl *sender, TWinControl *, bool &allow) {
                allow = static_cast<TEdit *>(sender)->Text() != "bad";
            };
            check = MakeControl<TCheckBox>(form, form, "enabledCheck", Box(12, 56, 200, 24));
            check->SetCaption("&Enabled");
            radio = MakeControl<TRadioGroup>(form, form, "modeGroup", Box(12, 88, 200, 70));
            radio->SetCaption("Mode");
            radio->Items().Add("Alpha");
            radio->Items().Add("Beta");
            radio->Columns = 2;
            radio->SetItemIndex(0);
            // A spin box without limits of its own keeps the value it was given.
            spin = MakeControl<TSpinEdit>(form, form, "countSpin", Box(80, 172, 110, 28));
            spin->SetValue(128);
            list = MakeControl<TListView>(form, form, "rowsList", Box(220, 56, 188, 102));
            list->Columns().Add("Item", 90);
            list->Columns().Add("Value", 80);
            list->AddItem({"first", {"1"}, false});
            list->AddItem({"second", {"2"}, false});
            auto *image = MakeControl<TImage>(form, form, "icon", Box(12, 168, 48, 48));
            image->IconId = 32516;
            auto *nested = MakeControl<TButton>(form, form, "nestedButton", Box(80, 212, 100, 30));
            nested->SetCaption("Ne&sted...");
            nested->OnClick = [&](TObject *) {
                TForm inner;
                inner.SetCaption("Brevor nested form");
                inner.BorderStyle = TFormBorderStyle::Dialog;
                inner.SetBounds(0, 0, 220, 80);
                auto *ok = MakeControl<TButton>(&inner, &inner, "innerOk", Box(60, 24, 100, 30));
                ok->SetCaption("OK");
                ok->Default = true;
                ok->ModalResult = mrOk;
                nestedResult = inner.ShowModal();
            };
            auto *ok = MakeControl<TButton>(form, form, "okButton", Box(220, 212, 90, 30));
            ok->SetCaption("OK");
            ok->ModalResult = mrOk;
            ok->Default = true;
            auto *cancel = MakeControl<TButton>(form, form, "cancelButton", Box(318, 212, 90, 30));
            cancel->SetCaption("Cancel");
            cancel->ModalResult = mrCancel;
            cancel->Cancel = true;
            form->SetActiveControlSilently(name);

            result = form->ShowModal();
            finalName = name->Text();
            finalChecked = check->Checked();
            finalRadio = radio->ItemIndex();
            finalRow = list->ItemIndex();
            finalSpin = spin->Value();
            delete form;
            form = nullptr;
        });
    });
    auto query = [&](const std::function<void()> &read) { backend.RunOnUiThread(read); };
    auto active = [&] {
        std::string n;
        query([&] { n = form && form->ActiveControl() ? form->ActiveControl()->Name() : ""; });
        return n;
    };

    const unsigned long window =
        FindWindow("Brevor model form", 20, [&] { return result.load() != -1; });
    Check(window != 0, "the form's window appears");
    if (window) {
        const TShot shot = DrawnScreenshot(window);
        SavePng(shot, artifacts + "/model-form.png");
        Check(shot.Width == 420 && shot.Height == 260, "window is the form's client size (got " +
                                                           std::to_string(shot.Width) + "x" +
                                                           std::to_string(shot.Height) + ")");
        Check(shot.Colours > 8, "window is drawn (" + std::to_string(shot.Colours) + " colours)");
        Focus(window);

        // Typing reaches the model.
        ClickAt(window, 150, 30);
        Run("xdotool type --delay 20 bad");
        bool typed = WaitFor([&] {
            std::string t;
            query([&] { t = name->Text(); });
            return t == "bad";
        });
        Check(typed, "typed text reaches the edit's model");

        // A click on OK while the edit refuses to lose the focus is dropped.
        ClickAt(window, 265, 230);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        int modal = -1;
        query([&] { modal = form ? form->ModalResult : -1; });
        Check(modal == mrNone && active() == "nameEdit",
              "refused focus change keeps the focus and drops the click");

        Run("xdotool key ctrl+a");
        Run("xdotool type --delay 20 hello");
        Check(WaitFor([&] {
                  std::string t;
                  query([&] { t = name->Text(); });
                  return t == "hello";
              }),
              "the edit's text is replaced");

        // Tab follows the model's order; the widget focus follows the model.
        Run("xdotool key Tab");
        Check(WaitFor([&] { return active() == "enabledCheck"; }), "Tab moves to the check box");

        ClickAt(window, 20, 68);
        Check(WaitFor([&] {
                  bool c = false;
                  query([&] { c = check->Checked(); });
                  return c;
              }),
              "clicking the check box checks the model");

        ClickAt(window, 150, 125);  // "Beta", second column
        Check(WaitFor([&] {
                  int i = -1;
                  query([&] { i = radio->ItemIndex(); });
                  return i == 1;
              }),
              "clicking a radio item chooses it");

        ClickAt(window, 260, 112);  // the second row, below the header
        Check(WaitFor([&] {
                  int i = -1;
                  query([&] { i = list->ItemIndex(); });
                  return i >= 0;
              }),
              "clicking a row selects it in the model");

        // The model changed from code shows in the widgets.
        query([&] { check->SetChecked(false); });
        const TShot after = Screenshot(window);
        Check(after.Colours > 8, "still drawn after a model change");

        // A nested modal form opened from a click handler.
        ClickAt(window, 130, 230);
        const unsigned long inner = FindWindow("Brevor nested form", 10);
        Check(inner != 0, "the nested form appears");
        if (inner) {
            Focus(inner);
            Run("xdotool key Return");
            Check(WaitFor([&] { return !WindowShown(inner); }), "Enter closes the nested form");
        }
        Check(WaitFor([&] {
                  int r = -1;
                  query([&] { r = nestedResult; });
                  return r == mrOk;
              }),
              "the nested form answered OK");

        // F1 asks for help; OK closes the form.
        Focus(window);
        Run("xdotool key F1");
        Check(WaitFor([&] {
                  bool asked = false;
                  query([&] { asked = !help.empty(); });
                  return asked;
              }),
              "F1 asks for help");
        ClickAt(window, 265, 230);
    }
    if (!WaitFor([&] { return result.load() != -1; }, 10000)) {
        std::cout << "  FAIL: the form did not close" << std::endl;
        std::_Exit(1);  // the GTK thread is stuck in the form: nothing to join
    }
    shower.join();
    Check(result == mrOk, "OK closes the form with mrOk (got " + std::to_string(result) + ")");
    Check(finalName == "hello" && !finalChecked && finalRadio == 1 && finalRow >= 0,
          "the model holds what was entered");
    Check(finalSpin == 128, "the spin box kept its value (" + std::to_string(finalSpin) + ")");
    SetUiBackend(previous);
    backend.Shutdown();
    return g_failures ? 1 : 0;
}

// ---------------------------------------------------------------- the options dialog

int OptionsTest(const std::string &artifacts) {
    brevor::testing::TempFolder dir;
    dir.Write("settings.ini", "[General]\n");
    const std::string ini = dir.File("settings.ini");
    host::TLoadedModule module(BREVOR_MODULE_PATH);
    const std::int32_t id = 7;
    {
        host::TParamsBuilder p;
        p.Add("COMMAND", "LOAD").Add("INI-FILE", ini).Add("TEMPORARY-LOAD", false);
        TPluginCallRec rec = host::MakeCallRecord(id, p.List());
        Check(module->ExecutePluginCommand(&rec) == 0, "LOAD");
    }
    std::atomic<bool> done{false};
    std::atomic<std::int64_t> status{-1};
    std::thread caller([&] {
        host::TParamsBuilder p;
        p.Add("INI-FILE", ini);
        TPluginCallRec rec = host::MakeCallRecord(id, p.List());
        module->ShowOptionsDialog(&rec);
        status = static_cast<std::int64_t>(rec.ResultValue);
        done = true;
    });

    // Any visible window of this process is the dialog.
    unsigned long window = 0;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (!window && !done && Clock::now() < end) {
        const std::string out = Run("xdotool search --onlyvisible --pid " +
                                    std::to_string(::getpid()) + " 2>/dev/null");
        if (!out.empty()) window = std::stoul(out);
        if (!window) {
            const std::string any = Run("xdotool search --onlyvisible --name . 2>/dev/null");
            if (!any.empty()) window = std::stoul(any);
        }
        if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!window && done && status == 3) {
        caller.join();
        std::cout << "SKIPPED: the module has no options dialog yet (status 3)" << std::endl;
        return 77;
    }
    Check(window != 0, "the options dialog appears");
    if (window) {
        const TShot shot = DrawnScreenshot(window);
        SavePng(shot, artifacts + "/options-dialog.png");
        // The title bar is the toolkit's; the dialog's own client area is a window of its own.
        const unsigned long client = FindWindowOfSize(window, 500, 565);
        Check(client != 0, "the dialog's client area is 500 x 565 (window " +
                               std::to_string(shot.Width) + "x" + std::to_string(shot.Height) +
                               ")");
        const TShot inside = client ? DrawnScreenshot(client) : TShot{};
        Check(inside.Colours > 8,
              "dialog is drawn (" + std::to_string(inside.Colours) + " colours)");
        // A folder that does not exist cannot be left: the error comes up over the dialog, and
        // the focus stays in the box until Cancel takes it.
        if (client) {
            ClickAt(client, 300, 51);
            Run("xdotool key --clearmodifiers ctrl+a");
            Run("xdotool type --delay 2 /no/such/folder");
            Run("xdotool key Tab");
            const unsigned long message = FindWindow("Error", 10);
            Check(message != 0, "leaving a folder that does not exist shows the error");
            if (message) {
                // The window is on top as soon as it is found, but is painted a moment later.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                const TShot m = DrawnScreenshot(message);
                SavePng(m, artifacts + "/message-dialog.png");
                Check(m.Colours > 8,
                      "the error is drawn (" + std::to_string(m.Colours) + " colours)");
                // One line of text beside an icon, one button: a small window, laid out by
                // the message table and not stretched by the toolkit.
                Check(m.Width > 200 && m.Width < 600 && m.Height > 80 && m.Height < 250,
                      "the error keeps its laid-out size (" + std::to_string(m.Width) + "x" +
                          std::to_string(m.Height) + ")");
                Focus(message);
                Run("xdotool key Return");
                Check(WaitFor([&] { return !WindowShown(message); }), "OK closes the error");
            }
        }
        // Cancel sits 4 pixels right of OK, whose right edge is 2 pixels left of the middle of
        // the 45-pixel bottom panel; the buttons are 75 x 25, 10 pixels down.
        Focus(window);
        if (client)
            Run("xdotool mousemove --window " + std::to_string(client) + " 289 542 click 1");
        else
            Run("xdotool key Escape");
    }
    if (!WaitFor([&] { return done.load(); }, 10000)) {
        std::cout << "  FAIL: the dialog did not close" << std::endl;
        std::_Exit(1);
    }
    caller.join();
    Check(status == 0, "closed without change (status " + std::to_string(status) + ")");
    {
        host::TParamsBuilder p;
        p.Add("COMMAND", "UNLOAD");
        TPluginCallRec rec = host::MakeCallRecord(id, p.List());
        module->ExecutePluginCommand(&rec);
        TPluginCallRec rel = host::MakeReleaseRecord(id);
        module->GetModuleType(&rel);
    }
    return g_failures ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::cerr << "usage: brevor_gui_test form|options <artifact folder>\n";
        return 2;
    }
    if (!std::getenv("DISPLAY")) {
        std::cout << "SKIPPED: no display" << std::endl;
        return 77;
    }
    const std::string mode = argv[1];
    if (mode == "form") return FormTest(argv[2]);
    if (mode == "options") return OptionsTest(argv[2]);
    std::cerr << "unknown mode " << mode << "\n";
    return 2;
}
