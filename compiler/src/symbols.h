// The compiler's variable and function tables (scoped symbol tables) and the
// records they hold.
#pragma once
#include "ri_common/symtab.h"

namespace murn {

class DeclarationNode;
class FunctionDefNode;
struct BuiltinRow;
struct ShadeopRow;

// Where a variable lives.
enum Storage { S_GLOBAL = 0, S_PARAMETER = 1, S_LOCAL = 2 };
// Detail written in a declaration.
enum Detail { D_NONE = 0, D_UNIFORM = 2, D_VARYING = 3 };

// A variable: a shader global, a parameter (of a shader or function) or a local.
struct Symbol : SymbolEntry {
    Symbol(const char *name, int storage, int type, int detail = D_NONE)
        : SymbolEntry(name), storage(storage), type(type), detail(detail) {}
    int storage;
    int type;
    int detail;
    int written_detail = D_NONE;    // as the declaration wrote it
    bool holds_varying = false;     // a varying value was assigned to it
    int output = 0;                 // an output parameter
    int arraylen = 0;               // 0: not an array
    DeclarationNode *decl = nullptr;
    Symbol *alias = nullptr;        // the symbol this one stands for
    bool is_extern = false;
    bool scoped_name = false;       // its output name carries its scope id
    bool in_use = false;
    bool declared = false;          // its declaration line is written
};

// A function: a built-in (row), a user function (definition) or a shadeop.
struct FunctionSymbol : SymbolEntry {
    FunctionSymbol(const char *name, int return_type)
        : SymbolEntry(name), return_type(return_type) {}
    int return_type;
    FunctionDefNode *def = nullptr;        // user functions
    const BuiltinRow *builtin = nullptr;   // built-ins: their check
    virtual bool is_shadeop() const { return false; }
};

// A function found in a shadeop library.
struct ShadeopFunctionSymbol : FunctionSymbol {
    ShadeopFunctionSymbol(const char *name, const char *library, const ShadeopRow *table)
        : FunctionSymbol(name, 0), library(library), table(table) {}
    bool is_shadeop() const override { return true; }
    const char *library;      // the library's file name (interned)
    const ShadeopRow *table;  // its "NAME_shadeops" rows
};

// The two tables; made on first use, freed by reset_symbol_tables.
SymbolTable &variable_table();
SymbolTable &function_table();
void reset_symbol_tables();

// The visible variable or function of a name, or null.
Symbol *lookup_variable(const char *name);
FunctionSymbol *lookup_function(const char *name);

// Enters the predeclared shader variables and their aliases into the outermost scope.
void declare_global_variables();

// The variable scope id of the shader's own scope (-1 before one is opened).
extern int shader_scope_id;

// Notes the name of a parameter of the shader itself: in the compiled file
// that name means the parameter, so a global of that name cannot be named.
void note_shader_parameter(const char *name);
// A global (aliases followed) whose name a shader parameter has taken.
bool hidden_by_shader_parameter(const Symbol *symbol);

// The name a variable has in the compiled shader: aliases followed; names of
// the outermost and the shader's scope kept, others "_<scope>$<name>".
const char *symbol_output_name(const Symbol *symbol);

} // namespace murn
