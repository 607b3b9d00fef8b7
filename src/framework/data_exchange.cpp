#include "framework/data_exchange.h"

#include <charconv>
#include <exception>

#include "rtl/ansi.h"
#include "rtl/strings.h"

namespace brevor {

namespace {

std::vector<std::string_view> TypeNames() {
    std::vector<std::string_view> names;
    std::string_view all = kParserItemTypeNames;
    while (!all.empty()) {
        const auto bar = all.find('|');
        names.push_back(all.substr(0, bar));
        all.remove_prefix(bar == std::string_view::npos ? all.size() : bar + 1);
    }
    return names;
}

// One line of "DATA-SOURCES-IN-CFG": "Id;Name;FullName"; false when the line is skipped.
bool ParseDataSource(std::string_view line, TConfigDataSource &source) {
    std::string_view fields[3];
    for (int i = 0; i < 3; ++i) {
        const auto semi = line.find(';');
        fields[i] = TrimBlanks(line.substr(0, semi));
        if (semi == std::string_view::npos) {
            line = {};
            for (int k = i + 1; k < 3; ++k)
                fields[k] = {};
            break;
        }
        line.remove_prefix(semi + 1);
        if (i == 1) {
            fields[2] = TrimBlanks(line.substr(0, line.find(';')));
            break;
        }
    }
    std::int32_t id = -1;
    const auto r = std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), id);
    if (r.ec != std::errc() || r.ptr != fields[0].data() + fields[0].size()) id = -1;
    if (id == -1) return false;
    source.Id = id;
    source.Name = fields[1];
    source.FullName = fields[2];
    return true;
}

}  // namespace

const TParserItem kStandardParserItems[7] = {
    {"FULL_DATA_PACKET", "Full data packet", 0, ""},
    {"DATA_PACKET", "Data packet", 0, ""},
    {"DATE_TIME_STAMP", "Datetime stamp", 11, "1"},
    {"DATA_SOURCE_ID", "Data source ID", 8, ""},
    {"DATA_SOURCE_NAME", "Data source name", 0, "1"},
    {"DATA_SOURCE_FULL_NAME", "Data source full name", 0, ""},
    {"CLIENTID", "Client ID", 8, ""},
};

const char *const kEventNames[13] = {"LOG-MESSAGE",
                                     "NEW-LOG-FILE",
                                     "LOG-FILE-DELETE",
                                     "NEW-DATA-PACKET",
                                     "ERROR-WRITE-FILE",
                                     "PORT-OPEN",
                                     "PORT-CLOSE",
                                     "CONFIG-CHANGE",
                                     "USER-LOGOOF",
                                     "USER-LOGON",
                                     "STOP-SERVICE",
                                     "",
                                     "DUMMY"};

std::string_view ParserItemTypeName(std::uint8_t dataType) {
    static const std::vector<std::string_view> names = TypeNames();
    return dataType < names.size() ? names[dataType] : std::string_view();
}

void ParseParserItems(std::string_view text, std::vector<TParserItem> &items) {
    static const std::vector<std::string_view> names = TypeNames();
    TStringList lines;
    lines.SetText(text);
    for (int i = 0; i < lines.Count(); ++i) {
        std::vector<std::string_view> parts;
        std::string_view rest = lines[i];
        while (!rest.empty()) {
            const auto bar = rest.find('|');
            parts.push_back(rest.substr(0, bar));
            rest.remove_prefix(bar == std::string_view::npos ? rest.size() : bar + 1);
        }
        if (parts.size() < 2) continue;
        TParserItem item;
        item.Caption = parts[0];
        item.Name = parts[1];
        if (parts.size() > 2) {
            for (size_t t = 0; t < kNoParserItemType && t < names.size(); ++t) {
                if (AnsiSameText(names[t], parts[2])) {
                    item.DataType = static_cast<std::uint8_t>(t);
                    break;
                }
            }
        }
        if (parts.size() > 3) item.Extra = parts[3];
        items.push_back(std::move(item));
    }
}

std::string FormatParserItems(const std::vector<TParserItem> &items) {
    std::string text;
    for (const TParserItem &item : items) {
        if (!text.empty()) text += "\r\n";
        text += item.Caption;
        text += '|';
        text += item.Name;
        text += '|';
        text += ParserItemTypeName(item.DataType);
        text += '|';
        text += item.Extra;
    }
    return text;
}

std::vector<TConfigDataSource> ParseDataSources(std::string_view text) {
    std::vector<TConfigDataSource> sources;
    TStringList lines;
    lines.SetText(text);
    for (int i = 0; i < lines.Count(); ++i) {
        try {
            TConfigDataSource source;
            if (ParseDataSource(lines[i], source)) sources.push_back(std::move(source));
        } catch (const std::exception &) {
            // A line that cannot be taken (out of memory) is skipped alone.
        }
    }
    return sources;
}

}  // namespace brevor
