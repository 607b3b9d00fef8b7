#include "messages/msg_array.h"

#include <gtest/gtest.h>

namespace brevor {
namespace {

TStringList Rows(std::initializer_list<const char *> lines) {
    TStringList l;
    for (const char *line : lines)
        l.Add(line);
    return l;
}

TEST(MsgArray, LookupAndFormatting) {
    TMsgArray ma;
    ma.SetMessagesArray(
        Rows({"FileNotExist||The \"%s\" file doesn't exist||||||D||||||||", "OnlyId",
              "dup||first||", "DUP||second||", "Lines||a%0D%0Ab %d||", "Lower||x%0a||"}));
    EXPECT_EQ(ma.FormatMessage("filenotexist", {"/x"}), "The \"/x\" file doesn't exist");
    EXPECT_EQ(ma.FormatMessage("FileNotExist", {}), "The \"%s\" file doesn't exist");
    EXPECT_EQ(ma.FormatMessage("OnlyId", {}), "");
    EXPECT_EQ(ma.FormatMessage("Dup", {}), "second");  // the later row wins
    EXPECT_EQ(ma.FormatMessage("Lines", {1}), "a\r\nb 1");
    EXPECT_EQ(ma.FormatMessage("Lower", {}), "x%0a");  // only the upper-case forms
    EXPECT_EQ(ma.IndexOfMessage("ErrorGetMem"), -1);
    try {
        ma.FormatMessage("ErrorGetMem", {"/x"});
        FAIL();
    } catch (const EMsgArrayError &e) {
        EXPECT_STREQ(e.what(), "Invalid message index [-1]");
    }
    EXPECT_THROW(ma.FormatMessage("FileNotExist", {1}), EConvertError);
}

// Enough rows to split index buckets; IDs folded by the Windows-1252 case rules.
TEST(MsgArray, IndexFindsEveryRowOfALargeTable) {
    TStringList rows;
    for (int i = 0; i < 500; ++i)
        rows.Add("Msg" + std::to_string(i) + "||text " + std::to_string(i) + "||");
    rows.Add("Caf\xE9||accented||");
    TMsgArray ma;
    ma.SetMessagesArray(rows);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(ma.IndexOfMessage("MSG" + std::to_string(i)), i);
    EXPECT_EQ(ma.IndexOfMessage("CAF\xC9"), 500);
    EXPECT_EQ(ma.IndexOfMessage("Msg500"), -1);
    // Rewriting the rows rebuilds the index: a removed ID is no longer found.
    ma.MessagesArray().Delete(0);
    EXPECT_EQ(ma.IndexOfMessage("Msg0"), -1);
    EXPECT_EQ(ma.IndexOfMessage("Msg1"), 0);
}

TEST(MsgArray, RowsAndListsStayInStep) {
    TMsgArray ma;
    ma.SetMessagesArray(
        Rows({"A||one||cap||YES+NO||N||QUESTION||||NO||extra", "B||two||||||whatever||||||"}));
    EXPECT_EQ(ma.MessagesArray()[0], "A||one||cap||YES+NO||N||QUESTION||||NO||");  // canonical
    EXPECT_EQ(ma.MessagesText().Text(), "one\r\ntwo\r\n");
    EXPECT_EQ(ma.DontShowAgainText().Text(), "N\r\nD\r\n");
    EXPECT_EQ(ma.LastDialogsResult()[0], "NO");

    // Editing the rows directly derives the lists and keeps the rows as written.
    ma.MessagesArray().SetStrings(1, "B||changed||||||D||||||||ninth");
    EXPECT_EQ(ma.MessagesText()[1], "changed");
    EXPECT_EQ(ma.MessagesArray()[1], "B||changed||||||D||||||||ninth");

    // A list change rewrites every row in canonical form.
    ma.MessagesText().SetStrings(0, "uno");
    EXPECT_EQ(ma.MessagesArray()[0], "A||uno||cap||YES+NO||N||QUESTION||||NO||");
    EXPECT_EQ(ma.MessagesArray()[1], "B||changed||||||D||||||||");
    ma.DontShowAgainText().SetStrings(0, "maybe");
    EXPECT_EQ(TMsgArray::Field(ma.MessagesArray()[0], 4), "D");
    EXPECT_EQ(ma.FormatMessage("a", {}), "uno");
}

}  // namespace
}  // namespace brevor
