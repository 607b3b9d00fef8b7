#pragma once

// The channel to the host's messages window. On POSIX the window handle is the descriptor of a
// connected AF_UNIX SOCK_SEQPACKET socket whose peer runs the host's message loop; one packet per
// message, a 28-byte header (TBrvMessageHeader) and the message bytes.

#include <cstddef>
#include <cstdint>

namespace brevor::platform {

// The host's messages window, 0 for none.
using MessagesWindow = std::uintptr_t;

// Time a send to the messages window may take, in milliseconds.
constexpr std::uint32_t kMessagesSendTimeoutMs = 1000;

// True when window is a live channel to a messages window. Nothing is ever written to a handle
// that fails this test.
bool IsMessagesWindow(MessagesWindow window);

// Sends one message and waits for its answer. The limit counts from the call and includes any
// wait behind another send to the same window from this process. False when the handle is not a
// channel, the window has gone, or no answer came in time; *result, when given, receives the
// window's answer on success.
bool SendWindowMessage(MessagesWindow window, std::uint32_t msg, std::uint64_t wParam,
                       std::uint64_t dataTag, const void *bytes, std::size_t byteCount,
                       std::uint32_t timeoutMs, std::int64_t *result = nullptr);

// Posts a message without data and without waiting for an answer; never blocks. False when the
// handle is not a channel, or the window has gone or cannot take the message now.
bool PostWindowMessage(MessagesWindow window, std::uint32_t msg, std::uint64_t wParam);

// Makes the channel's process-wide state; called once when the library starts, so that the
// state is still there while the library shuts down.
void PrepareMessagesChannel();

}  // namespace brevor::platform
