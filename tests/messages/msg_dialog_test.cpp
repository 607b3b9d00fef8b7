#include "messages/msg_dialog.h"

#include <gtest/gtest.h>

#include "messages/msg_array.h"
#include "platform/system_strings.h"
#include "support/headless_driver.h"

namespace brevor {
namespace {

TMsgArray *NewTable(TComponent *owner, std::initializer_list<const char *> rows) {
    auto *ma = new TMsgArray(owner);
    TStringList l;
    for (const char *row : rows)
        l.Add(row);
    ma->SetMessagesArray(l);
    return ma;
}

TEST(MsgDialogKinds, NamesAreMatchedTrimmedAndInAsciiUpperCase) {
    EXPECT_EQ(MsgButtonKind(" yes "), mbkYes);
    EXPECT_EQ(MsgButtonKind("NoToAll"), mbkNoToAll);
    EXPECT_EQ(MsgButtonKind("Help"), mbkHelp);
    EXPECT_EQ(MsgButtonKind("Later"), mbkCustom);
    EXPECT_EQ(MsgButtonKind(""), mbkCustom);
    EXPECT_EQ(MsgButtonModalResult(mbkYesToAll), 10);
    EXPECT_EQ(MsgButtonModalResult(mbkHelp), 0);
    EXPECT_EQ(MsgIconKind(" question"), mikQuestion);
    EXPECT_EQ(MsgIconKind("123"), mikDigits);
    EXPECT_EQ(MsgIconKind("12a"), mikNone);
    EXPECT_EQ(MsgIconKind(""), mikNone);
    EXPECT_EQ(MsgIconId(mikInformation), 32516);
    EXPECT_EQ(MsgIconId(mikDigits), 0);
    // The system's captions where it has them, the defaults for the rest: never an empty one.
    // Without system strings (POSIX) they are all the defaults.
    const auto &system = SystemButtonCaptions();
    for (const std::string &caption : system)
        EXPECT_FALSE(caption.empty());
    if (!platform::SystemStringsAvailable()) {
        EXPECT_EQ(std::vector<std::string>(system.begin(), system.end()), DefaultButtonCaptions());
    }
    EXPECT_EQ(DefaultButtonCaptions()[mbkNoToAll], "N&o to All");
}

// Without visual styles every colour stays as it is.
TEST(MsgDialogKinds, ThemedSysColorKeepsColoursWithoutVisualStyles) {
    EXPECT_EQ(ThemedSysColor(0x00123456, "Window"), 0x00123456u);  // not a system colour
    std::uint32_t themed = 0;
    if (platform::ThemedSystemColor("Window", kClWindow & 0xFFFFFFu, themed))
        GTEST_SKIP() << "visual styles are active on this system";
    EXPECT_EQ(ThemedSysColor(kClWindow, "Window"), kClWindow);
    EXPECT_EQ(ThemedSysColor(kClBtnFace, "Button"), kClBtnFace);
    EXPECT_EQ(ThemedSysColor(0x00123456, "Window"), 0x00123456u);
}

// du = 7 x 15: H 14 (28 doubled), V 11 (22), B 11, buttons 88 x 26 spaced 7.
TEST(MsgDialogLayout, PlacesEveryPart) {
    struct TCase {
        const char *Name;
        TMsgDlgMetrics In;
        int Width, Height;
        TRect Label, Icon, CheckBox, FirstButton, LastButton, Band;
    };
    const TSize du{7, 15};
    const TCase cases[] = {
        {"icon, short text, newer layout",
         {du, {200, 15}, true, {32, 32}, false, 133, 17, 2, true},
         316,
         113,
         {88, 23, 288, 38},
         {28, 22, 60, 54},
         {88, 21, 277, 38},
         {122, 76, 210, 102},
         {217, 76, 305, 102},
         {0, 67, 316, 113}},
        {"no icon, check box, older layout",
         {du, {300, 45}, false, {}, true, 133, 17, 1, false},
         328,
         132,
         {14, 11, 314, 56},
         {},
         {14, 67, 175, 84},
         {120, 95, 208, 121},
         {120, 95, 208, 121},
         {}},
        {"buttons wider than the text",
         {du, {70, 15}, false, {}, false, 133, 17, 5, true},
         524,
         96,
         {28, 22, 98, 37},
         {},
         {28, 20, 217, 37},
         {45, 59, 133, 85},
         {425, 59, 513, 85},
         {0, 50, 524, 96}},
        {"check box caption wider than the text",
         {du, {50, 15}, false, {}, true, 400, 17, 1, true},
         512,
         135,
         {28, 22, 78, 37},
         {},
         {28, 59, 484, 76},
         {413, 98, 501, 124},
         {413, 98, 501, 124},
         {0, 89, 512, 135}},
        {"long text beside an icon, older layout, odd centring",
         {du, {500, 60}, true, {32, 32}, false, 133, 17, 2, false},
         574,
         119,
         {60, 11, 560, 71},
         {14, 11, 46, 43},
         {60, 54, 221, 71},
         {195, 82, 283, 108},
         {290, 82, 378, 108},
         {}},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        const TMsgDlgLayout l = LayoutMessageDialog(c.In);
        EXPECT_EQ(l.ClientWidth, c.Width);
        EXPECT_EQ(l.ClientHeight, c.Height);
        EXPECT_EQ(l.Label, c.Label);
        EXPECT_EQ(l.Icon, c.Icon);
        EXPECT_EQ(l.CheckBox, c.CheckBox);
        ASSERT_EQ(static_cast<int>(l.Buttons.size()), c.In.ButtonCount);
        EXPECT_EQ(l.Buttons.front(), c.FirstButton);
        EXPECT_EQ(l.Buttons.back(), c.LastButton);
        EXPECT_EQ(l.Band, c.Band);
    }
    const TMsgDlgLayout l = LayoutMessageDialog({du, {1, 1}, false, {}, false, 0, 17, 3, true});
    EXPECT_EQ(l.MarginH, 28);
    EXPECT_EQ(l.MarginV, 22);
    EXPECT_EQ(l.MarginB, 11);
    EXPECT_EQ(l.GroupWidth, 3 * 88 + 2 * 7);
}

// Which rows become a system message box, and with which flags; the others are built.
TEST(MsgDialogShow, SystemMessageBoxForRowsThatFitOne) {
    struct TCase {
        const char *Buttons, *DontShow, *Icon;
        int Flags;  // -1: a built dialog
    };
    const TCase cases[] = {
        {"", "D", "", 0x50000},
        {"YES+NO", "D", "QUESTION", 0x50000 | 0x20 | 4},
        {" YES + *NO ", "", "question", 0x50000 | 0x20 | 0x100 | 4},  // second button
        {"YES+NO+*CANCEL", "D", "", 0x50000 | 0x200 | 3},
        {"*OK+CANCEL", "D", "WARNING", 0x50000 | 0x30 | 1},
        {"ABORT+RETRY+IGNORE", "X", "HAND", 0x50000 | 0x10 | 2},
        {"RETRY+CANCEL", "D", "INFORMATION", 0x50000 | 0x40 | 5},
        {"ok+Ok", "D", "7", 0x50000},
        {"YES+NO+HELP", "D", "QUESTION", -1},
        {"YES+NO+Later", "D", "", -1},
        {"YES+NO", "N", "QUESTION", -1},
        {"YES+NO", "D", "APPLICATION", -1},
        {"YES+NO", "D", "WINLOGO", -1},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(std::string(c.Buttons) + " / " + c.DontShow + " / " + c.Icon);
        const std::string row =
            std::string("Q||Sure?||||") + c.Buttons + "||" + c.DontShow + "||" + c.Icon + "||||||";
        std::unique_ptr<TMsgArray> ma(NewTable(nullptr, {row.c_str()}));
        ma->SetUseSystemCaptions(true);
        THeadlessDriver ui;
        ui.MessageBoxAnswers = {6};
        ui.Then(THeadlessDriver::Esc());
        const int result = ma->ShowMessageDlg("q", false);
        if (c.Flags < 0) {
            EXPECT_TRUE(ui.MessageBoxes.empty());
            EXPECT_EQ(ui.Shown.size(), 1u);
            EXPECT_EQ(result, 2);
        } else {
            ASSERT_EQ(ui.MessageBoxes.size(), 1u);
            EXPECT_EQ(ui.MessageBoxes[0].Flags, static_cast<unsigned>(c.Flags));
            EXPECT_EQ(ui.MessageBoxes[0].Text, "Sure?");
            EXPECT_TRUE(ui.Shown.empty());
            EXPECT_EQ(result, 6);
        }
    }
}

TEST(MsgDialogShow, MessageBoxCaptionAndAnswers) {
    std::unique_ptr<TMsgArray> ma(NewTable(nullptr, {"Q||Delete %s?||||YES+NO||D||QUESTION||||||",
                                                     "Own||Text||Mine||OK||D||ERROR||||||"}));
    ma->SetUseSystemCaptions(true);
    THeadlessDriver ui;
    ui.MessageBoxAnswers = {7, 0, 12, 1};
    EXPECT_EQ(ma->ShowMessageDlgFmt("Q", {"a.txt"}, false), 7);
    EXPECT_EQ(ma->ShowMessageDlg("Q", false), 0);
    EXPECT_EQ(ma->ShowMessageDlg("Q", false), 0);  // outside the message box's results
    EXPECT_EQ(ma->ShowMessageDlg("Own", false), 1);
    ASSERT_EQ(ui.MessageBoxes.size(), 4u);
    EXPECT_EQ(ui.MessageBoxes[0].Text, "Delete a.txt?");
    EXPECT_EQ(ui.MessageBoxes[0].Caption, "Question");
    EXPECT_EQ(ui.MessageBoxes[3].Caption, "Mine");
    // The message box path records nothing in the row.
    EXPECT_EQ(ma->LastDialogsResult()[0], "");
    EXPECT_EQ(ma->ActiveText(), "");
}

TEST(MsgDialogShow, WithoutSystemCaptionsEveryRowIsBuilt) {
    std::unique_ptr<TMsgArray> ma(NewTable(
        nullptr,
        {"Empty||Saved.||||||D||||||||", "Q||Keep %s?||||  YES + *NO ||D||QUESTION||||||"}));
    THeadlessDriver ui;
    TCustomForm *seen = nullptr;
    ui.Then(THeadlessDriver::Enter())
        .Then([&](TCustomForm &form, THeadlessDriver &) {
            seen = &form;
            EXPECT_EQ(ma->ActiveDialog(), &form);
            EXPECT_EQ(ma->ActiveText(), "Keep a&b?");
            auto *focused = dynamic_cast<TButton *>(form.ActiveControl());
            ASSERT_NE(focused, nullptr);
            EXPECT_EQ(focused->Caption(), "&No");
            EXPECT_TRUE(focused->Default);
            EXPECT_EQ(form.Position, TFormPosition::ScreenCenter);
            // The window colour, the visual style's where the system has one active.
            EXPECT_EQ(form.Color, ThemedSysColor(kClWindow, "Window"));
            auto *label = dynamic_cast<TLabel *>(THeadlessDriver::Find(form, "promptText"));
            ASSERT_NE(label, nullptr);
            EXPECT_TRUE(label->WordWrap);
            EXPECT_FALSE(label->ShowAccelChar);
            auto *box = dynamic_cast<TCheckBox *>(THeadlessDriver::Find(form, "checkboxShowAgain"));
            ASSERT_NE(box, nullptr);
            EXPECT_FALSE(box->Visible());
        })
        .Then(THeadlessDriver::Enter());
    EXPECT_EQ(ma->ShowMessageDlg("Empty", false), 1);
    EXPECT_EQ(ma->ShowMessageDlgFmt("Q", {"a&b"}, true), 7);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(ma->ActiveDialog(), nullptr);
    EXPECT_EQ(ma->ActiveText(), "");
    ASSERT_EQ(ui.Shown.size(), 2u);
    EXPECT_EQ(ui.Shown[0].Buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(ui.Shown[0].Caption, "");
    EXPECT_EQ(ui.Shown[0].Text, "Saved.");
    EXPECT_EQ(ui.Shown[1].Buttons, (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_EQ(ui.Shown[1].Caption, "Question");
    EXPECT_EQ(ui.Shown[1].Text, "Keep a&b?");
    // "Keep a&b?" is 9 x 7 pixels wide beside a 32-pixel icon; two buttons are wider.
    EXPECT_EQ(ui.Shown[1].Bounds, (TRect{0, 0, 239, 113}));
    EXPECT_FALSE(ui.ScriptRanOut);
}

TEST(MsgDialogShow, RowsMarkedNotToShowAreAnsweredFromMemory) {
    struct TCase {
        const char *Row;
        int Result;
    };
    const TCase cases[] = {
        // The configuration dialog's stored warning.
        {"Warning||Please check the settings||||OK||Y||WARNING||||||", 1},
        {"R||t||||YES+NO||Y||||||NO||", 7},
        {"R||t||||YES+*NO||Y||||||||", 7},
        {"R||t||||YES+NO||Y||||NO||||", 7},
        {"R||t||||YES+NO||Y||||||||", 6},
        {"R||t||||YES+NO||Y||||||Later||", 0},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Row);
        std::unique_ptr<TMsgArray> ma(NewTable(nullptr, {c.Row}));
        for (bool system : {false, true}) {
            ma->SetUseSystemCaptions(system);
            THeadlessDriver ui;
            EXPECT_EQ(ma->ShowMessageDlgByIndex(0, {}, false), c.Result);
            EXPECT_TRUE(ui.Shown.empty());
            EXPECT_TRUE(ui.MessageBoxes.empty());
        }
    }
    // Always shown: built, with the check box ticked.
    std::unique_ptr<TMsgArray> ma(NewTable(nullptr, {cases[0].Row}));
    THeadlessDriver ui;
    bool ticked = false;
    ui.Then([&](TCustomForm &form, THeadlessDriver &) {
          auto *box = dynamic_cast<TCheckBox *>(THeadlessDriver::Find(form, "checkboxShowAgain"));
          ticked =
              box && box->Visible() && box->Checked() && box->Caption() == "Do not ask me again";
      }).Then(THeadlessDriver::ClickCaption("OK"));
    EXPECT_EQ(ma->ShowMessageDlg("warning", true), 1);
    EXPECT_TRUE(ticked);
    ASSERT_EQ(ui.Shown.size(), 1u);
    EXPECT_EQ(ui.Shown[0].Caption, "Warning");
}

TEST(MsgDialogShow, AnswersAreWrittenBackIntoTheRow) {
    std::unique_ptr<TMsgArray> ma(
        NewTable(nullptr, {"Other||x||", "Ask||Go on?||||YES+NO||N||QUESTION||||||"}));
    THeadlessDriver ui;
    // Esc: Cancel, which no button carries; the box stays unticked.
    ui.Then(THeadlessDriver::Esc());
    EXPECT_EQ(ma->ShowMessageDlg("Ask", false), 2);
    EXPECT_EQ(ma->MessagesArray()[1], "Ask||Go on?||||YES+NO||N||QUESTION||||CANCEL||");

    ui.Then(THeadlessDriver::Click("checkboxShowAgain")).Then(THeadlessDriver::ClickCaption("Yes"));
    EXPECT_EQ(ma->ShowMessageDlg("Ask", false), 6);
    EXPECT_EQ(ma->MessagesArray()[1], "Ask||Go on?||||YES+NO||Y||QUESTION||||YES||");
    EXPECT_EQ(ma->DontShowAgainText()[1], "Y");

    // Not shown any more, answered with the remembered button.
    EXPECT_EQ(ma->ShowMessageDlg("Ask", false), 6);
    EXPECT_EQ(ui.Shown.size(), 2u);

    // Shown anyway, unticked, answered No.
    ui.Then(THeadlessDriver::Click("checkboxShowAgain")).Then(THeadlessDriver::ClickCaption("No"));
    EXPECT_EQ(ma->ShowMessageDlg("Ask", true), 7);
    EXPECT_EQ(ma->MessagesArray()[1], "Ask||Go on?||||YES+NO||N||QUESTION||||NO||");
    EXPECT_EQ(ma->MessagesArray()[0], "Other||x||||||D||||||||");
}

TEST(MsgDialogShow, EventsHelpAndCustomButtons) {
    TForm owner;
    TMsgArray *ma =
        NewTable(&owner, {"First||x||", "Pick||Choose||Title||Later+*YES+HELP||D||7||||||"});
    std::vector<std::string> events;
    auto record = [&](const char *what) {
        return [&events, ma, what](TObject *sender, int idx, const std::string &id) {
            EXPECT_EQ(sender, ma);
            events.push_back(std::string(what) + " " + std::to_string(idx) + " " + id);
        };
    };
    ma->OnShow = record("show");
    ma->OnClose = record("close");
    ma->OnHelp = record("help");
    ma->OnButtonCreate = [&](TObject *, int, const std::string &, TButton *b) {
        events.push_back("create " + b->Caption());
    };
    ma->OnCustomButtonClick = [&](TObject *, int idx, const std::string &, TButton *b) {
        events.push_back("custom " + std::to_string(idx) + " " + b->Caption());
    };
    THeadlessDriver ui;
    ui.Then([&](TCustomForm &form, THeadlessDriver &) {
          EXPECT_EQ(form.Owner(), &owner);
          EXPECT_EQ(form.Position, TFormPosition::OwnerFormCenter);
          EXPECT_EQ(form.Tag(), 1);
          auto *image = dynamic_cast<TImage *>(form.AllControls().at(1));
          ASSERT_NE(image, nullptr);
          EXPECT_EQ(image->IconId, 0);  // a number: an empty picture area
          EXPECT_EQ(image->Width(), 32);
      })
        .Then(THeadlessDriver::ClickCaption("Help"))
        .Then(THeadlessDriver::ClickCaption("Later"))
        .Then(THeadlessDriver::ClickCaption("Yes"));
    EXPECT_EQ(ma->ShowMessageDlg("Pick", false), 6);
    EXPECT_EQ(events, (std::vector<std::string>{"create Later", "create &Yes", "create &Help",
                                                "show 1 Pick", "help 1 Pick", "custom 1 Later",
                                                "close 1 Pick"}));
    ASSERT_EQ(ui.Shown.size(), 1u);
    EXPECT_EQ(ui.Shown[0].Caption, "Title");

    // The application's icon names the dialog after the application.
    ma->MessagesArray().Add("App||About||||OK||D||APPLICATION||||||");
    ui.Then(THeadlessDriver::Enter());
    EXPECT_EQ(ma->ShowMessageDlg("App", false), 1);
    ASSERT_EQ(ui.Shown.size(), 2u);
    EXPECT_EQ(ui.Shown[1].Caption, platform::ApplicationTitle());
    EXPECT_FALSE(ui.Shown[1].Caption.empty());
    EXPECT_EQ(ma->LastDialogsResult()[1], "YES");
    EXPECT_EQ(owner.ComponentCount(), 1);  // the dialog is gone again
}

TEST(MsgDialogShow, FailuresWhileShowingAnswerZeroAndBadIndexesRaise) {
    std::unique_ptr<TMsgArray> ma(NewTable(nullptr, {"A||Text||||YES+NO||N||||||||"}));
    {
        // No user interface in the process at all.
        EXPECT_EQ(ma->ShowMessageDlg("A", false), 0);
        EXPECT_EQ(ma->ActiveDialog(), nullptr);
    }
    {
        THeadlessDriver ui;
        ma->OnShow = [](TObject *, int, const std::string &) { throw Exception("boom"); };
        EXPECT_EQ(ma->ShowMessageDlg("A", false), 0);
        EXPECT_EQ(ma->ActiveDialog(), nullptr);
        EXPECT_EQ(ma->ActiveText(), "");
        EXPECT_EQ(ma->MessagesArray()[0], "A||Text||||YES+NO||N||||||||");
        ma->OnShow = nullptr;

        EXPECT_THROW(ma->ShowMessageDlgByIndex(1, {}, true), EMsgArrayError);
        EXPECT_THROW(ma->ShowMessageDlgByIndex(-5, {}, false), EMsgArrayError);
        try {
            ma->ShowMessageDlgFmt("Missing", {"x"}, true);
            FAIL();
        } catch (const EMsgArrayError &e) {
            EXPECT_STREQ(e.what(), "Invalid message index [-1]");
        }
        EXPECT_EQ(ui.Shown.size(), 1u);
        EXPECT_TRUE(ui.MessageBoxes.empty());
    }
}

TEST(MsgDialogShow, ButtonCaptionsAndSystemCaptions) {
    std::unique_ptr<TMsgArray> ma(NewTable(nullptr, {"A||Text||||YES+NO+ALL||D||||||||"}));
    EXPECT_EQ(ma->ButtonCaptions().Count(), kMsgButtonKindCount);
    ma->ButtonCaptions().SetStrings(mbkYes, "&Ja");
    // Shorter than the kinds: "OK" for the missing ones.
    while (ma->ButtonCaptions().Count() > mbkAll)
        ma->ButtonCaptions().Delete(mbkAll);
    THeadlessDriver ui;
    ui.Then(THeadlessDriver::Esc());
    ma->ShowMessageDlg("A", false);
    ASSERT_EQ(ui.Shown.size(), 1u);
    EXPECT_EQ(ui.Shown[0].Buttons, (std::vector<std::string>{"&Ja", "&No", "OK"}));

    // Switching system captions on writes them over the captions (here: the defaults);
    // switching off brings the defaults back. Both through the published property.
    SetOrdProp(*ma, "UseSystemCaptions", 1);
    EXPECT_TRUE(ma->UseSystemCaptions());
    EXPECT_EQ(ma->ButtonCaptions().Count(), kMsgButtonKindCount);
    EXPECT_EQ(ma->ButtonCaptions()[mbkYes], "&Yes");
    ma->ButtonCaptions().SetStrings(mbkNo, "&Nein");
    SetOrdProp(*ma, "UseSystemCaptions", 0);
    EXPECT_EQ(ma->ButtonCaptions()[mbkNo], "&No");
    EXPECT_EQ(dynamic_cast<TStringList *>(GetObjectProp(*ma, "ButtonCaptions")),
              &ma->ButtonCaptions());
}

}  // namespace
}  // namespace brevor
