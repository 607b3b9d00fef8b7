#include "support/sent_chunks.h"

#include <atomic>

#include "brevor/abi.h"

namespace {
std::atomic<std::int64_t> g_sentChunks{0};
}  // namespace

// The module looks its host functions up in the test program by name.
extern "C" BREVOR_HOST_EXPORT std::int32_t BRV_CALL fSendData(std::uintptr_t, std::int32_t,
                                                              std::int32_t, const void *,
                                                              std::int32_t count) {
    g_sentChunks.fetch_add(1);
    return count;
}

namespace brevor::testing {

std::int64_t SentChunks() {
    return g_sentChunks.load();
}

}  // namespace brevor::testing
