#include "engine/file_transfer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/a_plugin.h"
#include "engine/file_transfer_fixture.h"
#include "platform/files.h"
#include "support/child_writer.h"
#include "support/file_faults.h"
#include "support/sparse_file.h"
#include "support/wine.h"

namespace brevor::file_transfer_test {
namespace {

using testing::ChildWriter;
using testing::ScopedFileFaults;
using testing::SparsePiece;
using testing::UnderWine;
using testing::WriteSparse;

// Wine reports a file's last status change as its creation time, which the file's identity is
// made of on Windows: under Wine every write makes the file look like a new one, sent again from
// its start. On Windows the creation time stays.
constexpr const char *kWineIdentity =
    "Wine: a write changes the creation time, and with it the file's identity";

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

std::string RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(count, '\0');
    for (char &c : bytes)
        c = static_cast<char>(rng());
    return bytes;
}

// The file's size as the engine's own file layer sees it, or -1 when it cannot be opened.
std::int64_t SizeOnDisk(const std::string &path) {
    const auto file = platform::TExclusiveFile::Open(path);
    return file ? file->Size() : -1;
}

TEST(DecodeText, EscapesWithinOneChunk) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"A#41##B#4", "AA#B#4"},
        {"##", "#"},
        {"###41", "#A"},
        {"#4", "#4"},
        {"#zz#4g", "#zz#4g"},
        {"#0a#FF", std::string("\x0a\xff", 2)},
        {std::string("#00x", 4), std::string("\0x", 2)},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DecodeText(c.in), c.out) << c.in;
}

TEST_F(FileTransferTest, GrowthIsSentIncrementallyAndCountedSinceLastUnchanged) {
    if (UnderWine()) GTEST_SKIP() << kWineIdentity;
    dir_.Write("a.txt", std::string(100, 'x'));
    Scan("a.txt", 128, ReadAndNoChange);
    EXPECT_EQ(host_.chunks.size(), 1u);
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 100}}));
    EXPECT_EQ(host_.lastDataSource, 7);

    dir_.Append("a.txt", std::string(50, 'y'));
    Scan("a.txt", 128, ReadAndNoChange);
    ASSERT_EQ(host_.chunks.size(), 2u);
    EXPECT_EQ(host_.chunks[1], std::string(50, 'y'));
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 150}}));

    Scan("a.txt", 128, ReadAndNoChange);  // unchanged: no call, no message
    EXPECT_EQ(host_.calls, 2);
    EXPECT_TRUE(log_.empty());

    Scan("a.txt", 128, ReadFromBeginning);  // unchanged in mode 3: everything again
    EXPECT_EQ(host_.calls, 4);
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 150}}));
}

TEST_F(FileTransferTest, RefusedChunkIsResentNextScanWithNothingLostOrDoubled) {
    std::string content;
    for (int i = 0; i < 50; ++i)
        content += static_cast<char>('a' + i % 26);
    dir_.Write("f.dat", content);
    host_.refuse = {3};
    Scan("f.dat", 10, ReadAndDel);
    EXPECT_EQ(log_, (std::vector<LogLine>{{0, "FileDataNotExported", 10}}));
    EXPECT_EQ(host_.accepted, content.substr(0, 20));
    EXPECT_TRUE(dir_.Exists("f.dat"));

    Scan("f.dat", 10, ReadAndDel);
    EXPECT_EQ(host_.accepted, content);
    // The count runs on from the refused scan: the file grew from where it stopped.
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 50}, {2, "FileDeleted", 0}}));
    EXPECT_FALSE(dir_.Exists("f.dat"));
}

TEST_F(FileTransferTest, EmptyFileInEachReadMode) {
    struct Case {
        int mode;
        std::vector<LogLine> log;
        bool exists;
    };
    const Case cases[] = {
        {ReadAndDel, {{2, "FileDataExported", 0}, {2, "FileDeleted", 0}}, false},
        {ReadAndTrunc, {{2, "FileDataExported", 0}}, true},
        {ReadAndNoChange, {{2, "FileDataExported", 0}}, true},
        {ReadFromBeginning, {{2, "FileDataExported", 0}}, true},
        {17, {{2, "FileDataExported", 0}}, true},
    };
    for (const Case &c : cases) {
        dir_.Write("empty", "");
        Scan("empty", 128, c.mode);
        EXPECT_EQ(log_, c.log) << "mode " << c.mode;
        EXPECT_EQ(dir_.Exists("empty"), c.exists) << "mode " << c.mode;
        Scan("empty", 128, c.mode);  // an empty file reports again at every scan
        if (c.exists) {
            EXPECT_EQ(log_, c.log) << "mode " << c.mode;
        }
    }
    EXPECT_EQ(host_.calls, 0);
}

TEST_F(FileTransferTest, TruncateEmptiesInPlaceAndDeleteRemoves) {
    dir_.Write("t.log", "hello");
    Scan("t.log", 128, ReadAndTrunc);
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 5}, {2, "FileTruncated", 0}}));
    EXPECT_TRUE(dir_.Exists("t.log"));
    EXPECT_EQ(dir_.Read("t.log"), "");
    dir_.Append("t.log", "again");
    Scan("t.log", 128, ReadAndTrunc);
    EXPECT_EQ(host_.accepted, "helloagain");
}

TEST_F(FileTransferTest, ShorterReplacementIsSentFromItsStart) {
    dir_.Write("r", std::string(100, 'a'));
    Scan("r", 64, ReadAndNoChange);
    dir_.Write("r", "short");
    Scan("r", 64, ReadAndNoChange);
    EXPECT_EQ(host_.chunks.back(), "short");
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 5}}));
}

TEST_F(FileTransferTest, DecodedChunksCarryTheDecodedLength) {
    dir_.Write("d",
               "A#41##B#4"
               "1#41");
    Scan("d", 9, ReadAndNoChange, true);
    ASSERT_EQ(host_.chunks.size(), 2u);
    EXPECT_EQ(host_.chunks[0], "AA#B#4");  // "#4" | "1" is not joined across chunks
    EXPECT_EQ(host_.chunks[1], "1A");
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 8}}));
}

TEST_F(FileTransferTest, FailuresAreLoggedAndTouchNothing) {
    dir_.Write("x", "data");
    struct Case {
        const char *name;
        std::int32_t chunk;
        LogLine line;
    };
    const Case cases[] = {
        {"x", 0, {0, "InvalidBlockSize", 0}},
        {"x", -5, {0, "InvalidBlockSize", -5}},
        {"x", INT32_MIN, {0, "InvalidBlockSize", INT32_MIN}},
        {"missing", 128, {0, "FileNotExist", 0}},
    };
    for (const Case &c : cases) {
        Scan(c.name, c.chunk, ReadAndDel);
        EXPECT_EQ(log_, std::vector<LogLine>{c.line});
    }
    EXPECT_EQ(host_.calls, 0);
    EXPECT_EQ(dir_.Read("x"), "data");

    // A host without fSendData refuses every chunk.
    log_.clear();
    engine_.ProcessFile(TSendTarget{}, dir_.Path(), "x", 128, false, ReadAndDel);
    EXPECT_EQ(log_, (std::vector<LogLine>{{0, "FileDataNotExported", 4}}));
    EXPECT_TRUE(dir_.Exists("x"));
}

TEST_F(FileTransferTest, ExclusiveOpenKeepsWritersAndReaderApart) {
    dir_.Write("busy", "1234");
    {
        auto held = platform::TExclusiveFile::Open(dir_.File("busy"));
        ASSERT_TRUE(held);
        EXPECT_FALSE(platform::AppendExclusive(dir_.File("busy"), "5", 1));  // writer refused
        Scan("busy", 128, ReadAndDel);  // a second reader is refused too
        EXPECT_EQ(log_, (std::vector<LogLine>{{0, "ErrorOpeningFile", 0}}));
    }
    EXPECT_TRUE(platform::AppendExclusive(dir_.File("busy"), "5", 1));
    Scan("busy", 128, ReadAndDel);
    EXPECT_EQ(host_.accepted, "12345");
}

// A writer that takes no lock and keeps the file open: the file is neither read, deleted nor
// emptied while it is open, and after it closed every byte reaches the host exactly once.
TEST_F(FileTransferTest, FileOpenForWritingElsewhereWaitsUntilTheWriterCloses) {
    struct Case {
        int mode;
        bool append;
        bool existsAfter;
    };
    const Case cases[] = {
        {ReadAndDel, true, false},
        {ReadAndDel, false, false},
        {ReadAndTrunc, false, true},
        {ReadAndNoChange, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " append " << c.append);
        RecordingHost host;
        const std::string path = dir_.File("w.log");
        std::filesystem::remove(path);
        ChildWriter writer(path, c.append, "part1\n", "part2\n");
        ASSERT_TRUE(writer.Started());
        log_.clear();
        engine_.ProcessFile(host.Target(), dir_.Path(), "w.log", 4, false, c.mode);
        EXPECT_EQ(log_, (std::vector<LogLine>{{0, "ErrorOpeningFile", 0}}));
        EXPECT_EQ(host.calls, 0);
        EXPECT_EQ(dir_.Read("w.log"), "part1\n");
        ASSERT_TRUE(writer.Finish());

        engine_.ProcessFile(host.Target(), dir_.Path(), "w.log", 4, false, c.mode);
        engine_.ProcessFile(host.Target(), dir_.Path(), "w.log", 4, false, c.mode);
        EXPECT_EQ(host.accepted, "part1\npart2\n");
        EXPECT_EQ(dir_.Exists("w.log"), c.existsAfter);
        if (c.mode == ReadAndTrunc) {
            EXPECT_EQ(dir_.Read("w.log"), "");
        }
    }
}

// A failing read, delete or emptying keeps every byte: it is logged as an error, and later
// scans send the rest exactly once without sending anything twice.
TEST_F(FileTransferTest, FileFaultsLoseNothingAndSendNothingTwice) {
    if (UnderWine()) GTEST_SKIP() << kWineIdentity;
    std::string content(1200 * 1000 + 7, '\0');  // more than one read block
    std::mt19937 rng(3);
    for (char &ch : content)
        ch = static_cast<char>('a' + rng() % 26);
    struct Case {
        const char *what;
        ScopedFileFaults::Rule rule;
        int mode;
        const char *error;
    };
    const Case cases[] = {
        {"read", {platform::TFileCall::Read, "f.dat", EIO, 1}, ReadAndDel, "ErrorReadingFile"},
        {"delete", {platform::TFileCall::Delete, "f.dat", EACCES}, ReadAndDel, "ErrorDeletingFile"},
        {"empty",
         {platform::TFileCall::Truncate, "f.dat", EIO},
         ReadAndTrunc,
         "ErrorTruncatingFile"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RecordingHost host;
        dir_.Write("f.dat", content);
        {
            ScopedFileFaults faults({c.rule});
            log_.clear();
            engine_.ProcessFile(host.Target(), dir_.Path(), "f.dat", 1000, false, c.mode);
            ASSERT_FALSE(log_.empty());
            EXPECT_EQ(log_.back(), (LogLine{0, c.error, 0}));
        }
        EXPECT_EQ(dir_.Read("f.dat"), content);  // nothing removed or emptied
        engine_.ProcessFile(host.Target(), dir_.Path(), "f.dat", 1000, false, c.mode);
        dir_.Append("f.dat", "more");
        engine_.ProcessFile(host.Target(), dir_.Path(), "f.dat", 1000, false, c.mode);
        EXPECT_TRUE(host.accepted == content + "more") << host.accepted.size();
        std::filesystem::remove(dir_.File("f.dat"));
        engine_.PruneFileStates();
    }
}

// Every outcome the engine reports has its row in the module's message table, formats with the
// arguments it is given, and is logged at the level its kind calls for.
TEST(TransferOutcomes, EveryOutcomeHasItsRowAndLevel) {
    const std::pair<const char *, int> expected[] = {
        {"InvalidBlockSize", 0}, {"FileNotExist", 0},        {"ErrorOpeningFile", 0},
        {"ErrorGetMem", 0},      {"ErrorReadingFile", 0},    {"FileDataNotExported", 0},
        {"FileDataExported", 2}, {"FileDeleted", 2},         {"ErrorDeletingFile", 0},
        {"FileTruncated", 2},    {"ErrorTruncatingFile", 0},
    };
    ASSERT_EQ(std::size(kTransferOutcomes), std::size(expected));
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    rec.InstanceId = 1;
    std::unique_ptr<TaPlugin> plugin(static_cast<TaPlugin *>(CreateTaPlugin(&rec)));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TOutcomeInfo &info = kTransferOutcomes[i];
        SCOPED_TRACE(info.msgId);
        EXPECT_EQ(&OutcomeInfo(info.outcome), &info);
        EXPECT_STREQ(info.msgId, expected[i].first);
        EXPECT_EQ(info.level, expected[i].second);
        std::string text;
        const std::string path = "/in/a.txt";
        EXPECT_NO_THROW(
            text = info.args == TOutcomeArgs::Number
                       ? plugin->maPlugin->FormatMessage(info.msgId, {12})
                   : info.args == TOutcomeArgs::Path
                       ? plugin->maPlugin->FormatMessage(info.msgId, {path})
                       : plugin->maPlugin->FormatMessage(info.msgId, {path, std::int64_t{12}}));
        if (info.args != TOutcomeArgs::Path) {
            EXPECT_NE(text.find("12"), std::string::npos);
        }
        if (info.args != TOutcomeArgs::Number) {
            EXPECT_NE(text.find(path), std::string::npos);
        }
    }
}

TEST_F(FileTransferTest, BlockBoundariesKeepChunksWholeAndResumable) {
    // Larger than one read block, with a chunk size that does not divide it.
    std::string content(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 rng(5);
    for (char &c : content)
        c = static_cast<char>(rng());
    dir_.Write("big", content);
    host_.refuse = {1500};  // inside the second block
    Scan("big", 1000, ReadAndNoChange);
    EXPECT_EQ(host_.accepted, content.substr(0, 1499 * 1000));
    for (const std::string &c : host_.chunks)
        EXPECT_EQ(c.size(), 1000u);
    Scan("big", 1000, ReadAndNoChange);
    EXPECT_EQ(host_.accepted, content);
    EXPECT_EQ(host_.chunks.back().size(), (content.size() % 1000));
}

// A 5 GiB file (sparse: it takes no disk space) whose first bytes past 4 GiB were sent before:
// the rest, and nothing else, reaches the host, and the read mode applies. The position is set
// directly, as sending 4 GiB first would take the test's time. A chunk size of 2 GiB - 1 needs
// no buffer beyond the bytes left.
TEST_F(FileTransferTest, RestPastFourGiBIsSentExactlyInEveryReadMode) {
    constexpr std::int64_t kSize = 5 * kGiB + 3;
    constexpr std::int64_t kResume = kSize - 700;
    const std::string tail = RandomBytes(700, 1);
    struct Case {
        int mode;
        std::int32_t chunk;
        std::size_t calls;
        std::vector<LogLine> log;
        std::int64_t sizeAfter;  // -1: deleted
        std::int64_t positionAfter;
    };
    const Case cases[] = {
        {ReadAndDel, 128, 6, {{2, "FileDataExported", 700}, {2, "FileDeleted", 0}}, -1, 0},
        {ReadAndTrunc, INT32_MAX, 1, {{2, "FileDataExported", 700}, {2, "FileTruncated", 0}}, 0, 0},
        {ReadAndNoChange, 128, 6, {{2, "FileDataExported", 700}}, kSize, kSize},
        {ReadFromBeginning, INT32_MAX, 1, {{2, "FileDataExported", 700}}, kSize, kSize},
    };
    const std::string path = dir_.File("big");
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " chunk " << c.chunk);
        host_ = RecordingHost{};
        // The byte before the resume offset must not be sent again.
        ASSERT_TRUE(WriteSparse(path, kSize, {SparsePiece{kResume - 1, "#" + tail}}));
        SetPosition("big", kResume);
        Scan("big", c.chunk, c.mode);
        EXPECT_TRUE(host_.accepted == tail) << host_.accepted.size() << " bytes";
        EXPECT_EQ(host_.chunks.size(), c.calls);
        EXPECT_EQ(log_, c.log);
        EXPECT_EQ(SizeOnDisk(path), c.sizeAfter);
        EXPECT_EQ(Position("big"), c.positionAfter);
        if (c.mode == ReadAndNoChange) {
            Scan("big", c.chunk, c.mode);  // unchanged at 5 GiB: nothing to send or say
            EXPECT_EQ(host_.chunks.size(), c.calls);
            EXPECT_TRUE(log_.empty());
        }
        std::filesystem::remove(path);
        engine_.PruneFileStates();
    }
}

// A file that grows across 4 GiB between scans is continued at the remembered position, on
// either side of the boundary.
TEST_F(FileTransferTest, FileGrowingAcrossFourGiBIsContinuedWhereItStopped) {
    if (UnderWine()) GTEST_SKIP() << kWineIdentity;
    const std::string path = dir_.File("grow");
    const std::string first = RandomBytes(300, 2);
    const std::string second = RandomBytes(300, 3);
    const std::string third = RandomBytes(50, 4);
    constexpr std::int64_t kEnd1 = 4 * kGiB - 100;
    ASSERT_TRUE(WriteSparse(path, kEnd1, {SparsePiece{kEnd1 - 300, first}}));
    SetPosition("grow", kEnd1 - 300);
    Scan("grow", 128, ReadAndNoChange);
    EXPECT_TRUE(host_.accepted == first);
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 300}}));

    ASSERT_TRUE(WriteSparse(path, kEnd1 + 300, {SparsePiece{kEnd1, second}}));
    Scan("grow", 128, ReadAndNoChange);  // 128 + 128 + 44 bytes, the second chunk across 4 GiB
    EXPECT_TRUE(host_.accepted == first + second);
    ASSERT_EQ(host_.chunks.size(), 6u);
    EXPECT_EQ(host_.chunks.back().size(), 44u);
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 600}}));
    EXPECT_EQ(Position("grow"), 4 * kGiB + 200);

    ASSERT_TRUE(WriteSparse(path, kEnd1 + 350, {SparsePiece{kEnd1 + 300, third}}));
    Scan("grow", 128, ReadAndDel);
    EXPECT_TRUE(host_.accepted == first + second + third);
    EXPECT_EQ(log_, (std::vector<LogLine>{{2, "FileDataExported", 650}, {2, "FileDeleted", 0}}));
    EXPECT_FALSE(dir_.Exists("grow"));
}

TEST_F(FileTransferTest, PruneForgetsFilesThatAreGone) {
    dir_.Write("keep", "k");
    dir_.Write("gone", "g");
    Scan("keep", 8, ReadAndNoChange);
    Scan("gone", 8, ReadAndNoChange);
    std::filesystem::remove(dir_.File("gone"));
    engine_.PruneFileStates();
    engine_.WithStates([&](TFileStates &s) {
        EXPECT_EQ(s.Count(), 1);
        EXPECT_NE(s.Find(dir_.File("keep")), nullptr);
        EXPECT_EQ(s.Find(dir_.File("gone")), nullptr);
        return 0;
    });
}

// Random appends, replacements, scans and refusals: the host receives every written byte
// exactly once per version of the file, in order.
TEST_F(FileTransferTest, PropertyEveryByteExactlyOnce) {
    if (UnderWine()) GTEST_SKIP() << kWineIdentity;
    for (int mode : {ReadAndDel, ReadAndTrunc, ReadAndNoChange}) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            std::mt19937 rng(seed * 31 + static_cast<unsigned>(mode));
            RecordingHost host;
            TFileTransfer engine([](TTransferOutcome, const std::string &, std::int64_t) {});
            std::string expected;     // every version's bytes, concatenated
            std::string onDisk;       // what the file holds now
            std::string versionSent;  // bytes of the current version the host took
            const std::string path = dir_.File("p");
            std::filesystem::remove(path);
            auto scan = [&] {
                const int refuseAt =
                    static_cast<int>(rng() % 4) == 0 ? host.calls + 1 + rng() % 3 : -1;
                host.refuse = {refuseAt};
                const size_t before = host.accepted.size();
                engine.ProcessFile(host.Target(), dir_.Path(), "p",
                                   static_cast<std::int32_t>(1 + rng() % 16), false, mode);
                versionSent += host.accepted.substr(before);
                if (versionSent == onDisk && mode != ReadAndNoChange && !onDisk.empty()) {
                    onDisk.clear();  // deleted or emptied once complete
                    versionSent.clear();
                    if (mode == ReadAndDel) std::filesystem::remove(path);
                }
            };
            for (int step = 0; step < 40; ++step) {
                const unsigned op = rng() % 10;
                if (op < 5) {
                    std::string more(1 + rng() % 40, '\0');
                    for (char &c : more)
                        c = static_cast<char>('a' + rng() % 26);
                    ASSERT_TRUE(platform::AppendExclusive(path, more.data(), more.size()));
                    onDisk += more;
                    expected += more;
                } else if (op < 6 && !onDisk.empty()) {
                    // Replace by a shorter file (written aside, renamed over the old one): the
                    // host gets the new version from its start.
                    std::string shorter(rng() % onDisk.size(), 'Z');
                    dir_.Write("p.tmp", shorter);
                    std::filesystem::rename(dir_.File("p.tmp"), path);
                    expected.erase(expected.size() - (onDisk.size() - versionSent.size()));
                    expected += shorter;
                    onDisk = shorter;
                    versionSent.clear();
                } else {
                    scan();
                }
            }
            host.refuse.clear();
            for (int i = 0; i < 3; ++i)
                scan();
            EXPECT_EQ(host.accepted, expected) << "mode " << mode << " seed " << seed;
        }
    }
}

}  // namespace
}  // namespace brevor::file_transfer_test
