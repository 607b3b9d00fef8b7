#include <atomic>

#include "platform/file_faults.h"

namespace brevor::platform {

namespace {

std::atomic<TFileFaults *> installed{nullptr};

}  // namespace

TFileFaults *SetFileFaults(TFileFaults *faults) {
    return installed.exchange(faults, std::memory_order_acq_rel);
}

int FileFault(TFileCall call, std::string_view path) {
    TFileFaults *faults = installed.load(std::memory_order_acquire);
    if (faults == nullptr) return 0;
    const int code = faults->Fault(call, path);
    if (code != 0) SetLastSystemError(code);
    return code;
}

}  // namespace brevor::platform
