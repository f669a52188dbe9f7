// The shading interpreter's operations as data: every name a compiled shader
// may use, with its opcode, its operands and the global-variable bits it adds,
// in the order the interpreter registers them. The compiler emits only names
// found here, the loader reads operands and flags from the rows, and the
// interpreter's modules attach their handlers by name.
#pragma once
#include <cstdint>

namespace shading {

// The three registration groups, in registration order.
enum class OpGroup { Core, Geometry, Texture };

// One registered name. Names that share an opcode are one operation that the
// compiler reaches under several type letters.
struct OpName {
    const char *name;    // as written in compiled-shader files
    int opcode;          // 1 .. MAX_OPCODE
    int operands;        // operand words after the op: 0, 1 or 2 (dsoop: its count follows)
    OpGroup group;
    bool label = false;  // the one operand is a label (a jump or a light/illuminance block)
    uint32_t flags = 0;  // VarsUsed bits a shader using the op needs
};

inline constexpr int OP_NAME_COUNT = 358;  // names registered
inline constexpr int MAX_OPCODE = 286;     // highest opcode; handler tables hold MAX_OPCODE + 1

// All names in registration order (core, geometry, texture); count in *count when given.
const OpName *op_names(int *count = nullptr);
// The entry of a name, or null when the interpreter has no such operation.
const OpName *find_op_name(const char *name);
// The first name registered under an opcode, or null for an unused opcode.
const OpName *first_op_name(int opcode);

} // namespace shading
