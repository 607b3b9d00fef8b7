#pragma once

// The module's options dialog: the settings of the mapping lines edited in controls of the same
// names, the schedule list, and the checks that keep bad folders and cron times out.

#include <string>

#include "messages/msg_array.h"
#include "messages/zrt_utils.h"
#include "ui/controls.h"

namespace brevor {

class TaPlugin;

// Help contexts of the dialog's areas.
inline constexpr std::int32_t kHelpCronTime = 20;
inline constexpr std::int32_t kHelpDialog = 30;
inline constexpr std::int32_t kHelpGeneral = 41;
inline constexpr std::int32_t kHelpSimpleScan = 42;
inline constexpr std::int32_t kHelpTimeScan = 43;
inline constexpr std::int32_t kHelpScheduler = 44;

class TConfigg : public TForm {
public:
    // Built for one modal showing on the user-interface thread. The module is not the
    // dialog's owner: the module's own component list is walked by host threads, so the
    // dialog keeps only a reference.
    explicit TConfigg(TaPlugin &plugin);
    ~TConfigg() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // Opens (loads the settings into the controls), shows modally and, on OK, writes the
    // controls back to the store. Returns the modal result.
    int Execute();
    // The opening steps alone (Execute runs them); public for tests of the opened state.
    void Open();

    // ---- controls; the names are those of the mapping lines
    TLabel *lblScanInterval, *lblBlockSize, *lblFolder;
    TSpinEdit *edScanInterval, *edBlockSize;
    TBrowseEdit *edFolder;
    TPageControl *pcModes;
    TTabSheet *tsSimpleMode, *tsTimeMode, *tsScheduler;
    // simple scan
    TCheckBox *cbActiveSM, *cbDecodeSM;
    TLabel *lblFileSM;
    TBrowseEdit *edFileSM;
    TRadioGroup *gbReadModeSM;
    // time scan
    TCheckBox *cbActiveTM, *cbDecodeTM;
    TLabel *lblFilePrefixTM, *lblFilesExtTM;
    TEdit *edFilePrefixTM, *edFilesExtTM;
    TRadioGroup *gbReadModeTM;
    // scheduler
    TCheckBox *cbActiveSD, *cbDecodeSD;
    TToolBar *tbTimesSD;
    TToolButton *btnAddTimeSD, *btnDelTimeSD, *btnDelAllTimesSD;
    TListView *lvTimesSD;
    TPopupMenu *pmTimesSD;
    TMenuItem *miAddTimeSD, *miDelTimeSD, *miDelAllTimesSD;
    TGroupBox *gbTimeSD;
    TLabel *lblWeekDaySD, *lblMonthSD, *lblDaySD, *lblHourSD, *lblMinuteSD;
    TEdit *edWeekDaySD, *edMonthSD, *edDaySD, *edHourSD, *edMinuteSD;
    TLabel *lblFileSD;
    TBrowseEdit *edFileSD;
    TRadioGroup *gbReadModeSD;
    // bottom
    TPanel *pnlBottom;
    TButton *btnOK, *btnCancel;
    // non-visual
    TStrHolder *shTimesSD;
    TMsgArray *maConfig;
    TZRTUtils *utlConfig;

    // ---- the dialog's logic (the controls' handlers call these)
    void UpdateEnabledStates();
    // Loads line index of the schedule into the entry editors; -1 clears them.
    void LoadEntry(int index);
    // Stores the entry editors into line index (nothing when index is not a row).
    void StoreEntry(int index);
    // The cron text of the five time boxes, minute first; shows "InvalidTime" and returns false
    // when it does not parse.
    bool CheckTime();
    bool TimeIsValid() const;
    void ReadModeWarning();
    void AddTime();
    void DeleteTime();
    void DeleteAllTimes();

private:
    void Build();
    void BuildTop();
    void BuildSimpleTab();
    void BuildTimeTab();
    void BuildSchedulerTab();
    void BuildBottom();
    void WireHandlers();
    void FillTimesList();
    void RefreshRow(int index);
    TListItem RowOf(const std::string &line) const;
    std::string ReadModeCaption(int mode) const;
    std::string MinuteFirstCronText() const;
    bool FocusGoesToCancel(const TWinControl *target) const;
    void TimeBoxExit(TWinControl *target, bool &allow);
    void FolderExit(TWinControl *target, bool &allow);
    void EditorChanged();
    void BrowseFileName(TBrowseEdit &edit);
    void PlaceBottomButtons();
    void LogError(const char *messageId, const std::string &error);

    TaPlugin &plugin_;
    // Building and loading an entry: editor changes neither store nor warn.
    bool building_ = true;
    bool loadingEntry_ = false;
};

}  // namespace brevor
