#include "engine/a_plugin.h"

#include <memory>

namespace brevor {

const TClassInfo &TaPlugin::StaticClassInfo() {
    static const TClassInfo info("TaPlugin", &TqelPlugin::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TaPlugin::ClassInfo() const {
    return StaticClassInfo();
}

TaPlugin::TaPlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
    BuildStoredForm();
}

TaPlugin::~TaPlugin() = default;

// The module's stored form: its published values and, as they arrive, its child components.
void TaPlugin::BuildStoredForm() {
    SetName("aPlugin");
    Description = "Brevor";
    LogTitle = "Brevor";
    MinVersion = 4.0f;
    ModuleType = ModuleTypeBit(mttDataQuery) | ModuleTypeBit(mttFilter);
    ModuleOptions = 0;
    IsMultiThreadSupported = true;
    MsgNoData = "No data for processing";
    MsgWriteComplete = "Data have been processed successfully";
    MsgWriteCompleteError = "Data have been processed with errors";
}

TqelPlugin *CreateTaPlugin(const TPluginCallRec *rec) {
    auto plugin = std::make_unique<TaPlugin>(rec);
    plugin->AfterConstruction();
    return plugin.release();
}

}  // namespace brevor
