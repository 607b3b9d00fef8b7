// Message texts rewritten (as a language change does) while other threads format them.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "messages/msg_array.h"

namespace brevor {
namespace {

TEST(MsgArrayThreadsTest, FormattingWhileTheTextsAreTranslatedSeesWholeTexts) {
    TMsgArray table;
    TStringList rows;
    rows.Add("Sent||Data from the \"%s\" file have been sent||||||D||||||||");
    rows.Add("Deleted||The \"%s\" file has been deleted||||||D||||||||");
    table.SetMessagesArray(rows);
    const std::string english[] = {"Data from the \"%s\" file have been sent",
                                   "The \"%s\" file has been deleted"};
    const std::string german[] = {"Daten aus der Datei \"%s\" wurden gesendet",
                                  "Die Datei \"%s\" wurde entfernt"};

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    auto format = [&] {
        while (!stop) {
            const std::string text = table.FormatMessage("deleted", {std::string("a.txt")});
            if (text != "The \"a.txt\" file has been deleted" &&
                text != "Die Datei \"a.txt\" wurde entfernt")
                ++wrong;
        }
    };
    std::thread scanA(format), scanB(format);
    for (int i = 0; i < 500; ++i) {
        const std::string *texts = i % 2 == 0 ? german : english;
        for (int row = 0; row < 2; ++row)
            table.MessagesText().SetStrings(row, texts[row]);
    }
    stop = true;
    scanA.join();
    scanB.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(table.FormatMessage("Sent", {std::string("b")}),
              "Data from the \"b\" file have been sent");
}

}  // namespace
}  // namespace brevor
