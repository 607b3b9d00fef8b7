#include "engine/scan_modes.h"

#include <cmath>
#include <limits>
#include <unordered_set>

#include "platform/files.h"
#include "rtl/ansi.h"

namespace brevor {

namespace {

std::int64_t Truncate32(double value) {
    if (std::isnan(value)) return 0;
    const double t = std::trunc(value);
    if (t < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (t > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int64_t>(t);
}

}  // namespace

std::int64_t TScanSettings::IntervalSeconds() const {
    return Truncate32(ScanInterval);
}
std::int32_t TScanSettings::ChunkBytes() const {
    return static_cast<std::int32_t>(Truncate32(ChunkSize));
}

std::vector<std::string> TFileScanner::List(const std::string &folder) {
    std::vector<std::string> names;
    platform::ListFolderFiles(folder, [&](std::string_view name) { names.emplace_back(name); });
    return names;
}

void TFileScanner::Prune(const std::string &folder, const std::vector<std::string> &names) {
    // With few states, asking the disk about each is cheaper than indexing the whole listing.
    const int states = engine_.WithStates([](TFileStates &s) { return s.Count(); });
    if (static_cast<std::size_t>(states) * 16 < names.size()) {
        engine_.PruneFileStates();
        return;
    }
    std::unordered_set<std::string> listed;
    listed.reserve(names.size());
    for (const std::string &name : names)
        listed.insert(TFileTransfer::FullName(folder, name));
    engine_.PruneFileStates(listed);
}

void TFileScanner::ScanSimpleMode(const TSendTarget &target, const TScanSettings &settings) {
    const std::vector<std::string> names = List(settings.Folder);
    TFileMask mask(settings.FileSM);
    const std::int32_t chunk = settings.ChunkBytes();
    for (const std::string &name : names) {
        if (mask.Matches(name))
            engine_.ProcessFile(target, settings.Folder, name, chunk, settings.DecodeSM,
                                settings.ReadModeSM);
    }
    Prune(settings.Folder, names);
}

void TFileScanner::ScanTimeMode(const TSendTarget &target, const TScanSettings &settings,
                                const TLocalTime &now) {
    const std::vector<std::string> names = List(settings.Folder);
    const std::string &prefix = settings.PrefixTM;
    std::string scratch;
    const std::string extLowered = [&] {
        std::string m = settings.ExtTM;
        for (char &c : m)
            c = AnsiLowerChar(c);
        return m;
    }();
    std::string ext;
    const std::int32_t chunk = settings.ChunkBytes();
    for (const std::string &name : names) {
        // An empty prefix matches nothing; the prefix compares with case.
        if (prefix.empty() || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string_view e = ExtensionOf(name);
        if (!e.empty()) e.remove_prefix(1);
        ext.assign(e);
        for (char &c : ext)
            c = AnsiLowerChar(c);
        if (!MatchLowered(ext, extLowered, scratch)) continue;
        if (!MatchTimeStampedName(name, prefix.size(), now, settings.IntervalSeconds())) continue;
        engine_.ProcessFile(target, settings.Folder, name, chunk, settings.DecodeTM,
                            settings.ReadModeTM);
    }
    Prune(settings.Folder, names);
}

void TFileScanner::ScanScheduler(const TSendTarget &target, const TScanSettings &settings,
                                 int index) {
    if (index < 0 || index >= static_cast<int>(settings.Schedule.size())) return;
    const TTimeRec entry = ParseScheduleEntry(settings.Schedule[static_cast<size_t>(index)]);
    const std::vector<std::string> names = List(settings.Folder);
    TFileMask mask(entry.FileMask);
    const std::int32_t chunk = settings.ChunkBytes();
    for (const std::string &name : names) {
        if (mask.Matches(name))
            engine_.ProcessFile(target, settings.Folder, name, chunk, entry.Decode, entry.ReadMode);
    }
    Prune(settings.Folder, names);
}

}  // namespace brevor
