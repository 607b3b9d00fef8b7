// Windows-1252 <-> UTF-16 round trip and case mapping on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/ansi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    if (brevor::Utf16ToAnsi(brevor::AnsiToUtf16(bytes)) != bytes) std::abort();
    const std::string lower = brevor::AnsiLowerCase(bytes);
    if (!brevor::AnsiSameText(lower, brevor::AnsiUpperCase(bytes))) std::abort();
    return 0;
}
