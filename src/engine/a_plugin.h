#pragma once

#include "framework/plugin.h"

namespace brevor {

// This module's class: a file feed for the host.
class TaPlugin : public TqelPlugin {
public:
    explicit TaPlugin(const TPluginCallRec *rec);
    ~TaPlugin() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

private:
    void BuildStoredForm();
};

// Class reference for the instance registry: constructs the instance and raises its creation
// event.
TqelPlugin *CreateTaPlugin(const TPluginCallRec *rec);

}  // namespace brevor
