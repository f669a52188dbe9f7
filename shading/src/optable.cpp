// The op table: the handlers of the operation modules' tables by opcode.
#include <cstring>

#include "shading/interp.h"
#include "shading/opmodules.h"

OpHandler op_handlers[shading::MAX_OPCODE + 1];

namespace shading {

// Only a failed binding check reaches these, and it does not compile.
void no_such_shading_operation() {}
void shading_operation_of_another_module() {}
void shading_operation_bound_twice() {}
void shading_operation_without_handler() {}

} // namespace shading

namespace {

bool op_table_built = false;

// Indexed by OpModule.
const OpBindings *const OP_MODULES[] = {
    &CONTROL_OPS, &STACK_OPS, &ARITH_OPS, &COMPARE_OPS, &VAR_OPS, &MATH_OPS,
    &GEOMETRY_OPS, &COLOR_OPS, &SPLINE_OPS, &FILTERSTEP_OPS, &DERIV_OPS, &NOISE_OPS,
    &STRING_OPS, &QUERY_OPS, &TRANSFORM_OPS, &SHADEOP_OPS, &MESSAGE_OPS, &LIGHT_OPS,
    &TRACE_OPS, &TEXTURE_OPS, &MATRIX_OPS, &TIME_OPS,
};
static_assert(sizeof(OP_MODULES) / sizeof(OP_MODULES[0]) == size_t(shading::OpModule::Count),
              "one table per operation module");

} // namespace

int build_op_table()
{
    if (!op_table_built) {
        op_table_built = true;
        std::memset(op_handlers, 0, sizeof op_handlers);
        for (const OpBindings *module : OP_MODULES)
            for (int i = 0; i < module->count; ++i)
                op_handlers[module->rows[i].opcode] = module->rows[i].handler;
    }
    return shading::OP_NAME_COUNT;
}

const OpInfo *find_op(const char *name)
{
    const shading::OpName *n = shading::find_op_name(name);
    if (n) build_op_table();
    return n;
}

bool op_available(int opcode)
{
    build_op_table();
    return opcode > 0 && opcode <= shading::MAX_OPCODE && op_handlers[opcode];
}
