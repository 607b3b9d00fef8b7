#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "host_module.h"

namespace brevor::testing {

// A file in a folder as the module names it in its log lines: joined with the system's
// separator ("/", or "\" on Windows).
inline std::string ModuleFilePath(const std::string &folder, const std::string &name) {
    return folder + static_cast<char>(std::filesystem::path::preferred_separator) + name;
}

// The module's file name, as the crash texts name its frames.
inline std::string ModuleFileName() {
    return std::filesystem::path(BREVOR_MODULE_PATH).filename().string();
}

// Loads the built module once for the whole test program; instance ids are unique per test.
class ModuleTest : public ::testing::Test {
protected:
    static brevor::host::TLoadedModule &Module() {
        static brevor::host::TLoadedModule module(BREVOR_MODULE_PATH);
        return module;
    }
    static const brevor::host::TModuleExports &Api() { return Module().Exports(); }

    // An instance id that no other test uses.
    static std::int32_t FreshId() {
        static std::int32_t next = 1000;
        return next++;
    }
};

}  // namespace brevor::testing
