// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <bcrypt.h>

#include <cstdint>
#include <limits>
#include <system_error>

#include "platform/random.h"

namespace brevor::platform {

void FillRandomBytes(void *buffer, std::size_t size) {
    auto *out = static_cast<std::uint8_t *>(buffer);
    while (size > 0) {
        const ULONG chunk = static_cast<ULONG>(
            size < std::numeric_limits<ULONG>::max() ? size : std::numeric_limits<ULONG>::max());
        const NTSTATUS status =
            ::BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (status < 0)
            throw std::system_error(static_cast<int>(status), std::system_category(),
                                    "BCryptGenRandom");
        out += chunk;
        size -= chunk;
    }
}

}  // namespace brevor::platform
