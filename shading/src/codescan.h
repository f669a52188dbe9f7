// A walk over compiled shader code for checks made once per shader: which
// operations it holds and what their operands name.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "shading_shaderfile/opnames.h"

namespace shading {

// Calls visit(opcode, row, operands, count) for each operation in order;
// the words of literal pushes and labels are data: they come with count 0.
// False when the code holds an unknown opcode, ends inside an operation,
// or visit answers false.
template <class Visit> bool walk_code(const std::vector<uint32_t> &code, Visit visit)
{
    static const int pushif_op = find_op_name("pushif")->opcode;
    static const int pushiv_op = find_op_name("pushiv")->opcode;
    for (size_t pc = 0; pc < code.size();) {
        const int opcode = int(code[pc]);
        const OpName *op = opcode >= 0 && opcode <= MAX_OPCODE ? first_op_name(opcode) : nullptr;
        if (!op) return false;
        pc++;
        if (opcode == pushif_op || opcode == pushiv_op || op->label) {
            if (!visit(opcode, op, nullptr, 0)) return false;
            pc += opcode == pushiv_op ? 3 : 1;
            continue;
        }
        if (pc + op->operands > code.size()) return false;
        if (!visit(opcode, op, &code[pc], op->operands)) return false;
        pc += op->operands;
    }
    return true;
}

// Whether an operation only reads what its operands name: pushes and
// arithmetic.
inline bool op_only_reads(const OpName *op)
{
    return op->module == OpModule::Arith || std::strncmp(op->name, "push", 4) == 0 ||
           std::strncmp(op->name, "apush", 5) == 0;
}

} // namespace shading
