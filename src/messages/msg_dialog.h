#pragma once

// The pieces of a message dialog that do not depend on a table: the button and icon kinds a
// row names, the system's own button captions, the geometry of a built dialog, and the themed
// colours of its body and button band.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/geometry.h"

namespace brevor {

// Button kinds; the kind is also the index of the button's caption in ButtonCaptions.
enum TMsgButtonKind : int {
    mbkYes = 0,
    mbkNo = 1,
    mbkOk = 2,
    mbkCancel = 3,
    mbkAbort = 4,
    mbkRetry = 5,
    mbkIgnore = 6,
    mbkAll = 7,
    mbkNoToAll = 8,
    mbkYesToAll = 9,
    mbkHelp = 10,
    mbkCustom = 11,  // any other name
};
constexpr int kMsgButtonKindCount = 12;

// Kind of a button name (trimmed, ASCII letters compared in upper case).
TMsgButtonKind MsgButtonKind(std::string_view name);
// The name a kind is written with ("YES", ...); empty for a custom button.
std::string_view MsgButtonName(TMsgButtonKind kind);
// The dialog result a button of that kind closes the dialog with; 0 for HELP and custom
// buttons, which do not close it.
int MsgButtonModalResult(TMsgButtonKind kind);
std::string_view DefaultButtonCaption(TMsgButtonKind kind);
// The twelve default captions, in kind order.
std::vector<std::string> DefaultButtonCaptions();

// Icon kinds.
enum TMsgIconKind : int {
    mikNone = 0,  // empty, or neither a known name nor digits
    mikApplication = 1,
    mikAsterisk = 2,
    mikError = 3,
    mikExclamation = 4,
    mikHand = 5,
    mikInformation = 6,
    mikQuestion = 7,
    mikWarning = 8,
    mikWinLogo = 9,
    mikDigits = 10,  // only digits: an empty picture area
};

TMsgIconKind MsgIconKind(std::string_view name);
// The standard icon (IDI_* number) shown for a kind; 0 for none and for the empty area.
std::int32_t MsgIconId(TMsgIconKind kind);
// The message box icon flag of a kind (0 for none).
unsigned MsgIconFlag(TMsgIconKind kind);

// The message box type of the exact set of kinds present (bit k for kind k), or -1 when the
// set fits no message box.
int MsgBoxType(unsigned kindSet);

// Message box flags beside the type, icon and default button.
constexpr unsigned kMbSetForeground = 0x10000;
constexpr unsigned kMbTopMost = 0x40000;

// The system's own captions, one per kind, read once for the whole process (under a
// process-wide lock) on first use. Kinds without a system string, and every kind where the
// system strings are not available, keep their default caption; a system string that cannot
// be read is empty.
const std::array<std::string, kMsgButtonKindCount> &SystemButtonCaptions();

// What the geometry of a built dialog depends on. Measures in pixels.
struct TMsgDlgMetrics {
    TSize CharSize;  // cx: average character width, cy: character height
    TSize Text;      // extent of the wrapped message text
    bool HasIcon = false;
    TSize Icon;  // the picture's size
    bool CheckBoxVisible = false;
    int CheckBoxTextWidth = 0;
    int CheckBoxHeight = 0;
    int ButtonCount = 1;
    bool ModernLayout = true;  // the system's newer layout: wider margins, right-aligned buttons
};

struct TMsgDlgLayout {
    int MarginH = 0, MarginV = 0, MarginB = 0;
    int ButtonWidth = 0, ButtonHeight = 0, ButtonSpacing = 0;
    int GroupWidth = 0;
    int ClientWidth = 0, ClientHeight = 0;
    TRect Label;
    TRect Icon;      // empty without icon
    TRect CheckBox;  // placed even when hidden
    std::vector<TRect> Buttons;
    TRect Band;  // the bottom band of the newer layout; empty otherwise
};

// Places every part of a built dialog. The dialog is widened when a visible check box's
// caption would not fit.
TMsgDlgLayout LayoutMessageDialog(const TMsgDlgMetrics &m);

// System colours (top byte set) as the visual style of a class shows them ("Window" for a
// dialog's body, "Button" for its bottom band); any other colour, and every colour where
// visual styles are not active, comes back unchanged.
std::uint32_t ThemedSysColor(std::uint32_t color, std::string_view themeClass);

// System colour indices used by the dialogs, as colours.
constexpr std::uint32_t kClWindow = 0xFF000005;
constexpr std::uint32_t kClBtnFace = 0xFF00000F;

}  // namespace brevor
