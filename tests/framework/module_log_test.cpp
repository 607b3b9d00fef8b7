#include "framework/module_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "brevor/abi.h"
#include "messages_window.h"

namespace brevor {
namespace {

using Clock = std::chrono::steady_clock;
using host::TMessagesWindow;
using host::TWindowLogLine;

long ElapsedMs(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TLogDestination To(const TMessagesWindow &window, std::string_view title = "Brevor") {
    return TLogDestination{title, 0xC0FFEE,
                           static_cast<platform::MessagesWindow>(window.ModuleHandle())};
}

// All queued lines, fetched with a buffer large enough.
std::string FetchAll(TModuleLog &log) {
    std::int64_t needed = 0;
    log.GetLogEx(nullptr, -1, needed);
    std::string text(static_cast<std::size_t>(needed), '\0');
    if (needed == 0) return text;
    EXPECT_EQ(log.GetLogEx(text.data(), static_cast<std::int32_t>(needed), needed), needed);
    return text;
}

std::vector<std::string> AnsweredTexts(const TMessagesWindow &window) {
    std::vector<std::string> texts;
    for (const TWindowLogLine &line : window.Lines())
        if (line.Answered) texts.push_back(line.Text);
    return texts;
}

TEST(FormatLogLine, WireForm) {
    const struct {
        std::string_view title;
        int level;
        std::string_view text;
        std::string expected;
    } cases[] = {
        {"Brevor", 2, "File sent", std::string("\x03") + "Brevor. File sent"},
        {"Brevor", 0, "a\r\nb\rc\nd", std::string("\x01") + "Brevor. a  b c d"},
        {"", 1, "no title", std::string("\x02") + "no title"},
        {"", 2, "", std::string("\x03")},
        // Unknown levels become the nearest known one, so the level byte stays 1..3.
        {"T", -5, "x", std::string("\x01") + "T. x"},
        {"T", 200, "x", std::string("\x03") + "T. x"},
        {"T", 2, "\xE9\x80", std::string("\x03") + "T. \xE9\x80"},  // 8-bit text kept as is
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatLogLine(c.title, c.level, c.text), c.expected) << c.text;
}

TEST(ModuleLog, WithoutWindowEverythingIsDiscarded) {
    TModuleLog log;
    TLogDestination none{"Brevor", 5, 0};
    log.AddLog(none, kLogInformation, "one");
    log.QueueLog(none, kLogError, "two");
    std::int64_t needed = -1;
    char buffer[64];
    EXPECT_EQ(log.GetLogEx(buffer, sizeof(buffer), needed), 0);
    EXPECT_EQ(needed, 0);
}

TEST(ModuleLog, AnsweringWindowGetsEachLineAtOnce) {
    TMessagesWindow window;
    TModuleLog log;
    log.AddLog(To(window), kLogInformation, "first\r\nline");
    log.AddLog(To(window, ""), kLogError, "second");
    const std::vector<host::TWindowMessage> got = window.Messages();
    ASSERT_EQ(got.size(), 2u);
    for (const host::TWindowMessage &m : got) {
        EXPECT_EQ(m.Msg, static_cast<std::uint32_t>(BRV_WM_COPYDATA));
        EXPECT_EQ(m.DataTag, static_cast<std::uint64_t>(BRV_COPYDATA_LINE));
        EXPECT_EQ(m.WParam, 0xC0FFEEu);
    }
    EXPECT_EQ(got[0].Bytes, std::string("\x03") + "Brevor. first  line");
    EXPECT_EQ(got[1].Bytes, std::string("\x01") + "second");
    EXPECT_EQ(log.QueuedCount(), 0);
}

TEST(ModuleLog, QueueKeepsTheNewestHundredAndNotifiesEveryTime) {
    TMessagesWindow window;
    TModuleLog log;
    for (int i = 0; i < 150; ++i)
        log.QueueLog(To(window, ""), kLogWarning, "line " + std::to_string(i));
    EXPECT_EQ(log.QueuedCount(), kMaxQueuedLogLines);
    ASSERT_TRUE(window.WaitForMessages(150, 5000));
    EXPECT_EQ(window.PendingNotices(), 150);
    for (const host::TWindowMessage &m : window.Messages()) {
        EXPECT_EQ(m.Seq, 0u);  // posted
        EXPECT_EQ(m.WParam, 0xC0FFEEu);
    }
    std::string expected;
    for (int i = 50; i < 150; ++i)
        expected += "\x02line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(FetchAll(log), expected);
}

// Three lines of 8 bytes each, 30 bytes with their line ends.
TEST(ModuleLog, GetLogExBufferRules) {
    TMessagesWindow window;
    TModuleLog log;
    const std::string expected = "\x03line 01\r\n\x03line 02\r\n\x03line 03\r\n";
    auto fill = [&] {
        for (const char *text : {"line 01", "line 02", "line 03"})
            log.QueueLog(To(window, ""), kLogInformation, text);
    };
    fill();
    char buffer[40];
    std::int64_t needed = 0;

    EXPECT_EQ(log.GetLogEx(buffer, 20, needed), 0);
    EXPECT_EQ(needed, 30);
    EXPECT_EQ(log.QueuedCount(), 3);
    EXPECT_EQ(log.GetLogEx(nullptr, 30, needed), 0);  // no buffer to copy to: kept
    EXPECT_EQ(needed, 30);
    EXPECT_EQ(log.QueuedCount(), 3);

    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(log.GetLogEx(buffer, 30, needed), 30);
    EXPECT_EQ(needed, 30);
    EXPECT_EQ(std::string(buffer, 30), expected);
    EXPECT_EQ(buffer[30], '#');  // no terminating zero
    EXPECT_EQ(log.QueuedCount(), 0);
    EXPECT_EQ(log.GetLogEx(buffer, 30, needed), 0);
    EXPECT_EQ(needed, 0);

    fill();
    EXPECT_EQ(log.GetLogEx(buffer, 0, needed), 0);  // no buffer size: lines discarded
    EXPECT_EQ(needed, 30);
    EXPECT_EQ(log.QueuedCount(), 0);
}

// A stalled window: each send gives up after its limit, the lines wait in order; once the window
// answers again the next line takes them along as one batch, ahead of itself.
TEST(ModuleLog, StalledWindowQueuesLinesAndLaterGetsThemAsBatch) {
    TMessagesWindow window;
    TModuleLog log;
    log.SetSendTimeout(150);
    window.Stall();

    Clock::time_point start = Clock::now();
    log.AddLog(To(window, ""), kLogInformation, "one");  // line send fails
    EXPECT_GE(ElapsedMs(start), 140);
    EXPECT_EQ(log.QueuedCount(), 1);
    start = Clock::now();
    log.AddLog(To(window, ""), kLogInformation, "two");  // batch send fails, line not tried
    EXPECT_LT(ElapsedMs(start), 290);
    EXPECT_EQ(log.QueuedCount(), 2);
    ASSERT_TRUE(window.WaitForMessages(4, 2000));
    EXPECT_EQ(window.PendingNotices(), 2);
    // The second line's attempt is a batch of what was queued. (A window may take a send before
    // a notice posted earlier, so it is found by its tag, not by its place.)
    std::vector<std::string> batches;
    for (const host::TWindowMessage &m : window.Messages())
        if (m.Seq != 0 && m.DataTag == static_cast<std::uint64_t>(BRV_COPYDATA_BATCH))
            batches.push_back(m.Bytes);
    EXPECT_EQ(batches, std::vector<std::string>{"\x03one\r\n"});

    window.Resume();
    window.Clear();
    log.AddLog(To(window, ""), kLogWarning, "three");
    EXPECT_EQ(log.QueuedCount(), 0);
    const std::vector<TWindowLogLine> lines = window.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].Tag, static_cast<std::uint64_t>(BRV_COPYDATA_BATCH));
    EXPECT_EQ(lines[1].Tag, static_cast<std::uint64_t>(BRV_COPYDATA_BATCH));
    EXPECT_EQ(lines[2].Tag, static_cast<std::uint64_t>(BRV_COPYDATA_LINE));
    EXPECT_EQ(AnsweredTexts(window), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(lines[2].Level, kLogWarning);
}

TEST(ModuleLog, StalledWindowLinesAreFetchedInOrder) {
    TMessagesWindow window;
    TModuleLog log;
    log.SetSendTimeout(100);
    window.Stall();
    log.AddLog(To(window, ""), kLogError, "a");
    log.AddLog(To(window, ""), kLogWarning, "b");
    log.QueueLog(To(window, ""), kLogInformation, "c");
    EXPECT_EQ(FetchAll(log),
              "\x01"
              "a\r\n\x02"
              "b\r\n\x03"
              "c\r\n");
}

// The production limit: a send to a window that never answers returns after about 1000 ms.
TEST(ModuleLog, DefaultSendLimitIsOneSecond) {
    TMessagesWindow window;
    TModuleLog log;
    EXPECT_EQ(log.SendTimeout(), 1000u);
    window.Stall();
    const Clock::time_point start = Clock::now();
    log.AddLog(To(window), kLogInformation, "late");
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 990);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(log.QueuedCount(), 1);
}

TEST(ModuleLog, WindowClosingMidRunLeavesLinesForFetching) {
    TMessagesWindow window;
    TModuleLog log;
    log.AddLog(To(window, ""), kLogInformation, "delivered");
    window.Close();
    const Clock::time_point start = Clock::now();
    log.AddLog(To(window, ""), kLogInformation, "after close");
    log.AddLog(To(window, ""), kLogError, "and another");
    EXPECT_LT(ElapsedMs(start), 500);  // a gone window fails at once
    EXPECT_EQ(AnsweredTexts(window), std::vector<std::string>{"delivered"});
    EXPECT_EQ(FetchAll(log),
              "\x03"
              "after close\r\n\x01"
              "and another\r\n");
}

// Lines logged from several threads while the host fetches: each line reaches the window or
// the fetch exactly once.
TEST(ModuleLog, ConcurrentLoggingLosesNothing) {
    TMessagesWindow window;
    TModuleLog log;
    std::atomic<bool> done{false};
    std::string fetched;
    std::thread fetcher([&] {
        while (!done) {
            char buffer[4096];
            std::int64_t needed = 0;
            const std::int32_t n = log.GetLogEx(buffer, sizeof(buffer), needed);
            fetched.append(buffer, static_cast<std::size_t>(n));
        }
    });
    std::vector<std::thread> loggers;
    for (int t = 0; t < 4; ++t)
        loggers.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                const std::string text = std::to_string(t) + "-" + std::to_string(i);
                if (i % 2 == 0)
                    log.AddLog(To(window, ""), kLogInformation, text);
                else
                    log.QueueLog(To(window, ""), kLogInformation, text);
            }
        });
    for (std::thread &l : loggers)
        l.join();
    done = true;
    fetcher.join();
    fetched += FetchAll(log);

    std::multiset<std::string> seen;
    for (const std::string &text : AnsweredTexts(window))
        seen.insert(text);
    for (std::size_t start = 0; start < fetched.size();) {
        const std::size_t end = fetched.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        seen.insert(fetched.substr(start + 1, end - start - 1));
        start = end + 2;
    }
    std::multiset<std::string> expected;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 20; ++i)
            expected.insert(std::to_string(t) + "-" + std::to_string(i));
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace brevor
