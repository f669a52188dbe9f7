#include "parser.h"

#include <vector>

#include "compiler/lexer.h"
#include "compiler/messages.h"
#include "symbols.h"

namespace murn {

DeclarationState decl_state;
ShaderDefNode *root = nullptr;

namespace {

std::vector<int> kind_stack;
int unopened_scopes = 0;   // scopes refused because the nesting was too deep

} // namespace

void push_shader_kind(int type)
{
    kind_stack.push_back(type);
}

void pop_shader_kind()
{
    if (!kind_stack.empty())
        kind_stack.pop_back();
}

int current_function_kind()
{
    return kind_stack.empty() ? 0 : kind_stack.back();
}

void open_scope()
{
    SymbolTable &variables = variable_table();
    if (unopened_scopes > 0 || variables.scope_depth() + 1 >= SymbolTable::MAX_SCOPES) {
        if (unopened_scopes++ == 0)
            report_error_at("scopes nested too deeply", current_file, current_line, nullptr);
        return;
    }
    variables.push_scope();
    function_table().push_scope();
}

void close_scope()
{
    if (unopened_scopes > 0) {
        unopened_scopes--;
        return;
    }
    variable_table().pop_scope(0);
    function_table().pop_scope(0);
}

void reset_parser()
{
    decl_state = DeclarationState();
    root = nullptr;
    kind_stack.clear();
    unopened_scopes = 0;
}

int parse_stream(std::FILE *in)
{
    scanner_start(in);
    int result;
    try {
        result = yyparse();
    } catch (const ScannerFailure &failure) {
        report_error_at("cannot read the source:", current_file, current_line, failure.message);
        result = 1;
    }
    scanner_finish();
    return result;
}

} // namespace murn
