// Unescaping arbitrary stored text never fails, and escaping any text round-trips.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/value_escape.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char *>(data), size);
    (void)brevor::UnescapeStoreText(bytes);
    bytes = bytes.substr(0, bytes.find('\0'));
    const std::string escaped = brevor::EscapeStoreText(bytes);
    if (escaped.find_first_of("\r\n") != std::string::npos) std::abort();
    if (brevor::UnescapeStoreText(escaped) != bytes) std::abort();
    return 0;
}
