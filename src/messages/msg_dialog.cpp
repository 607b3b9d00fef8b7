#include "messages/msg_dialog.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/system_strings.h"
#include "rtl/ansi.h"

namespace brevor {

namespace {

struct TButtonKindInfo {
    std::string_view Name;
    std::string_view Caption;
    int ModalResult;
    std::uint32_t SystemStringId;  // 0: the system has no caption of its own
};

constexpr std::array<TButtonKindInfo, kMsgButtonKindCount> kButtonKinds{{
    {"YES", "&Yes", 6, 805},
    {"NO", "&No", 7, 806},
    {"OK", "OK", 1, 800},
    {"CANCEL", "Cancel", 2, 801},
    {"ABORT", "&Abort", 3, 802},
    {"RETRY", "&Retry", 4, 803},
    {"IGNORE", "&Ignore", 5, 804},
    {"ALL", "&All", 8, 0},
    {"NOTOALL", "N&o to All", 9, 0},
    {"YESTOALL", "Yes to &All", 10, 0},
    {"HELP", "&Help", 0, 808},
    {"", "Unknown", 0, 0},
}};

struct TIconKindInfo {
    std::string_view Name;
    std::int32_t IconId;
    unsigned Flag;
};

constexpr std::array<TIconKindInfo, 11> kIconKinds{{
    {"", 0, 0},
    {"APPLICATION", 32512, 0},
    {"ASTERISK", 32516, 0x40},
    {"ERROR", 32513, 0x10},
    {"EXCLAMATION", 32515, 0x30},
    {"HAND", 32513, 0x10},
    {"INFORMATION", 32516, 0x40},
    {"QUESTION", 32514, 0x20},
    {"WARNING", 32515, 0x30},
    {"WINLOGO", 32517, 0},
    {"", 0, 0},
}};

constexpr unsigned Bit(TMsgButtonKind k) {
    return 1u << static_cast<unsigned>(k);
}

std::string UpperTrimmed(std::string_view name) {
    return AsciiUpperCase(TrimBlanks(name));
}

}  // namespace

TMsgButtonKind MsgButtonKind(std::string_view name) {
    const std::string upper = UpperTrimmed(name);
    for (int k = 0; k < mbkCustom; ++k)
        if (upper == kButtonKinds[static_cast<size_t>(k)].Name)
            return static_cast<TMsgButtonKind>(k);
    return mbkCustom;
}

std::string_view MsgButtonName(TMsgButtonKind kind) {
    return kind >= 0 && kind < kMsgButtonKindCount ? kButtonKinds[static_cast<size_t>(kind)].Name
                                                   : std::string_view();
}

int MsgButtonModalResult(TMsgButtonKind kind) {
    return kind >= 0 && kind < kMsgButtonKindCount
               ? kButtonKinds[static_cast<size_t>(kind)].ModalResult
               : 0;
}

std::string_view DefaultButtonCaption(TMsgButtonKind kind) {
    return kind >= 0 && kind < kMsgButtonKindCount ? kButtonKinds[static_cast<size_t>(kind)].Caption
                                                   : std::string_view();
}

std::vector<std::string> DefaultButtonCaptions() {
    std::vector<std::string> out;
    for (const TButtonKindInfo &k : kButtonKinds)
        out.emplace_back(k.Caption);
    return out;
}

TMsgIconKind MsgIconKind(std::string_view name) {
    const std::string upper = UpperTrimmed(name);
    if (upper.empty()) return mikNone;
    for (int k = mikApplication; k <= mikWinLogo; ++k)
        if (upper == kIconKinds[static_cast<size_t>(k)].Name) return static_cast<TMsgIconKind>(k);
    if (std::all_of(upper.begin(), upper.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return mikDigits;
    return mikNone;
}

std::int32_t MsgIconId(TMsgIconKind kind) {
    return kind >= 0 && kind <= mikDigits ? kIconKinds[static_cast<size_t>(kind)].IconId : 0;
}

unsigned MsgIconFlag(TMsgIconKind kind) {
    return kind >= 0 && kind <= mikDigits ? kIconKinds[static_cast<size_t>(kind)].Flag : 0;
}

int MsgBoxType(unsigned kindSet) {
    switch (kindSet) {
        case Bit(mbkOk):
            return 0;
        case Bit(mbkOk) | Bit(mbkCancel):
            return 1;
        case Bit(mbkAbort) | Bit(mbkRetry) | Bit(mbkIgnore):
            return 2;
        case Bit(mbkYes) | Bit(mbkNo) | Bit(mbkCancel):
            return 3;
        case Bit(mbkYes) | Bit(mbkNo):
            return 4;
        case Bit(mbkRetry) | Bit(mbkCancel):
            return 5;
        default:
            return -1;
    }
}

const std::array<std::string, kMsgButtonKindCount> &SystemButtonCaptions() {
    static std::mutex lock;
    static bool filled = false;
    static std::array<std::string, kMsgButtonKindCount> captions;
    const std::lock_guard<std::mutex> guard(lock);
    if (!filled) {
        const bool available = platform::SystemStringsAvailable();
        for (size_t k = 0; k < captions.size(); ++k) {
            const TButtonKindInfo &info = kButtonKinds[k];
            if (available && info.SystemStringId != 0)
                captions[k] = platform::LoadSystemString(info.SystemStringId);
            // A system without a caption of its own for a kind (or one that cannot be read)
            // gets the default: a button never goes without a caption.
            if (captions[k].empty()) captions[k] = info.Caption;
        }
        filled = true;
    }
    return captions;
}

TMsgDlgLayout LayoutMessageDialog(const TMsgDlgMetrics &m) {
    TMsgDlgLayout l;
    const int dux = m.CharSize.cx;
    const int duy = m.CharSize.cy;
    l.MarginH = MulDiv(8, dux, 4);
    l.MarginV = MulDiv(6, duy, 8);
    l.MarginB = l.MarginV;
    if (m.ModernLayout) {
        l.MarginH *= 2;
        l.MarginV *= 2;
    }
    const int h = l.MarginH;
    const int v = l.MarginV;
    l.ButtonWidth = MulDiv(50, dux, 4);
    l.ButtonHeight = MulDiv(14, duy, 8);
    l.ButtonSpacing = MulDiv(4, dux, 4);
    const int n = std::max(0, m.ButtonCount);
    l.GroupWidth = n > 0 ? n * l.ButtonWidth + (n - 1) * l.ButtonSpacing : 0;

    int iconWidth = 0;
    int labelTop = v;
    if (m.HasIcon) {
        l.Icon = {h, v, h + m.Icon.cx, v + m.Icon.cy};
        iconWidth = m.Icon.cx + h;
        const int centred = m.Icon.cy / 2 + l.Icon.Top - m.Text.cy;
        if (centred >= 1) labelTop = centred;
    }

    l.ClientWidth = std::max(iconWidth + m.Text.cx + 2 * h, 2 * h + l.GroupWidth);
    l.Label = {iconWidth + h, labelTop, iconWidth + h + m.Text.cx, labelTop + m.Text.cy};

    const int boxWidth = m.CheckBoxTextWidth + 2 * h;
    const int boxTop = m.CheckBoxVisible ? l.Label.Bottom + v : l.Label.Bottom - m.CheckBoxHeight;
    l.CheckBox = {l.Label.Left, boxTop, l.Label.Left + boxWidth, boxTop + m.CheckBoxHeight};
    // A check box caption wider than the text would be cut off at the dialog's edge.
    if (m.CheckBoxVisible) l.ClientWidth = std::max(l.ClientWidth, l.CheckBox.Right + h);

    int buttonTop = l.CheckBox.Bottom + v;
    if (m.HasIcon) buttonTop = std::max(buttonTop, l.Icon.Bottom + v);
    l.ClientHeight = buttonTop + l.ButtonHeight + l.MarginB;

    int left = 0;
    if (m.ModernLayout) {
        const int bandHeight = l.ButtonHeight + 20;
        l.Band = {0, l.ClientHeight - bandHeight, l.ClientWidth, l.ClientHeight};
        left = l.ClientWidth - l.GroupWidth - l.MarginB;
    } else {
        left = static_cast<int>(std::trunc(l.ClientWidth / 2.0 - l.GroupWidth / 2.0));
    }
    for (int i = 0; i < n; ++i) {
        l.Buttons.push_back({left, buttonTop, left + l.ButtonWidth, buttonTop + l.ButtonHeight});
        left += l.ButtonWidth + l.ButtonSpacing;
    }
    return l;
}

std::uint32_t ThemedSysColor(std::uint32_t color, std::string_view themeClass) {
    if (color < 0x1000000u) return color;
    std::uint32_t themed = 0;
    return platform::ThemedSystemColor(themeClass, color & 0xFFFFFFu, themed) ? themed : color;
}

}  // namespace brevor
