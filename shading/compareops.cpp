// Comparisons: the float 1.0 or 0.0 replaces the inputs. Exact float
// comparison; the order tests take the top as the left operand.
#include "shading/opmodules.h"
#include "shading/opstack.h"

using opstack::replace;
using opstack::triple;
using opstack::truth;

namespace {

enum Order { GT, LT, GE, LE };

template <Order O>
void op_order(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(2);
    float a = p[0], b = p[1];
    bool r = O == GT ? a > b : O == LT ? a < b : O == GE ? a >= b : a <= b;
    replace(2, truth(r));
}

template <bool EQ>
void op_ff(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(2);
    replace(2, truth((p[0] == p[1]) == EQ));
}

// Two triples: equal when all three components are.
template <bool EQ>
void op_cc(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    replace(6, truth((triple(p) == triple(p + 3)) == EQ));
}

// A float against a triple (either on top): equal when every component
// equals the float.
template <bool EQ, bool FLOAT_ON_TOP>
void op_cf(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(4);
    float f = FLOAT_ON_TOP ? p[0] : p[3];
    Point c = triple(FLOAT_ON_TOP ? p + 1 : p);
    replace(4, truth((c == Point(f)) == EQ));
}

} // namespace

void install_compare_ops()
{
    set_op_handler(31, op_order<GT>);
    set_op_handler(33, op_order<LT>);
    set_op_handler(32, op_order<GE>);
    set_op_handler(34, op_order<LE>);
    set_op_handler(35, op_ff<true>);          // feq, feqf
    set_op_handler(36, op_ff<false>);         // fne, fnef
    set_op_handler(37, op_cc<true>);          // ceq, ceqc, veq, veqv
    set_op_handler(38, op_cc<false>);         // cne, cnec, vne, vnev
    set_op_handler(49, op_cf<true, true>);    // feqc, feqv
    set_op_handler(50, op_cf<false, true>);   // fnec, fnev
    set_op_handler(45, op_cf<true, false>);   // ceqf, veqf
    set_op_handler(46, op_cf<false, false>);  // cnef, vnef
}
