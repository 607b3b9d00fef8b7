#pragma once

// Everything the core needs from the operating system. Declarations only; each target has its
// own implementation folder (posix/, win32/).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevor::platform {

// A loaded module (the host program or a library), 0 for none.
using ModuleHandle = std::uintptr_t;

// The handle of an already loaded module with that file name, or 0. Never loads anything.
ModuleHandle FindLoadedModule(std::string_view fileName);

// The address of the named export of a module, or null.
void *FindModuleFunction(ModuleHandle module, const char *name);

// Keeps a library in the process for the rest of its life, loading it when it is not loaded
// yet: a later unload of the modules that brought it in leaves it in place. False when it
// cannot be loaded.
bool PinLibrary(std::string_view fileName);

// Full path of this module's own file (the library the core is linked into), or empty.
std::string OwnModulePath();

// The screen rectangle of a window of the host; false when it cannot be read (on POSIX hosts
// have no window handles the module could query, so it is always false there).
bool GetWindowBounds(std::uintptr_t window, std::int32_t &left, std::int32_t &top,
                     std::int32_t &right, std::int32_t &bottom);

// Return addresses of the calling thread's stack, innermost first, skipping the first skip
// frames besides this function's own. At most 64 frames.
std::vector<void *> CaptureStackFrames(std::size_t skip);

// Where a return address lies: the file name of its module (without folder), the function's
// symbol as the module's symbols name it (not demangled), and the offset from the function's
// start, or from the module's start where no symbol table covers the address. A symbol found
// only by export name comes without an offset. known is false when no module holds the address.
struct TFrameDescription {
    bool known = false;
    std::string module;
    std::optional<std::string> symbol;
    std::optional<std::uintptr_t> offset;
};
TFrameDescription DescribeFrame(void *address);

// The module's version text, "major.minor.release build N", or empty when unknown.
std::string OwnModuleVersion();

}  // namespace brevor::platform
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/file_faults.h"
#include "platform/files.h"
#include "platform/help.h"
#include "platform/messages_channel.h"
#include "platform/named_lock.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/registry.h"
#include "platform/shared_alloc.h"
#include "platform/system_strings.h"
#include "platform/thread_queue.h"
