#pragma once

// The module's settings: the settings object that carries the values at run time, the mapping
// lines of shConfig, the values the options dialog starts from and the copy the scans read. All
// of them come from the one list of settings in settings.def.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/scan_modes.h"
#include "platform/paths.h"
#include "rtl/strings.h"
#include "storage/proxy_object.h"

namespace brevor {

// A string list the settings object owns for its whole life: published read-only, only its
// lines change.
class TOwnedStrings {
public:
    TOwnedStrings() : list_(std::make_unique<TStringList>()) {}
    TStringList *get() const { return list_.get(); }
    TStringList *operator->() const { return list_.get(); }
    TStringList &operator*() const { return *list_; }

private:
    const std::unique_ptr<TStringList> list_;
};

// How the settings object holds each kind of setting.
using TSettingFloat = double;
using TSettingBoolean = bool;
using TSettingInteger = std::int32_t;
using TSettingString = std::string;
using TSettingStrings = TOwnedStrings;

// One published property per setting, named <control>_<property> after the mapping line's
// property path (the store maps "." to "_").
class TProxyCodeObject : public TProxyCodeCustomObject {
public:
    explicit TProxyCodeObject(TComponent *owner = nullptr) : TProxyCodeCustomObject(owner) {}

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

#define BREVOR_SETTING(kind, control, property, key, initial, scanField) \
    TSetting##kind control##_##property = initial;
#include "engine/settings.def"
};

class TDataSourceCfg : public TProxyCodeObject {
public:
    using TProxyCodeObject::TProxyCodeObject;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

// The lines of shConfig, in order, empty lines included.
const std::vector<std::string> &ConfigMappingLines();
// The same lines as a string list, ready for TWreg::Components()->Assign().
TStringList ConfigMappingList();

// The values as the scans read them.
TScanSettings ScanSettingsOf(const TProxyCodeObject &settings);

// Gives the controls of form named by the mapping lines the settings' initial values (a list
// setting starts empty and is left alone). Throws EAssertionFailed when a control or its
// property is missing: the dialog and the list of settings disagree.
void ApplyInitialValues(TComponent &form);

}  // namespace brevor
