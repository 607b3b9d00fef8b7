#pragma once

#include "rtl/component.h"

namespace brevor {

// Marker base of settings proxy objects: the property store resolves every mapping line's
// property path against a proxy's own published properties, with "." replaced by "_".
class TProxyCodeCustomObject : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

}  // namespace brevor
