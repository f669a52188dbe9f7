// Matrix element access, mixing and equality: mcomp, msetcomp, mmix, and
// the comparisons of a matrix with a matrix or a float. A matrix on the
// stack is sixteen words in row order, element (0, 0) on top.
#include <cmath>

#include "shading/opmodules.h"
#include "opstack.h"

using opstack::replace;
using opstack::truth;

namespace {

// A row or column index floor(i) kept to 0..3 (NaN as 0).
int element(float i)
{
    float c = std::floor(i);
    return c >= 3 ? 3 : c >= 2 ? 2 : c >= 1 ? 1 : 0;
}

// mcomp (M, row, column).
void op_mcomp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(18);
    replace(18, p[4 * element(p[16]) + element(p[17])]);
}

// msetcomp (M, row, column, x): the matrix with that element set; an index
// outside 0..3 (or NaN) sets nothing.
void op_msetcomp(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(19);
    float m[16];
    for (int i = 0; i < 16; ++i) m[i] = p[i];
    float r = std::floor(p[16]), c = std::floor(p[17]);
    if (r >= 0 && r <= 3 && c >= 0 && c <= 3) m[4 * int(r) + int(c)] = p[18];
    replace(19, m, 16);
}

// mmix (a, b, t): (1 - t) a + t b element by element.
void op_mmix(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(33);
    float t = p[32], m[16];
    for (int i = 0; i < 16; ++i) m[i] = (1 - t) * p[i] + t * p[16 + i];
    replace(33, m, 16);
}

// Two matrices: equal when all sixteen elements are.
template <bool EQ>
void op_mm(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(32);
    bool equal = true;
    for (int i = 0; i < 16; ++i) equal = equal && p[i] == p[16 + i];
    replace(32, truth(equal == EQ));
}

// A matrix against a float (either on top): equal when the matrix is the
// float on the diagonal and zero elsewhere, as the float widened to a matrix.
template <bool EQ, bool FLOAT_ON_TOP>
void op_mf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(17);
    float f = FLOAT_ON_TOP ? p[0] : p[16];
    const float *m = FLOAT_ON_TOP ? p + 1 : p;
    bool equal = true;
    for (int i = 0; i < 16; ++i) equal = equal && m[i] == (i % 5 == 0 ? f : 0.0f);
    replace(17, truth(equal == EQ));
}

constexpr OpBinding ROWS[] = {
    {"mcomp", op_mcomp},
    {"msetcomp", op_msetcomp},
    {"mmix", op_mmix},
    {"meqm", op_mm<true>},
    {"mnem", op_mm<false>},
    {"meqf", op_mf<true, false>},
    {"mnef", op_mf<false, false>},
    {"feqm", op_mf<true, true>},
    {"fnem", op_mf<false, true>},
};

} // namespace

constexpr OpBindings MATRIX_OPS = op_bindings(shading::OpModule::Matrix, ROWS);
