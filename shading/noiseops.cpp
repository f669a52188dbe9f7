// Noise operations: noise, pnoise and cellnoise of one to four inputs (float,
// two floats, a point, a point and a float) with float or triple results,
// through the replaceable noise entries.
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

template <NoiseKind KIND>
void install_family(int float_opcode, int triple_opcode)
{
    set_op_handler(float_opcode + 0, op_noise<KIND, 1, 1>);
    set_op_handler(float_opcode + 1, op_noise<KIND, 2, 1>);
    set_op_handler(float_opcode + 2, op_noise<KIND, 3, 1>);
    set_op_handler(float_opcode + 3, op_noise<KIND, 4, 1>);
    set_op_handler(triple_opcode + 0, op_noise<KIND, 1, 3>);
    set_op_handler(triple_opcode + 1, op_noise<KIND, 2, 3>);
    set_op_handler(triple_opcode + 2, op_noise<KIND, 3, 3>);
    set_op_handler(triple_opcode + 3, op_noise<KIND, 4, 3>);
}

} // namespace

void install_noise_ops()
{
    install_family<PLAIN>(191, 195);      // noise f ff v vf; point/color noise
    install_family<PERIODIC>(215, 219);   // pnoise
    install_family<CELL>(203, 207);       // cellnoise
}
