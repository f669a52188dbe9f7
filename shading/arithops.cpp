// Arithmetic on floats, triples (points, vectors, normals and colours alike)
// and matrices. Stack forms take the top as the left operand ("top op
// beneath"); the forms with symbol operands combine a variable with the top
// or two variables and push the result.
#include "ri/rierror.h"
#include "shading/opmodules.h"
#include "shading/opstack.h"
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

} // namespace

void install_arith_ops()
{
    set_op_handler("addff", op_ff<ADD>);
    set_op_handler("subff", op_ff<SUB>);
    set_op_handler("mulff", op_ff<MUL>);
    set_op_handler("divff", op_divff);
    set_op_handler("addvv", op_cc<ADD>);  // also addcc
    set_op_handler("subvv", op_cc<SUB>);  // also subcc
    set_op_handler("mulvv", op_cc<MUL>);  // also mulcc
    set_op_handler("divvv", op_cc<DIV>);  // also divcc
    set_op_handler("mulvf", op_cf<MUL>);  // also mulcf
    set_op_handler("mulfv", op_fc<MUL>);  // also mulfc
    set_op_handler("divvf", op_divcf);    // also divcf
    set_op_handler("addvf", op_cf<ADD>);  // also addcf
    set_op_handler("subvf", op_cf<SUB>);  // also subcf
    set_op_handler("addfv", op_fc<ADD>);  // also addfc
    set_op_handler("subfv", op_fc<SUB>);  // also subfc
    set_op_handler("negf", op_negf);
    set_op_handler("negv", op_negc);      // also negc
    set_op_handler("vdot", op_vdot);
    set_op_handler("cross", op_cross);
    set_op_handler("mulmm", op_mm<MUL>);
    set_op_handler("divmm", op_mm<DIV>);
    set_op_handler("mulfm", op_mulfm);
    set_op_handler("mulmf", op_mulmf);
    set_op_handler("divfm", op_divfm);
    set_op_handler("divmf", op_divmf);
    set_op_handler("addF", op_F<ADD>);
    set_op_handler("subF", op_F<SUB>);
    set_op_handler("mulF", op_F<MUL>);
    set_op_handler("divF", op_F<DIV>);
    set_op_handler("addV", op_C<ADD>);    // also addC
    set_op_handler("subV", op_C<SUB>);    // also subC
    set_op_handler("mulV", op_C<MUL>);    // also mulC
    set_op_handler("divV", op_C<DIV>);    // also divC
    set_op_handler("mulFv", op_mulFc);    // also mulFc
    set_op_handler("addM", op_M<ADD>);
    set_op_handler("subM", op_M<SUB>);
    set_op_handler("mulM", op_M<MUL>);
    set_op_handler("divM", op_M<DIV>);
    set_op_handler("addFF", op_FF<ADD>);
    set_op_handler("subFF", op_FF<SUB>);
    set_op_handler("mulFF", op_FF<MUL>);
    set_op_handler("divFF", op_FF<DIV>);
    set_op_handler("addVV", op_CC<ADD>);  // also addCC
    set_op_handler("subVV", op_CC<SUB>);  // also subCC
    set_op_handler("mulVV", op_CC<MUL>);  // also mulCC
    set_op_handler("divVV", op_CC<DIV>);  // also divCC
    set_op_handler("mulVF", op_mulCF);    // also mulCF
    set_op_handler("mulFV", op_mulFC);    // also mulFC
}
