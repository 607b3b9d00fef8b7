#include "platform/paths.h"

namespace brevor::platform {

char PathSeparator() {
    return '/';
}

bool IsPathSeparator(char c) {
    return c == '/';
}

std::string DefaultFolder() {
    return "/your_folder";
}

}  // namespace brevor::platform
