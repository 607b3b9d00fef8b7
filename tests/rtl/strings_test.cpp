#include "rtl/strings.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"
#include "rtl/thread_containers.h"

namespace brevor {
namespace {

TEST(Strings, TextSplitsAtCrLfOrCrLfAndWritesCrLf) {
    struct Case {
        const char *text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},           {"a", {"a"}},
        {"a\r\n", {"a"}},   {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"\n\n", {"", ""}}, {"a\n\rb", {"a", "", "b"}},
    };
    for (const Case &c : cases) {
        TStringList list;
        list.SetText(c.text);
        ASSERT_EQ(list.Count(), static_cast<int>(c.lines.size())) << c.text;
        for (int i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list[i], c.lines[static_cast<size_t>(i)]);
    }
    TStringList list;
    list.SetText("x\ny");
    EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(Strings, NotificationsRespectUpdateBrackets) {
    TStringList list;
    int changing = 0;
    int changed = 0;
    list.OnChanging = [&](TStrings *) { ++changing; };
    list.OnChange = [&](TStrings *) { ++changed; };
    list.Add("a");
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("b");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(changed, 1);  // still inside the outer bracket
    list.EndUpdate();
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 2);
    list.SetText("1\n2\n3");  // one bracket: one notification
    EXPECT_EQ(changed, 3);
}

TEST(Strings, ObjectsNamesValuesAndSearch) {
    TStringList list;
    int marker = 0;
    list.AddObject("FileNotExist===File does not exist", &marker);
    list.Add("Key=Value");
    EXPECT_EQ(list.Objects(0), &marker);
    EXPECT_EQ(list.IndexOfObject(&marker), 0);
    EXPECT_EQ(list.Names(0), "FileNotExist");
    EXPECT_EQ(list.ValueFromIndex(0), "==File does not exist");
    EXPECT_EQ(list.Values("KEY"), "Value");
    list.SetValues("key", "Other");
    EXPECT_EQ(list[1], "key=Other");
    list.SetValues("key", "");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.IndexOf("filenotexist===FILE DOES NOT EXIST"), 0);
    list.CaseSensitive = true;
    EXPECT_EQ(list.IndexOf("filenotexist===FILE DOES NOT EXIST"), -1);
    EXPECT_THROW(list.Strings(5), Exception);
}

TEST(Strings, SortedListsFindAndDuplicates) {
    TStringList list;
    list.Add("delta");
    list.Add("Alpha");
    list.Add("charlie");
    list.SetSorted(true);
    EXPECT_EQ(list.CommaText(), "Alpha,charlie,delta");
    EXPECT_EQ(list.Add("bravo"), 1);
    EXPECT_EQ(list.Add("BRAVO"), 1);  // duplicates ignored by default
    EXPECT_EQ(list.Count(), 4);
    list.Duplicates = TStrings::TDuplicates::dupError;
    EXPECT_THROW(list.Add("alpha"), Exception);
    int index = -1;
    EXPECT_FALSE(list.Find("c", index));
    EXPECT_EQ(index, 2);
    EXPECT_THROW(list.Insert(0, "x"), Exception);
}

TEST(Strings, DelimitedTextQuotesAndParses) {
    TStringList list;
    list.Add("plain");
    list.Add("with blank");
    list.Add("say \"hi\"");
    list.Add("a,b");
    const std::string text = list.CommaText();
    EXPECT_EQ(text, "plain,\"with blank\",\"say \"\"hi\"\"\",\"a,b\"");
    TStringList back;
    back.SetCommaText(text);
    EXPECT_EQ(back.Text(), list.Text());
    back.SetCommaText("a b, c,");
    EXPECT_EQ(back.Text(), "a\r\nb\r\nc\r\n\r\n");
}

TEST(Strings, ThreadStringListGuardsItsList) {
    TThreadStringList strings;
    strings.Add("one");
    strings.SetText("a\r\nb");
    TStringList *s = strings.LockList();
    EXPECT_EQ(s->Text(), "a\r\nb\r\n");
    strings.UnlockList();
}

}  // namespace
}  // namespace brevor
