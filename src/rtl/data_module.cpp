#include "rtl/data_module.h"

namespace brevor {

const TClassInfo &TDataModule::StaticClassInfo() {
    static const TClassInfo info("TDataModule", &TComponent::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TDataModule::ClassInfo() const {
    return StaticClassInfo();
}

void TDataModule::AfterConstruction() {
    if (created_) return;
    created_ = true;
    if (OnCreate) OnCreate(this);
}

void TDataModule::BeforeDestruction() {
    if (destroying_) return;
    destroying_ = true;
    if (created_ && OnDestroy) OnDestroy(this);
}

}  // namespace brevor
