#include "storage/wreg.h"

#include <mutex>

#include "platform/file_faults.h"
#include "platform/files.h"
#include "platform/named_lock.h"
#include "platform/paths.h"
#include "rtl/ansi.h"
#include "rtl/exceptions.h"
#include "storage/big_ini_file.h"
#include "storage/proxy_object.h"
#include "storage/value_escape.h"
#include "storage/wreg_registry.h"

namespace brevor {

namespace {

// ---------------------------------------------------------------- process-wide settings

std::mutex globalsMutex;
std::function<std::unique_ptr<IWregRegistry>()> registryFactory = MakePlatformWregRegistry;
TComponent *application = nullptr;
TComponent *mainForm = nullptr;

TComponent *Application() {
    std::lock_guard lock(globalsMutex);
    return application;
}
TComponent *MainForm() {
    std::lock_guard lock(globalsMutex);
    return mainForm;
}

const char kNullText[] = "[[Null]]";

std::vector<std::string> Split(std::string_view s, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = s.find(separator, start);
        parts.emplace_back(s.substr(start, pos == std::string_view::npos ? pos : pos - start));
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return parts;
}

// Kinds the store reads and writes at all.
bool IsStoredKind(TTypeKind kind) {
    switch (kind) {
        case tkInteger:
        case tkChar:
        case tkEnumeration:
        case tkFloat:
        case tkString:
        case tkClass:
        case tkWChar:
        case tkLString:
        case tkWString:
        case tkVariant:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- one mapping line

struct TMappingLine {
    std::string propertyPath;
    std::string sectionPath;  // segments joined by "\"
    std::string key;
};

// False for comments, empty lines and lines without a property path.
bool ParseMappingLine(std::string_view raw, TMappingLine &line) {
    std::string_view text = TrimBlanks(raw);
    if (text.empty() || text.front() == ';') return false;
    const std::size_t comma = text.find(',');
    line.propertyPath = std::string(TrimBlanks(text.substr(0, comma)));
    if (line.propertyPath.empty()) return false;
    std::vector<std::string> segments;
    if (comma != std::string_view::npos) {
        std::string_view rest = text.substr(comma + 1);
        for (const std::string &segment : Split(TrimBlanks(rest), '\\')) {
            std::string_view s = TrimBlanks(segment);
            if (s.empty() || segments.size() == 255) break;
            segments.emplace_back(s);
        }
    }
    line.key.clear();
    line.sectionPath.clear();
    if (!segments.empty()) {
        line.key = segments.back();
        segments.pop_back();
        for (std::size_t i = 0; i < segments.size(); ++i) {
            if (i) line.sectionPath += '\\';
            line.sectionPath += segments[i];
        }
    }
    return true;
}

// ---------------------------------------------------------------- storage back ends

// One place values go to: a section of an INI file, or a registry key.
class TStorage {
public:
    virtual ~TStorage() = default;
    // Selects the line's location; false skips the line.
    virtual bool Locate(const std::string &sectionPath, const std::string &key, bool save) = 0;
    virtual bool Exists() = 0;
    virtual std::int32_t ReadInteger() = 0;
    virtual double ReadFloat() = 0;
    virtual std::string ReadText() = 0;
    virtual void WriteInteger(std::int32_t value) = 0;
    virtual void WriteFloat(double value) = 0;
    virtual void WriteText(const std::string &value) = 0;
    virtual void Delete() = 0;
    // Whether a failed load or save deletes the stored value.
    virtual bool DeletesOnError() const = 0;
};

class TIniStorage : public TStorage {
public:
    TIniStorage(TBigIniFile &ini, std::string prefix) : ini_(ini), prefix_(std::move(prefix)) {}
    bool Locate(const std::string &sectionPath, const std::string &key, bool) override {
        std::string section = sectionPath.empty() ? "Common" : sectionPath;
        if (!prefix_.empty()) section = prefix_ + "." + section;
        for (char &c : section)
            if (c == '\\') c = '.';
        section_ = std::move(section);
        key_ = key;
        return true;
    }
    bool Exists() override { return ini_.ValueExists(section_, key_); }
    std::int32_t ReadInteger() override { return ini_.ReadInteger(section_, key_, 0); }
    double ReadFloat() override { return ini_.ReadFloat(section_, key_, 0); }
    std::string ReadText() override { return ini_.ReadString(section_, key_, ""); }
    void WriteInteger(std::int32_t value) override { ini_.WriteInteger(section_, key_, value); }
    void WriteFloat(double value) override { ini_.WriteFloat(section_, key_, value); }
    void WriteText(const std::string &value) override { ini_.WriteString(section_, key_, value); }
    void Delete() override { ini_.DeleteKey(section_, key_); }
    bool DeletesOnError() const override { return false; }

private:
    TBigIniFile &ini_;
    std::string prefix_;
    std::string section_;
    std::string key_;
};

class TRegistryStorage : public TStorage {
public:
    TRegistryStorage(IWregRegistry &registry, TRegistryRoot root, std::string path)
        : registry_(registry), root_(root), path_(std::move(path)) {}
    ~TRegistryStorage() override { registry_.CloseKey(); }
    bool Locate(const std::string &sectionPath, const std::string &key, bool save) override {
        std::string path = path_;
        if (!path.empty() && path.back() == '\\') path.pop_back();
        if (path.empty())
            path = sectionPath;
        else if (!sectionPath.empty())
            path += "\\" + sectionPath;
        registry_.CloseKey();
        key_ = key;
        return registry_.OpenKey(root_, path, save);
    }
    bool Exists() override { return registry_.ValueExists(key_); }
    std::int32_t ReadInteger() override { return registry_.ReadInteger(key_); }
    double ReadFloat() override { return registry_.ReadFloat(key_); }
    std::string ReadText() override { return registry_.ReadString(key_); }
    void WriteInteger(std::int32_t value) override { registry_.WriteInteger(key_, value); }
    void WriteFloat(double value) override { registry_.WriteFloat(key_, value); }
    void WriteText(const std::string &value) override { registry_.WriteString(key_, value); }
    void Delete() override { registry_.DeleteValue(key_); }
    bool DeletesOnError() const override { return true; }

private:
    IWregRegistry &registry_;
    TRegistryRoot root_;
    std::string path_;
    std::string key_;
};

// ---------------------------------------------------------------- property resolution

struct TResolved {
    TObject *object = nullptr;  // holder of the property, null when none was found
    const TPropInfo *prop = nullptr;
    std::string name;  // final property name, empty without an object
    TTypeKind kind = tkUnknown;
    TComponent *start = nullptr;  // starting object of the resolution
};

TResolved Resolve(const std::string &path, TComponent *root) {
    TResolved r;
    std::vector<std::string> names = Split(path, '.');
    std::size_t next = 0;
    TComponent *start = nullptr;
    if (names.size() >= 3) {
        if (TComponent *app = Application())
            if (TComponent *found = app->FindComponent(names[0])) {
                start = found;
                ++next;
            }
    }
    if (!start) start = root ? root : MainForm();
    r.start = start;
    if (!start) return r;
    if (start->InheritsFrom(TProxyCodeCustomObject::StaticClassInfo())) {
        std::string name = path;
        for (char &c : name)
            if (c == '.') c = '_';
        r.object = start;
        r.name = name;
        r.prop = GetPropInfo(*start, name);
        r.kind = r.prop ? r.prop->Kind : tkUnknown;
        return r;
    }
    TObject *current = start;
    if (names.size() - next >= 2) {
        TComponent *child = start->FindComponent(names[next]);
        if (!child) return r;
        current = child;
        ++next;
    }
    while (next < names.size()) {
        const std::string &name = names[next++];
        r.object = current;
        r.name = name;
        r.prop = GetPropInfo(*current, name);
        if (!r.prop) {
            r.kind = tkUnknown;
            break;
        }
        r.kind = r.prop->Kind;
        if (next < names.size() && r.kind == tkClass) {
            TObject *held = r.prop->ReadObject ? r.prop->ReadObject(*current) : nullptr;
            if (!held) {
                r = TResolved{};
                r.start = start;
                return r;
            }
            current = held;
            continue;
        }
        break;
    }
    if (!r.object) r.name.clear();
    return r;
}

// ---------------------------------------------------------------- reading and writing values

Variant ReadValue(TStorage &storage, TTypeKind kind) {
    switch (kind) {
        case tkInteger:
            return Variant(storage.ReadInteger());
        case tkFloat:
            return Variant(storage.ReadFloat());
        case tkChar:
        case tkEnumeration:
        case tkString:
        case tkWString:
        case tkLString:
        case tkVariant:
            return Variant::AnsiStr(storage.ReadText());
        case tkClass: {
            std::string text = storage.ReadText();
            return text == kNullText ? Variant::Null() : Variant::AnsiStr(text);
        }
        default:
            return Variant();
    }
}

void AssignValue(const TResolved &r, const Variant &value) {
    TObject &obj = *r.object;
    const TPropInfo &prop = *r.prop;
    if (r.kind != tkClass && !prop.Writable()) throw Exception("Property is read-only");
    switch (r.kind) {
        case tkInteger:
            prop.SetOrd(obj, value.ToInt32());
            break;
        case tkFloat:
            prop.SetFloat(obj, value.ToDouble());
            break;
        case tkString:
        case tkLString:
        case tkWString:
            prop.SetStr(obj, UnescapeStoreText(value.ToString()));
            break;
        case tkChar:
        case tkWChar: {
            std::int32_t code = 0;
            if (!TryIniTextToInt(UnescapeStoreText(value.ToString()), code))
                throw EConvertError("Not a character code");
            prop.SetOrd(obj, code);
            break;
        }
        case tkEnumeration: {
            const std::string text = value.ToString();
            if (text.empty()) break;
            std::int64_t ordinal = -1;
            for (std::size_t i = 0; i < prop.EnumNames.size(); ++i)
                if (AsciiLowerCase(prop.EnumNames[i]) == AsciiLowerCase(text))
                    ordinal = static_cast<std::int64_t>(i);
            if (ordinal < 0) throw EConvertError("\"" + text + "\" is no value of " + prop.Name);
            prop.SetOrd(obj, ordinal);
            break;
        }
        case tkClass: {
            TObject *held = prop.ReadObject ? prop.ReadObject(obj) : nullptr;
            if (auto *list = dynamic_cast<TStrings *>(held)) {
                if (value.IsNull())
                    list->Clear();
                else
                    list->SetText(UnescapeStoreText(value.ToString()));
                break;
            }
            if (!prop.SetObject) break;
            if (value.IsNull()) {
                if (prop.Name.find("Dock") == std::string::npos) prop.SetObject(obj, nullptr);
                break;
            }
            const std::string text = value.ToString();
            if (text.empty()) {
                prop.SetObject(obj, nullptr);
            } else if (TComponent *found = TWreg::FindComponentByPath(text, r.start)) {
                prop.SetObject(obj, found);
            }
            break;
        }
        default:
            break;
    }
}

Variant TakeValue(const TResolved &r) {
    TObject &obj = *r.object;
    const TPropInfo &prop = *r.prop;
    switch (r.kind) {
        case tkInteger:
            return Variant(static_cast<std::int32_t>(prop.GetOrd(obj)));
        case tkFloat:
            return Variant(prop.GetFloat(obj));
        case tkString:
        case tkLString:
        case tkWString:
            return Variant::AnsiStr(EscapeStoreText(prop.GetStr(obj)));
        case tkChar:
        case tkWChar:
            return Variant::AnsiStr(EscapeStoreText(std::to_string(prop.GetOrd(obj))));
        case tkEnumeration:
            return Variant::AnsiStr(GetEnumName(prop, prop.GetOrd(obj)));
        case tkClass: {
            TObject *held = prop.ReadObject ? prop.ReadObject(obj) : nullptr;
            if (auto *list = dynamic_cast<TStrings *>(held))
                return Variant::AnsiStr(EscapeStoreText(list->Text()));
            if (auto *component = dynamic_cast<TComponent *>(held))
                return Variant::AnsiStr(TWreg::ComponentPath(component));
            return Variant::Null();
        }
        default:
            return Variant::Null();
    }
}

void WriteValue(TStorage &storage, TTypeKind kind, const Variant &value) {
    if (value.IsClear()) {
        storage.Delete();
        return;
    }
    switch (kind) {
        case tkInteger:
            storage.WriteInteger(value.ToInt32());
            break;
        case tkFloat:
            storage.WriteFloat(value.ToDouble());
            break;
        case tkChar:
        case tkEnumeration:
        case tkString:
        case tkClass:
        case tkWChar:
        case tkLString:
        case tkWString:
        case tkVariant:
            storage.WriteText(value.ToString());
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------- custom property registry

struct TCustomPropRegistry {
    std::mutex mutex;
    bool initialised = false;
    std::vector<std::unique_ptr<TWregCustomProp>> handlers;

    void EnsureDefaults() {
        if (initialised) return;
        initialised = true;
        handlers.insert(handlers.begin(),
                        std::make_unique<TWregComboBoxProp>("ItemIndex", tkInteger));
    }
};

TCustomPropRegistry &CustomProps() {
    static TCustomPropRegistry registry;
    return registry;
}

void RunCustomProps(TStorage &storage, TObject *instance, const std::string &starName, bool save) {
    const std::string name = starName.substr(1);
    TCustomPropRegistry &registry = CustomProps();
    std::lock_guard lock(registry.mutex);
    registry.EnsureDefaults();
    const Variant loaded = save ? Variant() : Variant::AnsiStr(storage.ReadText());
    for (const auto &handler : registry.handlers) {
        if (AnsiLowerCase(name) != handler->Name()) continue;
        if (save) {
            Variant value;
            if (handler->GetValue(instance, name, value) && !value.IsClear())
                storage.WriteText(value.ToString());
        } else {
            handler->SetValue(instance, name, loaded);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- globals

void SetWregRegistryFactory(std::function<std::unique_ptr<IWregRegistry>()> factory) {
    std::lock_guard lock(globalsMutex);
    registryFactory = factory ? std::move(factory) : MakePlatformWregRegistry;
}

void SetWregApplication(TComponent *applicationObject, TComponent *mainFormObject) {
    std::lock_guard lock(globalsMutex);
    application = applicationObject;
    mainForm = mainFormObject;
}

// ---------------------------------------------------------------- proxies

const TClassInfo &TProxyCodeCustomObject::StaticClassInfo() {
    static const TClassInfo info("TProxyCodeCustomObject", &TComponent::StaticClassInfo(), {});
    return info;
}
const TClassInfo &TProxyCodeCustomObject::ClassInfo() const {
    return StaticClassInfo();
}

// ---------------------------------------------------------------- TWreg

const TClassInfo &TWreg::StaticClassInfo() {
    static const std::vector<std::string> roots = {"rrHKEY_CLASSES_ROOT",   "rrHKEY_CURRENT_USER",
                                                   "rrHKEY_LOCAL_MACHINE",  "rrHKEY_USERS",
                                                   "rrHKEY_CURRENT_CONFIG", "rrNone"};
    static const TClassInfo info =
        TClassBuilder<TWreg>("TWreg", &TComponent::StaticClassInfo())
            .Enumeration("RegistryRoot", roots, &TWreg::RegistryRoot, &TWreg::SetRegistryRoot)
            .Enumeration("SecondRegistryRoot", roots, &TWreg::SecondRegistryRoot,
                         &TWreg::SetSecondRegistryRoot)
            .String("RegistryPath", &TWreg::registryPath_)
            .String("INIFile", &TWreg::iniFile_)
            .String("INIFileSectionPrefix", &TWreg::iniFileSectionPrefix_)
            .Object("Components", [](TWreg &w) -> TObject * { return &w.components_; })
            .Build();
    return info;
}
const TClassInfo &TWreg::ClassInfo() const {
    return StaticClassInfo();
}

TWreg::TWreg(TComponent *owner) : TComponent(owner) {}
TWreg::~TWreg() = default;

std::string TWreg::IniLockName(const std::string &fullPath) {
    std::string name = AsciiLowerCase(fullPath);
    for (char &c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) c = '_';
    return name;
}

bool TWreg::Load(TComponent *root) {
    return Process(root, false);
}

bool TWreg::Save(TComponent *root) {
    return Process(root, true);
}

bool TWreg::Process(TComponent *root, bool save) {
    std::unique_ptr<platform::TNamedLockGuard> lock;
    std::unique_ptr<TBigIniFile> ini;
    std::unique_ptr<IWregRegistry> registry;
    std::unique_ptr<TStorage> storage;

    if (!iniFile_.empty() && (save || platform::FileExists(iniFile_))) {
        const std::string fullPath = platform::FullPathName(iniFile_);
        // The whole read-modify-write cycle runs under the lock; the file object is released
        // (written) before the lock is.
        lock = std::make_unique<platform::TNamedLockGuard>(IniLockName(fullPath));
        // Without the lock another writer could interleave its cycle with this one and one of
        // the two would lose its changes: the request fails instead.
        if (!lock->Locked()) {
            const int error = lock->Error();
            throw EIniFileException(
                "Cannot lock file \"" + iniFile_ + "\": " + platform::SystemErrorText(error),
                error);
        }
        ini = std::make_unique<TBigIniFile>(iniFile_);
        storage = std::make_unique<TIniStorage>(*ini, iniFileSectionPrefix_);
    } else {
        {
            std::lock_guard guard(globalsMutex);
            if (registryFactory) registry = registryFactory();
        }
        if (!registry || registryRoot_ == rrNone) return false;
        TRegistryRoot chosen = registryRoot_;
        bool opened = registry->OpenKey(chosen, registryPath_, save);
        registry->CloseKey();
        if (!opened && secondRegistryRoot_ != rrNone) {
            chosen = secondRegistryRoot_;
            opened = registry->OpenKey(chosen, registryPath_, save);
            registry->CloseKey();
        }
        if (!opened) return false;
        storage = std::make_unique<TRegistryStorage>(*registry, chosen, registryPath_);
    }

    for (int index = 0; index < components_.Count(); ++index) {
        try {
            TMappingLine line;
            if (!ParseMappingLine(components_[index], line)) continue;
            if (!storage->Locate(line.sectionPath, line.key, save)) continue;
            const TResolved r = Resolve(line.propertyPath, root);
            bool isVirtual = r.object == nullptr;
            bool isRequireProcessing = r.object != nullptr;
            TTypeKind itemType = r.kind;
            if (BeforeProcessItem)
                BeforeProcessItem(this, r.name, index, isRequireProcessing, isVirtual, itemType);
            if (!isRequireProcessing) continue;
            if (itemType != tkUnknown) {
                if (!IsStoredKind(itemType)) continue;
                if (!save) {
                    if (!storage->Exists()) continue;
                    try {
                        Variant value = ReadValue(*storage, itemType);
                        if (!isVirtual) {
                            if (r.prop && r.object && r.kind == itemType) AssignValue(r, value);
                        } else if (SetValue) {
                            if (value.IsText())
                                value = Variant::AnsiStr(UnescapeStoreText(value.ToString()));
                            SetValue(this, r.name, index, value);
                        }
                    } catch (...) {
                        if (storage->DeletesOnError()) {
                            try {
                                storage->Delete();
                            } catch (...) {
                            }
                        }
                    }
                } else {
                    Variant value;
                    if (isVirtual) {
                        if (GetValue) GetValue(this, r.name, index, value);
                        if (value.IsText())
                            value = Variant::AnsiStr(EscapeStoreText(value.ToString()));
                    } else if (r.prop && r.object && r.kind == itemType) {
                        value = TakeValue(r);
                    }
                    try {
                        WriteValue(*storage, itemType, value);
                    } catch (...) {
                        if (storage->DeletesOnError()) {
                            try {
                                storage->Delete();
                            } catch (...) {
                            }
                        }
                    }
                }
            } else if (r.object && !r.name.empty() && r.name.front() == '*') {
                RunCustomProps(*storage, r.object, r.name, save);
            }
        } catch (...) {
            // A line that fails is skipped; the others still run.
        }
    }

    storage.reset();
    // A file that cannot be written keeps its old content and the error reaches the caller.
    if (ini) ini->UpdateFile();
    return true;
}

// ---------------------------------------------------------------- object references

std::string TWreg::ComponentPath(const TComponent *component) {
    if (!component) return {};
    TComponent *app = Application();
    const TComponent *owner = component->Owner();
    if (owner) {
        if (owner == app) return "Application." + component->Name();
        return ComponentPath(owner) + "." + component->Name();
    }
    if (component == app) return "Application";
    return component->Name();
}

TComponent *TWreg::FindComponentByPath(std::string_view path, TComponent *root) {
    TComponent *app = Application();
    auto follow = [](TComponent *from, std::string_view rest) -> TComponent * {
        TComponent *current = from;
        for (const std::string &name : Split(rest, '.')) {
            if (!current) return nullptr;
            current = current->FindComponent(name);
        }
        return current;
    };
    TComponent *found = nullptr;
    const std::size_t dot = path.find('.');
    if (dot != std::string_view::npos && AsciiUpperCase(path.substr(0, dot)) == "APPLICATION")
        found = follow(app, path.substr(dot + 1));
    else
        found = follow(root, path);
    if (!found && root != app && app) return FindComponentByPath(path, app);
    return found;
}

// ---------------------------------------------------------------- custom property handlers

TWregCustomProp::TWregCustomProp(std::string_view name, TTypeKind kind)
    : name_(AnsiLowerCase(name)), kind_(kind) {}

bool TWregCustomProp::GetValue(TObject *, const std::string &, Variant &) {
    return false;
}

void TWregCustomProp::SetValue(TObject *, const std::string &, const Variant &) {}

namespace {
bool IsComboBox(TObject *instance) {
    if (!instance) return false;
    if (!instance->InheritsFrom("TCustomComboBox") && !instance->InheritsFrom("TComboBox"))
        return false;
    const TPropInfo *prop = GetPropInfo(*instance, "ItemIndex");
    return prop && prop->Kind == tkInteger;
}
}  // namespace

bool TWregComboBoxProp::GetValue(TObject *Instance, const std::string &, Variant &Value) {
    if (!IsComboBox(Instance)) return false;
    Value = Variant(static_cast<std::int32_t>(GetOrdProp(*Instance, "ItemIndex")));
    return true;
}

void TWregComboBoxProp::SetValue(TObject *Instance, const std::string &, const Variant &Value) {
    if (Value.IsClear() || !IsComboBox(Instance)) return;
    const std::string text = Value.ToString();
    if (text.empty()) return;
    std::int32_t index = -2;
    if (!TryIniTextToInt(text, index)) index = -2;
    if (index != -2) SetOrdProp(*Instance, "ItemIndex", index);
}

void RegisterCustomProp(std::string_view name, TTypeKind kind,
                        const TWregCustomPropFactory &factory) {
    TCustomPropRegistry &registry = CustomProps();
    std::lock_guard lock(registry.mutex);
    registry.EnsureDefaults();
    registry.handlers.push_back(factory(name, kind));
}

void ClearCustomProps() {
    TCustomPropRegistry &registry = CustomProps();
    std::lock_guard lock(registry.mutex);
    registry.handlers.clear();
    registry.initialised = false;
}

}  // namespace brevor
