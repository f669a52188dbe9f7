// Shadeop plug-ins: shading-language functions implemented by libraries on
// the shader search path. A library exports, per function name, a table
// "<name>_shadeops" of rows (declaration, init symbol, cleanup symbol) ended
// by a row with a null or empty declaration; the method named in the matching
// row's declaration is called as
//     int method(void *init_data, int argc, void **argv)
// with argv[0] the result's storage and argv[i] the address of argument i (a
// string argument: the address of a slot holding its text pointer). The init
// function, `void *init(void)`, runs once per binding; the cleanup function,
// `void cleanup(void *init_data)`, runs at program exit.
#pragma once
#include <cstdint>

#include "ri/symtab.h"

namespace velk { struct DynLib; }

// One row of a "<name>_shadeops" table.
struct ShadeopRow {
    const char *declaration;
    const char *init;
    const char *cleanup;
};

typedef int (*ShadeopMethod)(void *init_data, int argc, void **argv);
typedef void *(*ShadeopInit)(void);
typedef void (*ShadeopCleanup)(void *init_data);

// A declaration bound to its library, cached by the declaration text.
struct ShadeopBinding : public SymbolEntry {
    explicit ShadeopBinding(const char *declaration);
    // Runs the cleanup function with the init data, when there is one.
    ~ShadeopBinding() override;

    const char *declaration;       // interned
    const char *function;          // interned
    velk::DynLib *dll = nullptr;   // never unloaded
    ShadeopMethod method = nullptr;
    ShadeopInit init = nullptr;
    ShadeopCleanup cleanup = nullptr;
    void *init_data = nullptr;
};

// The binding of a declaration: found in the cache, else made (and cached
// before the library is searched, so a failure is reported only once). Its
// method is null when the library, its table or the row is missing.
ShadeopBinding *find_shadeop(const char *function, const char *dll_name, const char *method,
                             const char *declaration);

// Bindings in the cache.
int shadeop_binding_count();
