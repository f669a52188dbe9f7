// The built-in functions of the shading language: one row each, with the check
// that validates a call's arguments and picks the op it compiles to, and, where
// a call is not simply its arguments followed by the op, its own emitter.
#pragma once

namespace murn {

class CallNode;

struct BuiltinRow {
    const char *name;
    int return_type;
    // Checks call.arg_types (context: the type the parent wants); may set
    // call.opcode; returns the call's type.
    int (*check)(CallNode &call, int context);
    // Emits the call; null: the arguments from the last to the first, then the op.
    void (*emit)(CallNode &call);
    bool needs_derivatives;
};

// Enters every row into the function table's outermost scope.
void declare_builtin_functions();

} // namespace murn
