// Schedule entries ("WeekDay||Month||Day||Hour||Minute||Decode||FileMask||ReadMode") on arbitrary
// lines. Besides never crashing: every text part comes back trimmed, the two cron texts hold the
// five fields in their orders, no text part holds the separator, and an entry written back the way
// the dialog writes it parses to the same entry (when no text part ends in "|", which would merge
// into the separator after it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/file_masks.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Trimmed(std::string_view s) {
    return s.empty() || (static_cast<unsigned char>(s.front()) > 0x20 &&
                         static_cast<unsigned char>(s.back()) > 0x20);
}

bool EndsInBar(std::string_view s) {
    return !s.empty() && s.back() == '|';
}

bool Same(const brevor::TTimeRec &a, const brevor::TTimeRec &b) {
    return a.WeekDay == b.WeekDay && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour &&
           a.Minute == b.Minute && a.Decode == b.Decode && a.FileMask == b.FileMask &&
           a.ReadMode == b.ReadMode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace brevor;
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    const TTimeRec rec = ParseScheduleEntry(line);
    const std::string_view texts[] = {rec.WeekDay, rec.Month,  rec.Day,
                                      rec.Hour,    rec.Minute, rec.FileMask};
    bool barEnd = false;
    for (std::string_view t : texts) {
        Check(Trimmed(t));
        Check(t.find("||") == std::string_view::npos);  // only the read mode runs on
        barEnd = barEnd || EndsInBar(t);
    }
    Check(CronTimerText(rec) ==
          rec.Minute + " " + rec.Hour + " " + rec.Day + " " + rec.Month + " " + rec.WeekDay);
    Check(CronDisplayText(rec) ==
          rec.WeekDay + " " + rec.Month + " " + rec.Day + " " + rec.Hour + " " + rec.Minute);

    if (!barEnd) {
        const std::string written = rec.WeekDay + "||" + rec.Month + "||" + rec.Day + "||" +
                                    rec.Hour + "||" + rec.Minute + "||" + (rec.Decode ? "1" : "0") +
                                    "||" + rec.FileMask + "||" + std::to_string(rec.ReadMode);
        Check(Same(ParseScheduleEntry(written), rec));
    }
    return 0;
}
