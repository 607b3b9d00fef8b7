#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "host_module.h"

namespace brevor::testing {

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
