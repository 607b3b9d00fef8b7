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
    try {
        return save ? store.Save(target) : store.Load(target);
    } catch (const EIniFileException &e) {
        // The settings file could not be read, written or locked. Every value stays as it was
        // (in memory and in the file); the text names the file and the system's error. The
        // error goes on to the request, which then fails.
        plugin.AddLog(kLogError, e.what());
        throw;
    }
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
