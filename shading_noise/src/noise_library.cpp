// The noise entry points and their replaceable tables: six tables (noise,
// periodic noise and cell noise, each with float and three-component
// results) of four entries indexed by the input dimension.
#include "shading_noise/noise.h"

#include "platform/dynlib.h"
#include "platform/files.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

typedef int (*NoiseEntry)(int nin, float *in, int nout, float *out);
typedef int (*PeriodicEntry)(int nin, float *in, float *period, int nout, float *out);

// Input shifts of the second and third components of a three-component result.
const float SHIFT[2][4] = {{52.0f, -90.0f, 14.0f, -27.0f}, {-17.0f, 35.0f, -133.0f, 7.0f}};

// A period as the kernels take it: rounded down, 0 (non-periodic) below 1.
int whole_period(float p)
{
    return (p >= 1.0f && p < 2147483648.0f) ? int(std::floor(p)) : 0;
}

float scalar_noise(int n, const float *v)
{
    switch (n) {
    case 1: return noise1(v[0]);
    case 2: return noise2(v[0], v[1]);
    case 3: return noise3(v[0], v[1], v[2]);
    default: return noise4(v[0], v[1], v[2], v[3]);
    }
}

float scalar_pnoise(int n, const float *v, const float *period)
{
    int p[4];
    for (int k = 0; k < n; ++k) p[k] = whole_period(period[k]);
    switch (n) {
    case 1: return pnoise1(v[0], p[0]);
    case 2: return pnoise2(v[0], v[1], p[0], p[1]);
    case 3: return pnoise3(v[0], v[1], v[2], p[0], p[1], p[2]);
    default: return pnoise4(v[0], v[1], v[2], v[3], p[0], p[1], p[2], p[3]);
    }
}

float scalar_cellnoise(int n, const float *v)
{
    switch (n) {
    case 1: return cellnoise1(v[0]);
    case 2: return cellnoise2(v[0], v[1]);
    case 3: return cellnoise3(v[0], v[1], v[2]);
    default: return cellnoise4(v[0], v[1], v[2], v[3]);
    }
}

// Component 0 at the input, 1 and 2 at the shifted inputs.
template <class Fn>
void triple(int n, const float *in, float *out, Fn fn)
{
    out[0] = fn(in);
    for (int c = 0; c < 2; ++c) {
        float v[4];
        for (int k = 0; k < n; ++k) v[k] = in[k] + SHIFT[c][k];
        out[c + 1] = fn(v);
    }
}

// Built-in entries: a float or a three-component result of a scalar kernel.
typedef float (*Kernel)(int n, const float *v);

template <int N, Kernel K>
int builtin_float(int, float *in, int, float *out)
{
    out[0] = K(N, in);
    return 0;
}

template <int N, Kernel K>
int builtin_triple(int, float *in, int, float *out)
{
    triple(N, in, out, [](const float *v) { return K(N, v); });
    return 0;
}

template <int N>
int builtin_pnoise_float(int, float *in, float *period, int, float *out)
{
    out[0] = scalar_pnoise(N, in, period);
    return 0;
}

template <int N>
int builtin_pnoise_triple(int, float *in, float *period, int, float *out)
{
    triple(N, in, out, [period](const float *v) { return scalar_pnoise(N, v, period); });
    return 0;
}

struct NoiseTablesOfEntries {
    NoiseEntry noise_float[4] = {builtin_float<1, scalar_noise>, builtin_float<2, scalar_noise>,
                                 builtin_float<3, scalar_noise>, builtin_float<4, scalar_noise>};
    NoiseEntry noise_triple[4] = {builtin_triple<1, scalar_noise>, builtin_triple<2, scalar_noise>,
                                  builtin_triple<3, scalar_noise>, builtin_triple<4, scalar_noise>};
    PeriodicEntry pnoise_float[4] = {builtin_pnoise_float<1>, builtin_pnoise_float<2>,
                                     builtin_pnoise_float<3>, builtin_pnoise_float<4>};
    PeriodicEntry pnoise_triple[4] = {builtin_pnoise_triple<1>, builtin_pnoise_triple<2>,
                                      builtin_pnoise_triple<3>, builtin_pnoise_triple<4>};
    NoiseEntry cell_float[4] = {builtin_float<1, scalar_cellnoise>, builtin_float<2, scalar_cellnoise>,
                                builtin_float<3, scalar_cellnoise>, builtin_float<4, scalar_cellnoise>};
    NoiseEntry cell_triple[4] = {builtin_triple<1, scalar_cellnoise>, builtin_triple<2, scalar_cellnoise>,
                                 builtin_triple<3, scalar_cellnoise>, builtin_triple<4, scalar_cellnoise>};
    bool library_tried = false;
    std::string library_file;   // the library loaded, if any
};

NoiseTablesOfEntries &entries()
{
    static NoiseTablesOfEntries e;
    return e;
}

// The entry for nin inputs and nout outputs, or null when either is invalid.
template <class Entry>
Entry pick(Entry (&floats)[4], Entry (&triples)[4], int nin, int nout)
{
    if (nin < 1 || nin > 4) return nullptr;
    if (nout == 1) return floats[nin - 1];
    if (nout == 3) return triples[nin - 1];
    return nullptr;
}

} // namespace

extern "C" int RxNoise(int nin, float *in, int nout, float *out)
{
    NoiseTablesOfEntries &e = entries();
    NoiseEntry fn = pick(e.noise_float, e.noise_triple, nin, nout);
    return fn ? fn(nin, in, nout, out) : 1;
}

extern "C" int RxPNoise(int nin, float *in, float *period, int nout, float *out)
{
    NoiseTablesOfEntries &e = entries();
    PeriodicEntry fn = pick(e.pnoise_float, e.pnoise_triple, nin, nout);
    return fn ? fn(nin, in, period, nout, out) : 1;
}

extern "C" int RxCellNoise(int nin, float *in, int nout, float *out)
{
    NoiseTablesOfEntries &e = entries();
    NoiseEntry fn = pick(e.cell_float, e.cell_triple, nin, nout);
    return fn ? fn(nin, in, nout, out) : 1;
}

void load_rx_library(bool enabled)
{
    NoiseTablesOfEntries &e = entries();
    if (!enabled) return;
    // Loaded for an earlier frame, the library is an input of this one too.
    if (e.library_tried) {
        if (!e.library_file.empty()) velk::remember_input(e.library_file.c_str());
        return;
    }
    e.library_tried = true;

    // Asked for and not had: said once, so that the pictures are not taken
    // for the library's noise.
    velk::DynLib *lib = nullptr;
    std::string file;
    if (find_dso("librx.so", "", &lib, &file) != DSO_LOADED) {
        const char *tree = std::getenv("RMANTREE");
        if (find_dso("lib/librx.so", tree ? tree : "", &lib, &file) != DSO_LOADED) {
            ri_error(RIE_NOFILE, RIE_WARNING,
                     "noise library librx.so not found (current directory, $RMANTREE/lib): "
                     "using the built-in noise");
            return;
        }
    }
    e.library_file = file;
    auto noise = velk::dynlib_function<NoiseEntry>(lib, "RxNoise");
    auto pnoise = velk::dynlib_function<PeriodicEntry>(lib, "RxPNoise");
    auto cell = velk::dynlib_function<NoiseEntry>(lib, "RxCellNoise");
    // The library stays loaded either way (it is never unloaded).
    if (!noise || !pnoise || !cell) {
        ri_error(RIE_BADFILE, RIE_WARNING,
                 "noise library librx.so lacks RxNoise, RxPNoise or RxCellNoise: using the built-in noise");
        return;
    }
    for (int i = 0; i < 4; ++i) {
        e.noise_float[i] = e.noise_triple[i] = noise;
        e.pnoise_float[i] = e.pnoise_triple[i] = pnoise;
        e.cell_float[i] = e.cell_triple[i] = cell;
    }
}
