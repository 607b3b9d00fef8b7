// Loading and saving settings objects through a property store made for each request.

#include "framework/plugin.h"

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
    } catch (const std::exception &) {
        // An unreadable settings file keeps every value as it was.
        return false;
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
