#include "engine/file_masks.h"

#include <charconv>
#include <ctime>
#include <vector>

#include "rtl/ansi.h"

namespace brevor {

namespace {

bool IsWild(char c) {
    return c == '?' || c == '*';
}

// Position of the extension's "." or npos.
std::size_t ExtensionStart(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return dot;
    const auto sep = name.find_last_of("\\:");
    if (sep != std::string_view::npos && sep > dot) return std::string_view::npos;
    return dot;
}

bool ParseDigits(std::string_view s, int &value) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc();
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Seconds since an arbitrary epoch for a valid date and time (proleptic Gregorian).
std::int64_t Seconds(int y, int mo, int d, int h, int mi, int s) {
    // Days from civil (Howard Hinnant's algorithm).
    y -= mo <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe;
    return days * 86400 + h * 3600 + mi * 60 + s;
}

}  // namespace

bool MatchMask(std::string_view text, std::string_view mask) {
    std::string r;
    return MatchLowered(AnsiLowerCase(text), AnsiLowerCase(mask), r);
}

// s and m already lower-cased; r is scratch space reused across calls.
bool MatchLowered(std::string_view s, std::string_view m, std::string &r) {
    r.clear();
    size_t i = 0;
    size_t j = 0;
    while (i < m.size() && j < s.size()) {
        const char c = m[i];
        if (c == '?') {
            r += s[j];
            ++i;
            ++j;
        } else if (c == '*') {
            // What must follow the run the "*" stands for.
            size_t k = i + 1;
            while (k < m.size() && IsWild(m[k]))
                ++k;
            std::string_view t;
            if (k > i + 1)
                t = m.substr(i + 1, k - i - 1);
            else if (i + 1 < m.size())
                t = m.substr(i + 1, 1);
            size_t p = std::string::npos;
            if (!t.empty() && !s.empty()) p = s.find(t, j + 1);
            if (p != std::string::npos) {
                r.append(s.substr(j, p - j));
                j = p;
                ++i;
            } else {
                for (size_t q = i; q < m.size(); ++q) {
                    if (!IsWild(m[q])) r += m[q];
                }
                r.append(s.substr(j));
                i = m.size();
                j = s.size();
                break;
            }
        } else {
            if (s[j] == c) {
                r += c;
                ++i;
            } else {
                while (i < m.size() && !IsWild(m[i]))
                    r += m[i++];
            }
            ++j;
        }
    }
    for (; i < m.size(); ++i) {
        if (!IsWild(m[i])) r += m[i];
    }
    return r == s;
}

std::string_view WithoutExtension(std::string_view name) {
    const auto dot = ExtensionStart(name);
    return dot == std::string_view::npos ? name : name.substr(0, dot);
}

std::string_view ExtensionOf(std::string_view name) {
    const auto dot = ExtensionStart(name);
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

bool MatchFileMask(std::string_view name, std::string_view mask) {
    return TFileMask(mask).Matches(name);
}

TFileMask::TFileMask(std::string_view mask)
    : name_(AnsiLowerCase(WithoutExtension(mask))), ext_(AnsiLowerCase(ExtensionOf(mask))) {}

bool TFileMask::Matches(std::string_view fileName) {
    lowered_.assign(fileName);
    for (char &c : lowered_)
        c = AnsiLowerChar(c);
    const std::string_view all = lowered_;
    return MatchLowered(WithoutExtension(all), name_, scratch_) &&
           MatchLowered(ExtensionOf(all), ext_, scratch_);
}

bool MatchTimeStampedName(std::string_view name, std::size_t prefixLength, const TLocalTime &now,
                          std::int64_t scanIntervalSeconds) {
    std::string_view s =
        prefixLength >= name.size() ? std::string_view() : name.substr(prefixLength);
    s = WithoutExtension(s);
    int y = now.Year, mo = now.Month, d = now.Day, h = now.Hour, mi = now.Minute, sec = 0;
    bool ok = true;
    switch (s.size()) {
        case 0:
            return true;
        case 2:
            ok = ParseDigits(s, sec);
            break;
        case 4:
            ok = ParseDigits(s.substr(0, 2), mi) && ParseDigits(s.substr(2, 2), sec);
            break;
        case 6:
            ok = ParseDigits(s.substr(0, 2), h) && ParseDigits(s.substr(2, 2), mi) &&
                 ParseDigits(s.substr(4, 2), sec);
            break;
        case 14:
            ok = ParseDigits(s.substr(0, 4), y) && ParseDigits(s.substr(4, 2), mo) &&
                 ParseDigits(s.substr(6, 2), d) && ParseDigits(s.substr(8, 2), h) &&
                 ParseDigits(s.substr(10, 2), mi) && ParseDigits(s.substr(12, 2), sec);
            break;
        default:
            return false;
    }
    if (!ok) return false;
    if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 ||
        mi > 59 || sec > 59)
        return false;
    const std::int64_t t = Seconds(y, mo, d, h, mi, sec);
    const std::int64_t n = Seconds(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second);
    const std::int64_t w = scanIntervalSeconds;
    return n - w <= t && t <= n + w;
}

TTimeRec ParseScheduleEntry(std::string_view entry) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (parts.size() < 7) {
        const auto sep = entry.find("||", start);
        if (sep == std::string_view::npos) break;
        parts.push_back(entry.substr(start, sep - start));
        start = sep + 2;
    }
    parts.push_back(entry.substr(std::min(start, entry.size())));
    parts.resize(8);
    for (auto &p : parts)
        p = TrimBlanks(p);
    TTimeRec rec;
    rec.WeekDay = parts[0];
    rec.Month = parts[1];
    rec.Day = parts[2];
    rec.Hour = parts[3];
    rec.Minute = parts[4];
    rec.Decode = parts[5] == "1";
    rec.FileMask = parts[6];
    int mode = 2;
    const auto r = std::from_chars(parts[7].data(), parts[7].data() + parts[7].size(), mode);
    rec.ReadMode = (r.ec == std::errc() && r.ptr == parts[7].data() + parts[7].size()) ? mode : 2;
    return rec;
}

std::string CronDisplayText(const TTimeRec &rec) {
    return rec.WeekDay + " " + rec.Month + " " + rec.Day + " " + rec.Hour + " " + rec.Minute;
}

std::string CronTimerText(const TTimeRec &rec) {
    return rec.Minute + " " + rec.Hour + " " + rec.Day + " " + rec.Month + " " + rec.WeekDay;
}

}  // namespace brevor
