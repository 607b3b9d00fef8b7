#pragma once

#include "framework/plugin.h"

namespace brevor {

// This module's class: a file feed for the host.
class TaPlugin : public TqelPlugin {
public:
    explicit TaPlugin(const TPluginCallRec *rec);
    ~TaPlugin() override;
};

// Class reference for the instance registry.
TqelPlugin *CreateTaPlugin(const TPluginCallRec *rec);

}  // namespace brevor
