#include "messages_window.h"

#include <chrono>

#include "brevor/abi.h"

namespace brevor::host {

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

bool TMessagesWindow::Receive(TWindowMessage message, int &answerDelayMs) {
    std::function<void(const TWindowMessage &)> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        message.Answered = message.Seq != 0 && !stalled_;
        answerDelayMs = answerDelayMs_;
        messages_.push_back(message);
        listener = listener_;
    }
    received_.notify_all();
    if (listener) listener(message);
    return message.Answered;
}

bool TMessagesWindow::WaitToAnswer(int delayMs) {
    if (delayMs <= 0) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    return !received_.wait_for(lock, std::chrono::milliseconds(delayMs), [&] { return stopping_; });
}

bool TMessagesWindow::Stalled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stalled_;
}

bool TMessagesWindow::Stopping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

}  // namespace brevor::host
