// The op table: the rows of opnames.h, with handlers attached by name by the
// operation modules. Opcodes whose module is not there yet get a handler that
// reports the operation and ends the run.
#include <cstring>

#include "ri/rierror.h"
#include "shading/interp.h"
#include "shading/opmodules.h"

OpHandler op_handlers[shading::MAX_OPCODE + 1];

namespace {

bool op_table_built = false;
bool unavailable_reported[shading::MAX_OPCODE + 1];

void op_unavailable(ExecFrame *f, ShaderVars *)
{
    int opcode = static_cast<int>(*f->pc);
    if (!unavailable_reported[opcode]) {
        unavailable_reported[opcode] = true;
        const shading::OpName *n = shading::first_op_name(opcode);
        ri_error(RIE_UNIMPLEMENT, RIE_ERROR, "Shader operation \"%s\" is not available",
                 n ? n->name : "?");
    }
    f->done = 1;
}

void install_op_modules()
{
    install_control_ops();
    install_stack_ops();
    install_arith_ops();
    install_compare_ops();
    install_var_ops();
    install_math_ops();
    install_geometry_ops();
    install_color_ops();
    install_spline_ops();
    install_filterstep_ops();
    install_deriv_ops();
    install_noise_ops();
    install_string_ops();
    install_query_ops();
    install_transform_ops();
    install_shadeop_ops();
    install_message_ops();
    install_light_ops();
    install_trace_ops();
    install_texture_ops();
    install_matrix_ops();
    install_time_ops();
}

} // namespace

void set_op_handler(const char *name, OpHandler handler)
{
    const shading::OpName *op = shading::find_op_name(name);
    if (op) op_handlers[op->opcode] = handler;
    else ri_error(RIE_BUG, RIE_SEVERE, "No shader operation \"%s\" to attach a handler to", name);
}

int build_op_table()
{
    if (!op_table_built) {
        op_table_built = true;
        std::memset(op_handlers, 0, sizeof op_handlers);
        int n = 0;
        const shading::OpName *names = shading::op_names(&n);
        for (int i = 0; i < n; ++i) op_handlers[names[i].opcode] = op_unavailable;
        install_op_modules();
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
    return opcode > 0 && opcode <= shading::MAX_OPCODE && op_handlers[opcode] &&
           op_handlers[opcode] != op_unavailable;
}
