// The formatter with arbitrary format texts against a fixed mix of typed arguments: it may
// raise its conversion error, never anything else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string format(reinterpret_cast<const char *>(data), size);
    static const brevor::TFormatArgs args = {
        1, std::int64_t{-5000000000}, 2.5, "text", static_cast<const void *>(&args), 3, -1e300};
    try {
        (void)brevor::Format(format, args);
    } catch (const brevor::EConvertError &) {
    }
    return 0;
}
