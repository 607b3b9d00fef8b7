#pragma once

// The unit test program is the module's host: it exports fSendData (tests/support/
// sent_chunks.cpp), which counts the chunks it receives.

#include <cstdint>

namespace brevor::testing {

// Chunks received through fSendData so far, by any instance.
std::int64_t SentChunks();

}  // namespace brevor::testing
