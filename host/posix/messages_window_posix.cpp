#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "brevor/abi.h"
#include "messages_window.h"

namespace brevor::host {

struct TMessagesWindow::TChannel {
    int moduleFd = -1;
    int windowFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;

    void Answer(std::uint32_t seq) const {
        TBrvMessageReply reply{};
        reply.Seq = seq;
        reply.Result = 1;
        // Never blocks: a module that no longer reads its answers must not hang the window.
        while (send(windowFd, &reply, sizeof(reply), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
               errno == EINTR) {
        }
    }
};

TMessagesWindow::TMessagesWindow() : channel_(std::make_unique<TChannel>()) {
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
    channel_->moduleFd = pair[0];
    channel_->windowFd = pair[1];
    channel_->wakeRead = wake[0];
    channel_->wakeWrite = wake[1];
    thread_ = std::thread(&TMessagesWindow::Run, this);
}

TMessagesWindow::~TMessagesWindow() {
    Close();
    close(channel_->moduleFd);
    close(channel_->wakeRead);
    close(channel_->wakeWrite);
}

std::intptr_t TMessagesWindow::ModuleHandle() const {
    return channel_->moduleFd;
}

void TMessagesWindow::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (channel_->windowFd < 0) return;
        stopping_ = true;
    }
    received_.notify_all();
    const char byte = 0;
    while (write(channel_->wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    close(channel_->windowFd);
    channel_->windowFd = -1;
}

void TMessagesWindow::Run() {
    const int windowFd = channel_->windowFd;
    std::vector<char> buffer;
    for (;;) {
        pollfd polled[2] = {{windowFd, POLLIN, 0}, {channel_->wakeRead, POLLIN, 0}};
        if (poll(polled, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (polled[1].revents != 0 && Stopping()) return;
        if ((polled[0].revents & POLLIN) == 0) {
            if ((polled[0].revents & (POLLHUP | POLLERR)) != 0) return;
            continue;
        }
        // The real length of the next packet, without taking it.
        const ssize_t size = recv(windowFd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (size < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        buffer.resize(static_cast<std::size_t>(size) + 1);
        const ssize_t n = recv(windowFd, buffer.data(), buffer.size(), MSG_DONTWAIT);
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
        const std::uint32_t seq = message.Seq;
        int delayMs = 0;
        if (!Receive(std::move(message), delayMs)) continue;
        if (!WaitToAnswer(delayMs)) return;
        channel_->Answer(seq);
    }
}

}  // namespace brevor::host
