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
// On Windows the compiled help beside the help folder ("<base>.chm" for "<base>.help") comes
// first: HTML Help shows the context's topic ("<base>.chm::/<context>.html", or the default
// topic when the compiled help has no page for it); the page of the folder opens in the program
// associated with HTML pages when there is no compiled help or HTML Help cannot show it.
// BREVOR_HELP_OPENER, when set, names the program started instead, with the topic or page as
// its one argument.
bool OpenHelpPage(const std::string &helpLocation, std::int32_t context);

}  // namespace brevor::platform
