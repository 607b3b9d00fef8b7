#pragma once

// Reading the parameters of a call record, the framework's way: a parameter whose value is empty
// or Null is absent (nullopt); a present value that does not convert raises.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "brevor/abi.h"

namespace brevor {

std::optional<std::string> ParamText(const TPluginCallRec *rec, std::string_view name);
std::optional<bool> ParamBool(const TPluginCallRec *rec, std::string_view name);
std::optional<std::int32_t> ParamInt(const TPluginCallRec *rec, std::string_view name);
// Window and module handles: pointer-sized (all 64 bits on 64-bit targets).
std::optional<std::uintptr_t> ParamHandle(const TPluginCallRec *rec, std::string_view name);

}  // namespace brevor
