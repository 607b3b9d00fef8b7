#pragma once

#include <atomic>
#include <cstdint>

#include "brevor/abi.h"
#include "framework/plugin.h"
#include "rtl/thread_containers.h"

namespace brevor {

// The class the registry instantiates for a new instance id.
using TPluginClass = TqelPlugin *(*)(const TPluginCallRec *rec);

// A counted use of a live instance. While an export holds one, a release call can remove the
// instance from the registry but cannot destroy it under the export's feet; the last holder
// destroys it.
class TInstanceRef {
public:
    TInstanceRef() = default;
    explicit TInstanceRef(TqelPlugin *plugin);  // takes a new reference
    ~TInstanceRef() { Reset(); }
    TInstanceRef(const TInstanceRef &) = delete;
    TInstanceRef &operator=(const TInstanceRef &) = delete;
    TInstanceRef(TInstanceRef &&other) noexcept : plugin_(other.plugin_) {
        other.plugin_ = nullptr;
    }
    TInstanceRef &operator=(TInstanceRef &&other) noexcept;

    void Reset();
    TqelPlugin *get() const { return plugin_; }
    TqelPlugin *operator->() const { return plugin_; }
    explicit operator bool() const { return plugin_ != nullptr; }

    // Drops one reference of plugin; destroys it when that was the last one.
    static void Release(TqelPlugin *plugin);

private:
    TqelPlugin *plugin_ = nullptr;
};

// The process-wide list of live module instances.
class TInstanceRegistry {
public:
    TInstanceRegistry();
    ~TInstanceRegistry();  // destroys every remaining instance in list order

    // Finds, creates or releases the instance named by rec.
    bool GetModuleInstance(const TPluginCallRec *rec, TInstanceRef &instance);

    // Calls fn(plugin) for every instance under the shared lock.
    template <typename Fn>
    void ForEach(Fn &&fn) {
        TObjectList<TqelPlugin> *list = list_.LockListRead();
        struct Unlock {
            TThreadObjectList<TqelPlugin> &l;
            ~Unlock() { l.UnlockListRead(); }
        } unlock{list_};
        for (int i = 0; i < list->Count(); ++i)
            fn(list->Items(i));
    }

    int Count();

private:
    static int IndexOf(TObjectList<TqelPlugin> *list, std::int32_t id);
    // Takes a removed instance out of service and drops the list's reference.
    static void Remove(TqelPlugin *plugin);
    TThreadObjectList<TqelPlugin> list_{false};
};

// Library lifetime: the registry exists from InitializeLibrary to FinalizeLibrary. Both are
// called by the module library's own start-up and shut-down code, before and after any export.
void InitializeLibrary();
void FinalizeLibrary();
void RegisterModuleClass(TPluginClass moduleClass);
TPluginClass RegisteredModuleClass();

// The registry, or null outside the library's lifetime.
TInstanceRegistry *Registry();

// The record is non-null, tagged 102, and carries parameters unless it releases its instance.
bool IsValidCallRecord(const TPluginCallRec *rec);

// Looks up the instance of rec in the process-wide registry; false without a registry.
bool GetModuleInstance(const TPluginCallRec *rec, TInstanceRef &instance);

}  // namespace brevor
