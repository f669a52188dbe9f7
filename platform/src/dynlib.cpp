#include "platform/dynlib.h"

#include <dlfcn.h>
#include <string>

namespace velk {

namespace {

std::string &last_error()
{
    static std::string text;
    return text;
}

void keep_error(const char *fallback)
{
    const char *e = dlerror();
    last_error() = e ? e : fallback;
}

} // namespace

DynLib *dynlib_open(const char *path)
{
    if (!path) {
        last_error() = "no library name";
        return nullptr;
    }
    dlerror();
    void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) keep_error("cannot load library");
    return static_cast<DynLib *>(h);
}

void *dynlib_symbol(DynLib *lib, const char *name)
{
    if (!lib || !name) return nullptr;
    dlerror();
    void *p = dlsym(static_cast<void *>(lib), name);
    if (!p) keep_error("symbol not found");
    return p;
}

void dynlib_close(DynLib *lib)
{
    if (lib) dlclose(static_cast<void *>(lib));
}

const char *dynlib_last_error()
{
    return last_error().c_str();
}

} // namespace velk
