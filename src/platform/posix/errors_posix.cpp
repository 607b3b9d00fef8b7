#include <cerrno>
#include <cstring>

#include "platform/file_faults.h"

namespace brevor::platform {

int LastSystemError() {
    return errno;
}

void SetLastSystemError(int code) {
    errno = code;
}

std::string SystemErrorText(int code) {
    char buffer[256] = {};
    // The GNU variant returns the text, which may or may not be the buffer.
    const char *text = ::strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

}  // namespace brevor::platform
