#include "framework/settings_location.h"

#include <utility>

#include "framework/params_list.h"

namespace brevor {

void TSettingsLocation::ReadAtLoad(const TqelParamsList *list) {
    registryPath_ = params::ReadParamText(list, "RegistryPath");
    iniSectionPrefix_ = params::ReadParamText(list, "INISectionPrefix");
}

std::string TSettingsLocation::ReadIniFile(const TqelParamsList *list, bool store) {
    if (list == nullptr) return {};
    std::string name = params::ReadParamText(list, "INI-FILE");
    if (store) iniFile_ = name;
    return name;
}

bool TSettingsLocation::TakeNewIniFile(const TqelParamsList *list) {
    std::string name = ReadIniFile(list, false);
    if (name == iniFile_) return false;
    iniFile_ = std::move(name);
    return true;
}

TSettingsLocation::TIniFileOverride::TIniFileOverride(TSettingsLocation &location,
                                                      const TqelParamsList *list)
    : location_(location), kept_(location.iniFile_) {
    // Keeps the name only once the parameter has been read: a value that does not convert
    // leaves it as it was.
    location_.ReadIniFile(list, true);
}

bool TSettingsLocation::RunStore(bool save, TComponent *target, const TStrings *lines,
                                 const std::string &iniFile, const TStoreEvents &events) const {
    if (lines == nullptr) return false;
    TWreg store(nullptr);
    store.SetRegistryRoot(rrHKEY_LOCAL_MACHINE);
    store.SetSecondRegistryRoot(rrHKEY_CURRENT_USER);
    store.SetRegistryPath(registryPath_);
    store.SetINIFileSectionPrefix(iniSectionPrefix_);
    store.SetValue = events.SetValue;
    store.GetValue = events.GetValue;
    store.BeforeProcessItem = events.BeforeProcessItem;
    store.SetINIFile(iniFile.empty() ? iniFile_ : iniFile);
    store.SetComponents(*lines);
    // Every value stays as it was (in memory and in the file) when the store raises; the
    // request that asked fails and logs it.
    return save ? store.Save(target) : store.Load(target);
}

}  // namespace brevor
