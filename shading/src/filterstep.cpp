// filterstep and its operations: filterstep2 (edge, s, pairs) filters over
// the point's own change of s, found through the derivative neighbours;
// filterstep3 (edge, s0, s1, pairs) over the interval [s0, s1]. On the stack the
// count of pair items is on top, then the arguments; the pair names are on
// the string stack with the string values.
#include "shading/filterstep.h"

#include <cmath>
#include <cstring>

#include "ri_common/rierror.h"
#include "shading/opmodules.h"
#include "opstack.h"
#include "shading/shadingpoint.h"

namespace {

// The quartic pieces of the Catmull-Rom step over [lo, hi] at s.
float catmull_rom_step(float lo, float hi, float s)
{
    float d = (s - lo) / (hi - lo);
    if (d <= 0) return 0;
    if (d >= 1) return 1;
    if (d < 0.25f) return 32 * d * d * d * (d - 0.33333f);
    if (d < 0.5f) return d * (d * (d * (138.66667f - 96 * d) - 64) + 12) - 0.8333333f;
    if (d < 0.75f) return d * (d * (d * (96 * d - 245.33333f) + 224) - 84) + 11.166667f;
    return d * (d * (d * (117.333336f - 32 * d) - 160) + 96) - 20.333334f;
}

struct StepParams {
    float width = 1;
    const char *filter = nullptr;
};

// Pops count pair items: names from the string stack, each followed by its
// value ("filter" a string, the rest floats).
StepParams pop_params(int count)
{
    StepParams sp;
    for (int i = 0; i < count; i += 2) {
        const char *name = slstack.pop_string();
        if (i + 1 >= count) break;
        if (!std::strcmp(name, "filter")) {
            sp.filter = slstack.pop_string();
            continue;
        }
        float value = slstack.pop_float();
        if (!std::strcmp(name, "width") || !std::strcmp(name, "swidth"))
            sp.width = value;
        else
            ri_error(RIE_BADTOKEN, RIE_ERROR, "Bad param to filterstep: %s", name);
    }
    return sp;
}

int pair_items(float c)
{
    return c > 0 && c < SLStack::STRINGS ? static_cast<int>(c) : 0;
}

void op_filterstep2(ExecFrame *, ShaderVars *sv)
{
    int count = pair_items(slstack.pop_float());
    float edge = slstack.pop_float();
    float s = slstack.pop_float();
    StepParams sp = pop_params(count);
    const float *n = sv->deriv_exchange(&s, 1);
    float r;
    if (n) {
        float w = sp.width * std::fmax(std::fabs(n[0] - s), std::fabs(n[1] - s));
        r = filterstep_core(edge, s, w, sp.filter);
    } else {
        r = s >= edge ? 1.0f : 0.0f;   // neighbour runs and runs without derivatives
    }
    slstack.push_float(r);
}

void op_filterstep3(ExecFrame *, ShaderVars *)
{
    int count = pair_items(slstack.pop_float());
    float edge = slstack.pop_float();
    float s0 = slstack.pop_float();
    float s1 = slstack.pop_float();
    StepParams sp = pop_params(count);
    // The step filtered over [s0, s1]: centred on the interval, as wide as it
    // (a reversed interval filters over the same width).
    float centre = 0.5f * (s0 + s1);
    slstack.push_float(filterstep_core(edge, centre, sp.width * std::fabs(s1 - s0), sp.filter));
}

} // namespace

float filterstep_core(float edge, float s, float w, const char *filter)
{
    // The Catmull-Rom kernel reaches twice the width: its step dips below 0
    // and overshoots 1 out there, and is flat only past that reach.
    if (!filter || !std::strcmp(filter, "catmull-rom")) {
        if (s <= edge - 2 * w) return 0;
        if (s >= edge + 2 * w) return 1;
        return catmull_rom_step(edge - 2 * w, edge + 2 * w, s);
    }
    if (!std::strcmp(filter, "box")) {
        if (s <= edge - w / 2) return 0;
        if (s < edge + w / 2) return (s - (edge - w / 2)) / w;
        return 1;
    }
    if (s <= edge - 4 * w) return 0;
    if (s >= edge + 4 * w) return 1;
    return catmull_rom_step(edge - 4 * w, edge + 4 * w, s);
}

namespace {

constexpr OpBinding ROWS[] = {
    {"filterstep2", op_filterstep2},
    {"filterstep3", op_filterstep3},
};

} // namespace

constexpr OpBindings FILTERSTEP_OPS = op_bindings(shading::OpModule::FilterStep, ROWS);
