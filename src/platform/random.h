#pragma once

// Cryptographically strong random bytes from the operating system.

#include <cstddef>

namespace brevor::platform {

// Fills the buffer with random bytes from the system's secure source. Throws std::system_error
// when the source cannot be read.
void FillRandomBytes(void *buffer, std::size_t size);

}  // namespace brevor::platform
