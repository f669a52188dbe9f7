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
    set_op_handler(53, op_ff<ADD>);     // addff
    set_op_handler(54, op_ff<SUB>);     // subff
    set_op_handler(55, op_ff<MUL>);     // mulff
    set_op_handler(56, op_divff);
    set_op_handler(125, op_cc<ADD>);    // addcc, addvv
    set_op_handler(126, op_cc<SUB>);
    set_op_handler(127, op_cc<MUL>);
    set_op_handler(128, op_cc<DIV>);
    set_op_handler(93, op_cf<MUL>);     // mulcf, mulvf
    set_op_handler(94, op_fc<MUL>);     // mulfc, mulfv
    set_op_handler(95, op_divcf);
    set_op_handler(97, op_cf<ADD>);     // addcf, addvf
    set_op_handler(98, op_cf<SUB>);
    set_op_handler(99, op_fc<ADD>);     // addfc, addfv
    set_op_handler(100, op_fc<SUB>);
    set_op_handler(87, op_negf);
    set_op_handler(117, op_negc);       // negc, negv
    set_op_handler(122, op_vdot);
    set_op_handler(123, op_cross);
    set_op_handler(147, op_mm<MUL>);    // mulmm
    set_op_handler(148, op_mm<DIV>);    // divmm
    set_op_handler(149, op_mulfm);
    set_op_handler(150, op_mulmf);
    set_op_handler(151, op_divfm);
    set_op_handler(152, op_divmf);
    set_op_handler(57, op_F<ADD>);      // addF
    set_op_handler(58, op_F<SUB>);
    set_op_handler(59, op_F<MUL>);
    set_op_handler(60, op_F<DIV>);
    set_op_handler(129, op_C<ADD>);     // addC, addV
    set_op_handler(130, op_C<SUB>);
    set_op_handler(131, op_C<MUL>);
    set_op_handler(132, op_C<DIV>);
    set_op_handler(96, op_mulFc);       // mulFc, mulFv
    set_op_handler(133, op_M<ADD>);     // addM
    set_op_handler(134, op_M<SUB>);
    set_op_handler(135, op_M<MUL>);
    set_op_handler(136, op_M<DIV>);
    set_op_handler(137, op_FF<ADD>);    // addFF
    set_op_handler(139, op_FF<SUB>);
    set_op_handler(141, op_FF<MUL>);
    set_op_handler(145, op_FF<DIV>);
    set_op_handler(138, op_CC<ADD>);    // addCC, addVV
    set_op_handler(140, op_CC<SUB>);
    set_op_handler(142, op_CC<MUL>);
    set_op_handler(146, op_CC<DIV>);
    set_op_handler(143, op_mulCF);      // mulCF, mulVF
    set_op_handler(144, op_mulFC);      // mulFC, mulFV
}
