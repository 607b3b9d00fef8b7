#include "framework/plugin.h"

namespace brevor {

TqelPlugin::TqelPlugin(const TPluginCallRec *rec) {
    TemporaryLoad = rec == nullptr || rec->Params == nullptr;
}

TqelPlugin::~TqelPlugin() = default;

std::int32_t TqelPlugin::ModuleTypeCode() const {
    return static_cast<std::int32_t>(ModuleType) |
           (static_cast<std::int32_t>(ModuleOptions & 0x03) << 16);
}

}  // namespace brevor
