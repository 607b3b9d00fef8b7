#include "messages/zrt_utils.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace brevor {
namespace {

TStringList Lines(std::initializer_list<const char *> lines) {
    TStringList l;
    for (const char *line : lines)
        l.Add(line);
    return l;
}

std::vector<std::string> ToVector(const TStrings &l) {
    std::vector<std::string> v;
    for (int i = 0; i < l.Count(); ++i)
        v.push_back(l[i]);
    return v;
}

TEST(ZRTUtils, MessageLinesToIdsAndTexts) {
    struct TCase {
        const char *line;
        const char *id;  // null: no entry
        const char *text;
    };
    const TCase cases[] = {
        {"Real&sReal", nullptr, nullptr},       // no separator
        {"===Text", nullptr, nullptr},          // empty ID
        {"Id===", nullptr, nullptr},            // empty text
        {"", nullptr, nullptr},                 //
        {"; Months", nullptr, nullptr},         // comment
        {"  \t; Id===x", nullptr, nullptr},     // comment after trimming
        {"EqualShort====", "EqualShort", "="},  // text may hold "="
        {"  A===b c  ", "A", "b c"},            // the line is trimmed first
        {"A===x===y", "A", "x===y"},            // first separator only
    };
    for (const TCase &c : cases) {
        TZRTUtils u;
        u.SetMessages(Lines({c.line}));
        if (!c.id) {
            EXPECT_EQ(u.IDs().Count(), 0) << c.line;
            continue;
        }
        ASSERT_EQ(u.IDs().Count(), 1) << c.line;
        EXPECT_EQ(u.IDs()[0], c.id);
        EXPECT_EQ(u.Texts()[0], c.text);
    }
}

TEST(ZRTUtils, TextOfAndIndexOfId) {
    TZRTUtils u;
    LoadStoredZRTUtils(u, TZRTStoredUtils::utlPlugin);
    EXPECT_EQ(u.TextOf("MayShort"), "May");
    try {
        u.TextOf("mayshort");  // IDs are case-sensitive
        FAIL();
    } catch (const Exception &e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
    const int i = u.IndexOfID("NoShort");
    EXPECT_EQ(i, u.IDs().Count() - 1);
    EXPECT_EQ(u.LastIDIndex, i);
    // The search starts at the last hit and wraps around.
    EXPECT_EQ(u.IndexOfID("NoShort"), i);
    EXPECT_EQ(u.IndexOfID("Ascending"), 0);
    EXPECT_EQ(u.LastIDIndex, 0);
    u.LastIDIndex = 5;
    EXPECT_EQ(u.IndexOfID("Unknown-ID"), -1);
    EXPECT_EQ(u.LastIDIndex, 5);
    u.LastIDIndex = 100000;  // out of range: start at 0
    EXPECT_EQ(u.IndexOfID("Descending"), 1);
}

TEST(ZRTUtils, AutoSortOnAssignment) {
    struct TCase {
        bool autoSort;
        TZRTSortKind kind;
        std::vector<std::string> ids;
    };
    const TCase cases[] = {
        {true, skDescending, {"b", "a"}},
        {true, skAscending, {"a", "b"}},
        {false, skAscending, {"b", "a"}},
    };
    for (const TCase &c : cases) {
        TZRTUtils u;
        u.AutoSort = c.autoSort;
        u.SortKind = c.kind;
        u.SetMessages(Lines({"b===2", "a===1"}));
        EXPECT_EQ(ToVector(u.IDs()), c.ids);
        EXPECT_EQ(u.Messages()[0], c.ids[0] + "===" + (c.ids[0] == "a" ? "1" : "2"));
    }
}

TEST(ZRTUtils, SortLinesComparesBytes) {
    TStringList l = Lines({"b", "", "\xE9", "; c", "B", "a", "b", "ab"});
    TZRTUtils::SortLines(l, skAscending);
    EXPECT_EQ(ToVector(l), (std::vector<std::string>{"", "; c", "B", "a", "ab", "b", "b", "\xE9"}));
    TZRTUtils::SortLines(l, skDescending);
    EXPECT_EQ(ToVector(l), (std::vector<std::string>{"\xE9", "b", "b", "ab", "a", "B", "; c", ""}));
    // Large ordered and reversed inputs sort without deep recursion.
    TStringList big;
    for (int i = 0; i < 20000; ++i)
        big.Add(std::to_string(100000 + i));
    TZRTUtils::SortLines(big, skDescending);
    for (int i = 1; i < big.Count(); ++i)
        ASSERT_GT(big[i - 1], big[i]);
}

TEST(ZRTUtils, AssigningIdsOrTextsCopiesOnly) {
    TZRTUtils u;
    u.SetMessages(Lines({"A===1"}));
    const TStringList ids = Lines({"X", "Y"});
    u.SetIDs(&ids);
    u.SetTexts(nullptr);
    EXPECT_EQ(ToVector(u.IDs()), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(ToVector(u.Texts()), (std::vector<std::string>{"1"}));
    EXPECT_EQ(u.Messages()[0], "A===1");
}

TEST(ZRTUtils, SplitAtSeparator) {
    struct TCase {
        const char *s, *sep;
        bool cut;
        const char *left, *rest;
    };
    const TCase cases[] = {
        {"0 12 * * 1", " ", true, "0", "12 * * 1"},
        {"0 12 * * 1", " ", false, "0", "0 12 * * 1"},
        {"abc", ",", true, "abc", ""},
        {"abc", ",", false, "abc", "abc"},
        {"===x", "===", true, "", "x"},
        {"a==b===c", "===", true, "a==b", "c"},
        {"", " ", true, "", ""},
        {"AbA", "a", true, "AbA", ""},  // case-sensitive
    };
    for (const TCase &c : cases) {
        std::string s = c.s, left = "junk";
        TZRTUtils::SplitAtSeparator(s, c.sep, left, c.cut);
        EXPECT_EQ(left, c.left) << c.s;
        EXPECT_EQ(s, c.rest) << c.s;
    }
}

TEST(ZRTUtils, FindSubText) {
    struct TCase {
        const char *s, *sub;
        int backward, toPos, fromPos, expected;
    };
    const TCase cases[] = {
        {"abcabc", "bc", 0, 6, 1, 2},  {"abcabc", "bc", 1, 6, 1, 5}, {"abcabc", "bc", 0, 6, 3, 5},
        {"abcabc", "bc", 1, 5, 1, 2},  // the occurrence at 5 would end past ToPos
        {"abcabc", "bc", 0, 2, 1, 0},  {"abcabc", "bc", 2, 6, 1, 0},  // unknown direction
        {"abcabc", "bc", 0, 1, 3, 0},                                 // ToPos < FromPos
        {"", "a", 0, 1, 1, 0},                                        //
        {"abc", "", 0, 3, 1, 0},                                      //
        {"abc", "C", 0, 3, 1, 0},                                     // case-sensitive
        {"abc", "abc", 1, 3, 1, 1},                                   //
        {"abc", "c", 0, 999, -5, 3},    // positions clamped to the text
        {"abc", "c", 1, 999, -5, 3},    //
        {"abc", "abcd", 0, 999, 1, 0},  //
    };
    for (const TCase &c : cases)
        EXPECT_EQ(TZRTUtils::FindSubText(c.s, c.sub, c.backward, c.toPos, c.fromPos), c.expected)
            << c.s << " / " << c.sub << " " << c.backward << " " << c.toPos << " " << c.fromPos;
}

TEST(ZRTUtils, StoredListsOfTheTwoComponents) {
    TZRTUtils plugin, config;
    LoadStoredZRTUtils(plugin, TZRTStoredUtils::utlPlugin);
    LoadStoredZRTUtils(config, TZRTStoredUtils::utlConfig);
    EXPECT_EQ(plugin.Name(), "utlPlugin");
    EXPECT_EQ(config.Tag(), 9999);
    ASSERT_EQ(plugin.IDs().Count(), 117);
    ASSERT_EQ(config.IDs().Count(), 117);
    EXPECT_EQ(plugin.Messages()[0], "; Format");
    EXPECT_EQ(plugin.Messages()[3], "");
    EXPECT_EQ(plugin.Messages()[4], "; Sort kinds");

    // The stored IDs and Texts equal what derivation gives from the stored Messages.
    for (TZRTUtils *u : {&plugin, &config}) {
        TZRTUtils derived;
        derived.SetMessages(u->Messages());
        EXPECT_EQ(ToVector(derived.IDs()), ToVector(u->IDs()));
        EXPECT_EQ(ToVector(derived.Texts()), ToVector(u->Texts()));
    }
    // The lists differ in four texts only.
    std::vector<std::string> differing;
    for (int i = 0; i < 117; ++i) {
        EXPECT_EQ(plugin.IDs()[i], config.IDs()[i]);
        if (plugin.Texts()[i] != config.Texts()[i]) differing.push_back(plugin.IDs()[i]);
    }
    EXPECT_EQ(differing, (std::vector<std::string>{"InShort", "BegShort", "Yes", "No"}));

    struct TCase {
        const char *id, *pluginText, *configText;
    };
    const TCase cases[] = {
        {"OleStr", "Ole string", "Ole string"},
        {"Range", "In range", "In range"},
        {"Beg", "Begin", "Begin"},
        {"ShortintShort", "hi", "hi"},
        {"Orhort", "Or", "Or"},
        {"SundayShort", "Su", "Su"},
        {"DecemberShort", "Dec", "Dec"},
        {"NotEqualShort", "<>", "<>"},
        {"InShort", "In", "Contains"},
        {"BegShort", "Beg", "Begins"},
        {"Yes", "Yes", "True"},
        {"No", "No", "False"},
        {"Datetime", "Datetime", "Datetime"},
        {"YesShort", "Y", "Y"},
    };
    for (const TCase &c : cases) {
        EXPECT_EQ(plugin.TextOf(c.id), c.pluginText) << c.id;
        EXPECT_EQ(config.TextOf(c.id), c.configText) << c.id;
    }
}

TEST(ZRTUtils, DefaultListHoldsTheStoredSectionsAndMore) {
    TZRTUtils u;
    EXPECT_EQ(u.WindowsPosition, poOwnerFormCenter);
    EXPECT_FALSE(u.AutoSort);
    EXPECT_EQ(u.LastIDIndex, -1);
    EXPECT_GT(u.IDs().Count(), 117);
    EXPECT_EQ(u.TextOf("FebruaryShort"), "Feb");
    EXPECT_NE(u.Messages().IndexOf("; Currency convert"), -1);
    EXPECT_NE(u.Messages().IndexOf("; DateTime"), -1);
    EXPECT_EQ(u.ClassInfo().FindProperty("sortkind")->Kind, tkEnumeration);
}

TEST(ZRTUtils, CronNamesFollowTheList) {
    TZRTUtils u;
    LoadStoredZRTUtils(u, TZRTStoredUtils::utlPlugin);
    const TCronNames stored = CronNamesFrom(u);
    EXPECT_EQ(stored.WeekDays, TCronNames{}.WeekDays);
    EXPECT_EQ(stored.Months, TCronNames{}.Months);

    // A translated list: its names are the ones cron texts accept; missing IDs keep defaults.
    u.SetMessages(Lines({"MondayShort===Lu", "DecemberShort===Dic"}));
    const TCronNames names = CronNamesFrom(u);
    EXPECT_EQ(names.WeekDays[0], "Lu");
    EXPECT_EQ(names.WeekDays[1], "Tu");
    EXPECT_EQ(names.Months[11], "Dic");
    EXPECT_TRUE(IsCronText("0 12 * Dic Lu", kModuleCronTypes, " ", names));
    EXPECT_FALSE(IsCronText("0 12 * Dec Mn", kModuleCronTypes, " ", names));
    const TZRTCron cron = ParseCronText("0 12 * Dic Lu", kModuleCronTypes, " ", names);
    EXPECT_EQ(cron[ctMonths], TZRTCronField{12});
    EXPECT_EQ(cron[ctWeekDays], TZRTCronField{1});
}

}  // namespace
}  // namespace brevor
