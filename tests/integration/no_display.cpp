#include <cstdlib>

namespace {

// These tests drive the module without a user: a dialog must never open on a developer's
// screen and wait for a click. Without a display the module reports that nothing changed.
[[maybe_unused]] const bool kNoDisplay = [] {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    return true;
}();

}  // namespace
