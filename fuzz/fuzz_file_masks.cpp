// File masks and time-stamped names on arbitrary texts. Input: one control byte, then the mask
// and the subject separated by the first zero byte (the whole rest is the mask when there is
// none). Besides never crashing:
// - a mask without wildcards matches exactly the subjects equal to it ignoring case, so it
//   always matches itself, also as a file mask;
// - "*" matches everything, and a subject matches itself with any of its characters made "?";
// - a mask prepared once answers like the one-off match;
// - a time stamp taken from "now" always matches, whatever prefix and extension surround it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/file_masks.h"
#include "rtl/ansi.h"

namespace {

bool HasWildcards(std::string_view s) {
    return s.find_first_of("?*") != std::string_view::npos;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace brevor;
    if (size < 1) return 0;
    const std::uint8_t control = data[0];
    const std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::size_t zero = rest.find('\0');
    const std::string_view mask = rest.substr(0, zero);
    const std::string_view subject =
        zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);

    const bool matches = MatchMask(subject, mask);
    const bool fileMatches = MatchFileMask(subject, mask);
    TFileMask prepared(mask);
    Check(prepared.Matches(subject) == fileMatches);
    Check(prepared.Matches(subject) == fileMatches);  // the prepared mask is reusable
    Check(WithoutExtension(subject).size() + ExtensionOf(subject).size() == subject.size());

    if (!HasWildcards(mask)) {
        Check(matches == (AnsiLowerCase(subject) == AnsiLowerCase(mask)));
        Check(MatchMask(mask, mask));
        Check(MatchFileMask(mask, mask));
    }
    Check(MatchMask(subject, "*"));
    if (!HasWildcards(subject)) {
        std::string withAny(subject);
        for (std::size_t i = 0; i < withAny.size(); ++i)
            if ((control >> (i % 8)) & 1) withAny[i] = '?';
        Check(MatchMask(subject, withAny));
    }

    // Time-stamped names: now from the control byte and the subject's length, a valid time.
    TLocalTime now;
    now.Year = 1 + static_cast<int>((subject.size() * 37 + control) % 9999);
    now.Month = 1 + control % 12;
    now.Day = 1 + static_cast<int>(subject.size() % 28);
    now.Hour = control % 24;
    now.Minute = (control * 7) % 60;
    now.Second = (control * 13) % 60;
    const std::int64_t interval = static_cast<std::int8_t>(control);  // also negative
    (void)MatchTimeStampedName(subject, mask.size(), now, interval);
    (void)MatchTimeStampedName(subject, control, now, interval);

    // The prefix and extension come from the input; neither may hold a "." or path separator,
    // which would move where the stamp ends.
    std::string prefix(mask.substr(0, mask.find_first_of(".\\:")));
    std::string ext(subject.substr(0, subject.find_first_of(".\\:")));
    char stamp[32];
    if (control & 1)
        std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", now.Year, now.Month, now.Day,
                      now.Hour, now.Minute, now.Second);
    else
        std::snprintf(stamp, sizeof stamp, "%02d%02d%02d", now.Hour, now.Minute, now.Second);
    const std::string name = prefix + stamp + "." + ext;
    Check(MatchTimeStampedName(name, prefix.size(), now, interval < 0 ? 0 : interval));
    return 0;
}
