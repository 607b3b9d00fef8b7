#include "platform/messages_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
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

// A socket pair of the given type; closes what is still open at the end.
struct TPair {
    explicit TPair(int type) {
        if (socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, fd) != 0) fd[0] = fd[1] = -1;
    }
    ~TPair() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
    int fd[2];
};

TEST(MessagesChannel, SendIsAnsweredAndPostIsNot) {
    TMessagesWindow window;
    const auto handle = static_cast<MessagesWindow>(window.ModuleHandle());
    EXPECT_TRUE(IsMessagesWindow(handle));

    std::int64_t result = 0;
    ASSERT_TRUE(Send(handle, std::string("\x03title. text", 13), 1000, &result));
    EXPECT_EQ(result, 1);
    ASSERT_TRUE(PostWindowMessage(handle, BRV_WM_LOG_PENDING, 0x1234567890ULL));
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
    EXPECT_EQ(got[1].WParam, 0x1234567890ULL);
    EXPECT_EQ(got[1].DataTag, 0u);
    EXPECT_TRUE(got[1].Bytes.empty());
    EXPECT_FALSE(got[1].Answered);
}

// Nothing is ever written to a handle that is not a connected seqpacket socket, and every call
// on one fails at once.
TEST(MessagesChannel, BadHandlesFailWithoutWriting) {
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    int closedNumber = dup(fileno(file));
    ASSERT_GE(closedNumber, 0);
    close(closedNumber);
    TPair stream(SOCK_STREAM);
    TPair datagram(SOCK_DGRAM);
    const int unconnected = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_GE(unconnected, 0);

    const struct {
        const char *what;
        MessagesWindow handle;
        int peer;  // where a wrongly written packet would show, or -1
    } cases[] = {
        {"regular file", static_cast<MessagesWindow>(fileno(file)), -1},
        {"closed number", static_cast<MessagesWindow>(closedNumber), -1},
        {"stream socket", static_cast<MessagesWindow>(stream.fd[0]), stream.fd[1]},
        {"datagram socket", static_cast<MessagesWindow>(datagram.fd[0]), datagram.fd[1]},
        {"unconnected seqpacket socket", static_cast<MessagesWindow>(unconnected), -1},
        {"beyond the descriptor range", static_cast<MessagesWindow>(INT_MAX) + 1 + 3, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(IsMessagesWindow(c.handle));
        EXPECT_FALSE(Send(c.handle, "line", 1000));
        EXPECT_FALSE(PostWindowMessage(c.handle, BRV_WM_LOG_PENDING, 1));
        EXPECT_LT(ElapsedMs(start), 500);
        if (c.peer >= 0) {
            char byte;
            EXPECT_LT(recv(c.peer, &byte, 1, MSG_DONTWAIT), 0);
        }
    }
    struct stat st {};
    ASSERT_EQ(fstat(fileno(file), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    close(unconnected);
    std::fclose(file);
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

// Concurrent senders each read their own answer: the peer answers with the byte count it got.
TEST(MessagesChannel, ConcurrentSendsGetTheirOwnAnswers) {
    TPair pair(SOCK_SEQPACKET);
    ASSERT_GE(pair.fd[0], 0);
    std::thread peer([fd = pair.fd[1]] {
        char buffer[256];
        for (;;) {
            const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
            if (n <= 0) return;
            TBrvMessageHeader header;
            std::memcpy(&header, buffer, sizeof(header));
            // A stale answer first, then the real one.
            TBrvMessageReply reply{header.Seq + 100000, 0, -1};
            send(fd, &reply, sizeof(reply), MSG_NOSIGNAL);
            reply = TBrvMessageReply{header.Seq, 0, header.ByteCount};
            send(fd, &reply, sizeof(reply), MSG_NOSIGNAL);
        }
    });
    std::atomic<int> failures{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                const std::string bytes(static_cast<std::size_t>(1 + t * 50 + i), 'x');
                std::int64_t result = 0;
                if (!Send(static_cast<MessagesWindow>(pair.fd[0]), bytes, 2000, &result) ||
                    result != static_cast<std::int64_t>(bytes.size()))
                    ++failures;
            }
        });
    for (std::thread &s : senders)
        s.join();
    shutdown(pair.fd[0], SHUT_RDWR);
    peer.join();
    EXPECT_EQ(failures.load(), 0);
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

// A window that reads nothing: posts fail once the socket is full, and none of them blocks.
TEST(MessagesChannel, PostNeverBlocks) {
    TPair pair(SOCK_SEQPACKET);
    ASSERT_GE(pair.fd[0], 0);
    int posted = 0;
    while (posted < 100000 &&
           PostWindowMessage(static_cast<MessagesWindow>(pair.fd[0]), BRV_WM_LOG_PENDING, 1))
        ++posted;
    EXPECT_LT(posted, 100000);
    EXPECT_GT(posted, 0);
}

}  // namespace
}  // namespace brevor::platform
