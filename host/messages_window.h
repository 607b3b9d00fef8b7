#pragma once

// A host's messages window and the thread that runs it: it takes what the module sends there,
// answers sends and records everything. On POSIX the window is the host end of an AF_UNIX
// SOCK_SEQPACKET socket pair; on Windows a real hidden window with its own message loop, taking
// WM_COPYDATA and the log-pending message. Used by brevor-host and by the tests.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brevor::host {

// One packet as the window received it.
struct TWindowMessage {
    std::uint32_t Seq = 0;  // 0: posted; sends are numbered from 1
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
    // Creates the window (the socket pair) and starts its thread; throws std::runtime_error when
    // it cannot be made.
    TMessagesWindow();
    // Stops the thread and closes the window.
    ~TMessagesWindow();
    TMessagesWindow(const TMessagesWindow &) = delete;
    TMessagesWindow &operator=(const TMessagesWindow &) = delete;

    // The value to pass as "MessagesProcessorHandle": the module's end of the socket pair,
    // which stays open until the window object is destroyed, or the window's handle.
    std::intptr_t ModuleHandle() const;

    // Stalled, the window keeps reading and recording but answers nothing.
    void Stall();
    void Resume();
    // Answers sends only after this delay (the thread waits, then answers).
    void SetAnswerDelay(int ms);
    // Closes the window (its end of the pair), as a host whose window has gone.
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
    struct TChannel;  // the system's side: the socket pair, or the window and its thread

    // Records a message received now and calls the listener; returns whether it is to be
    // answered (a send, and not stalled), and the delay to answer it with.
    bool Receive(TWindowMessage message, int &answerDelayMs);
    // Waits the answer delay; false when the window is closing meanwhile.
    bool WaitToAnswer(int delayMs);
    bool Stalled() const;
    bool Stopping() const;
    void Run();

    bool stopping_ = false;  // guarded by mutex_
    bool stalled_ = false;
    int answerDelayMs_ = 0;
    std::function<void(const TWindowMessage &)> listener_;
    std::vector<TWindowMessage> messages_;
    mutable std::mutex mutex_;
    mutable std::condition_variable received_;
    std::unique_ptr<TChannel> channel_;
    std::thread thread_;
};

}  // namespace brevor::host
