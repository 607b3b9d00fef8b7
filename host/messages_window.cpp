#include "messages_window.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "brevor/abi.h"

namespace brevor::host {

TMessagesWindow::TMessagesWindow() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        close(pair[0]);
        close(pair[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(error));
    }
    moduleFd_ = pair[0];
    windowFd_ = pair[1];
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    thread_ = std::thread(&TMessagesWindow::Run, this);
}

TMessagesWindow::~TMessagesWindow() {
    Close();
    close(moduleFd_);
    close(wakeRead_);
    close(wakeWrite_);
}

void TMessagesWindow::Stall() {
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_ = true;
}

void TMessagesWindow::Resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_ = false;
}

void TMessagesWindow::SetAnswerDelay(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    answerDelayMs_ = ms;
}

void TMessagesWindow::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (windowFd_ < 0) return;
        stopping_ = true;
    }
    received_.notify_all();
    const char byte = 0;
    while (write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    close(windowFd_);
    windowFd_ = -1;
}

void TMessagesWindow::SetListener(std::function<void(const TWindowMessage &)> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

std::vector<TWindowMessage> TMessagesWindow::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<TWindowLogLine> TMessagesWindow::Lines() const {
    std::vector<TWindowLogLine> lines;
    for (const TWindowMessage &message : Messages()) {
        std::vector<TWindowLogLine> decoded = DecodeLines(message);
        lines.insert(lines.end(), decoded.begin(), decoded.end());
    }
    return lines;
}

int TMessagesWindow::PendingNotices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const TWindowMessage &message : messages_)
        if (message.Msg == BRV_WM_LOG_PENDING) ++count;
    return count;
}

void TMessagesWindow::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

bool TMessagesWindow::WaitForMessages(std::size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return received_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return messages_.size() >= count; });
}

std::vector<TWindowLogLine> TMessagesWindow::DecodeLines(const TWindowMessage &message) {
    std::vector<TWindowLogLine> lines;
    if (message.Msg != BRV_WM_COPYDATA) return lines;
    auto add = [&](const std::string &wire) {
        TWindowLogLine line;
        if (!wire.empty()) {
            line.Level = static_cast<unsigned char>(wire[0]) - 1;
            line.Text = wire.substr(1);
        }
        line.Tag = message.DataTag;
        line.HostContext = message.WParam;
        line.Answered = message.Answered;
        lines.push_back(std::move(line));
    };
    if (message.DataTag != BRV_COPYDATA_BATCH) {
        add(message.Bytes);
        return lines;
    }
    std::size_t start = 0;
    while (start < message.Bytes.size()) {
        std::size_t end = message.Bytes.find("\r\n", start);
        if (end == std::string::npos) end = message.Bytes.size();
        add(message.Bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void TMessagesWindow::Answer(std::uint32_t seq) {
    TBrvMessageReply reply{};
    reply.Seq = seq;
    reply.Result = 1;
    // Never blocks: a module that no longer reads its answers must not hang the window.
    while (send(windowFd_, &reply, sizeof(reply), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
           errno == EINTR) {
    }
}

void TMessagesWindow::Run() {
    std::vector<char> buffer;
    for (;;) {
        pollfd polled[2] = {{windowFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(polled, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (polled[1].revents != 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        if ((polled[0].revents & POLLIN) == 0) {
            if ((polled[0].revents & (POLLHUP | POLLERR)) != 0) return;
            continue;
        }
        // The real length of the next packet, without taking it.
        const ssize_t size = recv(windowFd_, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (size < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        buffer.resize(static_cast<std::size_t>(size) + 1);
        const ssize_t n = recv(windowFd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0) return;  // the module's end is closed
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        if (static_cast<std::size_t>(n) < sizeof(TBrvMessageHeader)) continue;
        TBrvMessageHeader header;
        std::memcpy(&header, buffer.data(), sizeof(header));
        TWindowMessage message;
        message.Seq = header.Seq;
        message.Msg = header.Msg;
        message.WParam = header.WParam;
        message.DataTag = header.DataTag;
        const std::size_t available = static_cast<std::size_t>(n) - sizeof(header);
        message.Bytes.assign(buffer.data() + sizeof(header),
                             header.ByteCount < available ? header.ByteCount : available);

        std::function<void(const TWindowMessage &)> listener;
        int delayMs = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            message.Answered = message.Seq != 0 && !stalled_;
            delayMs = answerDelayMs_;
            messages_.push_back(message);
            listener = listener_;
        }
        received_.notify_all();
        if (listener) listener(message);
        if (!message.Answered) continue;
        if (delayMs > 0) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (received_.wait_for(lock, std::chrono::milliseconds(delayMs),
                                   [&] { return stopping_; }))
                return;
        }
        Answer(message.Seq);
    }
}

}  // namespace brevor::host
