// The handler tables of the interpreter's operation modules. A module binds
// each of its operations by a name of oprows.h; the table is checked when the
// module compiles, so a misspelt name, an operation of the module left without
// a handler or one bound twice stops the build. build_op_table (optable.cpp)
// copies the tables into op_handlers.
#pragma once
#include <cstddef>

#include "shading/interp.h"
#include "shading_shaderfile/oprows.h"

namespace shading {

// Not constexpr: a binding check that reaches one of these does not compile,
// and the compiler's message names the fault.
void no_such_shading_operation();
void shading_operation_of_another_module();
void shading_operation_bound_twice();
void shading_operation_without_handler();

constexpr bool same_op_name(const char *a, const char *b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

constexpr const OpName &op_row(const char *name)
{
    for (const OpName &op : OP_NAMES)
        if (same_op_name(op.name, name)) return op;
    no_such_shading_operation();
    return OP_NAMES[0];
}

} // namespace shading

// One handler; every name of the operation's opcode shares it.
struct OpBinding {
    constexpr OpBinding(const char *name, OpHandler h)
        : opcode(shading::op_row(name).opcode), module(shading::op_row(name).module), handler(h) {}
    int opcode;
    shading::OpModule module;
    OpHandler handler;
};

// A module's table as build_op_table reads it.
struct OpBindings {
    const OpBinding *rows;
    int count;
};

// The table of module m, checked against the rows of oprows.h.
template <std::size_t N>
constexpr OpBindings op_bindings(shading::OpModule m, const OpBinding (&rows)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i].module != m) shading::shading_operation_of_another_module();
        for (std::size_t j = 0; j < i; ++j)
            if (rows[j].opcode == rows[i].opcode) shading::shading_operation_bound_twice();
    }
    for (const shading::OpName &op : shading::OP_NAMES) {
        if (op.module != m) continue;
        bool bound = false;
        for (std::size_t i = 0; i < N; ++i) bound = bound || rows[i].opcode == op.opcode;
        if (!bound) shading::shading_operation_without_handler();
    }
    return OpBindings{rows, static_cast<int>(N)};
}

// Each module defines its table as
//   constexpr OpBindings ARITH_OPS = op_bindings(shading::OpModule::Arith, ROWS);
extern const OpBindings CONTROL_OPS;
extern const OpBindings STACK_OPS;
extern const OpBindings ARITH_OPS;
extern const OpBindings COMPARE_OPS;
extern const OpBindings VAR_OPS;
extern const OpBindings MATH_OPS;
extern const OpBindings GEOMETRY_OPS;
extern const OpBindings COLOR_OPS;
extern const OpBindings SPLINE_OPS;
extern const OpBindings FILTERSTEP_OPS;
extern const OpBindings DERIV_OPS;
extern const OpBindings NOISE_OPS;
extern const OpBindings STRING_OPS;
extern const OpBindings QUERY_OPS;
extern const OpBindings TRANSFORM_OPS;
extern const OpBindings SHADEOP_OPS;
extern const OpBindings MESSAGE_OPS;
extern const OpBindings LIGHT_OPS;
extern const OpBindings TRACE_OPS;
extern const OpBindings TEXTURE_OPS;
extern const OpBindings MATRIX_OPS;
extern const OpBindings TIME_OPS;
