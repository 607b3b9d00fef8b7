// The messages-window channel on POSIX: a connected AF_UNIX SOCK_SEQPACKET socket.

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <fcntl.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "brevor/abi.h"
#include "platform/messages_channel.h"

namespace brevor::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Sends to one descriptor wait for each other, so that each reads its own answer and not the
// answer meant for another thread.
// (A flag under a condition variable rather than a timed mutex: the sanitizers do not follow
// the timed lock calls.)
class TWindowSendLock {
public:
    // False when the lock is still held by another send at deadline.
    bool Acquire(Clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!freed_.wait_until(lock, deadline, [this] { return !busy_; })) return false;
        busy_ = true;
        return true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ = false;
        }
        freed_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool busy_ = false;
};

// Holds a send lock for one send.
class TSendHold {
public:
    explicit TSendHold(TWindowSendLock &lock) : lock_(lock) {}
    ~TSendHold() {
        if (held_) lock_.Release();
    }
    TSendHold(const TSendHold &) = delete;
    TSendHold &operator=(const TSendHold &) = delete;
    bool Acquire(Clock::time_point deadline) { return held_ = lock_.Acquire(deadline); }

private:
    TWindowSendLock &lock_;
    bool held_ = false;
};

// One entry per descriptor number ever used, so the table is bounded by the descriptor range.
// It is made when the library starts (PrepareMessagesChannel), so it outlives the library's
// shutdown, which may still log while it frees the instances.
struct TSendLockTable {
    std::mutex lock;
    std::unordered_map<int, std::unique_ptr<TWindowSendLock>> entries;
};

TSendLockTable &SendLocks() {
    static TSendLockTable table;
    return table;
}

TWindowSendLock &SendLockFor(int fd) {
    TSendLockTable &table = SendLocks();
    std::lock_guard<std::mutex> guard(table.lock);
    std::unique_ptr<TWindowSendLock> &entry = table.entries[fd];
    if (!entry) entry = std::make_unique<TWindowSendLock>();
    return *entry;
}

}  // namespace

void PrepareMessagesChannel() {
    SendLocks();
}

namespace {

std::uint32_t NextSeq() {
    static std::atomic<std::uint32_t> counter{0};
    std::uint32_t seq = ++counter;
    while (seq == 0)  // 0 marks a posted message
        seq = ++counter;
    return seq;
}

// Descriptor of a handle, or -1 when it cannot be one.
int DescriptorOf(MessagesWindow window) {
    if (window > static_cast<MessagesWindow>(INT_MAX)) return -1;
    return static_cast<int>(window);
}

bool IsChannelDescriptor(int fd) {
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    int type = 0;
    socklen_t typeLength = sizeof(type);
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_SEQPACKET)
        return false;
    sockaddr_storage address{};
    socklen_t addressLength = sizeof(address);
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &addressLength) != 0 ||
        address.ss_family != AF_UNIX)
        return false;
    addressLength = sizeof(address);
    return getpeername(fd, reinterpret_cast<sockaddr *>(&address), &addressLength) == 0;
}

// Milliseconds left until deadline, rounded up; 0 when it has passed.
int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

// Waits for events on fd until deadline; the revents, or 0 on timeout or error.
short WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int waitMs = RemainingMs(deadline);
        if (waitMs == 0) return 0;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, waitMs);
        if (n > 0) return p.revents;
        if (n == 0) return 0;
        if (errno != EINTR) return 0;
    }
}

bool WritePacket(int fd, const TBrvMessageHeader &header, const void *bytes, std::size_t byteCount,
                 Clock::time_point deadline) {
    iovec parts[2];
    parts[0].iov_base = const_cast<TBrvMessageHeader *>(&header);
    parts[0].iov_len = sizeof(header);
    parts[1].iov_base = const_cast<void *>(bytes);
    parts[1].iov_len = byteCount;
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = byteCount > 0 ? 2 : 1;
    for (;;) {
        const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) return static_cast<std::size_t>(sent) == sizeof(header) + byteCount;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const short revents = WaitFor(fd, POLLOUT, deadline);
        if ((revents & POLLOUT) == 0) return false;
    }
}

// Reads packets until the answer to seq arrives; answers to other sends are stale and dropped.
bool ReadAnswer(int fd, std::uint32_t seq, Clock::time_point deadline, std::int64_t *result) {
    for (;;) {
        const short revents = WaitFor(fd, POLLIN, deadline);
        if (revents == 0) return false;
        if ((revents & POLLIN) == 0) return false;  // hang-up or error without data
        TBrvMessageReply reply{};
        const ssize_t n = recv(fd, &reply, sizeof(reply), MSG_DONTWAIT);
        if (n == 0) return false;  // the window has gone
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        if (static_cast<std::size_t>(n) < sizeof(reply) || reply.Seq != seq) continue;
        if (result != nullptr) *result = reply.Result;
        return true;
    }
}

}  // namespace

bool IsMessagesWindow(MessagesWindow window) {
    return IsChannelDescriptor(DescriptorOf(window));
}

bool SendWindowMessage(MessagesWindow window, std::uint32_t msg, std::uint64_t wParam,
                       std::uint64_t dataTag, const void *bytes, std::size_t byteCount,
                       std::uint32_t timeoutMs, std::int64_t *result) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = DescriptorOf(window);
    if (byteCount > UINT32_MAX || (bytes == nullptr && byteCount > 0)) return false;
    if (!IsChannelDescriptor(fd)) return false;

    TSendHold serial(SendLockFor(fd));
    if (!serial.Acquire(deadline)) return false;
    // The descriptor may have been closed or reused while this send waited.
    if (!IsChannelDescriptor(fd)) return false;

    TBrvMessageHeader header{};
    header.Seq = NextSeq();
    header.Msg = msg;
    header.WParam = wParam;
    header.DataTag = dataTag;
    header.ByteCount = static_cast<std::uint32_t>(byteCount);
    if (!WritePacket(fd, header, bytes, byteCount, deadline)) return false;
    return ReadAnswer(fd, header.Seq, deadline, result);
}

bool PostWindowMessage(MessagesWindow window, std::uint32_t msg, std::uint64_t wParam) {
    const int fd = DescriptorOf(window);
    if (!IsChannelDescriptor(fd)) return false;
    TBrvMessageHeader header{};
    header.Msg = msg;
    header.WParam = wParam;
    for (;;) {
        const ssize_t sent = send(fd, &header, sizeof(header), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) return static_cast<std::size_t>(sent) == sizeof(header);
        if (errno != EINTR) return false;
    }
}

}  // namespace brevor::platform
