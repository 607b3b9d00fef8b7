#pragma once

// The object model every subsystem works through: objects with a class descriptor (name and
// parent, for "is X or derives from X"), published properties described by hand-written tables,
// and components with a name, an owner and owned components.
//
// A class publishes its properties with TClassBuilder in its StaticClassInfo():
//
//   const TClassInfo &TSpinEdit::StaticClassInfo() {
//       static const TClassInfo info = TClassBuilder<TSpinEdit>("TSpinEdit",
//       &TControl::StaticClassInfo())
//           .Integer("Value", &TSpinEdit::Value, &TSpinEdit::SetValue)
//           .Build();
//       return info;
//   }
//   const TClassInfo &TSpinEdit::ClassInfo() const { return StaticClassInfo(); }
//
// Property and class names compare without regard to case.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace brevor {

// Kind of a published property value; the ordinal values are part of the settings format.
enum TTypeKind : int {
    tkUnknown = 0,
    tkInteger = 1,
    tkChar = 2,
    tkEnumeration = 3,
    tkFloat = 4,
    tkString = 5,
    tkSet = 6,
    tkClass = 7,
    tkMethod = 8,
    tkWChar = 9,
    tkLString = 10,
    tkWString = 11,
    tkVariant = 12,
    tkArray = 13,
    tkRecord = 14,
    tkInterface = 15,
    tkInt64 = 16,
    tkDynArray = 17,
};

class TObject;

// One published property. Which accessors are set depends on Kind:
//  ordinal kinds (tkInteger, tkChar, tkEnumeration, tkSet, tkInt64, tkWChar): GetOrd / SetOrd;
//  tkFloat: GetFloat / SetFloat;  text kinds (tkString, tkLString, tkWString): GetStr / SetStr;
//  tkClass: ReadObject (and SetObject where the reference itself can be replaced).
// A property without a setter is read-only. Enumerations list their identifiers in ordinal
// order; a Boolean is the enumeration {"False", "True"}.
struct TPropInfo {
    std::string Name;
    TTypeKind Kind = tkUnknown;
    std::vector<std::string> EnumNames;
    std::function<std::int64_t(TObject &)> GetOrd;
    std::function<void(TObject &, std::int64_t)> SetOrd;
    std::function<double(TObject &)> GetFloat;
    std::function<void(TObject &, double)> SetFloat;
    std::function<std::string(TObject &)> GetStr;
    std::function<void(TObject &, const std::string &)> SetStr;
    std::function<TObject *(TObject &)> ReadObject;
    std::function<void(TObject &, TObject *)> SetObject;

    bool Writable() const;
    bool IsBoolean() const;
};

// Class descriptor: name, parent and the properties the class itself publishes.
class TClassInfo {
public:
    TClassInfo(std::string className, const TClassInfo *parent, std::vector<TPropInfo> properties);

    const std::string &ClassName() const { return className_; }
    const TClassInfo *Parent() const { return parent_; }
    // True for this class and every class derived from it.
    bool InheritsFrom(const TClassInfo &other) const;
    bool InheritsFrom(std::string_view className) const;
    // A property of this class or an ancestor (the most derived one wins), or null.
    const TPropInfo *FindProperty(std::string_view name) const;
    // Every property, ancestors' first, overridden names once.
    std::vector<const TPropInfo *> AllProperties() const;
    const std::vector<TPropInfo> &OwnProperties() const { return properties_; }

private:
    std::string className_;
    const TClassInfo *parent_;
    std::vector<TPropInfo> properties_;
};

class TObject {
public:
    TObject() = default;
    TObject(const TObject &) = default;
    TObject &operator=(const TObject &) = default;
    virtual ~TObject() = default;

    static const TClassInfo &StaticClassInfo();
    virtual const TClassInfo &ClassInfo() const;

    const std::string &ClassName() const { return ClassInfo().ClassName(); }
    bool InheritsFrom(const TClassInfo &cls) const { return ClassInfo().InheritsFrom(cls); }
    bool InheritsFrom(std::string_view className) const {
        return ClassInfo().InheritsFrom(className);
    }
};

// Objects that can copy themselves from another of their kind.
class TPersistent : public TObject {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
};

class TComponent : public TPersistent {
public:
    // The owner (may be null) takes the component into its list and frees it with itself.
    explicit TComponent(TComponent *owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent &) = delete;
    TComponent &operator=(const TComponent &) = delete;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    const std::string &Name() const { return name_; }
    void SetName(std::string_view name) { name_.assign(name); }
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    TComponent *Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent *Components(int index) const;
    // The owned component with that name (ignoring case), or null. Not recursive.
    TComponent *FindComponent(std::string_view name) const;
    void InsertComponent(TComponent *component);
    void RemoveComponent(TComponent *component);
    // Frees every owned component, last first.
    void DestroyComponents();

private:
    std::string name_;
    std::intptr_t tag_ = 0;
    TComponent *owner_ = nullptr;
    std::vector<TComponent *> components_;
};

// Items of a collection-like object, whose items are walked one by one (the translator translates
// them).
class TTranslatableItems {
public:
    virtual ~TTranslatableItems() = default;
    virtual int TranslatableItemCount() const = 0;
    virtual TObject *TranslatableItem(int index) const = 0;
};

// ---------------------------------------------------------------- building descriptors

template <typename T>
class TClassBuilder {
public:
    TClassBuilder(std::string className, const TClassInfo *parent)
        : className_(std::move(className)), parent_(parent) {}

    // Integer properties (tkInteger) from a getter and an optional setter, or from a field.
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &Integer(std::string name, G get, S set = nullptr) {
        return Ordinal(std::move(name), tkInteger, {}, get, set);
    }
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &Int64(std::string name, G get, S set = nullptr) {
        return Ordinal(std::move(name), tkInt64, {}, get, set);
    }
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &Boolean(std::string name, G get, S set = nullptr) {
        return Ordinal(std::move(name), tkEnumeration, {"False", "True"}, get, set);
    }
    // An enumeration: the getter and setter deal in ordinals (or the enum type itself).
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &Enumeration(std::string name, std::vector<std::string> identifiers, G get,
                               S set = nullptr) {
        return Ordinal(std::move(name), tkEnumeration, std::move(identifiers), get, set);
    }
    // A set stored as a bit mask (bit i for enumerator i).
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &Set(std::string name, std::vector<std::string> identifiers, G get,
                       S set = nullptr) {
        return Ordinal(std::move(name), tkSet, std::move(identifiers), get, set);
    }
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &Float(std::string name, G get, S set = nullptr) {
        TPropInfo p = Make(std::move(name), tkFloat);
        p.GetFloat = [get](TObject &o) { return static_cast<double>(Read(o, get)); };
        if constexpr (!std::is_same_v<S, std::nullptr_t>)
            p.SetFloat = [set](TObject &o, double v) { Write(o, set, v); };
        else if constexpr (std::is_member_object_pointer_v<G>)
            p.SetFloat = [get](TObject &o, double v) {
                static_cast<T &>(o).*get =
                    static_cast<std::remove_reference_t<decltype(static_cast<T &>(o).*get)>>(v);
            };
        properties_.push_back(std::move(p));
        return *this;
    }
    // A text property (8-bit text, tkLString by default).
    template <typename G, typename S = std::nullptr_t>
    TClassBuilder &String(std::string name, G get, S set = nullptr, TTypeKind kind = tkLString) {
        TPropInfo p = Make(std::move(name), kind);
        p.GetStr = [get](TObject &o) { return std::string(Read(o, get)); };
        if constexpr (!std::is_same_v<S, std::nullptr_t>)
            p.SetStr = [set](TObject &o, const std::string &v) { Write(o, set, v); };
        else if constexpr (std::is_member_object_pointer_v<G>)
            p.SetStr = [get](TObject &o, const std::string &v) { static_cast<T &>(o).*get = v; };
        properties_.push_back(std::move(p));
        return *this;
    }
    // A read-only text property: a field or getter exposed without a setter.
    template <typename G>
    TClassBuilder &ReadOnlyString(std::string name, G get) {
        TPropInfo p = Make(std::move(name), tkLString);
        p.GetStr = [get](TObject &o) { return std::string(Read(o, get)); };
        properties_.push_back(std::move(p));
        return *this;
    }
    // A class-typed property: the object it holds (a string list, a font, ...).
    template <typename G>
    TClassBuilder &Object(std::string name, G get) {
        TPropInfo p = Make(std::move(name), tkClass);
        p.ReadObject = [get](TObject &o) -> TObject * { return Read(o, get); };
        properties_.push_back(std::move(p));
        return *this;
    }
    TClassBuilder &Custom(TPropInfo info) {
        properties_.push_back(std::move(info));
        return *this;
    }

    TClassInfo Build() { return TClassInfo(className_, parent_, std::move(properties_)); }

private:
    static TPropInfo Make(std::string name, TTypeKind kind) {
        TPropInfo p;
        p.Name = std::move(name);
        p.Kind = kind;
        return p;
    }
    // A getter is a const member function, a field, or a callable taking T&.
    template <typename G>
    static decltype(auto) Read(TObject &o, G get) {
        T &self = static_cast<T &>(o);
        if constexpr (std::is_member_function_pointer_v<G>)
            return (self.*get)();
        else if constexpr (std::is_member_object_pointer_v<G>)
            return (self.*get);
        else
            return get(self);
    }
    template <typename S, typename V>
    static void Write(TObject &o, S set, V &&value) {
        T &self = static_cast<T &>(o);
        if constexpr (std::is_member_function_pointer_v<S>)
            (self.*set)(std::forward<V>(value));
        else
            set(self, std::forward<V>(value));
    }
    template <typename G, typename S>
    TClassBuilder &Ordinal(std::string name, TTypeKind kind, std::vector<std::string> idents, G get,
                           S set) {
        TPropInfo p = Make(std::move(name), kind);
        p.EnumNames = std::move(idents);
        p.GetOrd = [get](TObject &o) { return static_cast<std::int64_t>(Read(o, get)); };
        if constexpr (!std::is_same_v<S, std::nullptr_t>) {
            p.SetOrd = [set](TObject &o, std::int64_t v) {
                T &self = static_cast<T &>(o);
                if constexpr (std::is_member_function_pointer_v<S>) {
                    using Arg = std::remove_cvref_t<decltype(FirstArg(set))>;
                    (self.*set)(static_cast<Arg>(v));
                } else {
                    set(self, v);
                }
            };
        } else if constexpr (std::is_member_object_pointer_v<G>) {
            p.SetOrd = [get](TObject &o, std::int64_t v) {
                auto &field = static_cast<T &>(o).*get;
                field = static_cast<std::remove_reference_t<decltype(field)>>(v);
            };
        }
        properties_.push_back(std::move(p));
        return *this;
    }
    template <typename C, typename R, typename A>
    static A FirstArg(R (C::*)(A));

    std::string className_;
    const TClassInfo *parent_;
    std::vector<TPropInfo> properties_;
};

// ---------------------------------------------------------------- property access by name

// The published property of obj with that name (ignoring case), or null.
const TPropInfo *GetPropInfo(const TObject &obj, std::string_view name);

// Typed access; each raises Exception when the property is missing, of another kind, or
// read-only on a set.
std::int64_t GetOrdProp(TObject &obj, std::string_view name);
void SetOrdProp(TObject &obj, std::string_view name, std::int64_t value);
double GetFloatProp(TObject &obj, std::string_view name);
void SetFloatProp(TObject &obj, std::string_view name, double value);
std::string GetStrProp(TObject &obj, std::string_view name);
void SetStrProp(TObject &obj, std::string_view name, const std::string &value);
TObject *GetObjectProp(TObject &obj, std::string_view name);
// Enumerations by identifier (identifiers compare ignoring case on set).
std::string GetEnumProp(TObject &obj, std::string_view name);
void SetEnumProp(TObject &obj, std::string_view name, std::string_view identifier);
// Identifier of an ordinal, or the number as text when out of range; ordinal of an identifier
// (ignoring case), or -1.
std::string GetEnumName(const TPropInfo &prop, std::int64_t ordinal);
std::int64_t GetEnumValue(const TPropInfo &prop, std::string_view identifier);

}  // namespace brevor
