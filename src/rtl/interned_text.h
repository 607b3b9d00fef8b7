#pragma once

#include <string_view>

namespace brevor {

// A zero-terminated copy of text that lives until the library is unloaded. Equal texts share
// one copy, so repeated calls cost no memory.
const char *InternText(std::string_view text);

}  // namespace brevor
