// Noise operations: noise, pnoise and cellnoise of one to four inputs (float,
// two floats, a point, a point and a float) with float or triple results,
// through the replaceable noise entries.
#include <string>

#include "shading/interp.h"
#include "shading/noise.h"
#include "shading/opmodules.h"

namespace {

enum NoiseKind { PLAIN, PERIODIC, CELL };

// The top `words` stack words (inputs from the top, periods beneath them for
// the periodic kind) become the result: it takes the deepest words when they
// are enough, else the inputs are popped and the result pushed.
template <NoiseKind KIND, int NIN, int NOUT>
void op_noise(ExecFrame *, ShaderVars *)
{
    const int words = KIND == PERIODIC ? 2 * NIN : NIN;
    float *p = slstack.top_ptr(words);
    float in[4], period[4], out[3] = {0, 0, 0};
    for (int i = 0; i < NIN; ++i) {
        in[i] = p[i];
        if (KIND == PERIODIC) period[i] = p[NIN + i];
    }
    if (KIND == PLAIN) RxNoise(NIN, in, NOUT, out);
    else if (KIND == PERIODIC) RxPNoise(NIN, in, period, NOUT, out);
    else RxCellNoise(NIN, in, NOUT, out);
    if (words >= NOUT) {
        for (int i = 0; i < NOUT; ++i) p[words - NOUT + i] = out[i];
        slstack.drop(words - NOUT);
    } else {
        slstack.drop(words);
        float *r = slstack.push_space(NOUT);
        for (int i = 0; i < NOUT; ++i) r[i] = out[i];
    }
}

// The names end in the inputs' letters: f, ff, v (a point), vf. The triple
// forms are the same names after "point" (also reached as "color").
template <NoiseKind KIND>
void install_family(const std::string &stem)
{
    const std::string point = "point" + stem;
    set_op_handler((stem + "f").c_str(), op_noise<KIND, 1, 1>);
    set_op_handler((stem + "ff").c_str(), op_noise<KIND, 2, 1>);
    set_op_handler((stem + "v").c_str(), op_noise<KIND, 3, 1>);
    set_op_handler((stem + "vf").c_str(), op_noise<KIND, 4, 1>);
    set_op_handler((point + "f").c_str(), op_noise<KIND, 1, 3>);
    set_op_handler((point + "ff").c_str(), op_noise<KIND, 2, 3>);
    set_op_handler((point + "v").c_str(), op_noise<KIND, 3, 3>);
    set_op_handler((point + "vf").c_str(), op_noise<KIND, 4, 3>);
}

} // namespace

void install_noise_ops()
{
    install_family<PLAIN>("noise");
    install_family<PERIODIC>("pnoise");
    install_family<CELL>("cellnoise");
}
