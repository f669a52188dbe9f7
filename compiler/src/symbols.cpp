#include "symbols.h"

#include <memory>
#include <set>

#include "intern.h"
#include "compiler/murntypes.h"

namespace murn {

int shader_scope_id = -1;

namespace {

std::unique_ptr<SymbolTable> variables, functions;
std::set<const char *> shader_parameters;   // interned names

} // namespace

SymbolTable &variable_table()
{
    if (!variables)
        variables.reset(new SymbolTable(5003));
    return *variables;
}

SymbolTable &function_table()
{
    if (!functions)
        functions.reset(new SymbolTable(5003));
    return *functions;
}

void reset_symbol_tables()
{
    variables.reset();
    functions.reset();
    shader_parameters.clear();
    shader_scope_id = -1;
}

Symbol *lookup_variable(const char *name)
{
    return static_cast<Symbol *>(variable_table().lookup(name));
}

FunctionSymbol *lookup_function(const char *name)
{
    return static_cast<FunctionSymbol *>(function_table().lookup(name));
}

void declare_global_variables()
{
    static const struct { const char *name; int type; } globals[] = {
        {"Ci", T_COLOR}, {"Oi", T_COLOR}, {"Cs", T_COLOR}, {"Os", T_COLOR},
        {"P", T_POINT}, {"dPdu", T_VECTOR}, {"dPdv", T_VECTOR}, {"N", T_NORMAL},
        {"Ng", T_NORMAL}, {"u", T_FLOAT}, {"v", T_FLOAT}, {"du", T_FLOAT},
        {"dv", T_FLOAT}, {"s", T_FLOAT}, {"t", T_FLOAT}, {"L", T_VECTOR},
        {"Cl", T_COLOR}, {"Ol", T_COLOR}, {"E", T_POINT}, {"I", T_VECTOR},
        {"ncomps", T_FLOAT}, {"time", T_FLOAT}, {"Ps", T_POINT}, {"alpha", T_FLOAT},
        {"dsdu", T_FLOAT}, {"dsdv", T_FLOAT}, {"dtime", T_FLOAT}, {"dPdtime", T_VECTOR},
    };
    static const struct { const char *name; int type; const char *target; } aliases[] = {
        {"__sdu", T_FLOAT, "du"}, {"__sdv", T_FLOAT, "dv"}, {"Pl", T_POINT, "P"},
    };
    SymbolTable &table = variable_table();
    for (const auto &g : globals)
        table.insert(new Symbol(intern_string(g.name), S_GLOBAL, g.type), true);
    for (const auto &a : aliases) {
        Symbol *s = new Symbol(intern_string(a.name), S_GLOBAL, a.type);
        s->alias = lookup_variable(intern_string(a.target));
        table.insert(s, true);
    }
}

void note_shader_parameter(const char *name)
{
    shader_parameters.insert(intern_string(name));
}

bool hidden_by_shader_parameter(const Symbol *symbol)
{
    while (symbol->alias)
        symbol = symbol->alias;
    return symbol->storage == S_GLOBAL && symbol->scope() == 0 &&
           shader_parameters.count(intern_string(symbol->name)) > 0;
}

const char *symbol_output_name(const Symbol *symbol)
{
    while (symbol->alias)
        symbol = symbol->alias;
    int scope = symbol->scope();
    if (!symbol->scoped_name && (scope == 0 || scope == shader_scope_id))
        return symbol->name;
    return intern_format("_%d$%s", scope, symbol->name);
}

} // namespace murn
