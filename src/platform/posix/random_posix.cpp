#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/random.h"

namespace brevor::platform {

void FillRandomBytes(void *buffer, std::size_t size) {
    auto *out = static_cast<std::uint8_t *>(buffer);
    while (size > 0) {
        const ssize_t got = getrandom(out, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
}

}  // namespace brevor::platform
