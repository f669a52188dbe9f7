// Arithmetic on floats, triples (points, vectors, normals and colours alike)
// and matrices. Stack forms take the top as the left operand ("top op
// beneath"); the forms with symbol operands combine a variable with the top
// or two variables and push the result.
#include "ri_common/rierror.h"
#include "shading/opmodules.h"
#include "opstack.h"
#include "shading/shadingpoint.h"

using opstack::matrix;
using opstack::replace;
using opstack::triple;

namespace {

enum Arith { ADD, SUB, MUL, DIV };

// a op b for floats (IEEE division).
template <Arith OP>
float apply(float a, float b)
{
    switch (OP) {
    case ADD: return a + b;
    case SUB: return a - b;
    case MUL: return a * b;
    default: return a / b;
    }
}

// Triples component by component; a zero divisor component gives 0.
template <Arith OP>
Point apply(const Point &a, const Point &b)
{
    Point r;
    for (int i = 0; i < 3; ++i)
        r[i] = (OP == DIV && b[i] == 0) ? 0.0f : apply<OP>(a[i], b[i]);
    return r;
}

// The inverse of m; a singular matrix gives the zero matrix and a report,
// except in the derivative-neighbour runs, which repeat the main run's work.
Matrix4 shader_inverse(const Matrix4 &m, const ShaderVars *sv)
{
    float det = 0;
    Matrix4 inv = m.inverse(&det);
    if (det == 0) {
        inv = Matrix4(0.0f);
        if (sv->whichdisp == DISP_MAIN)
            ri_error(RIE_MATH, RIE_ERROR, "inverse of singular matrix in shader");
    }
    return inv;
}

template <Arith OP>
Matrix4 apply(const Matrix4 &a, const Matrix4 &b, const ShaderVars *sv)
{
    switch (OP) {
    case ADD: return a + b;
    case SUB: return a - b;
    case MUL: return a * b;
    default: return a * shader_inverse(b, sv);
    }
}

// ---- stack forms ----------------------------------------------------------

template <Arith OP>
void op_ff(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(2);
    replace(2, apply<OP>(p[0], p[1]));
}

// A zero divisor keeps the dividend.
void op_divff(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(2);
    replace(2, p[1] == 0 ? p[0] : p[0] / p[1]);
}

template <Arith OP>
void op_cc(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    replace(6, apply<OP>(triple(p), triple(p + 3)));
}

// Triple on top, float beneath: each component op the float.
template <Arith OP>
void op_cf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(4);
    replace(4, apply<OP>(triple(p), Point(p[3])));
}

// Float on top, triple beneath: the float op each component.
template <Arith OP>
void op_fc(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(4);
    replace(4, apply<OP>(Point(p[0]), triple(p + 1)));
}

void op_divcf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(4);
    replace(4, triple(p) / p[3]);
}

void op_negf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(1);
    p[0] = -p[0];
}

void op_negc(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(3);
    for (int i = 0; i < 3; ++i) p[i] = -p[i];
}

void op_vdot(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    replace(6, dot(triple(p), triple(p + 3)));
}

void op_cross(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    replace(6, cross(triple(p), triple(p + 3)));
}

template <Arith OP>
void op_mm(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(32);
    replace(32, apply<OP>(matrix(p), matrix(p + 16), sv));
}

// Float on top, matrix beneath, or the other way round: the scaled matrix.
void op_mulfm(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(17);
    replace(17, matrix(p + 1) * p[0]);
}

void op_mulmf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(17);
    replace(17, matrix(p) * p[16]);
}

// Matrix on top divided by the float beneath; a zero float scales by 0.
void op_divmf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(17);
    float f = p[16];
    replace(17, matrix(p) * (f == 0 ? 0.0f : 1.0f / f));
}

// Float on top over the matrix beneath: the inverse scaled by the float.
void op_divfm(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(17);
    replace(17, shader_inverse(matrix(p + 1), sv) * p[0]);
}

// ---- a variable with the top ----------------------------------------------

template <Arith OP>
void op_F(ExecFrame *f, ShaderVars *)
{
    const float *var = next_float_operand(f);
    float *p = slstack.top_ptr(1);
    p[0] = apply<OP>(var[0], p[0]);
}

template <Arith OP>
void op_C(ExecFrame *f, ShaderVars *)
{
    const float *var = next_float_operand(f);
    float *p = slstack.top_ptr(3);
    replace(3, apply<OP>(triple(var), triple(p)));
}

// Top triple times a float variable.
void op_mulFc(ExecFrame *f, ShaderVars *)
{
    const float *var = next_float_operand(f);
    float *p = slstack.top_ptr(3);
    for (int i = 0; i < 3; ++i) p[i] *= var[0];
}

template <Arith OP>
void op_M(ExecFrame *f, ShaderVars *sv)
{
    const float *var = next_float_operand(f);
    float *p = slstack.top_ptr(16);
    replace(16, apply<OP>(matrix(var), matrix(p), sv));
}

// ---- two variables, the result pushed ------------------------------------

template <Arith OP>
void op_FF(ExecFrame *f, ShaderVars *)
{
    const float *a = next_float_operand(f);
    const float *b = next_float_operand(f);
    slstack.push_float(apply<OP>(a[0], b[0]));
}

template <Arith OP>
void op_CC(ExecFrame *f, ShaderVars *)
{
    const float *a = next_float_operand(f);
    const float *b = next_float_operand(f);
    slstack.push_triple(apply<OP>(triple(a), triple(b)).data());
}

// Triple variable times float variable, and float times triple.
void op_mulCF(ExecFrame *f, ShaderVars *)
{
    const float *c = next_float_operand(f);
    const float *s = next_float_operand(f);
    slstack.push_triple((triple(c) * s[0]).data());
}

void op_mulFC(ExecFrame *f, ShaderVars *)
{
    const float *s = next_float_operand(f);
    const float *c = next_float_operand(f);
    slstack.push_triple((triple(c) * s[0]).data());
}

constexpr OpBinding ROWS[] = {
    {"addff", op_ff<ADD>},
    {"subff", op_ff<SUB>},
    {"mulff", op_ff<MUL>},
    {"divff", op_divff},
    {"addvv", op_cc<ADD>},  // also addcc
    {"subvv", op_cc<SUB>},  // also subcc
    {"mulvv", op_cc<MUL>},  // also mulcc
    {"divvv", op_cc<DIV>},  // also divcc
    {"mulvf", op_cf<MUL>},  // also mulcf
    {"mulfv", op_fc<MUL>},  // also mulfc
    {"divvf", op_divcf},    // also divcf
    {"addvf", op_cf<ADD>},  // also addcf
    {"subvf", op_cf<SUB>},  // also subcf
    {"addfv", op_fc<ADD>},  // also addfc
    {"subfv", op_fc<SUB>},  // also subfc
    {"negf", op_negf},
    {"negv", op_negc},      // also negc
    {"vdot", op_vdot},
    {"cross", op_cross},
    {"mulmm", op_mm<MUL>},
    {"divmm", op_mm<DIV>},
    {"mulfm", op_mulfm},
    {"mulmf", op_mulmf},
    {"divfm", op_divfm},
    {"divmf", op_divmf},
    {"addF", op_F<ADD>},
    {"subF", op_F<SUB>},
    {"mulF", op_F<MUL>},
    {"divF", op_F<DIV>},
    {"addV", op_C<ADD>},    // also addC
    {"subV", op_C<SUB>},    // also subC
    {"mulV", op_C<MUL>},    // also mulC
    {"divV", op_C<DIV>},    // also divC
    {"mulFv", op_mulFc},    // also mulFc
    {"addM", op_M<ADD>},
    {"subM", op_M<SUB>},
    {"mulM", op_M<MUL>},
    {"divM", op_M<DIV>},
    {"addFF", op_FF<ADD>},
    {"subFF", op_FF<SUB>},
    {"mulFF", op_FF<MUL>},
    {"divFF", op_FF<DIV>},
    {"addVV", op_CC<ADD>},  // also addCC
    {"subVV", op_CC<SUB>},  // also subCC
    {"mulVV", op_CC<MUL>},  // also mulCC
    {"divVV", op_CC<DIV>},  // also divCC
    {"mulVF", op_mulCF},    // also mulCF
    {"mulFV", op_mulFC},    // also mulFC
};

} // namespace

constexpr OpBindings ARITH_OPS = op_bindings(shading::OpModule::Arith, ROWS);
