// The parser's interface and the state its grammar actions keep: the
// declaration being read, the function kinds being defined, the scopes and
// the shader definition that is the root of the tree.
#pragma once
#include <cstdio>

namespace murn {

class ParseNode;
class ShaderDefNode;

// The declaration being read.
struct DeclarationState {
    int type = 0;          // type code of the last type keyword
    int detail = 0;        // 3 varying, 2 uniform, 0 none written
    int output = 0;        // "output" written
    int is_extern = 0;     // "extern" written; cleared when the statement ends
};
extern DeclarationState decl_state;

// The shader definition, null until one is parsed.
extern ShaderDefNode *root;

// The return types of the functions whose definitions are being read.
void push_shader_kind(int type);
void pop_shader_kind();
// The innermost one, 0 outside function definitions.
int current_function_kind();

// Opens a scope in the variable and the function table; nesting deeper than
// the tables allow is reported and counted without opening one.
void open_scope();
void close_scope();

// Resets the parser state for a new compilation.
void reset_parser();

// Parses text read from in (the scanner is started on it).
int parse_stream(std::FILE *in);

} // namespace murn

// The generated parser: 0 on success, 1 after a syntax error, 2 after a
// stack overflow.
int yyparse();
// Prints "murn Error: \"%s\", line %d: %s\n" and sets the error flag.
void yyerror(const char *message);
