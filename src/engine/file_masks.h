#pragma once

// Which file names the scans pick: wildcard masks, time-stamped names and schedule entries.

#include <cstdint>
#include <string>
#include <string_view>

namespace brevor {

// "?" stands for one character, "*" for a run of characters; letters compare ignoring case.
// A "*" followed by a literal stands for at least one character, and wildcards left over at
// the end of the mask match nothing.
bool MatchMask(std::string_view text, std::string_view mask);
// Name part and extension part (from the last "." on) are matched separately.
bool MatchFileMask(std::string_view name, std::string_view mask);
// MatchMask on texts already lower-cased; scratch is reused between calls.
bool MatchLowered(std::string_view text, std::string_view mask, std::string &scratch);

// A file mask prepared once and matched against many names without allocating per name.
class TFileMask {
public:
    explicit TFileMask(std::string_view mask);
    bool Matches(std::string_view fileName);

private:
    std::string name_;
    std::string ext_;
    std::string lowered_;
    std::string scratch_;
};

// The name without its extension (everything from the last "." after the last "\" or ":").
std::string_view WithoutExtension(std::string_view name);
// The extension with its leading "."; empty when there is none.
std::string_view ExtensionOf(std::string_view name);

// A local date and time, second resolution.
struct TLocalTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// Whether a time-scan name carries a stamp within scanIntervalSeconds of now: the stamp is what
// follows the prefix up to the extension: empty (always matches), SS, MMSS, HHMMSS or
// YYYYMMDDHHMMSS; missing parts come from now.
bool MatchTimeStampedName(std::string_view name, std::size_t prefixLength, const TLocalTime &now,
                          std::int64_t scanIntervalSeconds);

// One schedule entry: "WeekDay||Month||Day||Hour||Minute||Decode||FileMask||ReadMode".
struct TTimeRec {
    std::string WeekDay;
    std::string Month;
    std::string Day;
    std::string Hour;
    std::string Minute;
    bool Decode = false;
    std::string FileMask;
    std::int32_t ReadMode = 2;
};

TTimeRec ParseScheduleEntry(std::string_view entry);
// WeekDay Month Day Hour Minute, as the dialog shows it.
std::string CronDisplayText(const TTimeRec &rec);
// Minute Hour Day Month WeekDay, as the scheduler timer parses it.
std::string CronTimerText(const TTimeRec &rec);
// The entry a new schedule line starts with.
inline constexpr const char *kNewScheduleEntry = "*||*||*||*||*||*";

}  // namespace brevor
