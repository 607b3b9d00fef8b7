#pragma once

#include <functional>

#include "rtl/component.h"

namespace brevor {

// A non-visual container of components, filled from its stored form (a function that sets its
// properties and creates its children). OnCreate runs after construction, OnDestroy before
// destruction; whoever creates a data module calls AfterConstruction and BeforeDestruction.
class TDataModule : public TComponent {
public:
    using TNotifyEvent = std::function<void(TObject *sender)>;

    explicit TDataModule(TComponent *owner = nullptr) : TComponent(owner) {}

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    // Raise OnCreate / OnDestroy once each.
    virtual void AfterConstruction();
    virtual void BeforeDestruction();

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;

private:
    bool created_ = false;
    bool destroying_ = false;
};

}  // namespace brevor
