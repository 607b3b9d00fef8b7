#include "timing/cron.h"

#include <charconv>

namespace brevor {

namespace {

// Bounds the values one field may produce: twice every 16-bit value; anything larger can only
// come from a runaway list of ranges.
constexpr std::size_t kMaxFieldValues = 2 * 65536;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Decimal text to a value; only the low 16 bits count. False when it does not convert.
bool ToNumber(const std::string &token, std::uint32_t &value) {
    std::uint64_t v = 0;
    for (char c : token) {
        if (!IsDigit(c)) return false;
        v = (v * 10 + static_cast<std::uint64_t>(c - '0')) & 0xFFFFFFFFull;
    }
    if (token.empty()) return false;
    value = static_cast<std::uint32_t>(v & 0xFFFF);
    return true;
}

bool ResolveName(const std::string &name, TZRTCronType type, const TCronNames &names,
                 std::uint32_t &value) {
    if (type != ctMonths && type != ctWeekDays) return false;
    for (size_t i = 0; i < names.WeekDays.size(); ++i) {
        if (names.WeekDays[i] == name) {
            value = static_cast<std::uint32_t>(i + 1);
            return true;
        }
    }
    for (size_t i = 0; i < names.Months.size(); ++i) {
        if (names.Months[i] == name) {
            value = static_cast<std::uint32_t>(i + 1);
            return true;
        }
    }
    return false;
}

int Component(const platform::TDateTime &t, TZRTCronType type) {
    switch (type) {
        case ctMSeconds:
            return t.MSecond;
        case ctSeconds:
            return t.Second;
        case ctMinutes:
            return t.Minute;
        case ctHours:
            return t.Hour;
        case ctDays:
            return t.Day;
        case ctMonths:
            return t.Month;
        case ctWeekDays:
            return t.DayOfWeek;
        case ctYears:
            return t.Year;
    }
    return -1;
}

// The field texts of the selected types, in enumeration order.
std::vector<std::pair<TZRTCronType, std::string_view>> SplitFields(std::string_view text,
                                                                   TZRTCronTypes types,
                                                                   std::string_view separator) {
    std::vector<std::pair<TZRTCronType, std::string_view>> fields;
    for (int k = 0; k < 8; ++k) {
        if ((types & (1u << k)) == 0) continue;
        std::string_view field;
        const auto at = separator.empty() ? std::string_view::npos : text.find(separator);
        if (at == std::string_view::npos) {
            field = text;
            text = {};
        } else {
            field = text.substr(0, at);
            text.remove_prefix(at + separator.size());
        }
        fields.emplace_back(static_cast<TZRTCronType>(k), field);
    }
    return fields;
}

}  // namespace

void CronFieldRange(TZRTCronType type, int &lowest, int &highest) {
    static const int ranges[8][2] = {{0, 999}, {0, 59}, {0, 59}, {0, 23},
                                     {1, 31},  {1, 12}, {1, 7},  {0, 9999}};
    lowest = ranges[type][0];
    highest = ranges[type][1];
}

std::string NextCronToken(std::string_view &text, bool consume, TCronTokenKind &kind) {
    std::string token;
    kind = TCronTokenKind::Invalid;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '*' || c == '/' || c == '-' || c == ',') {
            if (token.empty()) {
                token.assign(1, c);
                kind = c == '*'   ? TCronTokenKind::Star
                       : c == '/' ? TCronTokenKind::Slash
                       : c == '-' ? TCronTokenKind::Dash
                                  : TCronTokenKind::Comma;
                ++i;
            }
            break;
        }
        if (c == '?') {
            token.assign(1, '?');
            kind = TCronTokenKind::Question;
            ++i;
            break;
        }
        if (IsDigit(c)) {
            token += c;
            kind = TCronTokenKind::Number;
            continue;
        }
        if (IsLetter(c)) {
            if (kind == TCronTokenKind::Number) break;  // a name after digits starts a new token
            token += c;
            kind = TCronTokenKind::Name;
            continue;
        }
        token.clear();
        kind = TCronTokenKind::Invalid;
        ++i;
        break;
    }
    if (consume) text.remove_prefix(i);
    return token;
}

TZRTCronField ParseCronField(std::string_view text, TZRTCronType type, const TCronNames &names,
                             const platform::TDateTime *now) {
    TZRTCronField list;
    int lowest = 0;
    int highest = 0;
    CronFieldRange(type, lowest, highest);
    TCronTokenKind kind;
    auto invalid = [&list] {
        list.clear();
        return list;
    };
    // The value of a number or, in month and weekday fields, a name.
    auto valueOf = [&](const std::string &token, TCronTokenKind k, std::uint32_t &value) {
        if (k == TCronTokenKind::Number) return ToNumber(token, value);
        if (k == TCronTokenKind::Name) return ResolveName(token, type, names, value);
        return false;
    };
    // "/" step after a range or a star; 0 when there is none (then 1 is used). False: invalid.
    auto readStep = [&](std::uint32_t &step) {
        step = 1;
        std::string_view peek = text;
        NextCronToken(peek, true, kind);
        if (kind != TCronTokenKind::Slash) return true;
        text = peek;
        const std::string number = NextCronToken(text, true, kind);
        if (kind != TCronTokenKind::Number || !ToNumber(number, step)) return false;
        return step != 0;  // a step of 0 would never end
    };
    auto appendRange = [&](std::uint32_t start, std::uint32_t end, std::uint32_t step) {
        for (std::uint64_t v = static_cast<std::uint64_t>(start) + step; v <= end; v += step) {
            if (list.size() >= kMaxFieldValues) return false;
            list.push_back(static_cast<std::uint16_t>(v));
        }
        return true;
    };

    while (!text.empty()) {
        const std::string token = NextCronToken(text, true, kind);
        switch (kind) {
            case TCronTokenKind::Number:
            case TCronTokenKind::Name: {
                std::uint32_t value = 0;
                if (!valueOf(token, kind, value)) return invalid();
                if (kind == TCronTokenKind::Number &&
                    (static_cast<int>(value) < lowest || static_cast<int>(value) > highest))
                    return invalid();
                list.push_back(static_cast<std::uint16_t>(value));
                std::string_view peek = text;
                TCronTokenKind next;
                NextCronToken(peek, true, next);
                if (next != TCronTokenKind::Dash) break;
                text = peek;
                TCronTokenKind endKind;
                const std::string endToken = NextCronToken(text, true, endKind);
                std::uint32_t end = 0;
                if (!valueOf(endToken, endKind, end)) return invalid();
                if (value > end) return invalid();
                std::uint32_t step = 1;
                if (!readStep(step)) return invalid();
                if (!appendRange(value, end, step)) return invalid();
                break;
            }
            case TCronTokenKind::Star: {
                std::uint32_t step = 1;
                if (!readStep(step)) return invalid();
                list.push_back(static_cast<std::uint16_t>(lowest));
                if (!appendRange(static_cast<std::uint32_t>(lowest),
                                 static_cast<std::uint32_t>(highest), step))
                    return invalid();
                break;
            }
            case TCronTokenKind::Question: {
                const platform::TDateTime t = now != nullptr ? *now : platform::Clock().LocalNow();
                list.push_back(static_cast<std::uint16_t>(Component(t, type)));
                break;
            }
            case TCronTokenKind::Comma:
                break;
            default:
                return invalid();
        }
        if (list.size() > kMaxFieldValues) return invalid();
    }
    return list;
}

bool IsCronText(std::string_view text, TZRTCronTypes types, std::string_view separator,
                const TCronNames &names) {
    for (const auto &[type, field] : SplitFields(text, types, separator)) {
        if (field.empty() || ParseCronField(field, type, names).empty()) return false;
    }
    return true;
}

TZRTCron ParseCronText(std::string_view text, TZRTCronTypes types, std::string_view separator,
                       const TCronNames &names) {
    TZRTCron cron;
    if (!IsCronText(text, types, separator, names)) return cron;
    for (const auto &[type, field] : SplitFields(text, types, separator))
        cron[static_cast<size_t>(type)] = ParseCronField(field, type, names);
    return cron;
}

bool CronMatches(const TZRTCron &cron, TZRTCronTypes types, const platform::TDateTime &moment) {
    for (int k = 0; k < 8; ++k) {
        if ((types & (1u << k)) == 0) continue;
        const int value = Component(moment, static_cast<TZRTCronType>(k));
        bool found = false;
        for (std::uint16_t v : cron[static_cast<size_t>(k)]) {
            if (v == value) {
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

bool SameDateTimeParts(TZRTDateTimeTypes types, const platform::TDateTime &a,
                       const platform::TDateTime &b) {
    const int pa[8] = {a.MSecond, a.Second, a.Minute, a.Hour, a.Day, a.Month, a.DayOfWeek, a.Year};
    const int pb[8] = {b.MSecond, b.Second, b.Minute, b.Hour, b.Day, b.Month, b.DayOfWeek, b.Year};
    for (int k = 0; k < 8; ++k) {
        if ((types & (1u << k)) && pa[k] != pb[k]) return false;
    }
    return true;
}

}  // namespace brevor
