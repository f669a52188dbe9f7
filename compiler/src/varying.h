// Which values vary over the shaded surface: the rule that a variable
// declared uniform holds one value for the whole grid.
#pragma once

namespace murn {

class ParseNode;
struct Symbol;

// True when the value certainly varies from point to point: a varying global
// or variable, a local that was given such a value, a derivative or lighting
// call, or anything computed from one. Unknown cases count as uniform, so a
// valid shader is never refused.
bool is_varying(const ParseNode *node);

// An assignment of value (at index, may be null) to symbol: a variable
// declared uniform refuses a varying value (reported at node); a local with
// no detail written remembers that it now holds one.
void check_uniform_assignment(const ParseNode *node, Symbol *symbol, const ParseNode *index,
                              const ParseNode *value);

} // namespace murn
