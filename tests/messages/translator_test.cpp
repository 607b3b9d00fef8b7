#include "messages/translator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "../support/file_faults.h"
#include "../support/temp_folder.h"
#include "messages/language_file.h"
#include "messages/wide_string_list.h"

namespace brevor {
namespace {

using testing::TempFolder;

// A control with the text properties the translator looks at.
class TTestControl : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TTestControl>("TTestControl", &TComponent::StaticClassInfo())
                .String("Caption", &TTestControl::Caption)
                .String("Hint", &TTestControl::Hint)
                .Object("Strings", [](TTestControl &c) { return &c.Strings; })
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    std::string Caption, Hint;
    TStringList Strings;
};

// Stand-ins for the kinds of controls the translator recognises by class name.
class TTestWinControl : public TTestControl {
public:
    using TTestControl::TTestControl;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TTestWinControl>("TWinControl", &TTestControl::StaticClassInfo())
                .Integer("HelpContext", &TTestWinControl::HelpContext)
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    int HelpContext = 0;
};

class TTestEdit : public TTestWinControl {
public:
    using TTestWinControl::TTestWinControl;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TTestEdit>("TCustomEdit", &TTestWinControl::StaticClassInfo())
                .String("Text", &TTestEdit::Text)
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    std::string Text;
};

class TTestCombo : public TTestWinControl {
public:
    using TTestWinControl::TTestWinControl;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TTestCombo>("TCustomComboBox", &TTestWinControl::StaticClassInfo())
                .Object("Items", [](TTestCombo &c) { return &c.Items; })
                .Integer("ItemIndex", &TTestCombo::ItemIndex)
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    TStringList Items;
    int ItemIndex = -1;
};

class TTestMsgArray : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            TClassBuilder<TTestMsgArray>("TMsgArray", &TComponent::StaticClassInfo())
                .Object("MessagesText", [](TTestMsgArray &m) { return &m.MessagesText; })
                .Object("Captions", [](TTestMsgArray &m) { return &m.Columns; })
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    TStringList MessagesText;
    TWideStringList Columns;
};

TTestControl *MakeControl(TComponent *owner, const std::string &name, const std::string &caption,
                          std::intptr_t tag = 0) {
    auto *c = new TTestControl(owner);
    c->SetName(name);
    c->Caption = caption;
    c->SetTag(tag);
    return c;
}

const char *const kGermanFile =
    "[Languages]\r\n$EN = English\r\n$DE = Deutsch\r\nDefault = DE\r\n\r\n"
    "EN:>Hello\r\nDE:>Hallo\r\n\r\n"
    "EN:>ok\r\nDE:>gut\r\n\r\n"
    "EN:>Add\r\nDE:>&Hinzu\r\n\r\n"
    "EN:>&Save\r\nDE:>&Speichern\r\n\r\n"
    "EN:>Line1%0D%0ALine2\r\nDE:>Zeile1%0D%0AZeile2\r\n\r\n"
    "EN:>Plain\r\nDE:>A%0DB\r\n\r\n"
    "EN:>File %s not found\r\nDE:>Datei %s fehlt\r\n\r\n";

class TranslatorTest : public ::testing::Test {
protected:
    std::string WriteFile(const std::string &content) {
        dir.Write("app.lng", content);
        return dir.File("app.lng");
    }
    TempFolder dir;
};

TEST(LanguageFile, HeaderDirectives) {
    struct Case {
        std::string text;
        int encoding, bidi, charset;
        std::uint32_t locale;
        int saveMode, fileMode;
    };
    const std::string filler(20, '\n');
    const Case cases[] = {
        {"Encoding=UTF-8\n", 1, 0, 1, 0, 0, 0},
        {" xEncoding= unicode \n", 3, 0, 1, 0, 0, 0},
        {"Encoding=latin\n", 0, 0, 1, 0, 0, 0},
        {"BiDiMode=RightToLeftReadingOnly\n", 0, 3, 1, 0, 0, 0},
        {"Charset=Windows-1251\nLocale=0x0419\n", 0, 0, 204, 0x419, 0, 0},
        {"Locale=1049\n", 0, 0, 1, 1049, 0, 0},
        {"Locale=-5\nLocale=abc\nCharset=klingon\n", 0, 0, 1, 0, 0, 0},
        {"//saveuntrobj\n//fileappend\n", 0, 0, 1, 0, 4, 2},
        {"//saveunused\n//filerewrite\n", 0, 0, 1, 0, 3, 1},
        {"  //saveuntr  \n", 0, 0, 1, 0, 1, 0},
        {"//SAVEUNTR\nencoding=utf-8\n", 0, 0, 1, 0, 0, 0},
        {filler + "Charset=windows-1250\n//saveall\n", 0, 0, 1, 0, 0, 0},
    };
    for (const Case &c : cases) {
        TLanguageFileSettings s;
        ReadLanguageText(c.text, "EN", "DE", s, {});
        EXPECT_EQ(s.Encoding, c.encoding) << c.text;
        EXPECT_EQ(s.BiDiMode, c.bidi) << c.text;
        EXPECT_EQ(s.Charset, c.charset) << c.text;
        EXPECT_EQ(s.Locale, c.locale) << c.text;
        EXPECT_EQ(s.SaveMode, c.saveMode) << c.text;
        EXPECT_EQ(s.FileMode, c.fileMode) << c.text;
    }
}

TEST(LanguageFile, BlocksGivePairs) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        std::string text, source, target;
        Pairs pairs;
    };
    const std::string filler(20, '\n');
    const Case cases[] = {
        {"EN:>Yes\nDE:>Ja\n\n", "EN", "DE", {{"Yes", "Ja"}}},
        {"EN:>Yes\r\nDE:>Ja\r\n\r\n", "EN", "DE", {{"Yes", "Ja"}}},
        {"EN:>Yes\nDE:>Ja\n", "EN", "DE", {}},  // the last block needs an empty line
        {"EN:>Yes\nDE:>Ja", "EN", "DE", {}},
        {"  EN:>Yes  \nDE:>Ja\n   \n", "EN", "DE", {{"Yes", "Ja"}}},
        {"EN:>Yes\nDE:>Ja\nDE:>Jawohl\nFR:>Oui\n\n", "EN", "DE", {{"Yes", "Jawohl"}}},
        {"EN:>Yes\nde:>ja\n\n", "EN", "DE", {}},
        {"EN:>Yes\nDE:>\n\nDE:>Ja\n\n", "EN", "DE", {}},
        {"EN:>Yes\nDE:>Ja\n\n", "EN", "EN", {}},
        {"EN:>Yes\nDE:>Ja\n\n", "EN", "NONE", {}},
        {"EN:>A\rB\nDE:>C\n\n", "EN", "DE", {{"A\rB", "C"}}},
        {"EN:>a:>b\nDE:>c\n\n", "EN", "DE", {{"a:>b", "c"}}},
        {"EN:>Yes\n// a comment\nDE:>Ja\n\n", "EN", "DE", {{"Yes", "Ja"}}},
        {"[Languages]\n$EN=English\nDefault=EN\n\nEN:>x\nDE:>y\n\n", "EN", "DE", {{"x", "y"}}},
        {filler + "Charset=windows-1250\nEN:>x\nDE:>y\n\n", "EN", "DE", {{"x", "y"}}},
    };
    for (const Case &c : cases) {
        TLanguageFileSettings s;
        Pairs got;
        const int n = ReadLanguageText(c.text, c.source, c.target, s,
                                       [&](std::string_view a, std::string_view b) {
                                           got.emplace_back(std::string(a), std::string(b));
                                       });
        EXPECT_EQ(got, c.pairs) << c.text;
        EXPECT_EQ(n, static_cast<int>(c.pairs.size())) << c.text;
    }
}

TEST_F(TranslatorTest, SingleTextLookups) {
    TWtransl t;
    t.SetLanguageFile(WriteFile(kGermanFile));
    const std::pair<std::string, std::string> cases[] = {
        {"Hello", "Hallo"},
        {"  Hello \r\n", "Hallo"},
        {"HELLO", "Hallo"},
        {"hello", "Hallo"},
        {"ok", "gut"},
        {"OK", "OK"},
        {"&Add", "&Hinzu"},
        {"Add", "Hinzu"},
        {"&Save", "&Speichern"},
        {"Save", "Save"},
        {"Line1\r\nLine2", "Zeile1\r\nZeile2"},
        {"Plain", "A%0DB"},
        {"File %s not found", "Datei %s fehlt"},
        {"Unknown", "Unknown"},
    };
    for (const auto &[in, out] : cases) {
        std::string text = in;
        EXPECT_TRUE(t.TranslateComponent("DE", nullptr, &text, "EN")) << in;
        EXPECT_EQ(text, out) << in;
    }
}

TEST_F(TranslatorTest, NothingToTranslateReturnsFalse) {
    TWtransl t;
    t.SetLanguageFile(WriteFile(kGermanFile));
    std::string text = "Hello";
    EXPECT_FALSE(t.TranslateComponent("EN", nullptr, &text, "EN"));
    EXPECT_FALSE(t.TranslateComponent("NONE", nullptr, &text, "EN"));
    EXPECT_EQ(text, "Hello");
    t.SetLanguageFile(dir.File("missing.lng"));
    EXPECT_FALSE(t.TranslateComponent("DE", nullptr, &text, "EN"));
    EXPECT_EQ(text, "Hello");
}

TEST_F(TranslatorTest, Utf8Encoding) {
    TWtransl t;
    t.SetLanguageFile(
        WriteFile("Encoding=utf-8\n\nEN:>Hello\nDE:>Gr\xC3\xBC\xC3\x9F"
                  "e\n\n"));
    std::string text = "Hello";
    ASSERT_TRUE(t.TranslateComponent("DE", nullptr, &text, "EN"));
    EXPECT_EQ(text,
              "Gr\xFC\xDF"
              "e");  // Windows-1252
    EXPECT_EQ(t.Encoding(), 1);
}

TEST_F(TranslatorTest, TranslatesAComponentTree) {
    RegisterStandardCustomTranslators();
    TWtransl t;
    t.SetLanguageFile(WriteFile(kGermanFile));
    t.ComponentProperties().Add("MessagesText");
    t.ComponentProperties().Add("Strings");

    TTestControl root;
    root.SetName("aPlugin");
    root.Caption = "Hello";
    auto *label = MakeControl(&root, "lbl", "Hello");
    label->Hint = "ok";
    label->Strings.SetText("Hello\r\nUnknown\r\nAdd\r\n");
    auto *keepCaption = MakeControl(&root, "keep", "Hello", 10002);
    keepCaption->Hint = "Hello";
    auto *skipTree = MakeControl(&root, "skipTree", "Hello", 9999);
    auto *underSkipTree = MakeControl(skipTree, "inner", "Hello");
    auto *skipSelf = MakeControl(&root, "skipSelf", "Hello", 9998);
    auto *underSkipSelf = MakeControl(skipSelf, "inner", "Hello");
    auto *underscore = MakeControl(&root, "_panel", "Hello");
    auto *underUnderscore = MakeControl(underscore, "inner", "Hello");
    auto *hidden = MakeControl(&root, "__hidden", "Hello");

    auto *helpless = new TTestWinControl(&root);
    helpless->HelpContext = -1;
    helpless->Caption = "Hello";
    auto *underHelpless = MakeControl(helpless, "inner", "Hello");

    auto *edit = new TTestEdit(&root);
    edit->Text = "Hello";
    edit->Caption = "Hello";

    auto *combo = new TTestCombo(&root);
    combo->Items.SetText("Hello\r\nok\r\n");
    combo->ItemIndex = 1;

    auto *messages = new TTestMsgArray(&root);
    messages->SetName("maPlugin");
    messages->MessagesText.SetText("File %s not found\r\nHello\r\nUnknown\r\n");
    int changes = 0;
    messages->MessagesText.OnChange = [&](TStrings *) { ++changes; };
    messages->Columns.Add(u"Hello");
    messages->Columns.Add(u"Line1\r\nLine2");
    t.ComponentProperties().Add("Captions");

    ASSERT_TRUE(t.TranslateComponent("DE", &root, nullptr, "EN"));

    EXPECT_EQ(root.Caption, "Hallo");
    EXPECT_EQ(label->Caption, "Hallo");
    EXPECT_EQ(label->Hint, "gut");
    EXPECT_EQ(label->Strings.Text(), "Hallo\r\nUnknown\r\nHinzu\r\n");
    EXPECT_EQ(keepCaption->Caption, "Hello");
    EXPECT_EQ(keepCaption->Hint, "Hallo");
    EXPECT_EQ(skipTree->Caption, "Hello");
    EXPECT_EQ(underSkipTree->Caption, "Hello");
    EXPECT_EQ(skipSelf->Caption, "Hello");
    EXPECT_EQ(underSkipSelf->Caption, "Hallo");
    EXPECT_EQ(underscore->Caption, "Hallo");
    EXPECT_EQ(underUnderscore->Caption, "Hello");
    EXPECT_EQ(hidden->Caption, "Hello");
    EXPECT_EQ(helpless->Caption, "Hello");
    EXPECT_EQ(underHelpless->Caption, "Hello");
    EXPECT_EQ(edit->Text, "Hello");
    EXPECT_EQ(edit->Caption, "Hallo");
    EXPECT_EQ(combo->Items.Text(), "Hallo\r\ngut\r\n");
    EXPECT_EQ(combo->ItemIndex, 1);
    EXPECT_EQ(messages->MessagesText.Text(), "Datei %s fehlt\r\nHallo\r\nUnknown\r\n");
    EXPECT_EQ(changes, 1);  // one notification for the whole list
    EXPECT_EQ(messages->Columns.Strings(0), u"Hallo");
    EXPECT_EQ(messages->Columns.Strings(1), u"Zeile1\r\nZeile2");
    EXPECT_EQ(messages->Columns.UpdateCount(), 0);
}

TEST_F(TranslatorTest, EventsCanVetoAndReplace) {
    TWtransl t;
    t.SetLanguageFile(WriteFile(kGermanFile));
    TTestControl root;
    auto *a = MakeControl(&root, "a", "Hello");
    auto *b = MakeControl(&root, "b", "Hello");
    auto *c = MakeControl(&root, "c", "Unknown");
    t.OnBeforeTranslateComponent = [&](TWtransl *, TObject *comp, TWtranslLanguagesList *,
                                       bool &allow) { allow = comp != a; };
    t.OnPropertyTranslate = [&](TWtransl *, TObject *obj, const TPropInfo *, const std::u16string &,
                                std::u16string &nv, bool found, bool &doDefault) {
        if (obj == c && !found) nv = u"custom";
        if (obj == b) doDefault = false;
    };
    int after = 0;
    t.OnAfterTranslate = [&](TWtransl *, TWtranslLanguagesList *res) {
        EXPECT_NE(res, nullptr);
        ++after;
    };
    ASSERT_TRUE(t.TranslateComponent("DE", &root, nullptr, "EN"));
    EXPECT_EQ(a->Caption, "Hello");
    EXPECT_EQ(b->Caption, "Hello");
    EXPECT_EQ(c->Caption, "custom");
    EXPECT_EQ(after, 1);
}

// A release timer the test fires by hand.
struct FakeTimer : TTranslReleaseTimer {
    explicit FakeTimer(bool &on) : enabled(on) {}
    void SetEnabled(bool e) override { enabled = e; }
    bool &enabled;
};

TEST_F(TranslatorTest, CacheIsKeptUntilReleased) {
    bool enabled = true;
    std::function<void()> fire;
    std::uint32_t interval = 0;
    TWtransl t(nullptr, [&](std::uint32_t ms, std::function<void()> onTimer) {
        interval = ms;
        fire = std::move(onTimer);
        return std::make_unique<FakeTimer>(enabled);
    });
    EXPECT_EQ(interval, 20000u);
    EXPECT_FALSE(enabled);
    t.SetLanguageFile(WriteFile(kGermanFile));
    std::string text = "Hello";
    ASSERT_TRUE(t.TranslateComponent("DE", nullptr, &text, "EN"));
    EXPECT_TRUE(enabled);
    EXPECT_EQ(t.LoadedCount(), 7);

    // The file changes; the cache still answers until it is released.
    WriteFile("EN:>Hello\nDE:>Servus\n\n");
    text = "Hello";
    t.TranslateComponent("DE", nullptr, &text, "EN");
    EXPECT_EQ(text, "Hallo");
    fire();
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(t.HasResources());
    text = "Hello";
    t.TranslateComponent("DE", nullptr, &text, "EN");
    EXPECT_EQ(text, "Servus");
}

TEST_F(TranslatorTest, DefaultSourceAndLanguageList) {
    TWtransl t;
    t.SetLanguageFile(WriteFile(kGermanFile));
    TStringList list;
    list.Add("stale");
    std::string def;
    t.GetLanguages(&list, def);
    EXPECT_EQ(def, "DE");
    EXPECT_EQ(list.Text(), "EN,English\r\nDE,Deutsch\r\n");
    t.SetDefaultLanguage("EN");
    std::string text = "Hello";
    ASSERT_TRUE(t.TranslateComponent("DE", nullptr, &text, ""));
    EXPECT_EQ(text, "Hallo");
    EXPECT_EQ(t.LastSourceLanguage(), "EN");

    t.SetLanguageFile(dir.File("none.lng"));
    t.GetLanguages(&list, def);
    EXPECT_EQ(def, "");
    EXPECT_EQ(list.Count(), 0);
}

std::string Header(const std::string &src, const std::string &dst) {
    return "[Languages]\r\n$" + src + " = #1\r\n$" + dst + " = #2 (Default)\r\nDefault = " + dst +
           "\r\n\r\n";
}

TEST_F(TranslatorTest, CollectsUntranslatedTexts) {
    const std::string path = WriteFile(std::string("//saveuntr\n") + kGermanFile);
    {
        TWtransl t;
        t.SetLanguageFile(path);
        TTestControl root;
        MakeControl(&root, "a", "Hello");
        MakeControl(&root, "b", "Zebra");
        MakeControl(&root, "c", "Apple\r\nPie");
        MakeControl(&root, "d", "Zebra");
        MakeControl(&root, "e", "123 %");  // no letter
        ASSERT_TRUE(t.TranslateComponent("DE", &root, nullptr, "EN"));
        EXPECT_EQ(root.Components(0)->Name(), "a");
        EXPECT_EQ(static_cast<TTestControl *>(root.Components(0))->Caption, "Hello");
    }
    EXPECT_EQ(dir.Read("app.lng.new"), Header("EN", "DE") +
                                           "EN:>Apple%0D%0APie\r\nDE:>Apple%0D%0APie\r\n\r\n"
                                           "EN:>Zebra\r\nDE:>Zebra\r\n\r\n\r\n");
    // A second collecting run finds app.lng.new and writes a numbered file beside it.
    {
        TWtransl t;
        t.SetLanguageFile(path);
        std::string text = "Zebra";
        t.TranslateComponent("DE", nullptr, &text, "EN");
    }
    EXPECT_TRUE(dir.Exists("app.lng.1.new"));
}

TEST_F(TranslatorTest, CollectsWithObjectPathsOncePerControl) {
    const std::string path = WriteFile(std::string("//saveuntrobj\n//fileappend\n") + kGermanFile);
    // The third run cannot write: the side file keeps what the first two appended.
    for (int run = 0; run < 3; ++run) {
        testing::ScopedFileFaults faults;
        if (run == 2) faults.Add({platform::TFileCall::Write, "app.lng.new", ENOSPC});
        TWtransl t;
        t.SetLanguageFile(path);
        TTestControl root;
        root.SetName("aPlugin");
        MakeControl(&root, "a", "Zebra");
        MakeControl(&root, "b", "Zebra");
        auto *m = new TTestMsgArray(&root);
        m->SetName("maPlugin");
        m->MessagesText.SetText("Zebra\r\nZebra\r\n");
        t.ComponentProperties().Add("MessagesText");
        t.TranslateComponent("DE", &root, nullptr, "EN");
    }
    const std::string body =
        "EN:>[TTestControl]aPlugin -> [TMsgArray]maPlugin.MessagesText=Zebra\r\n"
        "DE:>[TTestControl]aPlugin -> [TMsgArray]maPlugin.MessagesText=Zebra\r\n\r\n"
        "EN:>[TTestControl]aPlugin -> [TTestControl]a.Caption=Zebra\r\n"
        "DE:>[TTestControl]aPlugin -> [TTestControl]a.Caption=Zebra\r\n\r\n"
        "EN:>[TTestControl]aPlugin -> [TTestControl]b.Caption=Zebra\r\n"
        "DE:>[TTestControl]aPlugin -> [TTestControl]b.Caption=Zebra\r\n\r\n\r\n";
    EXPECT_EQ(dir.Read("app.lng.new"), Header("EN", "DE") + body + body);
}

TEST_F(TranslatorTest, CollectsUnusedSourceTexts) {
    const std::string path = WriteFile(std::string("//saveunused\n") + kGermanFile);
    {
        TWtransl t;
        t.SetLanguageFile(path);
        TTestControl root;
        MakeControl(&root, "a", "Hello");
        MakeControl(&root, "b", "&Save");
        MakeControl(&root, "c", "Line1\r\nLine2");
        MakeControl(&root, "d", "Add");
        t.TranslateComponent("DE", &root, nullptr, "EN");
        EXPECT_EQ(root.Caption, "");
    }
    EXPECT_EQ(dir.Read("app.lng.unused"),
              Header("EN", "DE") +
                  "EN:>File %s not found\r\nDE:>File %s not found\r\n\r\n"
                  "EN:>Plain\r\nDE:>Plain\r\n\r\n"
                  "EN:>ok\r\nDE:>ok\r\n\r\n\r\n");
}

TEST_F(TranslatorTest, GarbageFilesNeverCrash) {
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>((i * 7919) % 256);
    const std::string cases[] = {
        binary,
        std::string(3 << 20, 'x'),
        "EN:>" + std::string(1 << 20, 'y') + "\nDE:>z\n\n",
        std::string("EN:>Hello\0DE:>x\n\n", 18),
        "EN:>Hello\nDE:>Hallo",
        "\n\n\n\r\r\r%%%:>:>",
        "Locale=0xFFFFFFFFFFFFFFFFFFFF\nEncoding=\nBiDiMode\n",
    };
    for (const std::string &content : cases) {
        TWtransl t;
        t.SetLanguageFile(WriteFile(content));
        TTestControl root;
        MakeControl(&root, "a", "Hello");
        std::string def;
        TStringList list;
        t.GetLanguages(&list, def);
        t.TranslateComponent("DE", &root, nullptr, "EN");
    }
}

}  // namespace
}  // namespace brevor
