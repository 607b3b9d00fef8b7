#pragma once

// Everything the core needs from the operating system. Declarations only; each target has its
// own implementation folder (posix/, win32/).

#include <cstdint>
#include <string>
#include <string_view>

namespace brevor::platform {

// A loaded module (the host program or a library), 0 for none.
using ModuleHandle = std::uintptr_t;

// The handle of an already loaded module with that file name, or 0. Never loads anything.
ModuleHandle FindLoadedModule(std::string_view fileName);

// The address of the named export of a module, or null.
void *FindModuleFunction(ModuleHandle module, const char *name);

// Full path of this module's own file (the library the core is linked into), or empty.
std::string OwnModulePath();

// The module's version text, "major.minor.release build N", or empty when unknown.
std::string OwnModuleVersion();

}  // namespace brevor::platform
#include "platform/random.h"
