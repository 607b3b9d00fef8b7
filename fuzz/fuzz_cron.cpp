// The cron parser on arbitrary texts, separators, field types and names: it may reject a text
// (false, or its conversion error), never crash, hang or run out of memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/exceptions.h"
#include "timing/cron.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 3) return 0;
    const auto types = static_cast<brevor::TZRTCronTypes>(data[0]);
    const auto fieldType = static_cast<brevor::TZRTCronType>(data[1] % 8);
    const std::string_view separators[] = {" ", ";", "", "  ", ","};
    const std::string_view separator = separators[data[2] % 5];
    const std::string_view text(reinterpret_cast<const char *>(data + 3), size - 3);

    brevor::TCronNames names;
    if (data[2] & 0x80) names.Months[4] = "";  // an empty name must not match everything
    if (data[2] & 0x40) names.WeekDays[0] = "1";

    const brevor::platform::TDateTime now{2024, 2, 29, 23, 59, 59, 999, 4};
    try {
        (void)brevor::ParseCronField(text, fieldType, names, &now);
    } catch (const brevor::Exception &) {
    }
    try {
        if (brevor::IsCronText(text, types, separator, names)) {
            const brevor::TZRTCron cron = brevor::ParseCronText(text, types, separator, names);
            (void)brevor::CronMatches(cron, types, now);
        }
    } catch (const brevor::Exception &) {
    }
    std::string_view rest = text;
    brevor::TCronTokenKind kind;
    for (int i = 0; i < 64 && !rest.empty(); ++i) {
        const std::size_t before = rest.size();
        (void)brevor::NextCronToken(rest, true, kind);
        if (rest.size() >= before) break;
    }
    return 0;
}
