#include "engine/config_dialog.h"

#include <exception>

#include "engine/a_plugin.h"
#include "engine/file_masks.h"
#include "engine/settings_model.h"
#include "platform/platform.h"
#include "timing/cron.h"
#include "ui/backend.h"

namespace brevor {

namespace {

// The dialog's messages, stored with its form. "Warning" is stored answered ("Y"): asking for
// it shows nothing and answers OK.
const char *const kConfigMessages[] = {
    "ErrorLoadParams||Unable to load parameters (error: %s)||||||D||||||||",
    "ErrorSaveParams||Unable to save parameters (error: %s)||||||D||||||||",
    // clang-format off
    "InvalidTime||Invalid time \"%s\"! You should specify the time in the \"Cron\" format "
    "(Minute Hour Day Month Day of Week)!||||OK||D||ERROR||||||",
    // clang-format on
    "DelTime?||Do you want to delete the selected time?||||YES+NO||D||QUESTION||||||",
    "DelAllTimes?||Do you want to delete all times?||||YES+NO||D||QUESTION||||||",
    "FolderNotExist||The \"%s\" folder doesn't exist!||||OK||D||ERROR||||||",
    // clang-format off
    "Warning||You've selected the \"%s\" folder and one of modes \"Read and delete\" or "
    "\"Read and truncate\". The selected folder may contain important files and their content "
    "can be deleted! It may cause problems with programs that use these files.||||OK||Y||"
    "WARNING||||||",
    // clang-format on
    "ReadAndDel||Read and delete||||||D||||||||",
    "ReadAndTrunc||Read and truncate||||||D||||||||",
    "ReadAndNoChange||Read and don't change||||||D||||||||",
    "||||||||||||||||",
};

const char *const kReadModes[] = {"Read and delete", "Read and truncate", "Read and don't change "};
const char *const kSchedulerReadModes[] = {"Read and delete", "Read and truncate",
                                           "Read and don't change ", "Read from beginning"};

// The text shown for a new schedule row until its entry is edited.
constexpr const char *kNewRowTime = "* * * * * *";
constexpr int kNewEntryReadMode = 2;

constexpr int kFormWidth = 500;
constexpr int kFormHeight = 565;
constexpr int kFormMinHeight = 500;
constexpr int kBottomHeight = 45;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

}  // namespace

TConfigg::TConfigg(TaPlugin &plugin) : TForm(nullptr), plugin_(plugin) {
    Build();
}

TConfigg::~TConfigg() {
    // Handlers must not run while the controls go away.
    Observer = nullptr;
    lvTimesSD->OnSelectItem = nullptr;
    lvTimesSD->ClearItems();
}

const TClassInfo &TConfigg::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TConfigg>("TConfigg", &TForm::StaticClassInfo()).Build();
    return info;
}
const TClassInfo &TConfigg::ClassInfo() const {
    return StaticClassInfo();
}

// ---------------------------------------------------------------- building

void TConfigg::Build() {
    SetName("Configg");
    SetBounds(0, 0, kFormWidth, kFormHeight);
    MinWidth = kFormWidth;
    MinHeight = kFormMinHeight;
    KeyPreview = true;
    BorderIconHelp = true;
    HelpContext = kHelpDialog;
    Position = TFormPosition::ScreenCenter;

    BuildTop();
    pcModes = MakeControl<TPageControl>(this, this, "pcModes", {8, 72, 492, 516});
    pcModes->Anchors = akLeft | akTop | akRight | akBottom;
    BuildSimpleTab();
    BuildTimeTab();
    BuildSchedulerTab();
    BuildBottom();

    shTimesSD = new TStrHolder(this);
    shTimesSD->SetName("shTimesSD");
    maConfig = new TMsgArray(this);
    maConfig->SetName("maConfig");
    TStringList rows;
    for (const char *row : kConfigMessages)
        rows.Add(row);
    maConfig->SetMessagesArray(rows);
    utlConfig = new TZRTUtils(this);
    LoadStoredZRTUtils(*utlConfig, TZRTStoredUtils::utlConfig);

    // Before any settings are read, the controls show the settings' initial values.
    ApplyInitialValues(*this);
    WireHandlers();
}

void TConfigg::BuildTop() {
    lblScanInterval = MakeControl<TLabel>(this, this, "lblScanInterval", {8, 12, 128, 27});
    lblScanInterval->SetCaption("Scan Interval (sec)");
    edScanInterval = MakeControl<TSpinEdit>(this, this, "edScanInterval", {132, 8, 252, 31});
    lblBlockSize = MakeControl<TLabel>(this, this, "lblBlockSize", {268, 12, 348, 27});
    lblBlockSize->SetCaption("Chunk size");
    edBlockSize = MakeControl<TSpinEdit>(this, this, "edBlockSize", {352, 8, 472, 31});
    lblFolder = MakeControl<TLabel>(this, this, "lblFolder", {8, 44, 128, 59});
    lblFolder->SetCaption("Folder");
    edFolder = MakeControl<TBrowseEdit>(this, this, "edFolder", {132, 40, 492, 63},
                                        TBrowseEdit::TKind::Folder);
    edFolder->Anchors = akLeft | akTop | akRight;
    for (TControl *c : std::initializer_list<TControl *>{edScanInterval, edBlockSize, edFolder})
        c->HelpContext = kHelpGeneral;
}

void TConfigg::BuildSimpleTab() {
    tsSimpleMode = MakeControl<TTabSheet>(this, pcModes, "tsSimpleMode", {0, 24, 484, 444});
    tsSimpleMode->SetCaption("Simple scan mode");
    tsSimpleMode->HelpContext = kHelpSimpleScan;
    cbActiveSM = MakeControl<TCheckBox>(this, tsSimpleMode, "cbActiveSM", {8, 8, 200, 27});
    cbActiveSM->SetCaption("Active");
    lblFileSM = MakeControl<TLabel>(this, tsSimpleMode, "lblFileSM", {8, 40, 120, 55});
    lblFileSM->SetCaption("File");
    edFileSM = MakeControl<TBrowseEdit>(this, tsSimpleMode, "edFileSM", {124, 36, 476, 59},
                                        TBrowseEdit::TKind::File);
    cbDecodeSM = MakeControl<TCheckBox>(this, tsSimpleMode, "cbDecodeSM", {8, 68, 200, 87});
    cbDecodeSM->SetCaption("Decode");
    gbReadModeSM = MakeControl<TRadioGroup>(this, tsSimpleMode, "gbReadModeSM", {8, 96, 476, 186});
    gbReadModeSM->SetCaption("Read mode");
    for (const char *mode : kReadModes)
        gbReadModeSM->Items().Add(mode);
}

void TConfigg::BuildTimeTab() {
    tsTimeMode = MakeControl<TTabSheet>(this, pcModes, "tsTimeMode", {0, 24, 484, 444});
    tsTimeMode->SetCaption("Time scan mode");
    tsTimeMode->HelpContext = kHelpTimeScan;
    cbActiveTM = MakeControl<TCheckBox>(this, tsTimeMode, "cbActiveTM", {8, 8, 200, 27});
    cbActiveTM->SetCaption("Active");
    lblFilePrefixTM = MakeControl<TLabel>(this, tsTimeMode, "lblFilePrefixTM", {8, 40, 120, 55});
    lblFilePrefixTM->SetCaption("File name prefix");
    edFilePrefixTM = MakeControl<TEdit>(this, tsTimeMode, "edFilePrefixTM", {124, 36, 476, 59});
    lblFilesExtTM = MakeControl<TLabel>(this, tsTimeMode, "lblFilesExtTM", {8, 72, 120, 87});
    lblFilesExtTM->SetCaption("File extension");
    edFilesExtTM = MakeControl<TEdit>(this, tsTimeMode, "edFilesExtTM", {124, 68, 244, 91});
    cbDecodeTM = MakeControl<TCheckBox>(this, tsTimeMode, "cbDecodeTM", {8, 100, 200, 119});
    cbDecodeTM->SetCaption("Decode");
    gbReadModeTM = MakeControl<TRadioGroup>(this, tsTimeMode, "gbReadModeTM", {8, 128, 476, 218});
    gbReadModeTM->SetCaption("Read mode");
    for (const char *mode : kReadModes)
        gbReadModeTM->Items().Add(mode);
}

void TConfigg::BuildSchedulerTab() {
    tsScheduler = MakeControl<TTabSheet>(this, pcModes, "tsScheduler", {0, 24, 484, 444});
    tsScheduler->SetCaption("Task scheduler");
    tsScheduler->HelpContext = kHelpScheduler;
    cbActiveSD = MakeControl<TCheckBox>(this, tsScheduler, "cbActiveSD", {8, 8, 200, 27});
    cbActiveSD->SetCaption("Active");

    tbTimesSD = MakeControl<TToolBar>(this, tsScheduler, "tbTimesSD", {8, 32, 476, 58});
    btnAddTimeSD = MakeControl<TToolButton>(this, tbTimesSD, "btnAddTimeSD", {0, 0, 110, 26});
    btnAddTimeSD->SetCaption("Add time");
    btnDelTimeSD = MakeControl<TToolButton>(this, tbTimesSD, "btnDelTimeSD", {114, 0, 224, 26});
    btnDelTimeSD->SetCaption("Delete time");
    btnDelAllTimesSD =
        MakeControl<TToolButton>(this, tbTimesSD, "btnDelAllTimesSD", {228, 0, 358, 26});
    btnDelAllTimesSD->SetCaption("Delete all times");

    lvTimesSD = MakeControl<TListView>(this, tsScheduler, "lvTimesSD", {8, 62, 476, 190});
    lvTimesSD->Checkboxes = true;
    lvTimesSD->RowSelect = true;
    lvTimesSD->ReadOnly = true;
    lvTimesSD->Columns().Add("Time", 290);
    lvTimesSD->Columns().Add("Mode", 150);
    pmTimesSD = new TPopupMenu(this);
    pmTimesSD->SetName("pmTimesSD");
    miAddTimeSD = pmTimesSD->Add("miAddTimeSD", "Add");
    miDelTimeSD = pmTimesSD->Add("miDelTimeSD", "Delete");
    miDelAllTimesSD = pmTimesSD->Add("miDelAllTimesSD", "Delete all");
    lvTimesSD->PopupMenu = pmTimesSD;

    gbTimeSD = MakeControl<TGroupBox>(this, tsScheduler, "gbTimeSD", {8, 196, 476, 262});
    gbTimeSD->SetCaption("Time (\"Cron\" format)");
    struct TBox {
        TLabel **label;
        TEdit **edit;
        const char *labelName;
        const char *editName;
        const char *caption;
    };
    const TBox boxes[] = {
        {&lblWeekDaySD, &edWeekDaySD, "lblWeekDaySD", "edWeekDaySD", "WD"},
        {&lblMonthSD, &edMonthSD, "lblMonthSD", "edMonthSD", "M"},
        {&lblDaySD, &edDaySD, "lblDaySD", "edDaySD", "D"},
        {&lblHourSD, &edHourSD, "lblHourSD", "edHourSD", "H"},
        {&lblMinuteSD, &edMinuteSD, "lblMinuteSD", "edMinuteSD", "MIN"},
    };
    int left = 8;
    for (const TBox &box : boxes) {
        *box.label = MakeControl<TLabel>(this, gbTimeSD, box.labelName, {left, 18, left + 84, 33});
        (*box.label)->SetCaption(box.caption);
        *box.edit = MakeControl<TEdit>(this, gbTimeSD, box.editName, {left, 36, left + 84, 59});
        (*box.edit)->SetText("*");
        (*box.edit)->HelpContext = kHelpCronTime;
        left += 92;
    }

    cbDecodeSD = MakeControl<TCheckBox>(this, tsScheduler, "cbDecodeSD", {8, 270, 200, 289});
    cbDecodeSD->SetCaption("Decode");
    lblFileSD = MakeControl<TLabel>(this, tsScheduler, "lblFileSD", {8, 300, 120, 315});
    lblFileSD->SetCaption("File");
    edFileSD = MakeControl<TBrowseEdit>(this, tsScheduler, "edFileSD", {124, 296, 476, 319},
                                        TBrowseEdit::TKind::File);
    gbReadModeSD = MakeControl<TRadioGroup>(this, tsScheduler, "gbReadModeSD", {8, 328, 476, 404});
    gbReadModeSD->SetCaption("Read mode");
    gbReadModeSD->Columns = 2;
    for (const char *mode : kSchedulerReadModes)
        gbReadModeSD->Items().Add(mode);
    gbReadModeSD->SetItemIndex(2);
}

void TConfigg::BuildBottom() {
    pnlBottom = MakeControl<TPanel>(this, this, "pnlBottom",
                                    {0, kFormHeight - kBottomHeight, kFormWidth, kFormHeight});
    pnlBottom->Anchors = akLeft | akRight | akBottom;
    btnOK =
        MakeControl<TButton>(this, pnlBottom, "btnOK", {0, 10, kButtonWidth, 10 + kButtonHeight});
    btnOK->SetCaption("OK");
    btnOK->ModalResult = mrOk;
    btnCancel = MakeControl<TButton>(this, pnlBottom, "btnCancel",
                                     {0, 10, kButtonWidth, 10 + kButtonHeight});
    btnCancel->SetCaption("Cancel");
    btnCancel->ModalResult = mrCancel;
    // Cancel is both the Esc and the Enter button: Enter never saves by accident.
    btnCancel->Cancel = true;
    btnCancel->Default = true;
    pnlBottom->OnResize = [this](TObject *) { PlaceBottomButtons(); };
    PlaceBottomButtons();
}

void TConfigg::PlaceBottomButtons() {
    // OK ends 2 pixels left of the middle; Cancel starts 4 pixels right of OK.
    const int middle = pnlBottom->Width() / 2;
    btnOK->SetLeft(middle - 2 - btnOK->Width());
    btnCancel->SetLeft(btnOK->Right() + 4);
}

void TConfigg::WireHandlers() {
    auto enabledStates = [this](TObject *) { UpdateEnabledStates(); };
    cbActiveSM->OnClick = enabledStates;
    cbActiveTM->OnClick = enabledStates;
    cbActiveSD->OnClick = enabledStates;
    gbReadModeSM->OnClick = [this](TObject *) { ReadModeWarning(); };
    gbReadModeTM->OnClick = [this](TObject *) { ReadModeWarning(); };

    for (TEdit *box : {edWeekDaySD, edMonthSD, edDaySD, edHourSD, edMinuteSD}) {
        box->OnChange = [this](TObject *) { EditorChanged(); };
        box->OnExit = [this](TWinControl *, TWinControl *target, bool &allow) {
            TimeBoxExit(target, allow);
        };
    }
    edFileSD->OnChange = [this](TObject *) { EditorChanged(); };
    cbDecodeSD->OnClick = [this](TObject *) { EditorChanged(); };
    gbReadModeSD->OnClick = [this](TObject *) { EditorChanged(); };
    edFolder->OnExit = [this](TWinControl *, TWinControl *target, bool &allow) {
        FolderExit(target, allow);
    };
    edFileSM->OnButtonClick = [this](TObject *) { BrowseFileName(*edFileSM); };
    edFileSD->OnButtonClick = [this](TObject *) { BrowseFileName(*edFileSD); };

    lvTimesSD->OnSelecting = [this](TListView *, int, bool &allow) {
        // The editors belong to the selected entry; a bad time stays where it was typed.
        if (lvTimesSD->ItemIndex() >= 0 && !CheckTime()) allow = false;
    };
    lvTimesSD->OnSelectItem = [this](TListView *, int index, bool selected) {
        if (!selected) return;
        LoadEntry(index);
        UpdateEnabledStates();
    };
    auto add = [this](TObject *) { AddTime(); };
    auto del = [this](TObject *) { DeleteTime(); };
    auto delAll = [this](TObject *) { DeleteAllTimes(); };
    btnAddTimeSD->OnClick = add;
    miAddTimeSD->OnClick = add;
    btnDelTimeSD->OnClick = del;
    miDelTimeSD->OnClick = del;
    btnDelAllTimesSD->OnClick = delAll;
    miDelAllTimesSD->OnClick = delAll;
}

// ---------------------------------------------------------------- opening and closing

void TConfigg::Open() {
    building_ = true;
    SetCaption(plugin_.Description + " " + plugin_.ModuleVersion());
    // The help "file" on this platform: a folder of pages beside the module.
    HelpFile = platform::HelpLocationFor(plugin_.ModuleFolder() + plugin_.ModuleFileName());
    plugin_.ApplyTranslation(this);
    pcModes->SetActivePageIndex(0);
    try {
        TRect bounds = BoundsRect();
        plugin_.SaveDialogBounds(bounds);
        plugin_.LoadSettings(this, &plugin_.shConfig, std::string());
        OwnerWindow = plugin_.Host().OwnerWindow();
        bounds = BoundsRect();
        if (!plugin_.DialogBoundsChanged(bounds) && plugin_.CenterOverOwner(bounds)) {
            Position = TFormPosition::Designed;
            SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
        }
        FillTimesList();
        if (lvTimesSD->Count() > 0)
            lvTimesSD->SetItemIndex(0);  // loads the entry
        else
            LoadEntry(-1);
        UpdateEnabledStates();
    } catch (const std::exception &e) {
        LogError("ErrorLoadParams", e.what());
    } catch (...) {
        LogError("ErrorLoadParams", "unknown error");
    }
    SetActiveControlSilently(FindNextControl(nullptr, true));
    building_ = false;
}

int TConfigg::Execute() {
    Open();
    const int result = ShowModal();
    if (result == mrOk) {
        try {
            if (!plugin_.SaveSettings(this, &plugin_.shConfig, std::string()))
                LogError("ErrorSaveParams", "the settings could not be written");
        } catch (const std::exception &e) {
            LogError("ErrorSaveParams", e.what());
        } catch (...) {
            LogError("ErrorSaveParams", "unknown error");
        }
    }
    return result;
}

void TConfigg::LogError(const char *messageId, const std::string &error) {
    std::string text;
    try {
        text = maConfig->FormatMessage(messageId, {error});
    } catch (...) {
        text = error;
    }
    plugin_.AddLog(0, text);
}

// ---------------------------------------------------------------- schedule list

std::string TConfigg::ReadModeCaption(int mode) const {
    TStringList &items = gbReadModeSD->Items();
    if (mode < 0 || mode >= items.Count()) mode = kNewEntryReadMode;
    return mode < items.Count() ? items[mode] : std::string();
}

TListItem TConfigg::RowOf(const std::string &line) const {
    const TTimeRec rec = ParseScheduleEntry(line);
    TListItem item;
    item.Caption = CronDisplayText(rec);
    item.SubItems.push_back(ReadModeCaption(rec.ReadMode));
    item.Checked = rec.Decode;
    return item;
}

void TConfigg::FillTimesList() {
    lvTimesSD->ClearItems();
    TStringList &lines = shTimesSD->Strings();
    for (int i = 0; i < lines.Count(); ++i)
        lvTimesSD->AddItem(RowOf(lines[i]));
}

void TConfigg::RefreshRow(int index) {
    if (index < 0 || index >= lvTimesSD->Count()) return;
    lvTimesSD->SetItem(index, RowOf(shTimesSD->Strings()[index]));
}

void TConfigg::LoadEntry(int index) {
    loadingEntry_ = true;
    try {
        TStringList &lines = shTimesSD->Strings();
        if (index >= 0 && index < lines.Count()) {
            const TTimeRec rec = ParseScheduleEntry(lines[index]);
            edWeekDaySD->SetText(rec.WeekDay);
            edMonthSD->SetText(rec.Month);
            edDaySD->SetText(rec.Day);
            edHourSD->SetText(rec.Hour);
            edMinuteSD->SetText(rec.Minute);
            cbDecodeSD->SetChecked(rec.Decode);
            edFileSD->SetText(rec.FileMask);
            gbReadModeSD->SetItemIndex(rec.ReadMode);
        } else {
            for (TEdit *box : {edWeekDaySD, edMonthSD, edDaySD, edHourSD, edMinuteSD})
                box->SetText("");
            cbDecodeSD->SetChecked(false);
            edFileSD->SetText("");
            gbReadModeSD->SetItemIndex(kNewEntryReadMode);
        }
    } catch (...) {
        loadingEntry_ = false;
        throw;
    }
    loadingEntry_ = false;
}

void TConfigg::StoreEntry(int index) {
    TStringList &lines = shTimesSD->Strings();
    if (index < 0 || index >= lines.Count() || index >= lvTimesSD->Count()) return;
    const std::string line = edWeekDaySD->Text() + "||" + edMonthSD->Text() + "||" +
                             edDaySD->Text() + "||" + edHourSD->Text() + "||" + edMinuteSD->Text() +
                             "||" + (cbDecodeSD->Checked() ? "1" : "0") + "||" + edFileSD->Text() +
                             "||" + std::to_string(gbReadModeSD->ItemIndex());
    lines.SetStrings(index, line);
    RefreshRow(index);
    UpdateEnabledStates();
}

void TConfigg::EditorChanged() {
    if (building_ || loadingEntry_) return;
    StoreEntry(lvTimesSD->ItemIndex());
    ReadModeWarning();
}

void TConfigg::AddTime() {
    shTimesSD->Strings().Add(kNewScheduleEntry);
    TListItem row;
    row.Caption = kNewRowTime;
    row.SubItems.push_back(ReadModeCaption(kNewEntryReadMode));
    const int index = lvTimesSD->AddItem(std::move(row));
    lvTimesSD->SetItemIndex(index);  // loads it into the editors
    UpdateEnabledStates();
}

void TConfigg::DeleteTime() {
    const int index = lvTimesSD->ItemIndex();
    if (index < 0 || index >= lvTimesSD->Count()) return;
    if (maConfig->ShowMessageDlg("DelTime?", false) != mrYes) return;
    lvTimesSD->DeleteItem(index);
    if (index < shTimesSD->Strings().Count()) shTimesSD->Strings().Delete(index);
    if (lvTimesSD->Count() > 0)
        lvTimesSD->SetItemIndex(std::min(index, lvTimesSD->Count() - 1));
    else
        LoadEntry(-1);
    UpdateEnabledStates();
}

void TConfigg::DeleteAllTimes() {
    if (maConfig->ShowMessageDlg("DelAllTimes?", false) != mrYes) return;
    lvTimesSD->ClearItems();
    shTimesSD->Strings().Clear();
    LoadEntry(-1);
    UpdateEnabledStates();
}

// ---------------------------------------------------------------- states and checks

void TConfigg::UpdateEnabledStates() {
    const bool sm = cbActiveSM->Checked();
    for (TControl *c : std::initializer_list<TControl *>{edFileSM, cbDecodeSM, gbReadModeSM})
        c->SetEnabled(sm);
    const bool tm = cbActiveTM->Checked();
    for (TControl *c :
         std::initializer_list<TControl *>{edFilePrefixTM, edFilesExtTM, cbDecodeTM, gbReadModeTM})
        c->SetEnabled(tm);

    const bool sd = cbActiveSD->Checked();
    const bool rows = lvTimesSD->Count() > 0;
    const bool selected = rows && lvTimesSD->ItemIndex() >= 0;
    btnAddTimeSD->SetEnabled(sd);
    miAddTimeSD->Enabled = sd;
    const bool editing = sd && selected;
    btnDelTimeSD->SetEnabled(editing);
    miDelTimeSD->Enabled = editing;
    for (TControl *c :
         std::initializer_list<TControl *>{edWeekDaySD, edMonthSD, edDaySD, edHourSD, edMinuteSD,
                                           cbDecodeSD, edFileSD, gbReadModeSD})
        c->SetEnabled(editing);
    btnDelAllTimesSD->SetEnabled(sd && rows);
    miDelAllTimesSD->Enabled = sd && rows;
}

std::string TConfigg::MinuteFirstCronText() const {
    return edMinuteSD->Text() + " " + edHourSD->Text() + " " + edDaySD->Text() + " " +
           edMonthSD->Text() + " " + edWeekDaySD->Text();
}

bool TConfigg::TimeIsValid() const {
    // A blank inside a box would pass as a field separator and shift the other fields
    // ("1 2" in MIN would become minute 1, hour 2): each box holds one field.
    for (const TEdit *box : {edWeekDaySD, edMonthSD, edDaySD, edHourSD, edMinuteSD})
        if (box->Text().find_first_of(" \t\r\n") != std::string::npos) return false;
    return IsCronText(MinuteFirstCronText(), kModuleCronTypes, " ", CronNamesFrom(*utlConfig));
}

bool TConfigg::CheckTime() {
    const std::string text = MinuteFirstCronText();
    if (TimeIsValid()) return true;
    maConfig->ShowMessageDlgFmt("InvalidTime", {text}, true);
    return false;
}

bool TConfigg::FocusGoesToCancel(const TWinControl *target) const {
    return target == btnCancel || ModalResult == mrCancel;
}

void TConfigg::TimeBoxExit(TWinControl *target, bool &allow) {
    if (FocusGoesToCancel(target)) return;
    if (CheckTime())
        StoreEntry(lvTimesSD->ItemIndex());
    else
        allow = false;
}

void TConfigg::FolderExit(TWinControl *target, bool &allow) {
    if (FocusGoesToCancel(target)) return;
    if (!platform::DirectoryExists(edFolder->Text())) {
        maConfig->ShowMessageDlgFmt("FolderNotExist", {edFolder->Text()}, true);
        allow = false;
        return;
    }
    ReadModeWarning();
}

void TConfigg::ReadModeWarning() {
    if (building_ || loadingEntry_) return;
    auto risky = [](int mode) { return mode == 0 || mode == 1; };
    const bool warn = (cbActiveSM->Checked() && risky(gbReadModeSM->ItemIndex())) ||
                      (cbActiveTM->Checked() && risky(gbReadModeTM->ItemIndex())) ||
                      (cbActiveSD->Checked() && risky(gbReadModeSD->ItemIndex()));
    if (warn) maConfig->ShowMessageDlgFmt("Warning", {edFolder->Text()}, false);
}

void TConfigg::BrowseFileName(TBrowseEdit &edit) {
    // Files are always looked for in the Folder: only the name goes into the box.
    std::string path = edit.Text();
    if (UiBackend().BrowseForFile(edit.DialogTitle, edFolder->Text(), path))
        edit.SetText(platform::ExtractFileName(path));
}

}  // namespace brevor
