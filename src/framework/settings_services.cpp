// Loading and saving settings objects through a property store made for each request.

#include "framework/module_log.h"
#include "framework/plugin.h"
#include "storage/big_ini_file.h"

namespace brevor {

namespace {

bool RunStore(TqelPlugin &plugin, TComponent *target, const TStrings *lines,
              const std::string &iniFile, bool save) {
    if (lines == nullptr) return false;
    TWreg store(nullptr);
    store.SetRegistryRoot(rrHKEY_LOCAL_MACHINE);
    store.SetSecondRegistryRoot(rrHKEY_CURRENT_USER);
    store.SetRegistryPath(plugin.RegistryPath);
    store.SetINIFileSectionPrefix(plugin.INISectionPrefix);
    store.SetValue = plugin.OnSetPropertyValue;
    store.GetValue = plugin.OnGetPropertyValue;
    store.BeforeProcessItem = plugin.OnBeforeProcessSettingsItem;
    store.SetINIFile(iniFile.empty() ? plugin.IniFile : iniFile);
    store.SetComponents(*lines);
    // A settings file that cannot be read, written or locked raises EIniFileException, whose
    // text names the file and the system's error; every value stays as it was (in memory and in
    // the file) and the request that asked fails and logs it.
    return save ? store.Save(target) : store.Load(target);
}

}  // namespace

bool TqelPlugin::LoadSettings(TComponent *target, const TStrings *lines,
                              const std::string &iniFile) {
    return RunStore(*this, target, lines, iniFile, false);
}

bool TqelPlugin::SaveSettings(TComponent *target, const TStrings *lines,
                              const std::string &iniFile) {
    return RunStore(*this, target, lines, iniFile, true);
}

}  // namespace brevor
