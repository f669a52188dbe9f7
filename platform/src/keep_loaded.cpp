// Sanitizer builds only: libraries stay loaded until the process ends.
//
// Some system libraries (the GL driver stack among them) leak a block and are
// unloaded before the leak report at exit, which then cannot say where the
// block came from, so no suppression can name it. Keeping every library mapped
// lets the report name its module, so the known system leaks can be
// suppressed by library name while leaks in our own code stay visible.
#include <dlfcn.h>

extern "C" int dlclose(void *handle)
{
    // A null or bad handle is still an error, as the real call says.
    return handle ? 0 : -1;
}
