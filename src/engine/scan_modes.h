#pragma once

// The three scans: which files of the folder go to the transfer engine, and when.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_masks.h"
#include "engine/file_transfer.h"
#include "platform/paths.h"

namespace brevor {

// The value types the scans read, one per kind of setting.
using TScanFloat = double;
using TScanBoolean = bool;
using TScanInteger = std::int32_t;
using TScanString = std::string;
using TScanStrings = std::vector<std::string>;

// The settings the scans read, taken from the settings object while the timers are stopped: one
// field per setting of settings.def (ScanInterval in seconds and ChunkSize in bytes, both used
// truncated; Schedule holds one entry per line).
struct TScanSettings {
#define BREVOR_SETTING(kind, control, property, key, initial, scanField) \
    TScan##kind scanField = initial;
#include "engine/settings.def"

    // Whole seconds, and bytes, the way the scans use them: truncated, and clamped into the
    // 32-bit range so that no setting can overflow a conversion.
    std::int64_t IntervalSeconds() const;
    std::int32_t ChunkBytes() const;
};

// The scans of one module instance over its transfer engine.
class TFileScanner {
public:
    TFileScanner(TFileTransfer &engine) : engine_(engine) {}

    // Every file whose name matches the simple scan's mask.
    void ScanSimpleMode(const TSendTarget &target, const TScanSettings &settings);
    // Every file named prefix + a time stamp near now + an extension matching the mask.
    void ScanTimeMode(const TSendTarget &target, const TScanSettings &settings,
                      const TLocalTime &now);
    // The files of schedule entry index (a position in settings.Schedule).
    void ScanScheduler(const TSendTarget &target, const TScanSettings &settings, int index);

private:
    // The folder's file names, listed once per scan.
    std::vector<std::string> List(const std::string &folder);
    void Prune(const std::string &folder, const std::vector<std::string> &names);

    TFileTransfer &engine_;
};

}  // namespace brevor
