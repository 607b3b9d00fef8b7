#include "engine/a_plugin.h"

namespace brevor {

TaPlugin::TaPlugin(const TPluginCallRec *rec) : TqelPlugin(rec) {
    // The module's published values.
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

TaPlugin::~TaPlugin() = default;

TqelPlugin *CreateTaPlugin(const TPluginCallRec *rec) {
    return new TaPlugin(rec);
}

}  // namespace brevor
