// Shows the module's options dialog on a real display (under Wine, a virtual X display) and
// drives it from a thread of this host program, as a user would: clicks and keys posted to the
// dialog's windows.
//
//   brevor_win32_gui_test <artifact folder>
//
// Exit codes: 0 passed, 1 failed, 77 skipped.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "brevor/abi.h"
#include "host_module.h"
#include "params_builder.h"
#include "support/temp_folder.h"

extern "C" BREVOR_HOST_EXPORT std::int32_t BRV_CALL fSendData(std::uintptr_t, std::int32_t,
                                                              std::int32_t, const void *,
                                                              std::int32_t count) {
    return count;
}

namespace {

using Clock = std::chrono::steady_clock;
using namespace brevor;

std::atomic<int> g_failures{0};

void Check(bool ok, const std::string &what) {
    std::cout << (ok ? "  ok:   " : "  FAIL: ") << what << std::endl;
    if (!ok) ++g_failures;
}

bool WaitFor(const std::function<bool()> &done, int milliseconds = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

std::wstring ClassOf(HWND w) {
    wchar_t name[64] = {};
    ::GetClassNameW(w, name, 64);
    return name;
}

std::wstring TextOf(HWND w) {
    wchar_t text[256] = {};
    ::GetWindowTextW(w, text, 256);
    return text;
}

using TVisit = std::function<bool(HWND)>;  // false stops the walk

BOOL CALLBACK VisitWindow(HWND w, LPARAM p) {
    return (*reinterpret_cast<TVisit *>(p))(w) ? TRUE : FALSE;
}

// The top-level windows (parent null) or the child windows of parent.
void EachWindow(HWND parent, TVisit visit) {
    if (parent)
        ::EnumChildWindows(parent, &VisitWindow, reinterpret_cast<LPARAM>(&visit));
    else
        ::EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&visit));
}

// The visible top-level windows of this process of the module's window class.
std::vector<HWND> DialogWindows() {
    std::vector<HWND> found;
    EachWindow(nullptr, [&](HWND w) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) &&
            ClassOf(w) == L"BrevorDialogGroup")
            found.push_back(w);
        return true;
    });
    return found;
}

// The visible dialog owned by owner, waiting for it; null when none came.
HWND WaitForDialog(HWND owner, int milliseconds) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND w : DialogWindows())
                if (::GetWindow(w, GW_OWNER) == owner) found = w;
            return found != nullptr;
        },
        milliseconds);
    return found;
}

// The visible child window of a class whose top left corner is at (x, y) of the dialog's
// client area.
HWND ChildAt(HWND dialog, const wchar_t *windowClass, int x, int y) {
    HWND found = nullptr;
    EachWindow(dialog, [&](HWND w) {
        if (_wcsicmp(ClassOf(w).c_str(), windowClass) != 0 || !::IsWindowVisible(w)) return true;
        RECT r;
        ::GetWindowRect(w, &r);
        POINT corner{r.left, r.top};
        ::ScreenToClient(dialog, &corner);
        if (corner.x != x || corner.y != y) return true;
        found = w;
        return false;
    });
    return found;
}

HWND ButtonNamed(HWND dialog, const std::wstring &caption) {
    HWND found = nullptr;
    EachWindow(dialog, [&](HWND w) {
        std::wstring plain;
        for (wchar_t c : TextOf(w))
            if (c != L'&') plain += c;
        if (_wcsicmp(ClassOf(w).c_str(), L"Button") != 0 || plain != caption ||
            !::IsWindowVisible(w))
            return true;
        found = w;
        return false;
    });
    return found;
}

// A click as the mouse makes it: button down (the window takes the focus), button up.
void Click(HWND w) {
    const LPARAM at = MAKELPARAM(4, 4);
    ::PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(w, WM_LBUTTONUP, 0, at);
}

void Key(HWND w, WPARAM key) {
    ::PostMessageW(w, WM_KEYDOWN, key, 1);
    ::PostMessageW(w, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

struct TShot {
    int Width = 0, Height = 0;
    std::size_t Colours = 0;
    std::size_t Black = 0;  // pixels: text, and whatever was not painted yet
    std::uint32_t Sum = 0;  // of the pixels, to tell two pictures apart

    // Painted: more than a few colours, and black no more than text makes.
    bool Drawn() const {
        return Colours > 8 && Black * 8 < static_cast<std::size_t>(Width) * Height;
    }
};

std::uint32_t Crc32(const std::string &bytes, std::uint32_t crc = 0) {
    crc = ~crc;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::string &out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

// A PNG file of 8-bit RGB rows, compressed with stored blocks only (no compression library
// on the test's side).
void WritePng(const std::string &file, int width, int height, const std::string &rgb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(rgb, static_cast<std::size_t>(y) * width * 3,
                   static_cast<std::size_t>(width) * 3);
    }
    std::string zlib = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        zlib += static_cast<char>(last ? 1 : 0);
        zlib += static_cast<char>(n & 0xFF);
        zlib += static_cast<char>(n >> 8);
        zlib += static_cast<char>(~n & 0xFF);
        zlib += static_cast<char>((~n >> 8) & 0xFF);
        zlib.append(raw, at, n);
        if (last) break;
    }
    PutBig32(zlib, (b << 16) | a);
    auto chunk = [](std::string &out, const char *type, const std::string &data) {
        PutBig32(out, static_cast<std::uint32_t>(data.size()));
        const std::string typed = std::string(type) + data;
        out += typed;
        PutBig32(out, Crc32(typed));
    };
    std::string header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", zlib);
    chunk(png, "IEND", "");
    std::ofstream(file, std::ios::binary) << png;
}

// Copies the window's client area from the screen, counts its colours and writes it as a PNG
// file.
TShot Screenshot(HWND w, const std::string &file) {
    TShot shot;
    RECT r;
    ::GetClientRect(w, &r);
    shot.Width = r.right;
    shot.Height = r.bottom;
    if (shot.Width <= 0 || shot.Height <= 0) return shot;
    HDC source = ::GetDC(w);
    HDC memory = ::CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.Width;
    info.bmiHeader.biHeight = -shot.Height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, shot.Width, shot.Height, source, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto *pixels = static_cast<const std::uint32_t *>(bits);
    const std::size_t count = static_cast<std::size_t>(shot.Width) * shot.Height;
    std::set<std::uint32_t> colours;
    std::string rgb;
    rgb.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i] & 0xFFFFFFu;
        colours.insert(p);
        if (p == 0) ++shot.Black;
        rgb += static_cast<char>((p >> 16) & 0xFF);
        rgb += static_cast<char>((p >> 8) & 0xFF);
        rgb += static_cast<char>(p & 0xFF);
    }
    shot.Colours = colours.size();
    shot.Sum = Crc32(rgb);
    WritePng(file, shot.Width, shot.Height, rgb);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(w, source);
    return shot;
}

// Waits until the window has been drawn (more than a few colours), then keeps it.
TShot DrawnScreenshot(HWND w, const std::string &file) {
    // Painted, and the same picture twice in a row: the painting is over.
    TShot shot, previous;
    WaitFor(
        [&] {
            previous = shot;
            shot = Screenshot(w, file);
            return shot.Drawn() && shot.Sum == previous.Sum;
        },
        5000);
    return shot;
}

// The host's main window: the options dialog's owner.
HWND MakeOwnerWindow() {
    return ::CreateWindowExW(0, L"STATIC", L"Brevor test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             100, 100, 700, 700, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                             nullptr);
}

std::int64_t ShowOptions(host::TLoadedModule &module, std::int32_t id, const std::string &ini,
                         HWND owner) {
    host::TParamsBuilder p;
    p.Add("INI-FILE", ini)
        .Add("OWNERFORM", static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(owner)));
    TPluginCallRec rec = host::MakeCallRecord(id, p.List());
    module->ShowOptionsDialog(&rec);
    return static_cast<std::int64_t>(rec.ResultValue);
}

// First showing: the size, the drawing, a folder that does not exist, Cancel.
void DriveCancel(HWND owner, const std::string &artifacts) {
    HWND dialog = WaitForDialog(owner, 30000);
    Check(dialog != nullptr, "the options dialog appears, owned by the host's window");
    if (!dialog) return;
    RECT client;
    ::GetClientRect(dialog, &client);
    Check(client.right == 500 && client.bottom == 565, "the dialog's client area is 500 x 565 (" +
                                                           std::to_string(client.right) + " x " +
                                                           std::to_string(client.bottom) + ")");
    Check(!::IsWindowEnabled(owner), "the owner is disabled while the dialog is shown");
    // The owner is 700 x 700 at (100, 100): the dialog's 500 x 565 centred over it.
    RECT placed;
    ::GetWindowRect(dialog, &placed);
    Check(placed.left == 200 && placed.top == 167, "the dialog is centred over its owner (at " +
                                                       std::to_string(placed.left) + ", " +
                                                       std::to_string(placed.top) + ")");
    const TShot shot = DrawnScreenshot(dialog, artifacts + "/options-dialog-win32.png");
    Check(shot.Drawn(), "the dialog is drawn (" + std::to_string(shot.Colours) + " colours, " +
                            std::to_string(shot.Black) + " black pixels)");

    // A folder that does not exist cannot be left: the error comes up over the dialog.
    HWND folder = ChildAt(dialog, L"Edit", 132, 40);
    Check(folder != nullptr, "the folder box is where the form puts it");
    if (folder) {
        Click(folder);
        WaitFor([&] { return ::GetFocus() == folder || true; }, 200);
        ::SendMessageW(folder, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\no\\such\\folder"));
        Key(folder, VK_TAB);
        HWND message = WaitForDialog(dialog, 10000);
        Check(message != nullptr, "leaving a folder that does not exist shows the error over it");
        if (message) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const TShot m = DrawnScreenshot(message, artifacts + "/message-dialog-win32.png");
            Check(m.Drawn(), "the error is drawn (" + std::to_string(m.Colours) + " colours)");
            Check(!::IsWindowEnabled(dialog), "the dialog is disabled under the error");
            Key(message, VK_RETURN);
            Check(WaitFor([&] { return !::IsWindow(message) || !::IsWindowVisible(message); }),
                  "Enter closes the error");
        }
    }
    HWND cancel = ButtonNamed(dialog, L"Cancel");
    Check(cancel != nullptr, "the dialog has a Cancel button");
    if (cancel) Click(cancel);
    if (!WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); })) {
        Check(false, "Cancel closes the dialog");
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

HWND FirstChildOfClass(HWND dialog, const wchar_t *windowClass) {
    HWND found = nullptr;
    EachWindow(dialog, [&](HWND w) {
        if (_wcsicmp(ClassOf(w).c_str(), windowClass) != 0) return true;
        found = w;
        return false;
    });
    return found;
}

// The scheduler page: chosen by a click on its tab; a tool button adds a row to its list.
void DriveSchedulerPage(HWND dialog, const std::string &artifacts) {
    HWND tabs = FirstChildOfClass(dialog, WC_TABCONTROLW);
    HWND list = FirstChildOfClass(dialog, WC_LISTVIEWW);
    Check(tabs && list, "the dialog has its pages and the scheduler's list");
    if (!tabs || !list) return;
    RECT tab;
    ::SendMessageW(tabs, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&tab));
    const LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    ::PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(tabs, WM_LBUTTONUP, 0, at);
    Check(WaitFor([&] { return ::IsWindowVisible(list) != FALSE; }),
          "a click on the third tab shows the scheduler page");
    HWND add = ButtonNamed(dialog, L"Add time");
    Check(add != nullptr, "the scheduler has its tool buttons");
    if (!add) return;
    // Greyed while the page is not active: a click there does nothing.
    Click(add);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Check(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0, "a greyed tool button does nothing");
    HWND active = ButtonNamed(dialog, L"Active");
    Check(active != nullptr, "the scheduler page has its Active box");
    if (active) Click(active);
    Check(WaitFor([&] { return ::IsWindowEnabled(add) != FALSE; }),
          "checking Active enables the tool buttons");
    Click(add);
    Check(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }),
          "the tool button adds a row to the list");
    Check(WaitFor([&] { return ::SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED) == 0; }),
          "the new row is chosen");
    // The new row is painted a moment after it is there.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const TShot shot = DrawnScreenshot(dialog, artifacts + "/options-scheduler-win32.png");
    Check(shot.Drawn(), "the scheduler page is drawn");
}

// Second showing: a new scan interval, a schedule row, OK.
void DriveOk(HWND owner, const std::string &artifacts) {
    HWND dialog = WaitForDialog(owner, 30000);
    Check(dialog != nullptr, "the options dialog appears again");
    if (!dialog) return;
    // Moved to a monitor of 144 dots per inch and back: the form is laid out again at each.
    const auto dpiChanged = [&](int dpi) {
        RECT at;
        ::GetWindowRect(dialog, &at);
        ::SendMessageW(dialog, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&at));
        RECT client;
        ::GetClientRect(dialog, &client);
        HWND folderBox = ChildAt(dialog, L"Edit", 132 * dpi / 96, 40 * dpi / 96);
        return std::to_string(client.right) + "x" + std::to_string(client.bottom) +
               (folderBox ? " folder box placed" : " folder box elsewhere");
    };
    const std::string large = dpiChanged(144);
    Check(large == "750x848 folder box placed", "laid out at 144 dots per inch: " + large);
    const std::string normal = dpiChanged(96);
    Check(normal == "500x565 folder box placed", "laid out at 96 dots per inch again: " + normal);

    // The browse button beside the folder opens the system's folder dialog over this one;
    // closing it leaves the folder as it was.
    HWND folder = ChildAt(dialog, L"Edit", 132, 40);
    HWND browse = ChildAt(dialog, L"Button", 132 + 360 - 23, 40);
    Check(folder && browse, "the folder box has its browse button");
    if (folder && browse) {
        const std::wstring before = TextOf(folder);
        Click(browse);
        HWND chooser = nullptr;
        WaitFor([&] {
            EachWindow(nullptr, [&](HWND w) {
                if (::IsWindowVisible(w) && ::GetWindow(w, GW_OWNER) == dialog &&
                    ClassOf(w) == L"#32770")
                    chooser = w;
                return chooser == nullptr;
            });
            return chooser != nullptr;
        });
        Check(chooser != nullptr, "the browse button opens the folder dialog over the dialog");
        if (chooser) {
            ::PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
            Check(WaitFor([&] { return !::IsWindow(chooser); }), "the folder dialog closes");
        }
        Check(TextOf(folder) == before, "a cancelled folder dialog leaves the folder");
    }
    HWND interval = ChildAt(dialog, L"Edit", 132, 8);
    Check(interval != nullptr, "the scan interval box is where the form puts it");
    // The up arrow beside the box steps the value (5, from the INI file) by one.
    HWND arrows = ChildAt(dialog, UPDOWN_CLASSW, 132 + 120 - 16, 8);
    Check(arrows != nullptr, "the scan interval has its arrows");
    if (interval && arrows) {
        ::PostMessageW(arrows, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 3));
        ::PostMessageW(arrows, WM_LBUTTONUP, 0, MAKELPARAM(8, 3));
        Check(WaitFor([&] { return TextOf(interval) == L"6"; }),
              "the up arrow steps the scan interval to 6");
    }
    if (interval) {
        Click(interval);
        ::SendMessageW(interval, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"17"));
    }
    DriveSchedulerPage(dialog, artifacts);
    HWND ok = ButtonNamed(dialog, L"OK");
    Check(ok != nullptr, "the dialog has an OK button");
    if (ok) Click(ok);
    if (!WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); })) {
        Check(false, "OK closes the dialog");
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::cerr << "usage: brevor_win32_gui_test <artifact folder>\n";
        return 2;
    }
    const std::string artifacts = argv[1];
    ::CreateDirectoryA(artifacts.c_str(), nullptr);
    HWND owner = MakeOwnerWindow();
    if (!owner) {
        std::cout << "SKIPPED: no display for windows" << std::endl;
        return 77;
    }
    brevor::testing::TempFolder dir;
    dir.Write("settings.ini", "[General]\r\nScan interval=5\r\n");
    const std::string ini = dir.File("settings.ini");
    host::TLoadedModule module(BREVOR_MODULE_PATH);
    const std::int32_t id = 7;
    {
        host::TParamsBuilder p;
        p.Add("COMMAND", "LOAD").Add("INI-FILE", ini).Add("TEMPORARY-LOAD", false);
        TPluginCallRec rec = host::MakeCallRecord(id, p.List());
        Check(module->ExecutePluginCommand(&rec) == 0, "LOAD");
    }

    // The host's own thread calls, as a host's main window would; the driver is another thread.
    std::thread driver([&] { DriveCancel(owner, artifacts); });
    const std::int64_t first = ShowOptions(module, id, ini, owner);
    driver.join();
    if (first == 3) {
        std::cout << "SKIPPED: the module has no options dialog (status 3)" << std::endl;
        return 77;
    }
    Check(first == 0, "Cancel: closed without change (status " + std::to_string(first) + ")");
    Check(::IsWindowEnabled(owner) != FALSE, "the owner is enabled again");

    driver = std::thread([&] { DriveOk(owner, artifacts); });
    const std::int64_t second = ShowOptions(module, id, ini, owner);
    driver.join();
    Check(second == 1, "OK: settings changed (status " + std::to_string(second) + ")");
    const std::string stored = dir.Read("settings.ini");
    Check(stored.find("=17") != std::string::npos,
          "the INI file holds the new scan interval:\n" + stored);
    {
        host::TParamsBuilder p;
        p.Add("COMMAND", "UNLOAD");
        TPluginCallRec rec = host::MakeCallRecord(id, p.List());
        module->ExecutePluginCommand(&rec);
        TPluginCallRec rel = host::MakeReleaseRecord(id);
        module->GetModuleType(&rel);
    }
    ::DestroyWindow(owner);
    return g_failures ? 1 : 0;
}
