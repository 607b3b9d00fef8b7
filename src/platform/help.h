#pragma once

// Help for the module's dialogs: a folder of HTML pages beside the module file, one page per
// help context ("<context>.html"), and "index.html" for contexts without a page of their own.

#include <cstdint>
#include <string>

namespace brevor::platform {

// The help location that belongs to a module file: the module's path with its extension
// replaced by ".help" ("/opt/host/brevor.so" gives "/opt/host/brevor.help"). Empty for an
// empty path.
std::string HelpLocationFor(const std::string &modulePath);

// The page of a help context in a help location: "<location>/<context>.html" when that page
// exists, else "<location>/index.html" when that exists, else empty.
std::string HelpPagePath(const std::string &helpLocation, std::int32_t context);

// Shows the page of a help context (HelpPagePath) with the desktop's viewer and returns without
// waiting for it. The viewer is xdg-open, or the program named by the environment variable
// BREVOR_HELP_OPENER. False when there is no page, no viewer program, or it could not be
// started.
bool OpenHelpPage(const std::string &helpLocation, std::int32_t context);

}  // namespace brevor::platform
