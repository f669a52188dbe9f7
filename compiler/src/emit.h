// Shared pieces of code generation: names of variables and ops, and the
// context of loops and expanded function bodies.
#pragma once
#include <string>
#include <vector>

#include "compiler/murntypes.h"

namespace murn {

class ParseNode;
struct Symbol;
class VariableNode;

// The output name of a variable node's symbol.
const char *variable_name(const VariableNode *v);
// An op name: stem followed by type letters (interned).
const char *op_name(const char *stem, char letter);
const char *op_name(const char *stem, char letter1, char letter2);
// Upper-case of a letter.
char upper(char c);

// Emits "push%c"/"apush%c" of a variable node (index first when it has one).
void emit_push_variable(ParseNode *node, const VariableNode *v);
// Pops the value on the stack into a dummy local of its type.
void emit_pop_dummy(ParseNode *node, int type);
// Pops a value into a variable ("pop%c" naming it).
void emit_pop_symbol(ParseNode *node, const Symbol *symbol);

// Break/continue targets of the loops being emitted, innermost last.
// held: the types of the values the loop keeps on the stack while it runs
// (an illuminance loop's arguments), which leaving it early must drop.
void push_loop(int continue_label, int exit_label, const std::vector<int> &held = {});
void pop_loop();
// Hides the caller's loops while an expanded function body is emitted.
void save_loops();
void restore_loops();

// The expanded function body being emitted: its end label, last statement and type.
struct InlineBody {
    int end_label;
    const ParseNode *last;
    int type;
};
void push_inline_body(const InlineBody &body);
void pop_inline_body();
const InlineBody *current_inline_body();
// Expansions open now (calls inside calls).
int inline_depth();

// Clears the emission context for a new compilation.
void reset_emission();

} // namespace murn
