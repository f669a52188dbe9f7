// A second client of a test's X server, to find the windows of a program
// under test and type into them as a user would.
#pragma once
#include <X11/Xlib.h>

namespace velktest {

// The top-level window named title, or 0.
::Window find_window(Display *d, const char *title);

// Sends a key press of sym (with the modifier state) to the window.
void press_key(Display *d, ::Window w, KeySym sym, unsigned state = 0);

} // namespace velktest
