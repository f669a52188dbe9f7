// Shadeop plug-ins: shading-language functions implemented by libraries on
// the shader search path, bound once per declaration (the library's table
// and calling convention are in shadeop_table.h).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "ri_common/symtab.h"
#include "shading/shadeop_table.h"

namespace velk { struct DynLib; }

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
    std::string file;                       // the library loaded, if any
    std::atomic<unsigned> remembered{0};    // inputs generation it was last remembered in
};

// The binding of a declaration: found in the cache, else made (and cached
// before the library is searched, so a failure is reported only once). Its
// method is null when the library, its table or the row is missing.
ShadeopBinding *find_shadeop(const char *function, const char *dll_name, const char *method,
                             const char *declaration);
