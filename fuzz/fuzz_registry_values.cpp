// Reading any values file never fails; a file that parses formats back to text that parses to
// the same values, and formatting is stable from there on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace {

bool SameValues(const std::vector<brevor::platform::RegNamedValue> &a,
                const std::vector<brevor::platform::RegNamedValue> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || !(a[i].value == b[i].value)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using brevor::platform::FormatRegistryValues;
    using brevor::platform::ParseRegistryValues;
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    std::vector<brevor::platform::RegNamedValue> values;
    if (!ParseRegistryValues(content, values)) {
        if (!values.empty()) std::abort();
        return 0;
    }
    const std::string formatted = FormatRegistryValues(values);
    std::vector<brevor::platform::RegNamedValue> again;
    if (!ParseRegistryValues(formatted, again) || !SameValues(values, again)) std::abort();
    if (FormatRegistryValues(again) != formatted) std::abort();
    return 0;
}
