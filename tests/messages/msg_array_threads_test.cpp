// The module's language changing while scan threads format its messages.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "messages/msg_array.h"
#include "messages/translator.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

TEST(MsgArrayThreadsTest, FormattingWhileTheLanguageChangesSeesWholeTexts) {
    testing::TempFolder dir;
    dir.Write("app.lng",
              "[Languages]\r\n$EN = English\r\n$DE = Deutsch\r\nDefault = EN\r\n\r\n"
              "EN:>The \"%s\" file has been deleted\r\nDE:>Die Datei \"%s\" wurde entfernt\r\n\r\n"
              "EN:>Data from the \"%s\" file have been sent\r\n"
              "DE:>Daten aus der Datei \"%s\" wurden gesendet\r\n\r\n");
    TWtransl translator;
    translator.SetLanguageFile(dir.File("app.lng"));
    translator.ComponentProperties().Add("MessagesText");

    TComponent module(nullptr);
    module.SetName("aPlugin");
    auto *table = new TMsgArray(&module);
    table->SetName("maPlugin");
    TStringList rows;
    rows.Add("Sent||Data from the \"%s\" file have been sent||||||D||||||||");
    rows.Add("Deleted||The \"%s\" file has been deleted||||||D||||||||");
    table->SetMessagesArray(rows);

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    auto scan = [&] {
        while (!stop) {
            const std::string text = table->FormatMessage("deleted", {std::string("a.txt")});
            if (text != "The \"a.txt\" file has been deleted" &&
                text != "Die Datei \"a.txt\" wurde entfernt")
                ++wrong;
        }
    };
    std::thread scanA(scan), scanB(scan);
    for (int i = 0; i < 200; ++i) {
        const bool german = i % 2 == 0;
        translator.TranslateComponent(german ? "DE" : "EN", &module, nullptr, german ? "EN" : "DE");
    }
    stop = true;
    scanA.join();
    scanB.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(table->FormatMessage("Sent", {std::string("b")}),
              "Data from the \"b\" file have been sent");  // an even number of switches
    translator.TranslateComponent("DE", &module, nullptr, "EN");
    EXPECT_EQ(table->FormatMessage("Sent", {std::string("b")}),
              "Daten aus der Datei \"b\" wurden gesendet");
}

}  // namespace
}  // namespace brevor
