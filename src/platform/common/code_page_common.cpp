// Comparisons that follow from the code page's own case mapping: the same on every platform.

#include "platform/code_page.h"

namespace brevor::platform {

bool AnsiSameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

int AnsiCompareStr(std::string_view a, std::string_view b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace brevor::platform
