#include "storage/big_ini_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "platform/file_faults.h"
#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace brevor {
namespace {

using testing::TempFolder;
using namespace std::string_literals;

// Parses text and returns what the engine would write back (after a change forces a write).
std::string RoundTrip(const std::string &input) {
    TBigIniFile ini("");
    ini.LoadFromText(input);
    return ini.ToText();
}

TEST(BigIniFile, ReadRulesTable) {
    struct Case {
        const char *name;
        std::string input;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"crlf", "[A]\r\nk=1\r\n", "[A]\r\nk=1\r\n\r\n"},
        {"lf only", "[A]\nk=1\nj=2\n", "[A]\r\nk=1\r\nj=2\r\n\r\n"},
        {"lone cr dropped", "[A]\nk=a\rb\n", "[A]\r\nk=ab\r\n\r\n"},
        {"no final newline", "[A]\nk=1", "[A]\r\nk=1\r\n\r\n"},
        {"ctrl-z ends input", "[A]\nk=1\n\x1a[B]\nj=2\n", "[A]\r\nk=1\r\n\r\n"},
        {"ctrl-z mid line", "[A]\nk=1\x1a\n[B]\nj=2\n", "[A]\r\nk=1\r\n\r\n"},
        {"lines before first section", "x=1\n;c\n[A]\nk=1\n", "[A]\r\nk=1\r\n\r\n"},
        {"empty sections dropped", "[E]\n\n[A]\nk=1\n[F]\n", "[A]\r\nk=1\r\n\r\n"},
        {"duplicate sections", "[General]\nk=1\n[X]\nx=1\n[general]\nk=2\nj=3\n",
         "[General]\r\nk=1\r\n\r\n[X]\r\nx=1\r\n\r\n"},
        {"empty first duplicate keeps data", "[G]\n[g]\nk=2\n", "[g]\r\nk=2\r\n\r\n"},
        {"comments kept", "[A]\n; note\nk = 1 \n", "[A]\r\n; note\r\nk = 1 \r\n\r\n"},
        {"bom skipped", "\xEF\xBB\xBF[A]\nk=1\n", "[A]\r\nk=1\r\n\r\n"},
        {"partial bom kept", "\xEF\xBB[A]\n[B]\nk=1\n", "[B]\r\nk=1\r\n\r\n"},
        {"section name not trimmed", "[ A ]\nk=1\n", "[ A ]\r\nk=1\r\n\r\n"},
        {"nul bytes kept", "[A]\nk=a\0b\n"s, "[A]\r\nk=a\0b\r\n\r\n"s},
        {"binary garbage before", "\x01\xff\x00\x80\n[A]\nk=1\n"s, "[A]\r\nk=1\r\n\r\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RoundTrip(c.input), c.written) << c.name;
}

TEST(BigIniFile, VeryLongLineSurvives) {
    const std::string value(3 * TBigIniFile::BufferSize + 17, 'v');
    TempFolder dir;
    dir.Write("a.ini", "[A]\nk=" + value + "\n[B]\nj=2");
    TBigIniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadString("A", "k", ""), value);
    EXPECT_EQ(ini.ReadString("B", "j", ""), "2");
}

TEST(BigIniFile, NamesAndValuesAreTrimmedAndCaseFolded) {
    TBigIniFile ini("");
    ini.LoadFromText("[General]\n Scan interval = 3 \nnoequals\n[\xC9t\xE9]\nCl\xE9=1\n");
    EXPECT_EQ(ini.ReadString("GENERAL", "scan INTERVAL", "d"), "3");
    EXPECT_EQ(ini.ReadString("general", "noequals", "d"), "");
    EXPECT_EQ(ini.ReadString("General", "missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("Missing", "x", "d"), "d");
    // Keys fold accented letters of the code page; sections fold ASCII letters only.
    EXPECT_EQ(ini.ReadString("\xC9t\xE9", "CL\xC9", "d"), "1");
    EXPECT_EQ(ini.ReadString("\xC9T\xC9", "Cl\xE9", "d"), "d");
    EXPECT_TRUE(ini.ValueExists("general", "SCAN interval"));
    EXPECT_FALSE(ini.ValueExists("general", "x"));
}

TEST(BigIniFile, ReadIntegerTable) {
    struct Case {
        const char *text;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"31", 31},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"x1F", 31},
        {"-31", -31},
        {"+31", 31},
        {"-$1F", -31},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", -7},
        {"0xFFFFFFFF", -7},
        {"abc", -7},
        {"", -7},
        {"1 2", -7},
        {"0x", -7},
        {"$", -7},
        {"-", -7},
        {"12abc", -7},
        {"99999999999999999999", -7},
    };
    for (const Case &c : cases) {
        TBigIniFile ini("");
        ini.WriteString("S", "k", c.text);
        EXPECT_EQ(ini.ReadInteger("S", "k", -7), c.expected) << c.text;
    }
    TBigIniFile ini("");
    EXPECT_EQ(ini.ReadInteger("S", "missing", 5), 5);
}

TEST(BigIniFile, ReadFloatTable) {
    struct Case {
        const char *text;
        double expected;
    };
    const std::vector<Case> cases = {
        {"2.5", 2.5},       {"2,5", 2.5}, {"3", 3},    {"-0.5", -0.5}, {"1E-5", 1e-5},
        {"1.5E20", 1.5e20}, {".5", 0.5},  {"5.", 5},   {"abc", -1},    {"", -1},
        {"1e", -1},         {"nan", -1},  {"inf", -1}, {"1e999", -1},  {"2.5x", -1},
    };
    for (const Case &c : cases) {
        TBigIniFile ini("");
        ini.WriteString("S", "k", c.text);
        EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "k", -1), c.expected) << c.text;
    }
}

TEST(BigIniFile, WriteFloatGeneralFormat) {
    struct Case {
        double value;
        const char *text;
    };
    const std::vector<Case> cases = {
        {3.0, "3"},
        {0.5, "0.5"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {1.5e20, "1.5E20"},
        {128, "128"},
        {0, "0"},
        {-2.25, "-2.25"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {1e15, "1E15"},
        {123456789012345, "123456789012345"},
        {-1.5e-7, "-1.5E-7"},
        {1e100, "1E100"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FloatToGeneralText(c.value), c.text) << c.value;
    for (const Case &c : cases) {
        TBigIniFile ini("");
        ini.WriteFloat("S", "k", c.value);
        EXPECT_EQ(ini.ReadString("S", "k", ""), c.text);
    }
}

TEST(BigIniFile, WriteReplacesInPlaceWithWrittenCase) {
    TBigIniFile ini("");
    ini.LoadFromText("[General]\nFirst=1\n Scan Interval = 3\nLast=2\n");
    EXPECT_FALSE(ini.Modified());
    ini.WriteString("general", "scan interval", "5");
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ini.ToText(), "[General]\r\nFirst=1\r\nscan interval=5\r\nLast=2\r\n\r\n");
    ini.WriteString("New", "k", "v");
    ini.WriteString("General", "Added", "x");
    EXPECT_EQ(ini.ToText(),
              "[General]\r\nFirst=1\r\nscan interval=5\r\nLast=2\r\nAdded=x\r\n\r\n"
              "[New]\r\nk=v\r\n\r\n");
}

TEST(BigIniFile, UnchangedWritesLeaveFileUntouched) {
    TempFolder dir;
    const std::string original = "junk\n[General]\nk=1\n[Empty]\n";
    dir.Write("a.ini", original);
    {
        TBigIniFile ini(dir.File("a.ini"));
        ini.WriteString("General", "k", "1");
        ini.DeleteKey("Missing", "k");
        ini.DeleteKey("General", "missing");
        ini.EraseSection("Missing");
        EXPECT_FALSE(ini.Modified());
    }
    EXPECT_EQ(dir.Read("a.ini"), original);
    {
        TBigIniFile ini(dir.File("a.ini"));
        ini.WriteString("General", "k", "2");
    }
    EXPECT_EQ(dir.Read("a.ini"), "[General]\r\nk=2\r\n\r\n");
}

TEST(BigIniFile, DeleteEraseAndSections) {
    TBigIniFile ini("");
    ini.LoadFromText("[A]\nk=1\nk=2\n=x\nbare\n[B]\nj=1\n");
    TStringList list;
    list.Add("existing");
    ini.ReadSection("a", list);
    EXPECT_EQ(list.Text(), "existing\r\nk\r\nk\r\nbare\r\n");
    ini.DeleteKey("A", "K");
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ini.ReadString("A", "k", ""), "2");
    ini.EraseSection("b");
    ini.ReadSections(list);
    EXPECT_EQ(list.Text(), "A\r\n");
    // An empty key erases the section; an empty key, section and value flushes.
    ini.WriteString("A", "", "");
    EXPECT_EQ(ini.ToText(), "");
    ini.WriteString("", "", "");
    EXPECT_FALSE(ini.Modified());
}

TEST(BigIniFile, RefusesWritesThatWouldCorruptTheFile) {
    TBigIniFile ini("");
    ini.WriteString("A", "k", "1");
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"k", "line\r\nbreak"},
        {"k", "a\nb"},
        {"k", std::string("a\0b", 3)},
        {"k", "a\x1a"},
        {"k=x", "v"},
        {"[k", "v]"},
        {" ", "v"},
    };
    for (const auto &[key, value] : bad) {
        EXPECT_THROW(ini.WriteString("A", key, value), EIniFileException) << key;
    }
    EXPECT_THROW(ini.WriteString("A\nB", "k", "v"), EIniFileException);
    EXPECT_EQ(ini.ToText(), "[A]\r\nk=1\r\n\r\n");
}

TEST(BigIniFile, FileErrors) {
    TempFolder dir;
    // Missing file: empty, and the first write creates it.
    {
        TBigIniFile ini(dir.File("new.ini"));
        EXPECT_EQ(ini.ReadString("A", "k", "d"), "d");
        ini.WriteString("A", "k", "v");
    }
    EXPECT_EQ(dir.Read("new.ini"), "[A]\r\nk=v\r\n\r\n");
    // A folder that does not exist: UpdateFile raises, the destructor does not.
    TBigIniFile ini(dir.File("no/such/dir.ini"));
    ini.WriteString("A", "k", "v");
    EXPECT_THROW(ini.UpdateFile(), EIniFileException);
    EXPECT_FALSE(ini.Modified());

    // A file that exists but cannot be read, and one that cannot be replaced: the error names
    // the file and the system's reason, and the file keeps its content.
    dir.Write("held.ini", "[A]\r\nk=1\r\n\r\n");
    const std::string held = dir.File("held.ini");
    for (const platform::TFileCall call : {platform::TFileCall::Open, platform::TFileCall::Read}) {
        testing::ScopedFileFaults faults({{call, "held.ini", EACCES}});
        try {
            TBigIniFile unreadable(held);
            ADD_FAILURE() << "read without error";
        } catch (const EIniFileException &e) {
            EXPECT_EQ(e.SystemError(), EACCES);
            EXPECT_EQ(std::string(e.what()),
                      "Cannot read file \"" + held + "\": " + platform::SystemErrorText(EACCES));
        }
    }
    TBigIniFile full(held);
    full.WriteString("A", "k", "2");
    {
        testing::ScopedFileFaults faults({{platform::TFileCall::Write, "held.ini", ENOSPC}});
        try {
            full.UpdateFile();
            ADD_FAILURE() << "written without error";
        } catch (const EIniFileException &e) {
            EXPECT_EQ(e.SystemError(), ENOSPC);
            EXPECT_EQ(std::string(e.what()),
                      "Cannot write file \"" + held + "\": " + platform::SystemErrorText(ENOSPC));
        }
    }
    EXPECT_EQ(dir.Read("held.ini"), "[A]\r\nk=1\r\n\r\n");
}

}  // namespace
}  // namespace brevor
