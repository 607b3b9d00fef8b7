#pragma once

// What a module instance knows of its host: the host program, the functions it exports for
// data, the owner window of dialogs and where log lines go.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "brevor/abi.h"
#include "framework/module_log.h"
#include "platform/platform.h"

namespace brevor {

// Where chunks go: the host's fSendData with the values that identify the sender.
struct TSendTarget {
    TSendDataFunc fSendData = nullptr;  // null: every chunk counts as refused
    std::uintptr_t hostContext = 0;
    std::int32_t dataSourceId = 0;
};

class THostLink {
public:
    THostLink() = default;
    THostLink(const THostLink &) = delete;
    THostLink &operator=(const THostLink &) = delete;

    // The first LOAD, before anything of its parameter list is read: the context every log
    // line and chunk carries.
    void KeepHostContext(std::uintptr_t context) { hostContext_ = context; }
    // The first LOAD: the host program from "HANDLE", or looked up by "ApplicationName".
    // Raises for a value that does not convert.
    void FindHost(const TqelParamsList *list);
    // The first LOAD, once the rest of its parameters are read: with a host program found, its
    // data functions and one icon reference.
    void Connect();
    // The final UNLOAD: the host program and the messages window are forgotten; the function
    // pointers keep their values.
    void Disconnect();
    // Every UNLOAD gives back one icon reference; the count never goes below zero.
    static void ReturnIcon();
    // Process-wide number of loads that hold the host's icon.
    static std::int32_t IconCount();

    // Any command: the "MessagesProcessorHandle" and "OWNERFORM" it names (in that order).
    // Raises for a value that does not convert.
    void FollowCommand(const TqelParamsList *list);
    // The options dialog: the "OWNERFORM" it names.
    void FollowOwnerForm(const TqelParamsList *list);
    void SetMessagesProcessorHandle(std::uintptr_t window) { messagesProcessorHandle_ = window; }
    void SetOwnerWindow(std::uintptr_t window) { ownerWindow_ = window; }

    platform::ModuleHandle HostModule() const { return hostModule_; }
    const std::string &ApplicationName() const { return applicationName_; }
    TSendDataFunc fSendData() const { return fSendData_; }
    void *fSendString() const { return fSendString_; }
    void *fSendByte() const { return fSendByte_; }
    std::uintptr_t OwnerWindow() const { return ownerWindow_; }
    std::uintptr_t HostContext() const { return hostContext_.load(); }
    // 0: none, log lines are discarded.
    std::uintptr_t MessagesProcessorHandle() const { return messagesProcessorHandle_.load(); }

    TSendTarget SendTarget(std::int32_t dataSourceId) const {
        return TSendTarget{fSendData_, hostContext_.load(), dataSourceId};
    }
    TLogDestination LogDestination(std::string_view title) const {
        return TLogDestination{title, hostContext_.load(), messagesProcessorHandle_.load()};
    }

private:
    platform::ModuleHandle hostModule_ = 0;
    std::string applicationName_;
    TSendDataFunc fSendData_ = nullptr;
    void *fSendString_ = nullptr;
    void *fSendByte_ = nullptr;
    std::uintptr_t ownerWindow_ = 0;
    // Read by every thread that logs or sends, hence atomic.
    std::atomic<std::uintptr_t> hostContext_{0};
    std::atomic<std::uintptr_t> messagesProcessorHandle_{0};
};

}  // namespace brevor
