#include "platform/paths.h"

#include <filesystem>
#include <system_error>

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

std::string FullPathName(const std::string &path) {
    std::error_code ec;
    std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    return ec ? path : full;
}

}  // namespace brevor::platform
