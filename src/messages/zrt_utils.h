#pragma once

// The utility component: a list of "ID===Text" lines that names values (sort kinds, data types,
// weekdays, months, conditions, booleans), the IDs and texts derived from it, and the small text
// routines the cron parser and the file-name matcher share.

#include <functional>
#include <string>
#include <string_view>

#include "rtl/component.h"
#include "rtl/strings.h"
#include "timing/cron.h"

namespace brevor {

class TBigIniFile;

enum TPosition : int {
    poDesigned = 0,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter,
};

enum TZRTSortKind : int { skAscending = 0, skDescending };

// A property of an object, as the copy and read/write events see it.
struct TZRTObjectData {
    TObject *Instance = nullptr;
    const TPropInfo *Prop = nullptr;
};

class TZRTUtils;
using TZRTOnCopyProp = std::function<void(TZRTUtils *sender, const TZRTObjectData &srcProp,
                                          const TZRTObjectData &dstProp, bool &result)>;
using TZRTOnReadProp =
    std::function<void(TZRTUtils *sender, TBigIniFile *ini, const std::string &section,
                       const std::string &ident, const TZRTObjectData &prop, bool &result)>;

// The separator between ID and text in a message line.
inline constexpr std::string_view kZRTIdSeparator = "===";
// The tag that keeps the translator away from the component.
inline constexpr std::intptr_t kZRTUtilsTag = 9999;

class TZRTUtils : public TComponent {
public:
    // Defaults, and the default message list with IDs and texts derived from it.
    explicit TZRTUtils(TComponent *owner = nullptr);

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // The lists themselves; editing their lines directly derives nothing.
    TStringList &Messages() { return messages_; }
    const TStringList &Messages() const { return messages_; }
    TStringList &IDs() { return ids_; }
    const TStringList &IDs() const { return ids_; }
    TStringList &Texts() { return texts_; }
    const TStringList &Texts() const { return texts_; }

    // Copies the lines, sorts them when AutoSort is set, then derives IDs and Texts.
    void SetMessages(const TStrings &lines);
    // Copy the lines given; a null list is ignored.
    void SetIDs(const TStrings *lines);
    void SetTexts(const TStrings *lines);
    // Takes the three lists as stored, without deriving anything (loading a stored component).
    void LoadLists(const TStrings &messages, const TStrings &ids, const TStrings &texts);

    // Clears IDs and Texts and derives them from Messages.
    void RebuildIDs();
    // Index of the ID (compared exactly) in IDs, or -1. The search starts at LastIDIndex, so a
    // repeated lookup finds its entry at once.
    int IndexOfID(std::string_view id);
    // Texts at IndexOfID(id); an unknown ID raises the string list's "List index out of bounds
    // (-1)".
    std::string TextOf(std::string_view id);
    // Like TextOf, but false (and text untouched) for an unknown ID.
    bool TryTextOf(std::string_view id, std::string &text);

    // In-place quicksort by exchanges of whole lines, compared byte by byte; not stable.
    static void SortLines(TStrings &list, TZRTSortKind kind);
    // Left := the text of s before the first separator (all of s when there is none). With cut,
    // s loses that text and the separator (all of s when there is none).
    static void SplitAtSeparator(std::string &s, std::string_view separator, std::string &left,
                                 bool cut);
    // The 1-based position of sub in s with the whole occurrence within fromPos .. toPos, or 0.
    // backward 0 searches from fromPos up, 1 from toPos down; any other value finds nothing.
    // Positions outside s are clamped to it, so s is never read outside its bounds.
    static int FindSubText(std::string_view s, std::string_view sub, int backward, int toPos,
                           int fromPos);

    TPosition WindowsPosition = poOwnerFormCenter;
    bool AutoSort = false;
    TZRTSortKind SortKind = skAscending;
    TZRTOnCopyProp OnCopyProp;
    TZRTOnReadProp OnReadProp1;
    TZRTOnReadProp OnWriteProp1;
    int LastIDIndex = -1;

private:
    TStringList messages_;
    TStringList ids_;
    TStringList texts_;
};

// The default message list of a new component.
TStringList DefaultZRTMessages();

// The two stored components of the module: the module object's and the configuration dialog's.
enum class TZRTStoredUtils { utlPlugin, utlConfig };
// The stored Messages lines of one of them.
TStringList StoredZRTMessages(TZRTStoredUtils which);
// Loads a component as stored: name, Tag 9999, the three lists as stored, AutoSort false and
// SortKind skAscending.
void LoadStoredZRTUtils(TZRTUtils &utils, TZRTStoredUtils which);

// The cron names from the component's "MondayShort".."SundayShort" and
// "JanuaryShort".."DecemberShort" texts; a name the list lacks keeps its default.
TCronNames CronNamesFrom(TZRTUtils &utils);

}  // namespace brevor
