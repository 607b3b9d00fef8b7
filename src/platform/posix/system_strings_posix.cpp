#include "platform/system_strings.h"

#include <cerrno>
#include <cstring>

namespace brevor::platform {

bool SystemStringsAvailable() {
    return false;
}

std::string LoadSystemString(std::uint32_t) {
    return {};
}

std::string ApplicationTitle() {
    // glibc keeps the program's base name for us.
    const char *name = program_invocation_short_name;
    return name ? std::string(name) : std::string();
}

bool ModernDialogLayout() {
    return true;
}

bool ThemedSystemColor(std::string_view, std::uint32_t, std::uint32_t &) {
    return false;
}

}  // namespace brevor::platform
