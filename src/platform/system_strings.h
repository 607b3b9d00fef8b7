#pragma once

// What dialogs take from the system itself: the system's own button captions, the
// application's title, which dialog layout the system uses, and visual-style colours.

#include <cstdint>
#include <string>
#include <string_view>

namespace brevor::platform {

// True when the system's string resources (the library that holds the standard button
// captions) are loaded in this process. Never loads anything. Always false on POSIX.
bool SystemStringsAvailable();

// A string resource of the system's user-interface library, read with a buffer of 1024
// characters; empty when it does not exist or cannot be read.
std::string LoadSystemString(std::uint32_t id);

// The title of the application that hosts the module (the program's name where there is no
// title), or empty.
std::string ApplicationTitle();

// True where the system lays dialogs out in its newer style (Windows 6.0 and later): wider
// margins, buttons aligned right on a band at the bottom. POSIX has no system style of its
// own, so the renderers there follow the newer one and this is true.
bool ModernDialogLayout();

// The visual style's colour for a system colour index (the low 24 bits of a system colour)
// taken from the theme data of a class ("Window", "Button"); false when visual styles are not
// active, which is always the case on POSIX.
bool ThemedSystemColor(std::string_view themeClass, std::uint32_t index, std::uint32_t &color);

}  // namespace brevor::platform
