#include "engine/settings_model.h"

#include <cmath>
#include <string_view>

#include "rtl/exceptions.h"

namespace brevor {

namespace {

using T = TProxyCodeObject;

// One published property per kind of setting.
void Publish(TClassBuilder<T> &b, const char *name, double T::*member) {
    b.Float(name, member);
}
void Publish(TClassBuilder<T> &b, const char *name, bool T::*member) {
    b.Boolean(name, member);
}
void Publish(TClassBuilder<T> &b, const char *name, std::int32_t T::*member) {
    b.Integer(name, member);
}
void Publish(TClassBuilder<T> &b, const char *name, std::string T::*member) {
    b.String(name, member);
}
void Publish(TClassBuilder<T> &b, const char *name, TOwnedStrings T::*member) {
    b.Object(name, [member](T &self) -> TObject * { return (self.*member).get(); });
}

// A setting's value as the scans read it.
template <typename V>
V ScanValue(const V &value) {
    return value;
}
std::vector<std::string> ScanValue(const TOwnedStrings &lines) {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(lines->Count()));
    for (int i = 0; i < lines->Count(); ++i)
        out.push_back((*lines)[i]);
    return out;
}

// The property of the dialog control that shows a setting.
TObject &ControlOf(TComponent &form, const char *control, const char *property) {
    TComponent *found = form.FindComponent(control);
    if (found == nullptr || GetPropInfo(*found, property) == nullptr)
        throw EAssertionFailed(std::string("No control property ") + control + "." + property);
    return *found;
}
void SetInitialValue(TComponent &form, const char *control, const char *property, double value) {
    TObject &target = ControlOf(form, control, property);
    // A spin edit holds whole numbers: the value goes in truncated, as the store converts it.
    if (GetPropInfo(target, property)->Kind == tkFloat)
        SetFloatProp(target, property, value);
    else
        SetOrdProp(target, property, static_cast<std::int64_t>(std::trunc(value)));
}
void SetInitialValue(TComponent &form, const char *control, const char *property, bool value) {
    SetOrdProp(ControlOf(form, control, property), property, value ? 1 : 0);
}
void SetInitialValue(TComponent &form, const char *control, const char *property,
                     std::int32_t value) {
    SetOrdProp(ControlOf(form, control, property), property, value);
}
void SetInitialValue(TComponent &form, const char *control, const char *property,
                     const std::string &value) {
    SetStrProp(ControlOf(form, control, property), property, value);
}
void SetInitialValue(TComponent &form, const char *control, const char *property,
                     const TOwnedStrings &) {
    ControlOf(form, control, property);  // starts empty; only its presence is checked
}

}  // namespace

const TClassInfo &TProxyCodeObject::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassBuilder<T> builder("TProxyCodeObject", &TProxyCodeCustomObject::StaticClassInfo());
#define BREVOR_SETTING(kind, control, property, key, initial, scanField) \
    Publish(builder, #control "_" #property, &T::control##_##property);
#include "engine/settings.def"
        return builder.Build();
    }();
    return info;
}
const TClassInfo &TProxyCodeObject::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TDataSourceCfg::StaticClassInfo() {
    static const TClassInfo info("TDataSourceCfg", &TProxyCodeObject::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TDataSourceCfg::ClassInfo() const {
    return StaticClassInfo();
}

const std::vector<std::string> &ConfigMappingLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> out;
        std::string_view section;
        auto add = [&](std::string_view path, std::string_view key) {
            const std::string_view keySection = key.substr(0, key.find('\\'));
            if (out.empty() || keySection != section) out.emplace_back();
            section = keySection;
            out.push_back(std::string(path) + "," + std::string(key));
        };
#define BREVOR_SETTING(kind, control, property, key, initial, scanField) \
    add(#control "." #property, key);
#include "engine/settings.def"
        return out;
    }();
    return lines;
}

TStringList ConfigMappingList() {
    TStringList list;
    for (const std::string &line : ConfigMappingLines())
        list.Add(line);
    return list;
}

TScanSettings ScanSettingsOf(const TProxyCodeObject &settings) {
    TScanSettings s;
#define BREVOR_SETTING(kind, control, property, key, initial, scanField) \
    s.scanField = ScanValue(settings.control##_##property);
#include "engine/settings.def"
    return s;
}

void ApplyInitialValues(TComponent &form) {
    const TProxyCodeObject initial;
#define BREVOR_SETTING(kind, control, property, key, initial_, scanField) \
    SetInitialValue(form, #control, #property, initial.control##_##property);
#include "engine/settings.def"
}

}  // namespace brevor
