#include "messages/zrt_utils.h"

#include <algorithm>
#include <array>

#include "rtl/exceptions.h"

namespace brevor {

namespace {

std::string_view TrimControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// Lines compare as unsigned bytes (std::string_view::compare is memcmp-like).
int CompareLines(const TStrings &list, int a, int b, TZRTSortKind kind) {
    const int c = std::string_view(list[a]).compare(list[b]);
    return kind == skDescending ? -c : c;
}

// Hoare partitioning on the middle line; recursion only into the smaller part keeps the depth
// logarithmic whatever order the lines come in.
void QuickSort(TStrings &list, int lo, int hi, TZRTSortKind kind) {
    while (lo < hi) {
        int i = lo, j = hi;
        const int mid = lo + (hi - lo) / 2;
        // The pivot moves with exchanges, so follow it by index.
        int pivot = mid;
        while (i <= j) {
            while (CompareLines(list, i, pivot, kind) < 0)
                ++i;
            while (CompareLines(list, j, pivot, kind) > 0)
                --j;
            if (i <= j) {
                if (i != j) {
                    list.Exchange(i, j);
                    if (pivot == i)
                        pivot = j;
                    else if (pivot == j)
                        pivot = i;
                }
                ++i;
                --j;
            }
        }
        if (j - lo < hi - i) {
            QuickSort(list, lo, j, kind);
            lo = i;
        } else {
            QuickSort(list, i, hi, kind);
            hi = j;
        }
    }
}

// ---------------------------------------------------------------- stored lists

struct TStoredEntry {
    std::string_view Id;
    std::string_view Text;  // both components unless ConfigText is given
    std::string_view ConfigText = {};
};

struct TStoredSection {
    std::string_view Comment;
    const TStoredEntry *Entries;
    std::size_t Count;
};

constexpr std::array<std::string_view, 3> kHeader = {"; Format", "; Syntax: ID===Text",
                                                     "; Please, don't change IDs on this list!!!"};

constexpr TStoredEntry kSortKinds[] = {
    {"Ascending", "Ascending"}, {"Descending", "Descending"}, {"Asc", "Asc"}, {"Des", "Des"}};

constexpr TStoredEntry kDataTypes[] = {
    {"Any", "Any"},           {"Boolean", "Boolean"},   {"Char", "Char"},
    {"String", "String"},     {"Byte", "Byte"},         {"Shortint", "Shortint"},
    {"Smallint", "Smallint"}, {"Integer", "Integer"},   {"Word", "Word"},
    {"Longint", "Longint"},   {"Cardinal", "Cardinal"}, {"Longword", "Longword"},
    {"Int64", "Int64"},       {"Double", "Double"},     {"Single", "Single"},
    {"Extended", "Extended"}, {"Comp", "Comp"},         {"Time", "Time"},
    {"Date", "Date"},         {"Datetime", "Datetime"}, {"Currency", "Currency"},
    {"Object", "Object"},     {"OleStr", "Ole string"}, {"Unknown", "Unknown"},
    {"AnyShort", "Any"},      {"BooleanShort", "Bol"},  {"CharShort", "Chr"},
    {"StringShort", "Str"},   {"ByteShort", "Byt"},     {"ShortintShort", "hi"},
    {"SmallintShort", "Smi"}, {"IntegerShort", "Int"},  {"WordShort", "Wrd"},
    {"LongintShort", "Lng"},  {"CardinalShort", "Crd"}, {"LongwordShort", "Low"},
    {"Int64Short", "I64"},    {"RealShort", "Rel"},     {"DoubleShort", "Dbl"},
    {"SingleShort", "Sgl"},   {"ExtendedShort", "Ext"}, {"CompShort", "Cmp"},
    {"TimeShort", "Tim"},     {"DateShort", "Dat"},     {"DateTimeShort", "Dti"},
    {"CurrencyShort", "Cur"}, {"ObjectShort", "Obj"},   {"OleStrShort", "Ols"},
    {"UnknownShort", "Unk"},
};

constexpr TStoredEntry kWeekdays[] = {
    {"Monday", "Monday"},     {"Tuesday", "Tuesday"},  {"Wednesday", "Wednesday"},
    {"Thursday", "Thursday"}, {"Friday", "Friday"},    {"Saturday", "Saturday"},
    {"Sunday", "Sunday"},     {"MondayShort", "Mn"},   {"TuesdayShort", "Tu"},
    {"WednesdayShort", "We"}, {"ThursdayShort", "Th"}, {"FridayShort", "Fr"},
    {"SaturdayShort", "Sa"},  {"SundayShort", "Su"},
};

constexpr TStoredEntry kMonths[] = {
    {"January", "January"},  {"February", "February"}, {"March", "March"},
    {"April", "April"},      {"May", "May"},           {"June", "June"},
    {"July", "July"},        {"August", "August"},     {"September", "September"},
    {"October", "October"},  {"November", "November"}, {"December", "December"},
    {"JanuaryShort", "Jan"}, {"FebruaryShort", "Feb"}, {"MarchShort", "Mar"},
    {"AprilShort", "Apr"},   {"MayShort", "May"},      {"JuneShort", "Jun"},
    {"JulyShort", "Jul"},    {"AugustShort", "Aug"},   {"SeptemberShort", "Sep"},
    {"OctoberShort", "Oct"}, {"NovemberShort", "Nov"}, {"DecemberShort", "Dec"},
};

// "Orhort" is the stored ID (translations are keyed by it), not a typo to correct here.
constexpr TStoredEntry kConditions[] = {
    {"Equal", "Equal"},
    {"NotEqual", "Not equal"},
    {"Less", "Less"},
    {"More", "More"},
    {"LessEqual", "Less equal"},
    {"MoreEqual", "More equal"},
    {"And", "And"},
    {"Or", "Or"},
    {"Range", "In range"},
    {"In", "In"},
    {"Beg", "Begin"},
    {"EqualShort", "="},
    {"NotEqualShort", "<>"},
    {"LessShort", "<"},
    {"MoreShort", ">"},
    {"LessEqualShort", "<="},
    {"MoreEqualShort", ">="},
    {"AndShort", "And"},
    {"Orhort", "Or"},
    {"RangeShort", "In range"},
    {"InShort", "In", "Contains"},
    {"BegShort", "Beg", "Begins"},
};

constexpr TStoredEntry kBooleans[] = {
    {"Yes", "Yes", "True"}, {"No", "No", "False"}, {"YesShort", "Y"}, {"NoShort", "N"}};

// Only in the list of a component created without a stored one.
constexpr TStoredEntry kDateTime[] = {
    {"Year", "Year"}, {"Month", "Month"},   {"Week", "Week"},     {"Day", "Day"},
    {"Hour", "Hour"}, {"Minute", "Minute"}, {"Second", "Second"}, {"MSecond", "Millisecond"},
};

constexpr TStoredEntry kCurrencyConvert[] = {
    {"Zero", "zero"},         {"One", "one"},           {"Two", "two"},
    {"Three", "three"},       {"Four", "four"},         {"Five", "five"},
    {"Six", "six"},           {"Seven", "seven"},       {"Eight", "eight"},
    {"Nine", "nine"},         {"Ten", "ten"},           {"Eleven", "eleven"},
    {"Twelve", "twelve"},     {"Thirteen", "thirteen"}, {"Fourteen", "fourteen"},
    {"Fifteen", "fifteen"},   {"Sixteen", "sixteen"},   {"Seventeen", "seventeen"},
    {"Eighteen", "eighteen"}, {"Nineteen", "nineteen"}, {"Twenty", "twenty"},
    {"Thirty", "thirty"},     {"Forty", "forty"},       {"Fifty", "fifty"},
    {"Sixty", "sixty"},       {"Seventy", "seventy"},   {"Eighty", "eighty"},
    {"Ninety", "ninety"},     {"Hundred", "hundred"},   {"Thousand", "thousand"},
    {"Million", "million"},   {"Billion", "billion"},
};

template <std::size_t N>
constexpr TStoredSection Section(std::string_view comment, const TStoredEntry (&entries)[N]) {
    return {comment, entries, N};
}

constexpr std::array<TStoredSection, 6> kStoredSections = {
    Section("; Sort kinds", kSortKinds),  Section("; Data types", kDataTypes),
    Section("; Weekdays", kWeekdays),     Section("; Months", kMonths),
    Section("; Conditions", kConditions), Section("; Booleans", kBooleans),
};

constexpr std::array<TStoredSection, 2> kDefaultOnlySections = {
    Section("; DateTime", kDateTime),
    Section("; Currency convert", kCurrencyConvert),
};

std::string_view TextFor(const TStoredEntry &e, bool config) {
    return config && !e.ConfigText.empty() ? e.ConfigText : e.Text;
}

void AppendSection(TStrings &lines, const TStoredSection &section, bool config) {
    lines.Add("");
    lines.Add(section.Comment);
    for (std::size_t i = 0; i < section.Count; ++i) {
        const TStoredEntry &e = section.Entries[i];
        std::string line(e.Id);
        line += kZRTIdSeparator;
        line += TextFor(e, config);
        lines.Add(line);
    }
}

TStringList BuildList(bool config, bool withDefaultOnly) {
    TStringList lines;
    for (std::string_view h : kHeader)
        lines.Add(h);
    for (const TStoredSection &s : kStoredSections)
        AppendSection(lines, s, config);
    if (withDefaultOnly)
        for (const TStoredSection &s : kDefaultOnlySections)
            AppendSection(lines, s, config);
    return lines;
}

}  // namespace

// ---------------------------------------------------------------- TZRTUtils

const TClassInfo &TZRTUtils::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TZRTUtils>("TZRTUtils", &TComponent::StaticClassInfo())
            .Enumeration(
                "WindowsPosition",
                {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                 "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
                &TZRTUtils::WindowsPosition)
            .Object("Messages", [](TZRTUtils &u) { return &u.messages_; })
            .Object("IDs", [](TZRTUtils &u) { return &u.ids_; })
            .Object("Texts", [](TZRTUtils &u) { return &u.texts_; })
            .Boolean("AutoSort", &TZRTUtils::AutoSort)
            .Enumeration("SortKind", {"skAscending", "skDescending"}, &TZRTUtils::SortKind)
            .Build();
    return info;
}

const TClassInfo &TZRTUtils::ClassInfo() const {
    return StaticClassInfo();
}

TZRTUtils::TZRTUtils(TComponent *owner) : TComponent(owner) {
    messages_.Assign(DefaultZRTMessages());
    RebuildIDs();
}

void TZRTUtils::SetMessages(const TStrings &lines) {
    messages_.Assign(lines);
    if (AutoSort) SortLines(messages_, SortKind);
    RebuildIDs();
}

void TZRTUtils::SetIDs(const TStrings *lines) {
    if (lines) ids_.Assign(*lines);
}

void TZRTUtils::SetTexts(const TStrings *lines) {
    if (lines) texts_.Assign(*lines);
}

void TZRTUtils::LoadLists(const TStrings &messages, const TStrings &ids, const TStrings &texts) {
    messages_.Assign(messages);
    ids_.Assign(ids);
    texts_.Assign(texts);
}

void TZRTUtils::RebuildIDs() {
    ids_.BeginUpdate();
    texts_.BeginUpdate();
    ids_.Clear();
    texts_.Clear();
    for (int i = 0; i < messages_.Count(); ++i) {
        std::string line(TrimControls(messages_[i]));
        if (!line.empty() && line.front() == ';') continue;
        std::string id;
        SplitAtSeparator(line, kZRTIdSeparator, id, true);
        if (id.empty() || line.empty()) continue;
        ids_.Add(id);
        texts_.Add(line);
    }
    texts_.EndUpdate();
    ids_.EndUpdate();
}

int TZRTUtils::IndexOfID(std::string_view id) {
    const int count = ids_.Count();
    const int start = LastIDIndex >= 0 && LastIDIndex < count ? LastIDIndex : 0;
    for (int n = 0; n < count; ++n) {
        const int i = (start + n) % count;
        if (ids_[i] == id) {
            LastIDIndex = i;
            return i;
        }
    }
    LastIDIndex = start;
    return -1;
}

std::string TZRTUtils::TextOf(std::string_view id) {
    return texts_[IndexOfID(id)];
}

bool TZRTUtils::TryTextOf(std::string_view id, std::string &text) {
    const int i = IndexOfID(id);
    if (i < 0 || i >= texts_.Count()) return false;
    text = texts_[i];
    return true;
}

void TZRTUtils::SortLines(TStrings &list, TZRTSortKind kind) {
    if (list.Count() < 2) return;
    list.BeginUpdate();
    try {
        QuickSort(list, 0, list.Count() - 1, kind);
    } catch (...) {
        list.EndUpdate();
        throw;
    }
    list.EndUpdate();
}

void TZRTUtils::SplitAtSeparator(std::string &s, std::string_view separator, std::string &left,
                                 bool cut) {
    const std::size_t at = s.find(separator);
    if (at == std::string::npos) {
        left = s;
        if (cut) s.clear();
        return;
    }
    left = s.substr(0, at);
    if (cut) s.erase(0, at + separator.size());
}

int TZRTUtils::FindSubText(std::string_view s, std::string_view sub, int backward, int toPos,
                           int fromPos) {
    if (s.empty() || sub.empty()) return 0;
    if (backward != 0 && backward != 1) return 0;
    // Positions outside the text would read past it; only the part within it can match.
    fromPos = std::max(fromPos, 1);
    toPos = std::min<long long>(toPos, static_cast<long long>(s.size()));
    if (toPos < fromPos) return 0;
    const long long subLen = static_cast<long long>(sub.size());
    auto matchesAt = [&](int pos) {
        return pos + subLen - 1 <= toPos &&
               s.substr(static_cast<std::size_t>(pos - 1), sub.size()) == sub;
    };
    if (backward == 0) {
        for (int pos = fromPos; pos <= toPos; ++pos)
            if (matchesAt(pos)) return pos;
    } else {
        for (int pos = toPos; pos >= fromPos; --pos)
            if (matchesAt(pos)) return pos;
    }
    return 0;
}

// ---------------------------------------------------------------- lists and names

TStringList DefaultZRTMessages() {
    return BuildList(false, true);
}

TStringList StoredZRTMessages(TZRTStoredUtils which) {
    return BuildList(which == TZRTStoredUtils::utlConfig, false);
}

void LoadStoredZRTUtils(TZRTUtils &utils, TZRTStoredUtils which) {
    const bool config = which == TZRTStoredUtils::utlConfig;
    utils.SetName(config ? "utlConfig" : "utlPlugin");
    utils.SetTag(kZRTUtilsTag);
    utils.AutoSort = false;
    utils.SortKind = skAscending;
    TStringList ids, texts;
    for (const TStoredSection &s : kStoredSections)
        for (std::size_t i = 0; i < s.Count; ++i) {
            ids.Add(s.Entries[i].Id);
            texts.Add(TextFor(s.Entries[i], config));
        }
    utils.LoadLists(StoredZRTMessages(which), ids, texts);
}

TCronNames CronNamesFrom(TZRTUtils &utils) {
    static constexpr std::array<std::string_view, 7> kDays = {
        "MondayShort", "TuesdayShort",  "WednesdayShort", "ThursdayShort",
        "FridayShort", "SaturdayShort", "SundayShort"};
    static constexpr std::array<std::string_view, 12> kMonthIds = {
        "JanuaryShort",   "FebruaryShort", "MarchShort",    "AprilShort",
        "MayShort",       "JuneShort",     "JulyShort",     "AugustShort",
        "SeptemberShort", "OctoberShort",  "NovemberShort", "DecemberShort"};
    TCronNames names;
    for (std::size_t i = 0; i < kDays.size(); ++i)
        utils.TryTextOf(kDays[i], names.WeekDays[i]);
    for (std::size_t i = 0; i < kMonthIds.size(); ++i)
        utils.TryTextOf(kMonthIds[i], names.Months[i]);
    return names;
}

}  // namespace brevor
