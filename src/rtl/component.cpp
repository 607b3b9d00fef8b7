#include "rtl/component.h"

#include <algorithm>

#include "rtl/ansi.h"
#include "rtl/exceptions.h"

namespace brevor {

bool TPropInfo::Writable() const {
    switch (Kind) {
        case tkFloat:
            return static_cast<bool>(SetFloat);
        case tkString:
        case tkLString:
        case tkWString:
            return static_cast<bool>(SetStr);
        case tkClass:
            return static_cast<bool>(SetObject);
        default:
            return static_cast<bool>(SetOrd);
    }
}

bool TPropInfo::IsBoolean() const {
    return Kind == tkEnumeration && EnumNames.size() == 2 && EnumNames[0] == "False" &&
           EnumNames[1] == "True";
}

TClassInfo::TClassInfo(std::string className, const TClassInfo *parent,
                       std::vector<TPropInfo> properties)
    : className_(std::move(className)), parent_(parent), properties_(std::move(properties)) {}

bool TClassInfo::InheritsFrom(const TClassInfo &other) const {
    for (const TClassInfo *c = this; c != nullptr; c = c->parent_) {
        if (c == &other) return true;
    }
    return false;
}

bool TClassInfo::InheritsFrom(std::string_view className) const {
    for (const TClassInfo *c = this; c != nullptr; c = c->parent_) {
        if (AnsiSameText(c->className_, className)) return true;
    }
    return false;
}

const TPropInfo *TClassInfo::FindProperty(std::string_view name) const {
    for (const TClassInfo *c = this; c != nullptr; c = c->parent_) {
        for (const TPropInfo &p : c->properties_) {
            if (AnsiSameText(p.Name, name)) return &p;
        }
    }
    return nullptr;
}

std::vector<const TPropInfo *> TClassInfo::AllProperties() const {
    std::vector<const TClassInfo *> chain;
    for (const TClassInfo *c = this; c != nullptr; c = c->parent_)
        chain.push_back(c);
    std::vector<const TPropInfo *> out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        for (const TPropInfo &p : (*it)->properties_) {
            auto same = [&](const TPropInfo *q) { return AnsiSameText(q->Name, p.Name); };
            auto found = std::find_if(out.begin(), out.end(), same);
            if (found != out.end())
                *found = &p;  // a derived class overrides its ancestor's property
            else
                out.push_back(&p);
        }
    }
    return out;
}

const TClassInfo &TObject::StaticClassInfo() {
    static const TClassInfo info("TObject", nullptr, {});
    return info;
}
const TClassInfo &TObject::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TPersistent::StaticClassInfo() {
    static const TClassInfo info("TPersistent", &TObject::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TPersistent::ClassInfo() const {
    return StaticClassInfo();
}

const TClassInfo &TComponent::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<TComponent>("TComponent", &TPersistent::StaticClassInfo())
            .String("Name", &TComponent::Name,
                    [](TComponent &c, const std::string &v) { c.SetName(v); })
            .Integer("Tag", &TComponent::Tag,
                     [](TComponent &c, std::int64_t v) { c.SetTag(static_cast<std::intptr_t>(v)); })
            .Build();
    return info;
}
const TClassInfo &TComponent::ClassInfo() const {
    return StaticClassInfo();
}

TComponent::TComponent(TComponent *owner) {
    if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent *TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return components_[static_cast<size_t>(index)];
}

TComponent *TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent *c : components_) {
        if (AnsiSameText(c->name_, name)) return c;
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent *component) {
    if (component == nullptr || component->owner_ == this) return;
    if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent *component) {
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    components_.erase(it);
    component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent *last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        delete last;
    }
}

namespace {

const TPropInfo &Require(const TObject &obj, std::string_view name) {
    const TPropInfo *p = GetPropInfo(obj, name);
    if (p == nullptr) throw Exception("Property " + std::string(name) + " does not exist");
    return *p;
}

[[noreturn]] void WrongKind(const TPropInfo &p) {
    throw Exception("Invalid property type: " + p.Name);
}

[[noreturn]] void ReadOnly(const TPropInfo &p) {
    throw Exception("Property " + p.Name + " is read-only");
}

}  // namespace

const TPropInfo *GetPropInfo(const TObject &obj, std::string_view name) {
    return obj.ClassInfo().FindProperty(name);
}

std::int64_t GetOrdProp(TObject &obj, std::string_view name) {
    const TPropInfo &p = Require(obj, name);
    if (!p.GetOrd) WrongKind(p);
    return p.GetOrd(obj);
}

void SetOrdProp(TObject &obj, std::string_view name, std::int64_t value) {
    const TPropInfo &p = Require(obj, name);
    if (!p.GetOrd) WrongKind(p);
    if (!p.SetOrd) ReadOnly(p);
    p.SetOrd(obj, value);
}

double GetFloatProp(TObject &obj, std::string_view name) {
    const TPropInfo &p = Require(obj, name);
    if (!p.GetFloat) WrongKind(p);
    return p.GetFloat(obj);
}

void SetFloatProp(TObject &obj, std::string_view name, double value) {
    const TPropInfo &p = Require(obj, name);
    if (!p.GetFloat) WrongKind(p);
    if (!p.SetFloat) ReadOnly(p);
    p.SetFloat(obj, value);
}

std::string GetStrProp(TObject &obj, std::string_view name) {
    const TPropInfo &p = Require(obj, name);
    if (!p.GetStr) WrongKind(p);
    return p.GetStr(obj);
}

void SetStrProp(TObject &obj, std::string_view name, const std::string &value) {
    const TPropInfo &p = Require(obj, name);
    if (!p.GetStr) WrongKind(p);
    if (!p.SetStr) ReadOnly(p);
    p.SetStr(obj, value);
}

TObject *GetObjectProp(TObject &obj, std::string_view name) {
    const TPropInfo &p = Require(obj, name);
    if (!p.ReadObject) WrongKind(p);
    return p.ReadObject(obj);
}

std::string GetEnumName(const TPropInfo &prop, std::int64_t ordinal) {
    if (ordinal >= 0 && ordinal < static_cast<std::int64_t>(prop.EnumNames.size()))
        return prop.EnumNames[static_cast<size_t>(ordinal)];
    return std::to_string(ordinal);
}

std::int64_t GetEnumValue(const TPropInfo &prop, std::string_view identifier) {
    for (size_t i = 0; i < prop.EnumNames.size(); ++i) {
        if (AnsiSameText(prop.EnumNames[i], identifier)) return static_cast<std::int64_t>(i);
    }
    return -1;
}

std::string GetEnumProp(TObject &obj, std::string_view name) {
    const TPropInfo &p = Require(obj, name);
    if (p.Kind != tkEnumeration || !p.GetOrd) WrongKind(p);
    return GetEnumName(p, p.GetOrd(obj));
}

void SetEnumProp(TObject &obj, std::string_view name, std::string_view identifier) {
    const TPropInfo &p = Require(obj, name);
    if (p.Kind != tkEnumeration || !p.GetOrd) WrongKind(p);
    if (!p.SetOrd) ReadOnly(p);
    const std::int64_t ordinal = GetEnumValue(p, identifier);
    if (ordinal < 0) throw Exception("Invalid property element: " + std::string(identifier));
    p.SetOrd(obj, ordinal);
}

}  // namespace brevor
