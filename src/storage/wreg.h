#pragma once

// The property store: persists published properties of a component tree in an INI file or the
// registry, one mapping line ("component.Property,Section\Key") at a time.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/component.h"
#include "rtl/strings.h"
#include "rtl/variant.h"

namespace brevor {

enum TRegistryRoot : std::uint8_t {
    rrHKEY_CLASSES_ROOT = 0,
    rrHKEY_CURRENT_USER = 1,
    rrHKEY_LOCAL_MACHINE = 2,
    rrHKEY_USERS = 3,
    rrHKEY_CURRENT_CONFIG = 4,
    rrNone = 5,
};

// What the store needs of a registry. Reads of a value of the wrong type raise an exception.
class IWregRegistry {
public:
    virtual ~IWregRegistry() = default;
    // Opens (create: opens or creates) the key below root with full access and makes it the
    // current key; false when that is not possible.
    virtual bool OpenKey(TRegistryRoot root, const std::string &path, bool create) = 0;
    virtual void CloseKey() = 0;
    virtual bool ValueExists(const std::string &name) = 0;
    virtual std::int32_t ReadInteger(const std::string &name) = 0;  // REG_DWORD
    virtual double ReadFloat(const std::string &name) = 0;          // 8-byte REG_BINARY
    virtual std::string ReadString(const std::string &name) = 0;    // REG_SZ / REG_EXPAND_SZ
    virtual void WriteInteger(const std::string &name, std::int32_t value) = 0;
    virtual void WriteFloat(const std::string &name, double value) = 0;
    virtual void WriteString(const std::string &name, const std::string &value) = 0;
    virtual void DeleteValue(const std::string &name) = 0;
};

// The registry every new store uses: the platform registry (MakePlatformWregRegistry) until
// another factory is set; an empty factory restores it. A factory that returns null makes every
// registry operation fail.
void SetWregRegistryFactory(std::function<std::unique_ptr<IWregRegistry>()> factory);

// The process-wide application object (owner of top-level forms) and its main form, which the
// store falls back on when resolving paths; both may be null.
void SetWregApplication(TComponent *application, TComponent *mainForm);

class TWreg : public TComponent {
public:
    using TSetValueProc = std::function<void(TObject *Sender, const std::string &Name, int Index,
                                             const Variant &Value)>;
    using TGetValueProc =
        std::function<void(TObject *Sender, const std::string &Name, int Index, Variant &Value)>;
    using TBeforeProcessItemProc =
        std::function<void(TObject *Sender, const std::string &Name, int Index,
                           bool &IsRequireProcessing, bool &IsVirtual, TTypeKind &ItemType)>;

    explicit TWreg(TComponent *owner = nullptr);
    ~TWreg() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;

    TRegistryRoot RegistryRoot() const { return registryRoot_; }
    void SetRegistryRoot(TRegistryRoot root) { registryRoot_ = root; }
    TRegistryRoot SecondRegistryRoot() const { return secondRegistryRoot_; }
    void SetSecondRegistryRoot(TRegistryRoot root) { secondRegistryRoot_ = root; }
    const std::string &RegistryPath() const { return registryPath_; }
    void SetRegistryPath(std::string path) { registryPath_ = std::move(path); }
    const std::string &INIFile() const { return iniFile_; }
    void SetINIFile(std::string file) { iniFile_ = std::move(file); }
    const std::string &INIFileSectionPrefix() const { return iniFileSectionPrefix_; }
    void SetINIFileSectionPrefix(std::string prefix) { iniFileSectionPrefix_ = std::move(prefix); }
    // The mapping lines (owned).
    using TComponent::Components;
    TStringList *Components() { return &components_; }
    void SetComponents(const TStrings &lines) { components_.Assign(lines); }

    TSetValueProc SetValue;
    TGetValueProc GetValue;
    TBeforeProcessItemProc BeforeProcessItem;

    // Reads every mapping line's value into the property it names below root. True when the
    // storage could be opened (always in INI mode). An INI file that exists but cannot be read,
    // or whose system-wide lock cannot be had, raises EIniFileException.
    bool Load(TComponent *root);
    // Writes every mapping line's value from the property it names below root. Same result; an
    // INI file that cannot be written raises EIniFileException and keeps its old content.
    bool Save(TComponent *root);

    // Text form of an object reference, and its lookup.
    static std::string ComponentPath(const TComponent *component);
    static TComponent *FindComponentByPath(std::string_view path, TComponent *root);

    // The name of the system-wide lock guarding an INI file: the full path in lower case with
    // every byte other than 0-9 and a-z replaced by "_".
    static std::string IniLockName(const std::string &fullPath);

private:
    bool Process(TComponent *root, bool save);

    TRegistryRoot registryRoot_ = rrHKEY_LOCAL_MACHINE;
    TRegistryRoot secondRegistryRoot_ = rrHKEY_CURRENT_USER;
    std::string registryPath_ = "\\Software\\Company name\\App name";
    std::string iniFile_;
    std::string iniFileSectionPrefix_;
    TStringList components_;
};

// ---------------------------------------------------------------- custom property handlers

// Base of handlers for "*Name" property paths: values the object model does not publish.
class TWregCustomProp {
public:
    TWregCustomProp(std::string_view name, TTypeKind kind);
    virtual ~TWregCustomProp() = default;
    TWregCustomProp(const TWregCustomProp &) = delete;
    TWregCustomProp &operator=(const TWregCustomProp &) = delete;

    const std::string &Name() const { return name_; }  // lower case
    TTypeKind Kind() const { return kind_; }

    // Puts the current value of Instance's custom property into Value; false when it cannot.
    virtual bool GetValue(TObject *Instance, const std::string &Name, Variant &Value);
    // Applies a loaded value to Instance.
    virtual void SetValue(TObject *Instance, const std::string &Name, const Variant &Value);

private:
    std::string name_;
    TTypeKind kind_;
};

// "ItemIndex" of combo boxes (objects of a class named TComboBox or TCustomComboBox, or derived
// from one, with an integer ItemIndex property); the value is stored as text.
class TWregComboBoxProp : public TWregCustomProp {
public:
    using TWregCustomProp::TWregCustomProp;
    bool GetValue(TObject *Instance, const std::string &Name, Variant &Value) override;
    void SetValue(TObject *Instance, const std::string &Name, const Variant &Value) override;
};

using TWregCustomPropFactory =
    std::function<std::unique_ptr<TWregCustomProp>(std::string_view name, TTypeKind kind)>;

// Appends a handler made by factory to the process-wide registry. The registry starts with
// TWregComboBoxProp under "ItemIndex" (kind tkInteger).
void RegisterCustomProp(std::string_view name, TTypeKind kind,
                        const TWregCustomPropFactory &factory);
template <typename T>
void RegisterCustomProp(std::string_view name, TTypeKind kind) {
    RegisterCustomProp(name, kind, [](std::string_view n, TTypeKind k) {
        return std::unique_ptr<TWregCustomProp>(new T(n, k));
    });
}
// Frees every registered handler (library unload); the next use starts with the default again.
void ClearCustomProps();

}  // namespace brevor
