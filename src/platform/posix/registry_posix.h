#pragma once

// Where the POSIX registry keeps its roots (see platform/registry.h): for tools and tests that
// look at the files themselves.

#include <string>

#include "platform/registry.h"

namespace brevor::platform {

// The folder of a root, empty for a root without one.
std::string RegistryRootFolder(RegRoot root);

}  // namespace brevor::platform
