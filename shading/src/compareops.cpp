// Comparisons: the float 1.0 or 0.0 replaces the inputs. Exact float
// comparison; the order tests take the top as the left operand.
#include "shading/opmodules.h"
#include "opstack.h"

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

constexpr OpBinding ROWS[] = {
    {"gt", op_order<GT>},
    {"lt", op_order<LT>},
    {"ge", op_order<GE>},
    {"le", op_order<LE>},
    {"feqf", op_ff<true>},          // also feq
    {"fnef", op_ff<false>},         // also fne
    {"veqv", op_cc<true>},          // also veq, ceq, ceqc, veqc, ceqv
    {"vnev", op_cc<false>},         // also vne, cne, cnec, vnec, cnev
    {"feqv", op_cf<true, true>},    // also feqc
    {"fnev", op_cf<false, true>},   // also fnec
    {"veqf", op_cf<true, false>},   // also ceqf
    {"vnef", op_cf<false, false>},  // also cnef
};

} // namespace

constexpr OpBindings COMPARE_OPS = op_bindings(shading::OpModule::Compare, ROWS);
