#include "framework/host_link.h"

#include "framework/params_list.h"

namespace brevor {

namespace {

// Loads of any instance that hold the host's icon. There is no icon resource on POSIX; the
// count is kept so that the first load and the last unload stay observable.
std::atomic<std::int32_t> g_iconCount{0};

}  // namespace

void THostLink::FindHost(const TqelParamsList *list) {
    if (params::HasParam(list, "HANDLE")) hostModule_ = params::ReadParamHandle(list, "HANDLE");
    applicationName_ = params::ReadParamText(list, "ApplicationName");
    if (hostModule_ == 0 && !applicationName_.empty())
        hostModule_ = platform::FindLoadedModule(applicationName_);
}

void THostLink::Connect() {
    fSendData_ = nullptr;
    fSendString_ = nullptr;
    fSendByte_ = nullptr;
    if (hostModule_ == 0) return;
    g_iconCount.fetch_add(1);
    fSendData_ =
        reinterpret_cast<TSendDataFunc>(platform::FindModuleFunction(hostModule_, "fSendData"));
    fSendString_ = platform::FindModuleFunction(hostModule_, "fSendString");
    fSendByte_ = platform::FindModuleFunction(hostModule_, "fSendByte");
}

void THostLink::Disconnect() {
    hostModule_ = 0;
    messagesProcessorHandle_ = 0;
}

void THostLink::ReturnIcon() {
    std::int32_t icons = g_iconCount.load();
    while (icons > 0 && !g_iconCount.compare_exchange_weak(icons, icons - 1)) {
    }
}

std::int32_t THostLink::IconCount() {
    return g_iconCount.load();
}

void THostLink::FollowCommand(const TqelParamsList *list) {
    if (params::HasParam(list, "MessagesProcessorHandle"))
        messagesProcessorHandle_ = params::ReadParamHandle(list, "MessagesProcessorHandle");
    FollowOwnerForm(list);
}

void THostLink::FollowOwnerForm(const TqelParamsList *list) {
    if (params::HasParam(list, "OWNERFORM"))
        ownerWindow_ = params::ReadParamHandle(list, "OWNERFORM");
}

}  // namespace brevor
