#include "framework/command_gate.h"

#include "platform/clock.h"
#include "rtl/exceptions.h"

namespace brevor {

// ---------------------------------------------------------------- commands

TCommandGate::TCommandHold::TCommandHold(TCommandHold &&other) noexcept : gate_(other.gate_) {
    other.gate_ = nullptr;
}

TCommandGate::TCommandHold::~TCommandHold() {
    if (gate_ != nullptr) gate_->LeaveCommand();
}

TCommandGate::TCommandHold TCommandGate::EnterCommand() {
    commandLock_.lock();
    if (++commandDepth_ != 1) {
        LeaveCommand();
        throw EAssertionFailed("Assertion failure");
    }
    return TCommandHold(this);
}

TCommandGate::TCommandHold TCommandGate::EnterCommandIfLive() {
    commandLock_.lock();
    if (++commandDepth_ != 1 || !Live()) {
        LeaveCommand();
        return TCommandHold();
    }
    return TCommandHold(this);
}

void TCommandGate::LeaveCommand() {
    --commandDepth_;
    commandLock_.unlock();
}

// ---------------------------------------------------------------- data calls

TCommandGate::TDataHold::TDataHold(TDataHold &&other) noexcept : gate_(other.gate_) {
    other.gate_ = nullptr;
}

TCommandGate::TDataHold::~TDataHold() {
    if (gate_ != nullptr) gate_->LeaveData();
}

TCommandGate::TDataHold TCommandGate::EnterData(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    platform::IClock &clock = platform::Clock();
    const std::uint64_t deadline = clock.NowMs() + timeoutMs;
    // The test and the taking happen under one lock: two calls never both get in, and a call
    // that gets in holds the flag it will give back.
    if (!clock.WaitUntil(dataFree_, lock, deadline, [this] { return !dataBusy_ || unloaded_; }))
        return TDataHold();
    if (unloaded_) return TDataHold();
    dataBusy_ = true;
    dataThread_ = std::this_thread::get_id();
    return TDataHold(this);
}

void TCommandGate::LeaveData() {
    {
        std::lock_guard lock(mutex_);
        dataBusy_ = false;
        dataThread_ = std::thread::id();
    }
    dataFree_.notify_all();
}

bool TCommandGate::DataBusy() const {
    std::lock_guard lock(mutex_);
    return dataBusy_;
}

TCommandGate::TDataHold TCommandGate::Unload(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    unloaded_ = true;
    dataFree_.notify_all();  // waiting calls give up at once
    // A data call's own handler unloading the instance cannot wait for itself.
    if (dataBusy_ && dataThread_ == std::this_thread::get_id()) return TDataHold();
    platform::IClock &clock = platform::Clock();
    const std::uint64_t deadline = clock.NowMs() + timeoutMs;
    if (!clock.WaitUntil(dataFree_, lock, deadline, [this] { return !dataBusy_; }))
        return TDataHold();
    dataBusy_ = true;
    dataThread_ = std::this_thread::get_id();
    return TDataHold(this);
}

void TCommandGate::MarkLoaded() {
    std::lock_guard lock(mutex_);
    unloaded_ = false;
}

bool TCommandGate::Unloaded() const {
    std::lock_guard lock(mutex_);
    return unloaded_;
}

void TCommandGate::Retire() {
    std::lock_guard lock(mutex_);
    retired_ = true;
}

bool TCommandGate::Retired() const {
    std::lock_guard lock(mutex_);
    return retired_;
}

bool TCommandGate::Live() const {
    std::lock_guard lock(mutex_);
    return !unloaded_ && !retired_;
}

}  // namespace brevor
