#pragma once

// The log of a module instance: lines for the host's messages window, delivered at once or
// queued for the host to fetch.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/messages_channel.h"
#include "rtl/thread_containers.h"

namespace brevor {

// Log levels.
constexpr int kLogError = 0;
constexpr int kLogWarning = 1;
constexpr int kLogInformation = 2;

// At most this many queued lines are kept; older ones are dropped.
constexpr int kMaxQueuedLogLines = 100;

// Where the lines of one call go: the instance's title, its host context and its messages
// window (0: none, the line is discarded).
struct TLogDestination {
    std::string_view Title;
    std::uintptr_t HostContext = 0;
    platform::MessagesWindow Window = 0;
};

// The wire form of a line: the level byte (level + 1, bit 7 clear), then the title and ". " when
// the title is not empty, then the text with every CR and LF replaced by a space. Levels outside
// error..information are taken as the nearest of them.
std::string FormatLogLine(std::string_view title, int level, std::string_view text);

// The queued lines of an instance and the routines that deliver them. Any thread may call any
// member at any time; none of them raises.
class TModuleLog {
public:
    TModuleLog() = default;
    TModuleLog(const TModuleLog &) = delete;
    TModuleLog &operator=(const TModuleLog &) = delete;

    // Sends the queued lines as one batch and then this line; whatever cannot be sent is queued
    // and the window told so.
    void AddLog(const TLogDestination &to, int level, std::string_view text) noexcept;
    // Queues the line (keeping the newest kMaxQueuedLogLines) and tells the window.
    void QueueLog(const TLogDestination &to, int level, std::string_view text) noexcept;

    // Takes the queued lines, each followed by CR LF, into data. needed receives their length.
    // With bufferSize 0 the lines are discarded; when they do not fit, or data is null, they are
    // kept. Returns the number of bytes copied, or 0.
    std::int32_t GetLogEx(void *data, std::int32_t bufferSize, std::int64_t &needed) noexcept;

    // Number of queued lines.
    int QueuedCount() noexcept;

    // Time limit of each send to the window, in milliseconds.
    void SetSendTimeout(std::uint32_t ms) noexcept { sendTimeoutMs_ = ms; }
    std::uint32_t SendTimeout() const noexcept { return sendTimeoutMs_; }

private:
    bool Send(const TLogDestination &to, std::uint64_t tag, const std::string &bytes) const;

    TThreadStringList lines_;  // LogLines: wire form, oldest first
    std::atomic<std::uint32_t> sendTimeoutMs_{platform::kMessagesSendTimeoutMs};
};

}  // namespace brevor
