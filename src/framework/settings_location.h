#pragma once

// Where an instance keeps its settings: an INI file, or the registry path without one, with a
// section prefix; and the one place that opens a property store on them.

#include <string>

#include "brevor/abi.h"
#include "storage/wreg.h"

namespace brevor {

// The module's handlers a property store calls while it reads or writes.
struct TStoreEvents {
    const TWreg::TSetValueProc &SetValue;
    const TWreg::TGetValueProc &GetValue;
    const TWreg::TBeforeProcessItemProc &BeforeProcessItem;
};

class TSettingsLocation {
public:
    TSettingsLocation() = default;
    TSettingsLocation(const TSettingsLocation &) = delete;
    TSettingsLocation &operator=(const TSettingsLocation &) = delete;

    // The first LOAD: "RegistryPath" and "INISectionPrefix" ("INI-FILE" follows once the host
    // is found, through ReadIniFile).
    void ReadAtLoad(const TqelParamsList *list);
    // The "INI-FILE" parameter (empty when absent, or without a list); with store set, also
    // kept as the INI file.
    std::string ReadIniFile(const TqelParamsList *list, bool store);

    // The final UNLOAD: true when the command names another INI file than the kept one (no
    // "INI-FILE" names the empty one), which is then kept.
    bool TakeNewIniFile(const TqelParamsList *list);

    const std::string &IniFile() const { return iniFile_; }
    const std::string &RegistryPath() const { return registryPath_; }
    const std::string &INISectionPrefix() const { return iniSectionPrefix_; }

    // A request that names its own INI file ("INI-FILE") for a while: the kept name comes back
    // when the scope ends, however it ends.
    class TIniFileOverride {
    public:
        TIniFileOverride(TSettingsLocation &location, const TqelParamsList *list);
        ~TIniFileOverride() { Restore(); }
        TIniFileOverride(const TIniFileOverride &) = delete;
        TIniFileOverride &operator=(const TIniFileOverride &) = delete;
        // Back to the kept name before the scope ends.
        void Restore() { location_.iniFile_ = kept_; }

    private:
        TSettingsLocation &location_;
        std::string kept_;
    };

    // Reads (save false) or writes the published properties of target named by the mapping
    // lines, in iniFile, or the kept INI file when empty, or the registry without either.
    // False without mapping lines. A settings file that cannot be read, written or locked
    // raises EIniFileException.
    bool RunStore(bool save, TComponent *target, const TStrings *lines, const std::string &iniFile,
                  const TStoreEvents &events) const;

private:
    std::string iniFile_;
    std::string registryPath_;
    std::string iniSectionPrefix_;
};

}  // namespace brevor
