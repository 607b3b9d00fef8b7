// The language file shipped beside the module: every text the module shows has its German and
// French translation, translations keep the format placeholders and accelerators of the English
// text, and switching the host's language switches the dialog and the log.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

#include "rtl/ansi.h"
#include "support/module_texts.h"

namespace brevor {
namespace {

using D = THeadlessDriver;
using testing::TModuleText;

const char *const kShippedLanguages[] = {"DE", "FR"};

std::string ShippedFile() {
    std::ifstream in(BREVOR_SHIPPED_LANGUAGE_FILE, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The blocks of a language file: code -> text of every "code:>text" line, as the translator's
// reader sees them (lines trimmed of blanks, "//" lines skipped, an empty line ends a block).
std::vector<std::map<std::string, std::string>> Blocks(const std::string &file) {
    std::vector<std::map<std::string, std::string>> blocks(1);
    std::size_t at = 0;
    while (at <= file.size()) {
        std::size_t end = file.find('\n', at);
        if (end == std::string::npos) end = file.size();
        std::string line = file.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = std::string(TrimBlanks(line));
        if (line.starts_with("//")) continue;
        if (line.empty()) {
            if (!blocks.back().empty()) blocks.emplace_back();
            continue;
        }
        const std::size_t mark = line.find(":>");
        if (mark != std::string::npos) blocks.back()[line.substr(0, mark)] = line.substr(mark + 2);
    }
    if (blocks.back().empty()) blocks.pop_back();
    return blocks;
}

// The format placeholders of a text in order ("%s", "%d", "%0:s", "%%" ...).
std::vector<std::string> Placeholders(const std::string &text) {
    static const std::regex placeholder(R"(%(%|(\d+:)?-?(\d+|\*)?(\.(\d+|\*))?[a-zA-Z]))");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder);
         it != std::sregex_iterator(); ++it)
        out.push_back(it->str());
    return out;
}

// What is wrong with the translations into language of the English texts of a language file:
// a text without translation, a placeholder dropped, added, moved or changed, an accelerator
// added or dropped.
std::vector<std::string> TranslationFaults(const std::string &file, const std::string &language) {
    std::vector<std::string> faults;
    for (const auto &block : Blocks(file)) {
        const auto en = block.find("EN");
        if (en == block.end() || en->second.empty()) continue;
        const auto tr = block.find(language);
        const std::string &source = en->second;
        if (tr == block.end() || tr->second.empty()) {
            faults.push_back("no translation: " + source);
            continue;
        }
        if (Placeholders(tr->second) != Placeholders(source))
            faults.push_back("placeholders differ: " + source + " / " + tr->second);
        if (std::count(tr->second.begin(), tr->second.end(), '&') !=
            std::count(source.begin(), source.end(), '&'))
            faults.push_back("accelerators differ: " + source + " / " + tr->second);
    }
    return faults;
}

std::string AsBlocks(const std::vector<TModuleText> &texts, const std::string &language) {
    std::string out;
    for (const TModuleText &t : texts)
        out += "// " + t.Path + "\nEN:>" + t.Text + "\n" + language + ":>\n\n";
    return out;
}

std::vector<TModuleText> Translatable(const std::vector<TModuleText> &texts) {
    std::vector<TModuleText> out;
    for (const TModuleText &t : texts)
        if (testing::IsTranslatableText(t)) out.push_back(t);
    return out;
}

TEST(ShippedLanguageFile, TranslatesEveryTextTheModuleShowsIntoEachShippedLanguage) {
    const std::string shipped = ShippedFile();
    ASSERT_FALSE(shipped.empty()) << BREVOR_SHIPPED_LANGUAGE_FILE;
    for (const char *language : kShippedLanguages) {
        const auto missing = Translatable(testing::UntranslatedModuleTexts(shipped, language));
        EXPECT_TRUE(missing.empty()) << "not translated into " << language << ":\n"
                                     << AsBlocks(missing, language);
    }
}

TEST(ShippedLanguageFile, HoldsExactlyTheTextsTheTranslatorCollects) {
    // Without translations the collecting mode lists every text the module gives the translator:
    // the module object's, its message tables' and the options dialog's.
    const auto all = Translatable(
        testing::UntranslatedModuleTexts("[Languages]\n$EN = English\nDefault = EN\n\n", "DE"));
    std::set<std::string> collected;
    for (const TModuleText &t : all)
        collected.insert(t.Text);
    for (const char *text : {"No data for processing", "The \"%s\" file has been deleted",
                             "The \"%s\" folder doesn't exist!", "Scan Interval (sec)",
                             "Read and don't change", "Time", "Cancel", "Do not ask me again"})
        EXPECT_TRUE(collected.count(text)) << text;

    std::set<std::string> shipped;
    for (const auto &block : Blocks(ShippedFile()))
        if (block.count("EN")) shipped.insert(block.at("EN"));
    for (const std::string &text : shipped)
        EXPECT_TRUE(collected.count(text)) << "no longer shown by the module: " << text;
    for (const std::string &text : collected)
        EXPECT_TRUE(shipped.count(text)) << "not in the language file: " << text;
}

TEST(ShippedLanguageFile, TranslationsKeepPlaceholdersAndAccelerators) {
    for (const char *language : kShippedLanguages) {
        const auto faults = TranslationFaults(ShippedFile(), language);
        EXPECT_TRUE(faults.empty()) << language << ": " << ::testing::PrintToString(faults);
    }

    // The check itself: each broken translation below is reported, the sound one is not.
    const std::string broken =
        "EN:>Unable to open the \"%s\" file\nDE:>Datei kann nicht\n\n"
        "EN:>Invalid chunk size (%d)\nDE:>Ung\xFCltig (%s)\n\n"
        "EN:>Sent (%s, %d)\nDE:>Gesendet (%d, %s)\n\n"
        "EN:>Folder\nDE:>&Ordner\n\n"
        "EN:>Error\nFR:>Erreur\n\n"
        "EN:>%d%% done\nDE:>%d%% fertig\n\n";
    const auto faults = TranslationFaults(broken, "DE");
    ASSERT_EQ(faults.size(), 5u) << ::testing::PrintToString(faults);
    EXPECT_TRUE(faults[0].starts_with("placeholders differ: Unable to open"));
    EXPECT_TRUE(faults[1].starts_with("placeholders differ: Invalid chunk"));
    EXPECT_TRUE(faults[2].starts_with("placeholders differ: Sent"));
    EXPECT_TRUE(faults[3].starts_with("accelerators differ: Folder"));
    EXPECT_EQ(faults[4], "no translation: Error");
}

// The log line the framework writes when the host hands over nothing to process.
std::string NoDataLogLine(testing::TranslatedModule &module) {
    module.Window().Clear();
    params::TParamsListPtr list(params::NewParamsList());
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = 1;
    rec.Params = list.get();
    rec.ModuleTypes = 1u << mttDataExport;
    module.Plugin().RunDataCall(TqelPlugin::TDataCall::ProcessData, &rec);
    if (!module.Window().WaitForMessages(1, 2000)) return std::string();
    const auto lines = module.Window().Lines();
    return lines.empty() ? std::string() : lines[0].Text;
}

TEST(ShippedLanguageFile, LanguageParameterSwitchesTheDialogAndTheLog) {
    testing::TranslatedModule module(ShippedFile());
    EXPECT_EQ(NoDataLogLine(module), "Brevor. No data for processing");

    module.SwitchTo("DE");
    EXPECT_EQ(NoDataLogLine(module), "Brevor. Keine Daten zu verarbeiten");
    // Umlauts come out as the module's code page has them.
    EXPECT_EQ(AnsiToUtf16(module.Plugin().maPlugin->FormatMessage("FileDeleted", {"a.csv"})),
              u"Die Datei \"a.csv\" wurde gel\u00F6scht");

    const std::string missing = module.Folder().Path() + "/missing";
    module.Driver()
        .Then([](TCustomForm &form, D &) {
            auto &dialog = dynamic_cast<TConfigg &>(form);
            EXPECT_EQ(AnsiToUtf16(dialog.lblBlockSize->Caption()), u"Datenblockgr\u00F6\u00DFe");
            EXPECT_EQ(dialog.tsScheduler->Caption(), "Aufgabenplanung");
            EXPECT_EQ(dialog.gbReadModeSM->Caption(), "Lesemodus");
            EXPECT_EQ(dialog.btnCancel->Caption(), "Abbrechen");
        })
        .Then(D::Focus("edFolder"))
        .Then(D::Type(missing))
        .Then(D::Tab())
        .Then(D::ClickCaption("OK"))
        .Then(D::Click("btnCancel"));
    EXPECT_EQ(module.RunDialog(), mrCancel);
    ASSERT_EQ(module.Driver().Shown.size(), 2u);
    EXPECT_EQ(module.Driver().Shown[1].Caption, "Fehler");
    EXPECT_EQ(module.Driver().Shown[1].Text, "Der Ordner \"" + missing + "\" existiert nicht!");
}

TEST(ShippedLanguageFile, FrenchAccentsReachTheDialogAndTheLog) {
    testing::TranslatedModule module(ShippedFile());
    module.SwitchTo("FR");
    EXPECT_EQ(AnsiToUtf16(NoDataLogLine(module)), u"Brevor. Aucune donn\u00E9e \u00E0 traiter");
    module.Driver()
        .Then([](TCustomForm &form, D &) {
            auto &dialog = dynamic_cast<TConfigg &>(form);
            EXPECT_EQ(AnsiToUtf16(dialog.cbDecodeSM->Caption()), u"D\u00E9coder");
            EXPECT_EQ(AnsiToUtf16(dialog.tsTimeMode->Caption()), u"Analyse horodat\u00E9e");
        })
        .Then(D::Click("btnCancel"));
    EXPECT_EQ(module.RunDialog(), mrCancel);
}

}  // namespace
}  // namespace brevor
