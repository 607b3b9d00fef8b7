// Start-up and shut-down of the module library itself. Linked into brevor.so only: the
// registry exists from the library's load to its unload, and the module class is registered
// before any export can run.

#include "engine/a_plugin.h"
#include "framework/instance_registry.h"
#ifdef BREVOR_HAVE_GTK
#include "ui/gtk/gtk_backend.h"
#endif

namespace {

struct TLibraryLifetime {
    TLibraryLifetime() {
        brevor::InitializeLibrary();
        brevor::RegisterModuleClass(&brevor::CreateTaPlugin);
#ifdef BREVOR_HAVE_GTK
        // Costs nothing until a dialog is asked for; its thread stops before the unload.
        brevor::InstallGtkBackend();
#else
        // No renderer in this build (Windows until its native one exists): no options dialog.
        brevor::SetOptionsDialogOffered(false);
#endif
    }
    ~TLibraryLifetime() {
#ifdef BREVOR_HAVE_GTK
        brevor::ShutdownGtkBackend();
#endif
        brevor::FinalizeLibrary();
    }
};

const TLibraryLifetime g_libraryLifetime;

}  // namespace
