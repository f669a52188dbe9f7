// The built-in function table: argument checks and op choice per row.
#include "builtins.h"

#include <cstring>

#include "emit.h"
#include "intern.h"
#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "symbols.h"
#include "compiler/writer.h"

namespace murn {

namespace {

// ---- argument tests ----------------------------------------------------------------

int T(const CallNode &c, int i)
{
    return i < int(c.arg_types.size()) ? c.arg_types[size_t(i)] : T_UNKNOWN;
}

bool pt(const CallNode &c, int i) { return is_pointlike(T(c, i)); }
bool tr(const CallNode &c, int i) { return is_triple(T(c, i)); }
bool fl(const CallNode &c, int i) { return T(c, i) == T_FLOAT; }
bool st(const CallNode &c, int i) { return T(c, i) == T_STRING; }
bool mx(const CallNode &c, int i) { return T(c, i) == T_MATRIX; }
// A plain variable (no index, not an array): something an op can store into.
bool var(const CallNode &c, int i) { return as_plain_variable(c.arg(i)) != nullptr; }

int bad(CallNode &c, int result)
{
    c.error("Bad arguments to function: ", c.name);
    return result;
}

int bad_argument(CallNode &c, int position, int result)
{
    c.error(intern_format("Bad argument #%d to function: ", position), c.name);
    return result;
}

// ---- checks ----------------------------------------------------------------------------

int check_faceforward(CallNode &c, int)
{
    if (c.nargs == 2 && pt(c, 0) && pt(c, 1))
        return T(c, 0);
    if (c.nargs == 3 && pt(c, 0) && pt(c, 1) && pt(c, 2)) {
        c.opcode = "faceforward3";
        return T(c, 0);
    }
    return bad(c, T_VECTOR);
}

int check_normalize(CallNode &c, int)
{
    if (!(c.nargs == 1 && pt(c, 0)))
        c.error("1 point needed for normalize");
    return T_VECTOR;
}

int check_none(CallNode &c, int)
{
    const FunctionSymbol *f = c.function;
    return c.nargs == 0 ? f->return_type : bad(c, f->return_type);
}

int check_one_pt(CallNode &c, int)
{
    return c.nargs == 1 && pt(c, 0) ? c.function->return_type : bad(c, c.function->return_type);
}

int check_one_float(CallNode &c, int)
{
    return c.nargs == 1 && fl(c, 0) ? T_FLOAT : bad(c, T_FLOAT);
}

int check_two_floats(CallNode &c, int)
{
    return c.nargs == 2 && fl(c, 0) && fl(c, 1) ? T_FLOAT : bad(c, T_FLOAT);
}

int check_pt_pt(CallNode &c, int)
{
    return c.nargs == 2 && pt(c, 0) && pt(c, 1) ? c.function->return_type
                                                  : bad(c, c.function->return_type);
}

int check_pt_pt_float(CallNode &c, int)
{
    return c.nargs == 3 && pt(c, 0) && pt(c, 1) && fl(c, 2) ? c.function->return_type
                                                              : bad(c, c.function->return_type);
}

int check_pt_pt_pt(CallNode &c, int)
{
    return c.nargs == 3 && pt(c, 0) && pt(c, 1) && pt(c, 2) ? T_FLOAT : bad(c, T_FLOAT);
}

int check_any_count(CallNode &c, int count)
{
    return c.nargs == count ? T_FLOAT : bad(c, T_FLOAT);
}

int check_step(CallNode &c, int) { return check_any_count(c, 2); }
int check_smoothstep(CallNode &c, int) { return check_any_count(c, 3); }

int check_comp(CallNode &c, int)
{
    if (c.nargs == 2 && tr(c, 0) && fl(c, 1))
        return T_FLOAT;
    if (c.nargs == 3 && mx(c, 0) && fl(c, 1) && fl(c, 2)) {
        c.opcode = "mcomp";
        return T_FLOAT;
    }
    return bad(c, T_FLOAT);
}

int check_mix(CallNode &c, int)
{
    if (c.nargs == 3 && T(c, 0) == T(c, 1) && T(c, 0) != T_UNKNOWN && fl(c, 2)) {
        c.opcode = intern_format("%cmix", opcode_type_letter(T(c, 0)));
        return T(c, 0);
    }
    return bad(c, T(c, 0));
}

int check_log(CallNode &c, int)
{
    if (c.nargs == 1 && fl(c, 0))
        return T_FLOAT;
    if (c.nargs == 2 && fl(c, 0) && fl(c, 1)) {
        c.opcode = "logb";
        return T_FLOAT;
    }
    return bad(c, T_FLOAT);
}

int check_atan(CallNode &c, int)
{
    if (c.nargs == 1 && fl(c, 0))
        return T_FLOAT;
    if (c.nargs == 2 && fl(c, 0) && fl(c, 1)) {
        c.opcode = "atan2";
        return T_FLOAT;
    }
    return bad(c, T_FLOAT);
}

// noise, cellnoise and pnoise: the argument form gives the suffix, the
// context the result type and the prefix.
int noise_result(CallNode &c, int context, const char *suffix)
{
    const char *prefix = "";
    int result = T_FLOAT;
    if (is_pointlike(context)) {
        prefix = "point";
        result = context;
    } else if (context == T_COLOR) {
        prefix = "color";
        result = T_COLOR;
    }
    c.opcode = intern_format("%s%s%s", prefix, c.name, suffix);
    return result;
}

int check_noise(CallNode &c, int context)
{
    const char *suffix = nullptr;
    if (c.nargs == 1 && fl(c, 0)) suffix = "f";
    else if (c.nargs == 1 && pt(c, 0)) suffix = "v";
    else if (c.nargs == 2 && fl(c, 0) && fl(c, 1)) suffix = "ff";
    else if (c.nargs == 2 && pt(c, 0) && fl(c, 1)) suffix = "vf";
    if (!suffix)
        return bad(c, T_FLOAT);
    return noise_result(c, context, suffix);
}

int check_pnoise(CallNode &c, int context)
{
    const char *suffix = nullptr;
    if (c.nargs == 2 && fl(c, 0)) suffix = "f";
    else if (c.nargs == 2 && pt(c, 0) && pt(c, 1)) suffix = "v";
    else if (c.nargs == 4 && fl(c, 0) && fl(c, 1) && fl(c, 2) && fl(c, 3)) suffix = "ff";
    else if (c.nargs == 4 && pt(c, 0) && fl(c, 1) && pt(c, 2) && fl(c, 3)) suffix = "vf";
    if (!suffix)
        return bad(c, T_FLOAT);
    return noise_result(c, context, suffix);
}

// The array variable holding a spline's values, when that is how they come.
VariableNode *spline_array(const CallNode &c, int first_value)
{
    if (c.nargs != first_value + 1)
        return nullptr;
    ParseNode *a = c.arg(first_value);
    if (!a || a->kind != N_VARIABLE)
        return nullptr;
    VariableNode *v = static_cast<VariableNode *>(a);
    return v->symbol && !v->index && v->symbol->arraylen > 0 ? v : nullptr;
}

int check_spline(CallNode &c, int)
{
    int first = st(c, 0) ? 2 : 1;   // a leading string is the basis
    if (c.nargs <= first || !fl(c, first - 1))
        return bad(c, T_FLOAT);
    int t = T(c, first);
    for (int i = first + 1; i < c.nargs; i++)
        if (T(c, i) != t)
            return bad(c, t);
    if (t != T_FLOAT && t != T_COLOR && !is_pointlike(t))
        return bad(c, t);
    const char *stem = t == T_FLOAT ? "spline" : t == T_COLOR ? "colorspline" : "pointspline";
    if (spline_array(c, first)) {
        char letter = t == T_FLOAT ? 'f' : t == T_COLOR ? 'c' : 'p';
        c.opcode = intern_format("%caspline%s", letter, first == 2 ? "b" : "");
    } else {
        c.opcode = intern_format("%s%s", stem, first == 2 ? "b" : "");
    }
    return t;
}

int check_random(CallNode &c, int context)
{
    if (c.nargs != 0)
        bad(c, T_FLOAT);
    return is_triple(context) ? context : T_FLOAT;
}

int check_clamp(CallNode &c, int)
{
    if (c.nargs == 3 && T(c, 0) != T_UNKNOWN && T(c, 0) == T(c, 1) && T(c, 1) == T(c, 2)) {
        c.opcode = intern_format("%cclamp", opcode_type_letter(T(c, 0)));
        return T(c, 0);
    }
    return bad(c, T(c, 0));
}

int check_min_max(CallNode &c, int)
{
    bool ok = c.nargs >= 2 && T(c, 0) != T_UNKNOWN;
    for (int i = 1; ok && i < c.nargs; i++)
        ok = T(c, i) == T(c, 0);
    if (!ok)
        return bad(c, T(c, 0));
    c.opcode = intern_format("%c%s", opcode_type_letter(T(c, 0)), c.name);
    return T(c, 0);
}

int check_derivative(CallNode &c, int)
{
    if (c.nargs != 1) {
        c.error("Du and Dv must take a single argument");
        return T_FLOAT;
    }
    if (!fl(c, 0) && !pt(c, 0)) {
        c.error("Du/Dv can only take float or point arguments");
        return T_FLOAT;
    }
    c.opcode = intern_format("%s%c", c.name, opcode_type_letter(T(c, 0)));
    return fl(c, 0) ? T_FLOAT : T_VECTOR;
}

int check_deriv(CallNode &c, int)
{
    if (c.nargs == 2 && T(c, 0) != T_UNKNOWN && fl(c, 1)) {
        c.opcode = intern_format("Deriv%c", opcode_type_letter(T(c, 0)));
        return T(c, 0);
    }
    return bad(c, T(c, 0));
}

int check_reflect(CallNode &c, int)
{
    return c.nargs == 2 && pt(c, 0) && pt(c, 1) ? T(c, 0) : bad(c, T_VECTOR);
}

int check_fresnel(CallNode &c, int)
{
    if (c.nargs != 5 && c.nargs != 7)
        return bad(c, T_VOID);
    for (int i = 0; i < c.nargs; i++) {
        bool ok = i < 2 ? pt(c, i)
                : i == 2 ? fl(c, i)
                : i < 5 ? fl(c, i) && var(c, i)
                        : pt(c, i) && var(c, i);
        if (!ok)
            return bad_argument(c, i + 1, T_VOID);
    }
    c.opcode = c.nargs == 5 ? "fresnel2" : "fresnel4";
    return T_VOID;
}

int check_setxcomp(CallNode &c, int)
{
    // Name what is wrong: the count, or the type of the argument at fault.
    if (c.nargs != 2)
        c.error(intern_format("%s takes 2 arguments (a point, vector or normal variable and a float), not %d",
                              c.name, c.nargs));
    else if (!pt(c, 0))
        c.error(intern_format("argument 1 to %s must be a point, vector or normal, not a %s", c.name,
                              T(c, 0) == T_UNKNOWN ? "value without a type" : type_name(T(c, 0))));
    else if (!fl(c, 1))
        c.error(intern_format("argument 2 to %s must be a float, not a %s", c.name,
                              T(c, 1) == T_UNKNOWN ? "value without a type" : type_name(T(c, 1))));
    else if (!var(c, 0))
        c.error("argument to set*comp must be an lvalue");
    c.opcode = "setcomp";
    return T_VOID;
}

int check_setcomp(CallNode &c, int)
{
    if (c.nargs == 3 && tr(c, 0) && fl(c, 1) && fl(c, 2)) {
        c.opcode = "setcomp";
    } else if (c.nargs == 4 && mx(c, 0) && fl(c, 1) && fl(c, 2) && fl(c, 3)) {
        c.opcode = "msetcomp";
    } else {
        c.error("bad arguments to setcomp");
        return T_VOID;
    }
    if (!var(c, 0))
        c.error("argument to setcomp must be an lvalue");
    return T_VOID;
}

int check_transform(CallNode &c, int)
{
    bool space = st(c, 0) || mx(c, 0);
    if (c.nargs == 2 && space && pt(c, 1)) {
        c.opcode = intern_format("%s%c", c.name, type_letter(T(c, 0)));
        return T(c, 1);
    }
    if (c.nargs == 3 && space && st(c, 1) && pt(c, 2)) {
        c.opcode = intern_format("%s%cs", c.name, type_letter(T(c, 0)));
        return T(c, 2);
    }
    return bad(c, T(c, c.nargs - 1));
}

int check_ctransform(CallNode &c, int)
{
    if (c.nargs == 2 && st(c, 0) && T(c, 1) == T_COLOR)
        c.opcode = "ctransforms";
    else if (c.nargs == 3 && st(c, 0) && st(c, 1) && T(c, 2) == T_COLOR)
        c.opcode = "ctransformss";
    else
        bad(c, T_COLOR);
    return T_COLOR;
}

int check_leading_string(CallNode &c, int)
{
    return c.nargs >= 1 && st(c, 0) ? c.function->return_type : bad(c, c.function->return_type);
}

int check_rotate(CallNode &c, int)
{
    if (c.nargs == 4 && pt(c, 0) && fl(c, 1) && pt(c, 2) && pt(c, 3))
        return T_POINT;
    if (c.nargs == 3 && mx(c, 0) && fl(c, 1) && pt(c, 2)) {
        c.opcode = "mrotate";
        return T_MATRIX;
    }
    return bad(c, T_POINT);
}

int check_filterstep(CallNode &c, int)
{
    if (c.nargs < 2)
        return bad(c, T_FLOAT);
    c.opcode = c.nargs >= 3 && fl(c, 2) ? "filterstep3" : "filterstep2";
    return T_FLOAT;
}

// A whole variable, an array included: the destination of a query, which
// the renderer fills as far as the array's length allows.
VariableNode *whole_variable(ParseNode *node)
{
    if (!node || node->kind != N_VARIABLE)
        return nullptr;
    VariableNode *v = static_cast<VariableNode *>(node);
    return v->symbol && !v->index ? v : nullptr;
}

// Message passing copies one value of the parameter's type (never an
// array); the renderer queries take an array destination too.
int check_message_to(CallNode &c, bool array_ok)
{
    int names = c.nargs - 1;
    bool ok = names >= 1;
    for (int i = 0; ok && i < names; i++)
        ok = st(c, i);
    ParseNode *out = c.arg(c.nargs - 1);
    if (!ok || !(array_ok ? whole_variable(out) != nullptr : var(c, c.nargs - 1)))
        return bad(c, T_FLOAT);
    c.opcode = intern_format("%sM", c.name);
    return T_FLOAT;
}

int check_message(CallNode &c, int)
{
    return check_message_to(c, false);
}

int check_query(CallNode &c, int context)
{
    return c.nargs == 2 ? check_message(c, context) : bad(c, T_FLOAT);
}

int check_renderer_query(CallNode &c, int)
{
    return c.nargs == 2 ? check_message_to(c, true) : bad(c, T_FLOAT);
}

int check_textureinfo(CallNode &c, int)
{
    return c.nargs == 3 ? check_message_to(c, true) : bad(c, T_FLOAT);
}

int check_concat(CallNode &c, int)
{
    if (c.nargs < 2)
        return bad(c, T_STRING);
    for (int i = 0; i < c.nargs; i++)
        if (!st(c, i))
            return bad_argument(c, i + 1, T_STRING);
    return T_STRING;
}

int check_match(CallNode &c, int)
{
    return c.nargs == 2 && st(c, 0) && st(c, 1) ? T_FLOAT : bad(c, T_FLOAT);
}

int check_dtime(CallNode &c, int)
{
    if (c.nargs == 1 && (fl(c, 0) || pt(c, 0))) {
        c.opcode = intern_format("Dtime%c", opcode_type_letter(T(c, 0)));
        return fl(c, 0) ? T_FLOAT : T_VECTOR;
    }
    return bad(c, T_FLOAT);
}

int check_specularbrdf(CallNode &c, int)
{
    return c.nargs == 4 && pt(c, 0) && pt(c, 1) && pt(c, 2) && fl(c, 3) ? T_COLOR
                                                                           : bad(c, T_COLOR);
}

int check_determinant(CallNode &c, int)
{
    return c.nargs == 1 && mx(c, 0) ? T_FLOAT : bad(c, T_FLOAT);
}

int check_matrix_pt(CallNode &c, int)
{
    c.opcode = intern_format("m%s", c.name);
    return c.nargs == 2 && mx(c, 0) && pt(c, 1) ? T_MATRIX : bad(c, T_MATRIX);
}

int check_rayhittest(CallNode &c, int)
{
    if (c.nargs != 4) {
        c.error("4 arguments required for rayhittest");
        return T_FLOAT;
    }
    if (!pt(c, 0) || !pt(c, 1) || !pt(c, 2) || !pt(c, 3))
        return bad(c, T_FLOAT);
    if (!var(c, 2))
        c.error("argument #3 to rayhittest must be an lvalue");
    if (!var(c, 3))
        c.error("argument #4 to rayhittest must be an lvalue");
    return T_FLOAT;
}

int check_fulltrace(CallNode &c, int)
{
    if (c.nargs != 8) {
        c.error("8 arguments required for fulltrace");
        return T_FLOAT;
    }
    if (!pt(c, 0) || !pt(c, 1))
        return bad(c, T_FLOAT);
    for (int i = 2; i < 8; i++) {
        if (!var(c, i)) {
            c.error(intern_format("argument %d to fulltrace must be an lvalue", i + 1));
            continue;
        }
        bool ok = i == 2 ? T(c, i) == T_COLOR : i == 3 ? fl(c, i) : pt(c, i);
        if (!ok) {
            std::fflush(stderr);
            std::fprintf(stderr, "Ha!  arg %d was type %s\n", i + 1, type_name(T(c, i)));
            // Storing a value of another size would overrun the variable.
            c.error(intern_format("argument %d to fulltrace has the wrong type", i + 1));
        }
    }
    return T_FLOAT;
}

int check_areashadow(CallNode &c, int)
{
    return c.nargs == 2 && pt(c, 0) && fl(c, 1) ? T_COLOR : bad(c, T_COLOR);
}

// ---- emitters --------------------------------------------------------------------------------

const char *arg_name(CallNode &c, int i)
{
    return variable_name(as_plain_variable(c.arg(i)));
}

void emit_arg(CallNode &c, int i)
{
    emit_value(c.arg(i));
}

void emit_fresnel(CallNode &c)
{
    emit_arg(c, 2);
    emit_arg(c, 1);
    emit_arg(c, 0);
    emit_instruction(&c, c.opcode);
    emit_instruction(&c, "popf", arg_name(c, 3));
    emit_instruction(&c, "popf", arg_name(c, 4));
    if (c.nargs == 7) {
        emit_instruction(&c, "popv", arg_name(c, 5));
        emit_instruction(&c, "popv", arg_name(c, 6));
    }
}

void emit_derivative(CallNode &c)
{
    VariableNode *v = as_plain_variable(c.arg(0));
    if (v && v->symbol->storage == S_GLOBAL && !v->symbol->alias &&
        (!std::strcmp(v->name, "s") || !std::strcmp(v->name, "t"))) {
        // The texture-coordinate derivatives are shading globals.
        char direction = c.name[1] == 'u' ? 'u' : 'v';
        emit_instruction(&c, "pushf", intern_format("d%sd%c", v->name, direction));
        return;
    }
    emit_arg(c, 0);
    emit_instruction(&c, c.opcode);
}

// set*comp(v, x) is setcomp(v, i, x): the stack holds x, i, then v on top.
void emit_setxcomp(CallNode &c)
{
    emit_arg(c, 1);
    emit_instruction(&c, "pushif", intern_format("%d", c.name[3] - 'x'));
    emit_arg(c, 0);
    emit_instruction(&c, "setcomp");
    emit_instruction(&c, "popv", arg_name(c, 0));
}

void emit_setcomp(CallNode &c)
{
    emit_node_list_reversed(c.args);
    emit_instruction(&c, c.opcode);
    emit_instruction(&c, op_name("pop", opcode_type_letter(T(c, 0))), arg_name(c, 0));
}

void emit_message(CallNode &c)
{
    VariableNode *out = whole_variable(c.arg(c.nargs - 1));
    for (int i = c.nargs - 2; i >= 0; i--)
        emit_arg(c, i);
    emit_instruction(&c, "pushif", intern_format("%d", out->symbol->type));
    emit_instruction(&c, c.opcode, variable_name(out));
}

void emit_rayhittest(CallNode &c)
{
    emit_arg(c, 1);
    emit_arg(c, 0);
    emit_instruction(&c, "rayhittest");
    emit_instruction(&c, "popv", arg_name(c, 2));
    emit_instruction(&c, "popv", arg_name(c, 3));
}

void emit_fulltrace(CallNode &c)
{
    emit_arg(c, 1);
    emit_arg(c, 0);
    emit_instruction(&c, "fulltrace");
    emit_instruction(&c, "popc", arg_name(c, 2));
    emit_instruction(&c, "popf", arg_name(c, 3));
    for (int i = 4; i < 8; i++)
        emit_instruction(&c, "popv", arg_name(c, i));
}

void emit_spline(CallNode &c)
{
    int first = c.arg_types[0] == T_STRING ? 2 : 1;
    if (VariableNode *array = spline_array(c, first)) {
        for (int i = first - 1; i >= 0; i--)
            emit_arg(c, i);
        emit_instruction(&c, "pushif", intern_format("%d", array->symbol->arraylen));
        emit_instruction(&c, c.opcode, variable_name(array));
        return;
    }
    emit_node_list_reversed(c.args);
    emit_instruction(&c, "pushif", intern_format("%d", c.nargs - first));
    emit_instruction(&c, c.opcode);
}

void emit_min_max(CallNode &c)
{
    emit_node_list_reversed(c.args);
    for (int i = 1; i < c.nargs; i++)
        emit_instruction(&c, c.opcode);
}

void emit_random(CallNode &c)
{
    int n = is_triple(c.type) ? 3 : 1;
    for (int i = 0; i < n; i++)
        emit_instruction(&c, "random");
}

void emit_filterstep(CallNode &c)
{
    emit_node_list_reversed(c.args);
    int fixed = !std::strcmp(c.opcode, "filterstep3") ? 3 : 2;
    emit_instruction(&c, "pushif", intern_format("%d", c.nargs - fixed));
    emit_instruction(&c, c.opcode);
}

void emit_concat(CallNode &c)
{
    emit_node_list_reversed(c.args);
    emit_instruction(&c, "pushif", intern_format("%d", c.nargs));
    emit_instruction(&c, "concat");
}

// ---- the table ----------------------------------------------------------------------------------

const BuiltinRow ROWS[] = {
    {"faceforward", T_VECTOR, check_faceforward, nullptr, false},
    {"normalize", T_VECTOR, check_normalize, nullptr, false},
    {"ambient", T_COLOR, check_none, nullptr, false},
    {"diffuse", T_COLOR, check_one_pt, nullptr, false},
    {"specular", T_COLOR, check_pt_pt_float, nullptr, false},
    {"phong", T_COLOR, check_pt_pt_float, nullptr, false},
    {"step", T_FLOAT, check_step, nullptr, false},
    {"smoothstep", T_FLOAT, check_smoothstep, nullptr, false},
    {"xcomp", T_FLOAT, check_one_pt, nullptr, false},
    {"ycomp", T_FLOAT, check_one_pt, nullptr, false},
    {"zcomp", T_FLOAT, check_one_pt, nullptr, false},
    {"comp", T_FLOAT, check_comp, nullptr, false},
    {"mix", T_FLOAT, check_mix, nullptr, false},
    {"mod", T_FLOAT, check_two_floats, nullptr, false},
    {"pow", T_FLOAT, check_two_floats, nullptr, false},
    {"abs", T_FLOAT, check_one_float, nullptr, false},
    {"sign", T_FLOAT, check_one_float, nullptr, false},
    {"exp", T_FLOAT, check_one_float, nullptr, false},
    {"sqrt", T_FLOAT, check_one_float, nullptr, false},
    {"inversesqrt", T_FLOAT, check_one_float, nullptr, false},
    {"floor", T_FLOAT, check_one_float, nullptr, false},
    {"ceil", T_FLOAT, check_one_float, nullptr, false},
    {"sin", T_FLOAT, check_one_float, nullptr, false},
    {"cos", T_FLOAT, check_one_float, nullptr, false},
    {"tan", T_FLOAT, check_one_float, nullptr, false},
    {"asin", T_FLOAT, check_one_float, nullptr, false},
    {"acos", T_FLOAT, check_one_float, nullptr, false},
    {"round", T_FLOAT, check_one_float, nullptr, false},
    {"radians", T_FLOAT, check_one_float, nullptr, false},
    {"degrees", T_FLOAT, check_one_float, nullptr, false},
    {"log", T_FLOAT, check_log, nullptr, false},
    {"atan", T_FLOAT, check_atan, nullptr, false},
    {"noise", T_FLOAT, check_noise, nullptr, false},
    {"cellnoise", T_FLOAT, check_noise, nullptr, false},
    {"pnoise", T_FLOAT, check_pnoise, nullptr, false},
    {"spline", T_FLOAT, check_spline, emit_spline, false},
    {"random", T_FLOAT, check_random, emit_random, false},
    {"clamp", T_FLOAT, check_clamp, nullptr, false},
    {"min", T_FLOAT, check_min_max, emit_min_max, false},
    {"max", T_FLOAT, check_min_max, emit_min_max, false},
    {"area", T_FLOAT, check_one_pt, nullptr, true},
    {"depth", T_FLOAT, check_one_pt, nullptr, false},
    {"length", T_FLOAT, check_one_pt, nullptr, false},
    {"distance", T_FLOAT, check_pt_pt, nullptr, false},
    {"calculatenormal", T_NORMAL, check_one_pt, nullptr, true},
    {"Du", T_FLOAT, check_derivative, emit_derivative, true},
    {"Dv", T_FLOAT, check_derivative, emit_derivative, true},
    {"Deriv", T_FLOAT, check_deriv, nullptr, true},
    {"reflect", T_VECTOR, check_reflect, nullptr, false},
    {"refract", T_VECTOR, check_pt_pt_float, nullptr, false},
    {"trace", T_COLOR, check_pt_pt, nullptr, false},
    {"fresnel", T_VOID, check_fresnel, emit_fresnel, false},
    {"setxcomp", T_VOID, check_setxcomp, emit_setxcomp, false},
    {"setycomp", T_VOID, check_setxcomp, emit_setxcomp, false},
    {"setzcomp", T_VOID, check_setxcomp, emit_setxcomp, false},
    {"setcomp", T_VOID, check_setcomp, emit_setcomp, false},
    {"transform", T_POINT, check_transform, nullptr, false},
    {"vtransform", T_VECTOR, check_transform, nullptr, false},
    {"ntransform", T_NORMAL, check_transform, nullptr, false},
    {"ctransform", T_COLOR, check_ctransform, nullptr, false},
    {"printf", T_VOID, check_leading_string, nullptr, false},
    {"ptlined", T_FLOAT, check_pt_pt_pt, nullptr, false},
    {"rotate", T_POINT, check_rotate, nullptr, false},
    {"filterstep", T_FLOAT, check_filterstep, emit_filterstep, true},
    {"lightsource", T_FLOAT, check_query, emit_message, false},
    {"surface", T_FLOAT, check_query, emit_message, false},
    {"displacement", T_FLOAT, check_query, emit_message, false},
    {"atmosphere", T_FLOAT, check_query, emit_message, false},
    {"incident", T_FLOAT, check_query, emit_message, false},
    {"opposite", T_FLOAT, check_query, emit_message, false},
    {"attribute", T_FLOAT, check_renderer_query, emit_message, false},
    {"option", T_FLOAT, check_renderer_query, emit_message, false},
    {"rendererinfo", T_FLOAT, check_renderer_query, emit_message, false},
    {"textureinfo", T_FLOAT, check_textureinfo, emit_message, false},
    {"concat", T_STRING, check_concat, emit_concat, false},
    {"format", T_STRING, check_leading_string, nullptr, false},
    {"match", T_FLOAT, check_match, nullptr, false},
    {"Dtime", T_FLOAT, check_dtime, nullptr, false},
    {"specularbrdf", T_COLOR, check_specularbrdf, nullptr, false},
    {"determinant", T_FLOAT, check_determinant, nullptr, false},
    {"translate", T_MATRIX, check_matrix_pt, nullptr, false},
    {"scale", T_MATRIX, check_matrix_pt, nullptr, false},
    {"visibility", T_COLOR, check_pt_pt, nullptr, false},
    {"rayhittest", T_FLOAT, check_rayhittest, emit_rayhittest, false},
    {"fulltrace", T_FLOAT, check_fulltrace, emit_fulltrace, false},
    {"raylevel", T_FLOAT, check_none, nullptr, false},
    {"isshadowray", T_FLOAT, check_none, nullptr, false},
    {"areashadow", T_COLOR, check_areashadow, nullptr, false},
    {"shadername", T_STRING, check_none, nullptr, false},
};

static_assert(sizeof(ROWS) / sizeof(ROWS[0]) == 89, "built-in table size");

} // namespace

void declare_builtin_functions()
{
    for (const BuiltinRow &row : ROWS) {
        FunctionSymbol *f = new FunctionSymbol(intern_string(row.name), row.return_type);
        f->builtin = &row;
        function_table().insert(f, true);
    }
}

} // namespace murn
