// Run-time loading of shared libraries: plug-ins (procedurals, shadeops,
// native shaders, display drivers, the noise library).
#pragma once

namespace velk {

// An open library; opaque.
struct DynLib;

// Loads the library at path (resolving all its symbols now); null on failure,
// with the reason in dynlib_last_error().
DynLib *dynlib_open(const char *path);
// The address of an exported symbol, or null when absent (reason kept as above).
void *dynlib_symbol(DynLib *lib, const char *name);
// Unloads a library; null is ignored.
void dynlib_close(DynLib *lib);
// The system's description of the last failed open or symbol lookup ("" when
// none failed yet).
const char *dynlib_last_error();

// A symbol as a function pointer of the caller's type.
template <class Fn>
Fn dynlib_function(DynLib *lib, const char *name)
{
    return reinterpret_cast<Fn>(dynlib_symbol(lib, name));
}

} // namespace velk
