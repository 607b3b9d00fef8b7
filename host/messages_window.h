#pragma once

// A host's messages window on POSIX: the host end of an AF_UNIX SOCK_SEQPACKET socket pair and
// a thread that reads what the module sends there, answers sends and records everything. Used
// by brevor-host and by the tests.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brevor::host {

// One packet as the window received it.
struct TWindowMessage {
    std::uint32_t Seq = 0;  // 0: posted
    std::uint32_t Msg = 0;
    std::uint64_t WParam = 0;
    std::uint64_t DataTag = 0;
    std::string Bytes;      // the data after the header, 8-bit
    bool Answered = false;  // a reply went back (never for posts, never while stalled)
};

// One log line decoded from its wire form.
struct TWindowLogLine {
    int Level = -1;         // level byte - 1: 0 error, 1 warning, 2 information
    std::string Text;       // the rest of the line: title, ". " and the text, 8-bit
    std::uint64_t Tag = 0;  // the copy-data tag it came with: 1 batch, 2 one line
    std::uint64_t HostContext = 0;
    bool Answered = false;
};

class TMessagesWindow {
public:
    // Creates the socket pair and starts the window's thread; throws std::runtime_error when the
    // pair cannot be made.
    TMessagesWindow();
    // Stops the thread and closes both ends.
    ~TMessagesWindow();
    TMessagesWindow(const TMessagesWindow &) = delete;
    TMessagesWindow &operator=(const TMessagesWindow &) = delete;

    // The module's end: the value to pass as "MessagesProcessorHandle". Stays open until the
    // window object is destroyed.
    int ModuleHandle() const { return moduleFd_; }

    // Stalled, the window keeps reading and recording but answers nothing.
    void Stall();
    void Resume();
    // Answers sends only after this delay (the thread waits, then answers).
    void SetAnswerDelay(int ms);
    // Closes the window's end, as a host whose window has gone.
    void Close();

    // Called on the window's thread for every message, after it is recorded.
    void SetListener(std::function<void(const TWindowMessage &)> listener);

    std::vector<TWindowMessage> Messages() const;
    // Every log line received, in order of arrival: batches split into their lines.
    std::vector<TWindowLogLine> Lines() const;
    // Number of log-pending notices received.
    int PendingNotices() const;
    // Forgets what was received so far.
    void Clear();
    // Waits until at least count messages were received; false after timeoutMs.
    bool WaitForMessages(std::size_t count, int timeoutMs) const;

    // Splits a message's data into log lines (a batch at its CR LF ends).
    static std::vector<TWindowLogLine> DecodeLines(const TWindowMessage &message);

private:
    void Run();
    void Answer(std::uint32_t seq);

    int moduleFd_ = -1;
    int windowFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool stopping_ = false;  // guarded by mutex_
    bool stalled_ = false;
    int answerDelayMs_ = 0;
    std::function<void(const TWindowMessage &)> listener_;
    std::vector<TWindowMessage> messages_;
    mutable std::mutex mutex_;
    mutable std::condition_variable received_;
    std::thread thread_;
};

}  // namespace brevor::host
