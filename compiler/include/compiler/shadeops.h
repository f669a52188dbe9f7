// Shading-language functions from shadeop libraries: the libraries found on
// the shadeop search path export a table named "<function>_shadeops".
#pragma once
#include <string>
#include <vector>

namespace murn {

struct FunctionSymbol;

// One row of a "<function>_shadeops" table: the function's prototype text and
// the names of its init and cleanup functions. A null or empty declaration
// ends the table.
struct ShadeopRow {
    const char *declaration;
    const char *init;
    const char *cleanup;
};

// A row's declaration read as "type method(type, type, ...)".
struct ShadeopDeclaration {
    int return_type = 0;
    std::string method;
    std::vector<int> arg_types;
};

// "." then the directory of every -I option, separated by ';'.
extern std::string shadeop_path;

// Searches the directories of the shadeop path (files ending in ".so" or
// ".dll", in name order) for a library exporting "<name>_shadeops"; the first
// one found is entered in the function table. Null when none has it.
FunctionSymbol *find_shadeop_function(const char *name);

// Reads a declaration text; unknown type words print "Bug? type name ..." and
// count as type 0. False when the text is not a prototype.
bool parse_shadeop_declaration(const char *text, ShadeopDeclaration &out);

// Unloads the libraries and clears the path.
void reset_shadeops();

} // namespace murn
