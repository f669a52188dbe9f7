// Mathematics of the shading language on floats and triples: the library
// functions with their domain reports, min/max/clamp/mix, lengths and
// component access. The first argument of a call is on top of the stack; a
// result takes the place of the deepest argument.
#include <cmath>

#include "ri_common/rierror.h"
#include "sampling/random.h"
#include "shading/opmodules.h"
#include "shading/illum.h"
#include "opstack.h"
#include "shading/lightmath.h"
#include "shading/shadingpoint.h"

using opstack::replace;
using opstack::triple;

namespace {

// A domain error: reported in the main run (the derivative neighbours repeat
// its work); the result is 0.
float domain_error(const ShaderVars *sv, const char *message)
{
    if (sv->whichdisp == DISP_MAIN) ri_error(RIE_MATH, RIE_ERROR, "%s", message);
    return 0;
}

// ---- float functions -----------------------------------------------------

typedef float (*Func1)(float);
typedef float (*Func2)(float, float);   // (top, beneath)

float f_abs(float x) { return std::fabs(x); }
float f_sign(float x) { return x > 0 ? 1.0f : x < 0 ? -1.0f : 0.0f; }
float f_floor(float x) { return std::floor(x); }
float f_ceil(float x) { return std::ceil(x); }
float f_round(float x) { return std::floor(x + 0.5f); }
float f_sin(float x) { return std::sin(x); }
float f_cos(float x) { return std::cos(x); }
float f_tan(float x) { return std::tan(x); }
float f_asin(float x) { return std::asin(x); }
float f_acos(float x) { return std::acos(x); }
float f_atan(float x) { return std::atan(x); }
float f_exp(float x) { return std::exp(x); }
float f_log(float x) { return std::log(x); }
float f_radians(float x) { return x * 0.017453292f; }
float f_degrees(float x) { return x * 57.29578f; }

float f_atan2(float y, float x) { return std::atan2(y, x); }
float f_logb(float x, float base) { return std::log(x) / std::log(base); }
float f_pow(float x, float y) { return safe_powf(x, y); }
// a - b floor(a / b); a zero modulus keeps a, as division keeps the dividend.
float f_mod(float a, float b) { return b == 0 ? a : a - b * std::floor(a / b); }
float f_step(float edge, float x) { return x >= edge ? 1.0f : 0.0f; }
float f_min(float a, float b) { return a < b ? a : b; }
float f_max(float a, float b) { return a > b ? a : b; }

template <Func1 F>
void op_f1(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(1);
    p[0] = F(p[0]);
}

template <Func2 F>
void op_f2(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(2);
    replace(2, F(p[0], p[1]));
}

void op_sqrt(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(1);
    p[0] = p[0] < 0 ? domain_error(sv, "sqrt of negative in shader") : std::sqrt(p[0]);
}

void op_inversesqrt(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(1);
    p[0] = p[0] <= 1e-10f ? domain_error(sv, "inversesqrt of <= 0 in shader")
                          : 1 / std::sqrt(p[0]);
}

float smoothstep(float lo, float hi, float x)
{
    if (x <= lo) return 0;
    if (x >= hi) return 1;
    float t = (x - lo) / (hi - lo);
    return t * t * (3 - 2 * t);
}

float clamp3(float x, float lo, float hi)
{
    return x <= lo ? lo : x >= hi ? hi : x;
}

float mix(float a, float b, float t)
{
    return (1 - t) * a + t * b;
}

void op_smoothstep(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    replace(3, smoothstep(p[0], p[1], p[2]));
}

void op_fclamp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    replace(3, clamp3(p[0], p[1], p[2]));
}

void op_fmix(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    replace(3, mix(p[0], p[1], p[2]));
}

void op_random(ExecFrame *, ShaderVars *)
{
    slstack.push_float(random_uniform());
}

// ---- triples ---------------------------------------------------------------

template <Func2 F>
void op_v2(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    Point r;
    for (int i = 0; i < 3; ++i) r[i] = F(p[i], p[3 + i]);
    replace(6, r);
}

void op_vclamp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(9);
    Point r;
    for (int i = 0; i < 3; ++i) r[i] = clamp3(p[i], p[3 + i], p[6 + i]);
    replace(9, r);
}

// Two triples and a float.
void op_vmix(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(7);
    Point r;
    for (int i = 0; i < 3; ++i) r[i] = mix(p[i], p[3 + i], p[6]);
    replace(7, r);
}

void op_length(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    replace(3, triple(p).length());
}

void op_distance(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    replace(6, (triple(p) - triple(p + 3)).length());
}

void op_normalize(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    replace(3, normalize(triple(p)));
}

template <int C>
void op_xyzcomp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    replace(3, p[C]);
}

// The component index floor(i) kept to 0..2 (NaN as 0).
int component(float i)
{
    float c = std::floor(i);
    return c >= 2 ? 2 : c >= 1 ? 1 : 0;
}

// comp (v, i).
void op_comp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(4);
    replace(4, p[component(p[3])]);
}

// setcomp (v, i, x): the triple with component i set to x; an index outside
// 0..2 (or NaN) sets nothing.
void op_setcomp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(5);
    Point v = triple(p);
    float i = std::floor(p[3]);
    if (i >= 0 && i <= 2) v[static_cast<int>(i)] = p[4];
    replace(5, v);
}

constexpr OpBinding ROWS[] = {
    {"abs", op_f1<f_abs>},
    {"sign", op_f1<f_sign>},
    {"floor", op_f1<f_floor>},
    {"ceil", op_f1<f_ceil>},
    {"round", op_f1<f_round>},
    {"sin", op_f1<f_sin>},
    {"cos", op_f1<f_cos>},
    {"tan", op_f1<f_tan>},
    {"asin", op_f1<f_asin>},
    {"acos", op_f1<f_acos>},
    {"atan", op_f1<f_atan>},
    {"exp", op_f1<f_exp>},
    {"log", op_f1<f_log>},
    {"radians", op_f1<f_radians>},
    {"degrees", op_f1<f_degrees>},
    {"sqrt", op_sqrt},
    {"inversesqrt", op_inversesqrt},
    {"atan2", op_f2<f_atan2>},
    {"logb", op_f2<f_logb>},
    {"pow", op_f2<f_pow>},
    {"mod", op_f2<f_mod>},
    {"step", op_f2<f_step>},
    {"fmin", op_f2<f_min>},  // also min
    {"fmax", op_f2<f_max>},  // also max
    {"smoothstep", op_smoothstep},
    {"fclamp", op_fclamp},   // also clamp
    {"fmix", op_fmix},
    {"random", op_random},
    {"vmin", op_v2<f_min>},  // also cmin
    {"vmax", op_v2<f_max>},  // also cmax
    {"vclamp", op_vclamp},   // also cclamp
    {"vmix", op_vmix},       // also mix, cmix
    {"length", op_length},
    {"distance", op_distance},
    {"normalize", op_normalize},
    {"xcomp", op_xyzcomp<0>},
    {"ycomp", op_xyzcomp<1>},
    {"zcomp", op_xyzcomp<2>},
    {"comp", op_comp},
    {"setcomp", op_setcomp},
};

} // namespace

constexpr OpBindings MATH_OPS = op_bindings(shading::OpModule::Math, ROWS);
