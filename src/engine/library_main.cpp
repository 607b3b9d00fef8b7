// Start-up and shut-down of the module library itself. Linked into brevor.so only: the
// registry exists from the library's load to its unload, and the module class is registered
// before any export can run.

#include "engine/a_plugin.h"
#include "framework/instance_registry.h"

namespace {

struct TLibraryLifetime {
    TLibraryLifetime() {
        brevor::InitializeLibrary();
        brevor::RegisterModuleClass(&brevor::CreateTaPlugin);
    }
    ~TLibraryLifetime() { brevor::FinalizeLibrary(); }
};

const TLibraryLifetime g_libraryLifetime;

}  // namespace
