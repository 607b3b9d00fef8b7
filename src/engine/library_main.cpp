// Start-up and shut-down of the module library itself. Linked into brevor.so only: the
// registry exists from the library's load to its unload, and the module class is registered
// before any export can run.

#include "engine/a_plugin.h"
#include "framework/instance_registry.h"
#ifdef BREVOR_HAVE_GTK
#include "ui/gtk/gtk_backend.h"
#endif
#ifdef BREVOR_HAVE_WIN32_UI
#include "ui/win32/win32_backend.h"
#endif

namespace {

struct TLibraryLifetime {
    TLibraryLifetime() {
        brevor::InitializeLibrary();
        brevor::RegisterModuleClass(&brevor::CreateTaPlugin);
#ifdef BREVOR_HAVE_GTK
        // Costs nothing until a dialog is asked for; its thread stops before the unload.
        brevor::InstallGtkBackend();
#elif defined(BREVOR_HAVE_WIN32_UI)
        // Costs nothing until a dialog is asked for; its thread ends with the last dialog.
        brevor::InstallWin32Backend();
#else
        // No renderer in this build: no options dialog.
        brevor::SetOptionsDialogOffered(false);
#endif
    }
    ~TLibraryLifetime() {
#ifdef BREVOR_HAVE_GTK
        brevor::ShutdownGtkBackend();
#elif defined(BREVOR_HAVE_WIN32_UI)
        brevor::ShutdownWin32Backend();
#endif
        brevor::FinalizeLibrary();
    }
};

const TLibraryLifetime g_libraryLifetime;

}  // namespace
