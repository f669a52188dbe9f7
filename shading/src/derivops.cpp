// Derivatives through the derivative neighbours: the neighbour runs (+du and
// +dv) leave each operation's argument in its scratch slots and answer a
// placeholder; the main run forms the difference quotients from them. Runs
// without derivatives answer the placeholders too.
#include <cmath>

#include "ri/gstate.h"
#include "ri/transformation.h"
#include "shading/opmodules.h"
#include "opstack.h"
#include "shading/shadingpoint.h"
#include "spaces.h"

using opstack::replace;
using opstack::triple;

namespace {

const Point TRIPLE_PLACEHOLDER(DERIV_PLACEHOLDER);

// (neighbour - value) / step; a zero step gives 0.
float quotient(float neighbour, float value, float step)
{
    return step == 0 ? 0.0f : (neighbour - value) / step;
}

// Du (x) and Dv (x) of a float.
template <int DIR>
void op_Df(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(1);
    float x = p[0];
    const float *n = sv->deriv_exchange(&x, 1);
    p[0] = n ? quotient(n[DIR], x, DIR == 0 ? sv->shade_du : sv->shade_dv) : DERIV_PLACEHOLDER;
}

// Du (v) and Dv (v) of a triple.
template <int DIR>
void op_Dv(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(3);
    Point v = triple(p);
    const float *n = sv->deriv_exchange(v.data(), 3);
    Point r = TRIPLE_PLACEHOLDER;
    if (n) {
        float step = DIR == 0 ? sv->shade_du : sv->shade_dv;
        for (int i = 0; i < 3; ++i) r[i] = quotient(n[3 * DIR + i], v[i], step);
    }
    replace(3, r);
}

// dy / dx from the two neighbours, each direction only where x changes.
float deriv(float y, float x, float y_du, float x_du, float y_dv, float x_dv)
{
    float r = 0;
    if (std::fabs(x_du - x) > 0.00001f) r += (y_du - y) / (x_du - x);
    if (std::fabs(x_dv - x) > 0.00001f) r += (y_dv - y) / (x_dv - x);
    return r;
}

// Deriv (y, x) of floats.
void op_Derivf(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(2);
    float yx[2] = {p[0], p[1]};
    const float *n = sv->deriv_exchange(yx, 2);
    replace(2, n ? deriv(yx[0], yx[1], n[0], n[1], n[2], n[3]) : DERIV_PLACEHOLDER);
}

// Deriv (y, x) of a triple y by a float x.
void op_Derivv(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(4);
    float yx[4] = {p[0], p[1], p[2], p[3]};
    const float *n = sv->deriv_exchange(yx, 4);
    Point r = TRIPLE_PLACEHOLDER;
    if (n)
        for (int i = 0; i < 3; ++i) r[i] = deriv(yx[i], yx[3], n[i], n[3], n[4 + i], n[7]);
    replace(4, r);
}

// area (P): the area of the parallelogram spanned by the neighbour steps.
void op_area(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(3);
    Point P = triple(p);
    const float *n = sv->deriv_exchange(P.data(), 3);
    replace(3, n ? cross(triple(n) - P, triple(n + 3) - P).length() : DERIV_PLACEHOLDER);
}

// True when the hit object's transformation is left-handed.
bool object_left_handed(const ShaderVars *sv)
{
    const Transformation *t = object_transformation(sv);
    return t && (t->flags & TF_LEFTHANDED);
}

// calculatenormal (P): dPdu x dPdv, or the reverse when the attribute
// state's orientation differs from the handedness of the object.
void op_calculatenormal(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(3);
    Point P = triple(p);
    const float *n = sv->deriv_exchange(P.data(), 3);
    Point r(0, 0, 0);
    if (n) {
        Point a, b;
        for (int i = 0; i < 3; ++i) {
            a[i] = quotient(n[i], P[i], sv->shade_du);
            b[i] = quotient(n[3 + i], P[i], sv->shade_dv);
        }
        bool inside_out = sv->surf.is_set() && (sv->surf->orientation & 1);
        r = inside_out == object_left_handed(sv) ? cross(a, b) : cross(b, a);
    }
    replace(3, r);
}

constexpr OpBinding ROWS[] = {
    {"Duf", op_Df<0>},
    {"Dvf", op_Df<1>},
    {"Duv", op_Dv<0>},      // also Duc
    {"Dvv", op_Dv<1>},      // also Dvc
    {"Derivf", op_Derivf},
    {"Derivv", op_Derivv},  // also Derivc
    {"area", op_area},
    {"calculatenormal", op_calculatenormal},
};

} // namespace

constexpr OpBindings DERIV_OPS = op_bindings(shading::OpModule::Deriv, ROWS);
