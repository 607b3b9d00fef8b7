#include "platform/help.h"

#include <gtest/gtest.h>

namespace brevor::platform {
namespace {

TEST(HelpLocation, IsTheModulePathWithTheHelpExtension) {
    const struct {
        const char *module;
        const char *location;
    } cases[] = {
        {"/opt/host/brevor.so", "/opt/host/brevor.help"},     {"brevor.so", "brevor.help"},
        {"/opt/v1.2/brevor", "/opt/v1.2/brevor.help"},  // a dot in a folder is no extension
        {"/opt/host/brevor.x.so", "/opt/host/brevor.x.help"}, {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HelpLocationFor(c.module), c.location) << c.module;
}

}  // namespace
}  // namespace brevor::platform
