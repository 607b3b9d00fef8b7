#pragma once

// The scanner and its transfer engine over a fresh folder, with a host that records what was
// sent and a log of the outcomes by file name.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_transfer.h"
#include "engine/scan_modes.h"
#include "support/temp_folder.h"

namespace brevor::scan_modes_test {

using testing::TempFolder;

// Records what each file sent, by the order chunks arrived.
struct Host {
    std::vector<std::string> chunks;
    static std::int32_t BRV_CALL Send(std::uintptr_t ctx, std::int32_t, std::int32_t,
                                      const void *bytes, std::int32_t n) {
        reinterpret_cast<Host *>(ctx)->chunks.emplace_back(static_cast<const char *>(bytes),
                                                           static_cast<size_t>(n));
        return n;
    }
    TSendTarget Target() { return {&Send, reinterpret_cast<std::uintptr_t>(this), 1}; }
    std::vector<std::string> Sorted() const {
        auto copy = chunks;
        std::sort(copy.begin(), copy.end());
        return copy;
    }
};

class ScanModesTest : public ::testing::Test {
protected:
    ScanModesTest()
        : engine_([this](TTransferOutcome outcome, const std::string &full, std::int64_t) {
              log_.push_back(std::string(OutcomeInfo(outcome).msgId) + " " +
                             full.substr(full.rfind('/') + 1));
          }),
          scanner_(engine_) {
        settings_.Folder = dir_.Path();
    }
    TempFolder dir_;
    std::vector<std::string> log_;
    TFileTransfer engine_;
    TFileScanner scanner_;
    TScanSettings settings_;
    Host host_;
};

}  // namespace brevor::scan_modes_test
