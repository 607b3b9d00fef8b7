#include "framework/module_log.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "brevor/abi.h"

namespace brevor {
namespace {

// Holds the exclusive lock of the queued lines.
class TLinesHold {
public:
    explicit TLinesHold(TThreadStringList &lines) : lines_(lines), list_(lines.LockList()) {}
    ~TLinesHold() { lines_.UnlockList(); }
    TLinesHold(const TLinesHold &) = delete;
    TLinesHold &operator=(const TLinesHold &) = delete;
    TStringList *operator->() const { return list_; }

private:
    TThreadStringList &lines_;
    TStringList *list_;
};

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string FormatLogLine(std::string_view title, int level, std::string_view text) {
    level = std::clamp(level, kLogError, kLogInformation);
    std::string line;
    line.reserve(1 + title.size() + 2 + text.size());
    line.push_back(static_cast<char>(level + 1));
    if (!title.empty()) {
        line.append(title);
        line.append(". ");
    }
    for (const char c : text)
        line.push_back(c == '\r' || c == '\n' ? ' ' : c);
    return line;
}

bool TModuleLog::Send(const TLogDestination &to, std::uint64_t tag,
                      const std::string &bytes) const {
    return platform::SendWindowMessage(to.Window, BRV_WM_COPYDATA, to.HostContext, tag,
                                       bytes.data(), bytes.size(), sendTimeoutMs_.load());
}

void TModuleLog::AddLog(const TLogDestination &to, int level, std::string_view text) noexcept {
    if (to.Window == 0) return;
    try {
        // Lines queued earlier go first, as one batch.
        std::vector<std::string> taken;
        std::string batch;
        {
            TLinesHold lines(lines_);
            const int count = lines->Count();
            taken.reserve(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) {
                batch.append(lines->Strings(i));
                batch.append(kLineEnd);
                taken.push_back(lines->Strings(i));
            }
            lines->Clear();
        }
        if (!batch.empty() && !Send(to, BRV_COPYDATA_BATCH, batch)) {
            {
                // Back to the queue, ahead of the lines queued while the batch was out.
                TLinesHold lines(lines_);
                std::vector<std::string> meanwhile;
                meanwhile.reserve(static_cast<std::size_t>(lines->Count()));
                for (int i = 0; i < lines->Count(); ++i)
                    meanwhile.push_back(lines->Strings(i));
                lines->Clear();
                for (const std::string &line : taken)
                    lines->Add(line);
                for (const std::string &line : meanwhile)
                    lines->Add(line);
            }
            QueueLog(to, level, text);
            return;
        }
        if (!Send(to, BRV_COPYDATA_LINE, FormatLogLine(to.Title, level, text)))
            QueueLog(to, level, text);
    } catch (...) {
    }
}

void TModuleLog::QueueLog(const TLogDestination &to, int level, std::string_view text) noexcept {
    if (to.Window == 0) return;
    try {
        std::string line = FormatLogLine(to.Title, level, text);
        {
            TLinesHold lines(lines_);
            lines->Add(line);
            while (lines->Count() > kMaxQueuedLogLines)
                lines->Delete(0);
        }
        if (!platform::PostWindowMessage(to.Window, BRV_WM_LOG_PENDING, to.HostContext))
            platform::SendWindowMessage(to.Window, BRV_WM_LOG_PENDING, to.HostContext, 0, nullptr,
                                        0, sendTimeoutMs_.load());
    } catch (...) {
    }
}

std::int32_t TModuleLog::GetLogEx(void *data, std::int32_t bufferSize,
                                  std::int64_t &needed) noexcept {
    needed = 0;
    std::int32_t copied = 0;
    try {
        TLinesHold lines(lines_);
        const int count = lines->Count();
        std::int64_t length = 0;
        for (int i = 0; i < count; ++i)
            length += static_cast<std::int64_t>(lines->Strings(i).size() + kLineEnd.size());
        needed = length;
        if (length == 0) return 0;
        if (bufferSize == 0) {
            // A host that passes no buffer discards the queued lines.
            lines->Clear();
            return 0;
        }
        if (length > bufferSize || data == nullptr) return 0;
        char *out = static_cast<char *>(data);
        for (int i = 0; i < count; ++i) {
            const std::string &line = lines->Strings(i);
            std::memcpy(out, line.data(), line.size());
            out += line.size();
            std::memcpy(out, kLineEnd.data(), kLineEnd.size());
            out += kLineEnd.size();
        }
        copied = static_cast<std::int32_t>(length);
        lines->Clear();
        return copied;
    } catch (...) {
        return copied;
    }
}

int TModuleLog::QueuedCount() noexcept {
    try {
        TLinesHold lines(lines_);
        return lines->Count();
    } catch (...) {
        return 0;
    }
}

}  // namespace brevor
