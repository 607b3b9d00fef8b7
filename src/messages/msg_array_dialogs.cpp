// Showing the rows of a message table as dialogs: the system message box when a row fits one
// exactly, else a dialog form built at run time.

#include <algorithm>
#include <memory>

#include "messages/msg_array.h"
#include "platform/system_strings.h"
#include "rtl/ansi.h"
#include "ui/backend.h"
#include "ui/controls.h"

namespace brevor {

struct TMsgArray::TDialogRow {
    int Index = -1;
    std::string Id;
    std::string Text;
    std::string Caption;
    std::vector<std::string> Buttons;  // names as written, the default mark removed
    std::vector<TMsgButtonKind> Kinds;
    std::string DontShow;
    TMsgIconKind Icon = mikNone;
    TMsgButtonKind DefaultKind = mbkOk;
    int BoxType = -1;
    unsigned DefaultFlag = 0;
};

int TMsgArray::ShowMessageDlg(std::string_view id, bool alwaysShow) {
    return ShowMessageDlgByIndex(IndexOfMessage(id), {}, alwaysShow);
}

int TMsgArray::ShowMessageDlgFmt(std::string_view id, const TFormatArgs &args, bool alwaysShow) {
    return ShowMessageDlgByIndex(IndexOfMessage(id), args, alwaysShow);
}

void TMsgArray::SetUseSystemCaptions(bool use) {
    useSystemCaptions_ = use;
    if (use) {
        const auto &system = SystemButtonCaptions();
        while (buttonCaptions_.Count() < kMsgButtonKindCount)
            buttonCaptions_.Add("");
        for (int k = 0; k < kMsgButtonKindCount; ++k)
            if (!system[static_cast<size_t>(k)].empty())
                buttonCaptions_.SetStrings(k, system[static_cast<size_t>(k)]);
    } else {
        TStringList defaults;
        for (const std::string &caption : DefaultButtonCaptions())
            defaults.Add(caption);
        buttonCaptions_.Assign(defaults);
    }
}

int TMsgArray::ShowMessageDlgByIndex(int index, const TFormatArgs &args, bool alwaysShow) {
    SystemButtonCaptions();
    TDialogRow row;
    row.Index = index;
    row.Text = FormatMessageByIndex(index, args);  // raises for a row that does not exist
    const std::string &line = rows_[index];
    row.Id = Field(line, 0);
    row.Caption = Field(line, 2);
    std::string buttons = Field(line, 3);
    if (buttons.empty()) buttons = "OK";
    row.DontShow = Field(line, 4);
    const std::string iconName = Field(line, 5);
    const std::string defaultButton = Field(line, 6);
    const std::string lastResult = Field(line, 7);

    row.Icon = MsgIconKind(iconName);
    if (row.Caption.empty()) {
        switch (row.Icon) {
            case mikApplication:
                row.Caption = platform::ApplicationTitle();
                break;
            case mikAsterisk:
            case mikInformation:
                row.Caption = InformationCaption;
                break;
            case mikError:
            case mikHand:
                row.Caption = ErrorCaption;
                break;
            case mikExclamation:
            case mikWarning:
                row.Caption = WarningCaption;
                break;
            case mikQuestion:
                row.Caption = QuestionCaption;
                break;
            default:
                break;
        }
    }

    TStringList entries;
    std::replace(buttons.begin(), buttons.end(), '+', '\n');
    entries.SetText(buttons);
    std::string defaultName;
    unsigned kindSet = 0;
    for (int i = 0; i < entries.Count(); ++i) {
        std::string entry(TrimBlanks(entries[i]));
        if (!entry.empty() && entry[0] == '*') {
            entry.erase(0, 1);
            defaultName = entry;
            if (i >= 1 && i <= 3) row.DefaultFlag = static_cast<unsigned>(i) * 256;
        }
        row.Buttons.push_back(entry);
        row.Kinds.push_back(MsgButtonKind(entry));
        kindSet |= 1u << static_cast<unsigned>(row.Kinds.back());
    }
    row.BoxType = MsgBoxType(kindSet);
    if (defaultName.empty()) defaultName = defaultButton;
    if (defaultName.empty() && !row.Buttons.empty()) defaultName = row.Buttons.front();
    row.DefaultKind = MsgButtonKind(defaultName);

    if (row.DontShow.empty() ||
        (row.DontShow[0] != 'D' && row.DontShow[0] != 'N' && row.DontShow[0] != 'Y'))
        row.DontShow = "D";

    if (row.DontShow == "Y" && !alwaysShow)
        return MsgButtonModalResult(lastResult.empty() ? row.DefaultKind
                                                       : MsgButtonKind(lastResult));

    if (row.BoxType >= 0 && useSystemCaptions_ && row.DontShow == "D" &&
        row.Icon != mikApplication && row.Icon != mikWinLogo)
        return ShowSystemMessageBox(row);
    return ShowBuiltDialog(row);
}

int TMsgArray::ShowSystemMessageBox(const TDialogRow &row) {
    activeText_ = row.Text;
    const unsigned flags = static_cast<unsigned>(row.BoxType) + MsgIconFlag(row.Icon) +
                           row.DefaultFlag + kMbTopMost + kMbSetForeground;
    const int answer = UiBackend().ShowMessageBox(row.Text, row.Caption, flags);
    activeText_.clear();
    return answer >= 1 && answer <= 7 ? answer : 0;
}

void TMsgArray::SetListEntry(TStringList &list, int index, const std::string &value) {
    while (list.Count() <= index)
        list.Add("");
    if (list[index] != value) list.SetStrings(index, value);
}

int TMsgArray::ShowBuiltDialog(const TDialogRow &row) {
    int result = 0;
    try {
        UiBackend().RunOnUiThread([&] { BuildAndShow(row, result); });
    } catch (...) {
        // A dialog that cannot be built or shown answers 0; the caller treats it as no answer.
        result = 0;
    }
    activeDialog_ = nullptr;
    activeText_.clear();
    return result;
}

void TMsgArray::BuildAndShow(const TDialogRow &row, int &result) {
    auto *ownerForm = dynamic_cast<TCustomForm *>(Owner());
    std::unique_ptr<TForm> form = std::make_unique<TForm>(ownerForm);
    TForm &dlg = *form;
    dlg.KeyPreview = true;
    dlg.OnKeyDown = [&dlg](TObject *, int &key) {
        if (key == vkEscape) {
            dlg.ModalResult = mrCancel;
            key = 0;
        }
    };
    dlg.SetTag(row.Index);
    dlg.OnShow = [this, &row](TObject *) {
        if (OnShow) OnShow(this, row.Index, row.Id);
    };
    dlg.OnCloseQuery = [this, &row](TObject *, bool &) {
        if (OnClose) OnClose(this, row.Index, row.Id);
    };
    activeDialog_ = &dlg;
    dlg.BorderStyle = TFormBorderStyle::Dialog;
    // There is no main form to centre on in this module: the owner form, else the screen.
    dlg.Position = ownerForm ? TFormPosition::OwnerFormCenter : TFormPosition::ScreenCenter;
    dlg.SetCaption(row.Caption);

    TUiBackend &ui = UiBackend();
    const TSize letters = ui.AverageCharSize(dlg.Font());
    TMsgDlgMetrics m;
    m.CharSize = {letters.cx / 52, letters.cy};
    m.Text = ui.MeasureText(dlg.Font(), row.Text, ui.ScreenSize().cx / 2,
                            tfWordBreak | tfExpandTabs | tfNoPrefix);
    activeText_ = row.Text;
    const std::int32_t iconId = MsgIconId(row.Icon);
    m.HasIcon = row.Icon != mikNone;
    // The empty picture area of a numbered icon takes the room of a standard icon.
    if (m.HasIcon) m.Icon = ui.IconSize(iconId != 0 ? iconId : MsgIconId(mikApplication));
    m.CheckBoxVisible = row.DontShow != "D";
    m.CheckBoxTextWidth = ui.MeasureText(dlg.Font(), AgainCheckCaption, 0, 0).cx;
    m.CheckBoxHeight = m.CharSize.cy + 2;
    m.ButtonCount = static_cast<int>(row.Buttons.size());
    m.ModernLayout = platform::ModernDialogLayout();
    const TMsgDlgLayout l = LayoutMessageDialog(m);

    dlg.SetBounds(0, 0, l.ClientWidth, l.ClientHeight);
    if (m.ModernLayout) {
        dlg.Color = ThemedSysColor(kClWindow, "Window");
        auto *band = MakeControl<TPanel>(&dlg, &dlg, "", l.Band);
        band->Opaque = true;
        band->Anchors = akLeft | akRight | akBottom;
        band->Color = ThemedSysColor(kClBtnFace, "Button");
    }
    if (m.HasIcon) {
        auto *image = MakeControl<TImage>(&dlg, &dlg, "", l.Icon);
        image->IconId = iconId;
        image->Transparent = true;
        image->AutoSize = true;
    }
    auto *label = MakeControl<TLabel>(&dlg, &dlg, "promptText", l.Label);
    label->WordWrap = true;
    label->ShowAccelChar = false;
    label->SetCaption(row.Text);

    auto *check = MakeControl<TCheckBox>(&dlg, &dlg, "checkboxShowAgain", l.CheckBox);
    check->SetVisible(m.CheckBoxVisible);
    check->SetCaption(AgainCheckCaption);
    check->SetChecked(row.DontShow == "Y");

    const int defaultResult = MsgButtonModalResult(row.DefaultKind);
    std::vector<TButton *> buttons;
    for (size_t i = 0; i < row.Buttons.size(); ++i) {
        const TMsgButtonKind kind = row.Kinds[i];
        auto *button = MakeControl<TButton>(&dlg, &dlg, "", l.Buttons[i]);
        buttons.push_back(button);
        button->SetTag(row.Index);
        if (kind == mbkCustom) {
            button->SetCaption(row.Buttons[i]);
            button->OnClick = [this, &row, button](TObject *) {
                if (OnCustomButtonClick) OnCustomButtonClick(this, row.Index, row.Id, button);
            };
        } else {
            button->SetCaption(kind < buttonCaptions_.Count() ? buttonCaptions_[kind] : "OK");
        }
        button->ModalResult = MsgButtonModalResult(kind);
        if (kind == mbkHelp)
            button->OnClick = [this, &row](TObject *) {
                if (OnHelp) OnHelp(this, row.Index, row.Id);
            };
        if (button->ModalResult == defaultResult) {
            button->Default = true;
            dlg.SetActiveControlSilently(button);
        }
        if (OnButtonCreate) OnButtonCreate(this, row.Index, row.Id, button);
    }

    result = dlg.ShowModal();

    std::string dontShow = row.DontShow;
    if (result != 0 && m.CheckBoxVisible) {
        dontShow = check->Checked() ? "Y" : "N";
        SetListEntry(dontShow_, row.Index, dontShow);
    }
    if (result != 0) {
        // The last button carrying the result names the answer; a result no button carries
        // (Esc without a Cancel button) is remembered by its standard name, so that a row
        // answered from memory later gives the same result.
        std::string answer;
        for (size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i]->ModalResult == result) answer = row.Buttons[i];
        if (answer.empty())
            for (int k = 0; k < mbkHelp; ++k)
                if (MsgButtonModalResult(static_cast<TMsgButtonKind>(k)) == result)
                    answer = MsgButtonName(static_cast<TMsgButtonKind>(k));
        if (!answer.empty()) SetListEntry(lastResults_, row.Index, answer);
    }
    activeDialog_ = nullptr;
}

}  // namespace brevor
