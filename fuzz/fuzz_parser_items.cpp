// The SET-ITEMS text on arbitrary input. Besides never crashing: no item holds a line break or
// a "|" in a text it took from one part, the type is a known index or "no type", and the text
// ITEMS gives back parses to the same items and formats to itself from then on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data_exchange.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool OnePart(std::string_view s) {
    return s.find_first_of("|\r\n") == std::string_view::npos;
}

bool Same(const std::vector<brevor::TParserItem> &a, const std::vector<brevor::TParserItem> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].Name != b[i].Name || a[i].Caption != b[i].Caption ||
            a[i].DataType != b[i].DataType || a[i].Extra != b[i].Extra)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace brevor;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<TParserItem> items;
    ParseParserItems(text, items);
    for (const TParserItem &item : items) {
        Check(OnePart(item.Caption) && OnePart(item.Name) && OnePart(item.Extra));
        Check(item.DataType <= kNoParserItemType);
    }
    const std::string formatted = FormatParserItems(items);
    std::vector<TParserItem> again;
    ParseParserItems(formatted, again);
    Check(Same(items, again));
    Check(FormatParserItems(again) == formatted);

    // Parsing appends: the items of a second text follow those already there.
    const std::size_t before = again.size();
    ParseParserItems(formatted, again);
    Check(again.size() == 2 * before);
    return 0;
}
