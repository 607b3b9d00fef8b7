#include "platform/messages_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "brevor/abi.h"
#include "messages_window.h"

namespace brevor::platform {
namespace {

using Clock = std::chrono::steady_clock;
using host::TMessagesWindow;

long ElapsedMs(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool Send(MessagesWindow window, const std::string &bytes, std::uint32_t timeoutMs,
          std::int64_t *result = nullptr) {
    return SendWindowMessage(window, BRV_WM_COPYDATA, 77, BRV_COPYDATA_LINE, bytes.data(),
                             bytes.size(), timeoutMs, result);
}

TEST(MessagesChannel, SendIsAnsweredAndPostIsNot) {
    TMessagesWindow window;
    const auto handle = static_cast<MessagesWindow>(window.ModuleHandle());
    EXPECT_TRUE(IsMessagesWindow(handle));

    std::int64_t result = 0;
    ASSERT_TRUE(Send(handle, std::string("\x03title. text", 13), 1000, &result));
    EXPECT_EQ(result, 1);
    // A parameter as wide as the target's pointers (a window message's is no wider).
    const std::uint64_t param = 0x1234567890ULL & std::numeric_limits<std::uintptr_t>::max();
    ASSERT_TRUE(PostWindowMessage(handle, BRV_WM_LOG_PENDING, param));
    ASSERT_TRUE(window.WaitForMessages(2, 2000));

    const std::vector<host::TWindowMessage> got = window.Messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].Seq, 0u);
    EXPECT_EQ(got[0].Msg, static_cast<std::uint32_t>(BRV_WM_COPYDATA));
    EXPECT_EQ(got[0].WParam, 77u);
    EXPECT_EQ(got[0].DataTag, static_cast<std::uint64_t>(BRV_COPYDATA_LINE));
    EXPECT_EQ(got[0].Bytes, std::string("\x03title. text", 13));
    EXPECT_TRUE(got[0].Answered);
    EXPECT_EQ(got[1].Seq, 0u);
    EXPECT_EQ(got[1].Msg, static_cast<std::uint32_t>(BRV_WM_LOG_PENDING));
    EXPECT_EQ(got[1].WParam, param);
    EXPECT_EQ(got[1].DataTag, 0u);
    EXPECT_TRUE(got[1].Bytes.empty());
    EXPECT_FALSE(got[1].Answered);
}

TEST(MessagesChannel, StalledWindowFailsTheSendAfterItsLimit) {
    TMessagesWindow window;
    window.Stall();
    const auto handle = static_cast<MessagesWindow>(window.ModuleHandle());
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(Send(handle, "line", 150));
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 140);
    EXPECT_LT(elapsed, 1000);
    // The window got the message; only the answer is missing.
    EXPECT_EQ(window.Messages().size(), 1u);
}

// The wait behind another send to the same window is part of the limit.
TEST(MessagesChannel, WaitBehindAnotherSendCountsTowardTheLimit) {
    TMessagesWindow window;
    window.Stall();
    const auto handle = static_cast<MessagesWindow>(window.ModuleHandle());
    std::atomic<long> longest{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> senders;
    for (int i = 0; i < 2; ++i)
        senders.emplace_back([&] {
            EXPECT_FALSE(Send(handle, "line", 300));
            long elapsed = ElapsedMs(start);
            long seen = longest.load();
            while (elapsed > seen && !longest.compare_exchange_weak(seen, elapsed)) {
            }
        });
    for (std::thread &t : senders)
        t.join();
    EXPECT_LT(longest.load(), 550);  // not 2 x 300
}

// An answer that comes after its send gave up is dropped by the next send, which still gets its
// own answer.
TEST(MessagesChannel, LateAnswerIsDroppedByTheNextSend) {
    TMessagesWindow window;
    const auto handle = static_cast<MessagesWindow>(window.ModuleHandle());
    window.SetAnswerDelay(300);
    EXPECT_FALSE(Send(handle, "first", 100));
    window.SetAnswerDelay(0);
    std::int64_t result = 0;
    EXPECT_TRUE(Send(handle, "second", 2000, &result));
    EXPECT_EQ(result, 1);
    const std::vector<host::TWindowMessage> got = window.Messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].Bytes, "second");
}

TEST(MessagesChannel, ClosedWindowFailsAtOnceWithoutSignal) {
    TMessagesWindow window;
    const auto handle = static_cast<MessagesWindow>(window.ModuleHandle());
    window.Close();
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(Send(handle, "line", 1000));
    EXPECT_FALSE(PostWindowMessage(handle, BRV_WM_LOG_PENDING, 1));
    EXPECT_LT(ElapsedMs(start), 500);
}

}  // namespace
}  // namespace brevor::platform
