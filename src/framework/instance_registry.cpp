#include "framework/instance_registry.h"

#include "messages/translator.h"
#include "platform/platform.h"

#include <memory>
#include <utility>

namespace brevor {

namespace {

TqelPlugin *CreateBasePlugin(const TPluginCallRec *rec) {
    return new TqelPlugin(rec);
}

std::atomic<TInstanceRegistry *> g_registry{nullptr};
std::atomic<TPluginClass> g_moduleClass{nullptr};

// Holds one side of the registry lock for a scope; the exclusive side may be taken on top.
class TRegistryReadHold {
public:
    explicit TRegistryReadHold(TThreadObjectList<TqelPlugin> &l) : l_(l), list_(l.LockListRead()) {}
    ~TRegistryReadHold() { l_.UnlockListRead(); }
    TObjectList<TqelPlugin> *List() const { return list_; }

private:
    TThreadObjectList<TqelPlugin> &l_;
    TObjectList<TqelPlugin> *list_;
};

class TRegistryWriteHold {
public:
    explicit TRegistryWriteHold(TThreadObjectList<TqelPlugin> &l) : l_(l), list_(l.LockList()) {}
    ~TRegistryWriteHold() { l_.UnlockList(); }
    TObjectList<TqelPlugin> *List() const { return list_; }

private:
    TThreadObjectList<TqelPlugin> &l_;
    TObjectList<TqelPlugin> *list_;
};

}  // namespace

TInstanceRef::TInstanceRef(TqelPlugin *plugin) : plugin_(plugin) {
    if (plugin_) plugin_->refs_.fetch_add(1, std::memory_order_relaxed);
}

TInstanceRef &TInstanceRef::operator=(TInstanceRef &&other) noexcept {
    if (this != &other) {
        Reset();
        plugin_ = std::exchange(other.plugin_, nullptr);
    }
    return *this;
}

void TInstanceRef::Reset() {
    if (plugin_) Release(std::exchange(plugin_, nullptr));
}

void TInstanceRef::Release(TqelPlugin *plugin) {
    if (plugin->refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        try {
            plugin->BeforeDestruction();
        } catch (...) {
            // The module class's destruction handler failed; the instance goes all the same.
        }
        try {
            delete plugin;
        } catch (...) {
            // A failing destructor must not take the host down; the instance is gone either way.
        }
    }
}

TInstanceRegistry::TInstanceRegistry() = default;

TInstanceRegistry::~TInstanceRegistry() {
    TRegistryWriteHold hold(list_);
    TObjectList<TqelPlugin> *list = hold.List();
    while (list->Count() > 0)
        Remove(list->Extract(0));
}

void TInstanceRegistry::Remove(TqelPlugin *plugin) {
    // Retired first: a call still inside an export keeps the object, but not its work, alive.
    try {
        plugin->Retire();
    } catch (const std::exception &) {
        // Released from the instance's own timer handler, which cannot stop its own timer; the
        // timer ends when the last reference destroys the instance.
    }
    TInstanceRef::Release(plugin);
}

int TInstanceRegistry::IndexOf(TObjectList<TqelPlugin> *list, std::int32_t id) {
    for (int i = 0; i < list->Count(); ++i) {
        if (list->Items(i)->InstanceId() == id) return i;
    }
    return -1;
}

int TInstanceRegistry::Count() {
    TRegistryReadHold hold(list_);
    return hold.List()->Count();
}

bool TInstanceRegistry::GetModuleInstance(const TPluginCallRec *rec, TInstanceRef &instance) {
    instance.Reset();
    if (rec == nullptr || rec->InstanceId == 0) return false;
    const std::int32_t id = rec->InstanceId;
    const bool release = rec->Release == BRV_RELEASE;

    TRegistryReadHold readHold(list_);
    TObjectList<TqelPlugin> *list = readHold.List();
    int index = IndexOf(list, id);
    if (index >= 0 && !release) {
        instance = TInstanceRef(list->Items(index));
        return true;
    }
    if (release) {
        if (index < 0) return false;
        // Promotion may let another writer go first, so the list is searched again.
        TRegistryWriteHold writeHold(list_);
        index = IndexOf(list, id);
        if (index >= 0) Remove(list->Extract(index));
        return false;
    }

    TRegistryWriteHold writeHold(list_);
    index = IndexOf(list, id);  // another thread may have created it meanwhile
    if (index < 0) {
        TPluginClass moduleClass = RegisteredModuleClass();
        TqelPlugin *created = nullptr;
        try {
            created = moduleClass ? moduleClass(rec) : nullptr;
        } catch (...) {
            created = nullptr;
        }
        if (created == nullptr) return false;
        created->instanceId_ = id;
        list->Add(created);
        index = list->Count() - 1;
    }
    instance = TInstanceRef(list->Items(index));
    return true;
}

void InitializeLibrary() {
    platform::PrepareMessagesChannel();
    RegisterStandardCustomTranslators();
    g_moduleClass.store(&CreateBasePlugin);
    TInstanceRegistry *fresh = new TInstanceRegistry();
    TInstanceRegistry *expected = nullptr;
    if (!g_registry.compare_exchange_strong(expected, fresh)) delete fresh;
}

void FinalizeLibrary() {
    delete g_registry.exchange(nullptr);
    FreeCustomTranslators();
}

void RegisterModuleClass(TPluginClass moduleClass) {
    g_moduleClass.store(moduleClass);
}

TPluginClass RegisteredModuleClass() {
    return g_moduleClass.load();
}

TInstanceRegistry *Registry() {
    return g_registry.load(std::memory_order_acquire);
}

bool IsValidCallRecord(const TPluginCallRec *rec) {
    return rec != nullptr && rec->Tag == BRV_CALL_TAG &&
           (rec->Params != nullptr || rec->Release == BRV_RELEASE);
}

bool GetModuleInstance(const TPluginCallRec *rec, TInstanceRef &instance) {
    instance.Reset();
    TInstanceRegistry *registry = Registry();
    if (registry == nullptr) return false;
    return registry->GetModuleInstance(rec, instance);
}

}  // namespace brevor
