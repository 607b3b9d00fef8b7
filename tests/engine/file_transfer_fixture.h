#pragma once

// The transfer engine's test fixture: a recording host and the engine's log.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_transfer.h"
#include "support/temp_folder.h"

namespace brevor::file_transfer_test {

using brevor::testing::TempFolder;

// A host function that records every chunk and can refuse chosen calls (1-based).
struct RecordingHost {
    std::vector<std::string> chunks;
    std::string accepted;
    int calls = 0;
    std::vector<int> refuse;
    std::int32_t lastDataSource = -1;
    std::function<void()> onFirstSend;  // runs once, while the engine holds the file

    static std::int32_t BRV_CALL Send(std::uintptr_t context, std::int32_t dataSourceId,
                                      std::int32_t zero, const void *bytes, std::int32_t count) {
        auto *self = reinterpret_cast<RecordingHost *>(context);
        ++self->calls;
        if (self->onFirstSend) std::exchange(self->onFirstSend, nullptr)();
        self->lastDataSource = dataSourceId;
        if (zero != 0) return -1;
        const std::string chunk(static_cast<const char *>(bytes), static_cast<size_t>(count));
        for (int r : self->refuse) {
            if (r == self->calls) return -1;
        }
        self->chunks.push_back(chunk);
        self->accepted += chunk;
        return count;
    }
    TSendTarget Target() { return TSendTarget{&Send, reinterpret_cast<std::uintptr_t>(this), 7}; }
};

struct LogLine {
    int level;
    std::string id;
    std::int64_t n;
    bool operator==(const LogLine &) const = default;
};

inline void PrintTo(const LogLine &l, std::ostream *os) {
    *os << "{" << l.level << ", " << l.id << ", " << l.n << "}";
}

class FileTransferTest : public ::testing::Test {
protected:
    FileTransferTest()
        : engine_([this](TTransferOutcome outcome, const std::string &, std::int64_t n) {
              const TOutcomeInfo &info = OutcomeInfo(outcome);
              log_.push_back(LogLine{info.level, info.msgId, n});
          }) {}

    void Scan(const std::string &name, std::int32_t chunk, int mode, bool decode = false) {
        log_.clear();
        engine_.ProcessFile(host_.Target(), dir_.Path(), name, chunk, decode, mode);
    }

    // A file's remembered position, set directly: offsets past 4 GiB are reached without
    // sending gigabytes first.
    void SetPosition(const std::string &name, std::int64_t position) {
        engine_.WithStates([&](TFileStates &states) {
            return states.FindOrAdd(TFileTransfer::FullName(dir_.Path(), name)).Position = position;
        });
    }
    // The remembered position, or -1 when the engine keeps no state for the file.
    std::int64_t Position(const std::string &name) {
        return engine_.WithStates([&](TFileStates &states) -> std::int64_t {
            const TFileReadState *state = states.Find(TFileTransfer::FullName(dir_.Path(), name));
            return state == nullptr ? -1 : state->Position;
        });
    }

    TempFolder dir_;
    RecordingHost host_;
    std::vector<LogLine> log_;
    TFileTransfer engine_;
};

}  // namespace brevor::file_transfer_test
