// Noise operations: noise, pnoise and cellnoise of one to four inputs (float,
// two floats, a point, a point and a float) with float or triple results,
// through the replaceable noise entries.
#include <string>

#include "shading/interp.h"
#include "shading_noise/noise.h"
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
constexpr OpBinding ROWS[] = {
    {"noisef", op_noise<PLAIN, 1, 1>},
    {"noiseff", op_noise<PLAIN, 2, 1>},
    {"noisev", op_noise<PLAIN, 3, 1>},
    {"noisevf", op_noise<PLAIN, 4, 1>},
    {"pointnoisef", op_noise<PLAIN, 1, 3>},
    {"pointnoiseff", op_noise<PLAIN, 2, 3>},
    {"pointnoisev", op_noise<PLAIN, 3, 3>},
    {"pointnoisevf", op_noise<PLAIN, 4, 3>},
    {"pnoisef", op_noise<PERIODIC, 1, 1>},
    {"pnoiseff", op_noise<PERIODIC, 2, 1>},
    {"pnoisev", op_noise<PERIODIC, 3, 1>},
    {"pnoisevf", op_noise<PERIODIC, 4, 1>},
    {"pointpnoisef", op_noise<PERIODIC, 1, 3>},
    {"pointpnoiseff", op_noise<PERIODIC, 2, 3>},
    {"pointpnoisev", op_noise<PERIODIC, 3, 3>},
    {"pointpnoisevf", op_noise<PERIODIC, 4, 3>},
    {"cellnoisef", op_noise<CELL, 1, 1>},
    {"cellnoiseff", op_noise<CELL, 2, 1>},
    {"cellnoisev", op_noise<CELL, 3, 1>},
    {"cellnoisevf", op_noise<CELL, 4, 1>},
    {"pointcellnoisef", op_noise<CELL, 1, 3>},
    {"pointcellnoiseff", op_noise<CELL, 2, 3>},
    {"pointcellnoisev", op_noise<CELL, 3, 3>},
    {"pointcellnoisevf", op_noise<CELL, 4, 3>},
};

} // namespace

constexpr OpBindings NOISE_OPS = op_bindings(shading::OpModule::Noise, ROWS);
