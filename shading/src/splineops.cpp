// Spline operations: a float, point or colour spline through values on the
// stack or in an array, with the Catmull-Rom basis or a named one. On the
// stack: the count of values on top, then t, then the values, the first one
// nearest the top; the b forms take the basis name from the string stack.
#include <cmath>
#include <cstring>

#include "ri/shader.h"
#include "shading/opmodules.h"
#include "opstack.h"
#include "shading/lightmath.h"

namespace {

// The basis matrix of a name; null for the Catmull-Rom segment and "linear".
const RtBasis *basis_matrix(const char *name)
{
    if (!name || !std::strcmp(name, "catmull-rom") || !std::strcmp(name, "linear")) return nullptr;
    if (!std::strcmp(name, "bspline")) return &RiBSplineBasis;
    if (!std::strcmp(name, "bezier")) return &RiBezierBasis;
    if (!std::strcmp(name, "hermite")) return &RiHermiteBasis;
    return &RiCatmullRomBasis;
}

// One component of the spline through n values (value i at v[i * stride]),
// stepping one value per segment. Fewer than four values never read outside
// them: the indices are kept to the values given.
float spline_value(const char *basis, float t, int n, const float *v, int stride)
{
    if (n <= 0) return 0;
    auto at = [&](int i) { return v[static_cast<size_t>(i < 0 ? 0 : i >= n ? n - 1 : i) * stride]; };
    if (!(t > 0)) return at(1);   // NaN as 0
    if (t >= 1) return at(n - 2);
    int segments = n >= 4 ? n - 3 : 1;
    float x = t * static_cast<float>(segments);
    int i = static_cast<int>(std::floor(x));
    if (i > segments - 1) i = segments - 1;
    float u = x - static_cast<float>(i);
    float p0 = at(i), p1 = at(i + 1), p2 = at(i + 2), p3 = at(i + 3);
    if (basis && !std::strcmp(basis, "linear")) return u * p2 + (1 - u) * p1;
    const RtBasis *m = basis_matrix(basis);
    if (!m) return spline_segment(p0, p1, p2, p3, u);
    float U[4] = {u * u * u, u * u, u, 1};
    float p[4] = {p0, p1, p2, p3};
    float r = 0;
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) r += U[j] * (*m)[j][k] * p[k];
    return r;
}

// A count from the stack: whole, not negative, within what a stack holds.
int value_count(float c)
{
    if (!(c > 0)) return 0;
    if (c > SLStack::WORDS) return SLStack::WORDS;
    return static_cast<int>(c);
}

// spline, pointspline, colorspline and their b forms: W words per value.
template <int W, bool NAMED>
void op_spline(ExecFrame *, ShaderVars *)
{
    const char *basis = NAMED ? slstack.pop_string() : nullptr;
    int n = value_count(*slstack.top_ptr(1));
    int in = 2 + n * W;
    const float *p = opstack::words(in);
    if (!p) return;
    float r[W];
    for (int k = 0; k < W; ++k) r[k] = spline_value(basis, p[1], n, p + 2 + k, W);
    opstack::replace(in, r, W);
}

// The array forms: the count and t on the stack, the values in the array
// operand (never more of them than the array holds).
template <int W, bool NAMED>
void op_aspline(ExecFrame *f, ShaderVars *)
{
    uint32_t word = next_word(f);
    const float *v = reinterpret_cast<const float *>(operand_address(word, f));
    const char *basis = NAMED ? slstack.pop_string() : nullptr;
    const float *p = slstack.top_ptr(2);
    int n = value_count(p[0]);
    int length = f->shader ? f->shader->array_length(word) : 1;
    if (n > length) n = length;
    float r[W];
    for (int k = 0; k < W; ++k) r[k] = spline_value(basis, p[1], n, v + k, W);
    opstack::replace(2, r, W);
}

constexpr OpBinding ROWS[] = {
    {"spline", op_spline<1, false>},
    {"pointspline", op_spline<3, false>},  // also colorspline
    {"splineb", op_spline<1, true>},
    {"pointsplineb", op_spline<3, true>},  // also colorsplineb
    {"faspline", op_aspline<1, false>},
    {"paspline", op_aspline<3, false>},    // also caspline
    {"fasplineb", op_aspline<1, true>},
    {"pasplineb", op_aspline<3, true>},    // also casplineb
};

} // namespace

constexpr OpBindings SPLINE_OPS = op_bindings(shading::OpModule::Spline, ROWS);
