// The POSIX channel's own cases: its handles are socket descriptors.

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
#include "platform/messages_channel.h"

namespace brevor::platform {
namespace {

using Clock = std::chrono::steady_clock;

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
