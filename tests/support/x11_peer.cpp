#include "tests/support/x11_peer.h"

#include <string>

namespace velktest {

::Window find_window(Display *d, const char *title)
{
    ::Window root_return, parent, *children = nullptr, found = 0;
    unsigned n = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root_return, &parent, &children, &n)) return 0;
    for (unsigned i = 0; i < n && !found; ++i) {
        char *name = nullptr;
        if (XFetchName(d, children[i], &name) && name) {
            if (std::string(name) == title) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

void press_key(Display *d, ::Window w, KeySym sym, unsigned state)
{
    XEvent e = {};
    e.xkey.type = KeyPress;
    e.xkey.display = d;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(d);
    e.xkey.subwindow = None;
    e.xkey.time = CurrentTime;
    e.xkey.x = e.xkey.y = 1;
    e.xkey.state = state;
    e.xkey.keycode = XKeysymToKeycode(d, sym);
    e.xkey.same_screen = True;
    XSendEvent(d, w, True, KeyPressMask, &e);
    XSync(d, False);
}

} // namespace velktest
