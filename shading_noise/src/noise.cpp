// The built-in noise kernels.
#include "shading_noise/noise.h"

#include "shading_noise/noise_tables.h"

#include <cmath>
#include <cstdint>

namespace {

const int MAX_DIM = 4;

// Lattice cell and offset of one coordinate. Coordinates go through 64-bit
// integers; non-finite and huge ones land on cell 0 or the last cell.
// Both lattice points are reduced on their own (the upper one wraps from 255
// to 0, and a period is taken on the whole cell number), so that every
// lattice point has one gradient whichever cell reaches it: the noise stays
// continuous where a coordinate crosses 0 or a multiple of 256, and a period
// holds for negative coordinates and for periods that do not divide 256.
struct Lattice {
    int lo, hi;     // reduced indices of the lower and upper lattice points
    float f;        // offset from the lower point, in [0, 1)
    float w;        // weight of the lower point
};

// Lattice point i (64-bit) as a table index, modulo period when periodic.
int lattice_index(int64_t i, int period)
{
    if (period >= 1) {
        i %= period;
        if (i < 0) i += period;
    }
    return int(uint64_t(i) & 255u);
}

Lattice lattice(float x, int period)
{
    Lattice l;
    double fl = std::floor(double(x));
    int64_t i = 0;
    if (fl == fl && std::fabs(fl) < 9.0e18) {
        i = int64_t(fl);
        l.f = float(double(x) - fl);
        // Just below a lattice point (x a hair under 0) the offset rounds to
        // 1: that is the upper point itself.
        if (!(l.f < 1.0f)) {
            ++i;
            l.f = 0.0f;
        }
    } else {
        l.f = 0.0f;
    }
    l.lo = lattice_index(i, period);
    l.hi = lattice_index(i + 1, period);
    l.w = (2.0f * l.f - 3.0f) * l.f * l.f + 1.0f;
    return l;
}

float gradient_noise(int dim, const float *x, const int *period)
{
    const NoiseTables &t = noise_tables();
    Lattice l[MAX_DIM];
    for (int k = 0; k < dim; ++k) l[k] = lattice(x[k], period ? period[k] : 0);

    if (dim == 1) {
        float g0 = t.gradient[l[0].lo][1];
        float g1 = t.gradient[l[0].hi][1];
        float f = l[0].f, w = l[0].w;
        return 0.5f + 0.75f * (w * f * g0 + (1.0f - w) * (f - 1.0f) * g1);
    }

    float sum = 0.0f;
    for (int corner = 0; corner < (1 << dim); ++corner) {
        int coord[MAX_DIM];
        float off[MAX_DIM];
        float weight = 1.0f;
        for (int k = 0; k < dim; ++k) {
            bool upper = (corner >> k) & 1;
            coord[k] = upper ? l[k].hi : l[k].lo;
            off[k] = upper ? l[k].f - 1.0f : l[k].f;
            weight *= upper ? 1.0f - l[k].w : l[k].w;
        }
        int index = coord[dim - 1];
        for (int k = dim - 2; k >= 0; --k) index = coord[k] + t.permutation[index];
        const float *g = dim == 4 ? t.gradient4[index] : t.gradient[index];
        float dot = 0.0f;
        for (int k = 0; k < dim; ++k) dot += g[k] * off[k];
        sum += weight * dot;
    }
    return 0.5f + (dim == 4 ? 0.725f : 0.65f) * sum;
}

// The cell of a coordinate as an unsigned 16-bit value.
unsigned cell(float x)
{
    double fl = std::floor(double(x) + 0.001);
    int64_t i = (fl == fl && std::fabs(fl) < 9.0e18) ? int64_t(fl) : 0;
    return unsigned(uint16_t(uint64_t(i)));
}

float cell_noise(int dim, const float *x)
{
    const NoiseTables &t = noise_tables();
    unsigned h = cell(x[dim - 1]) % 2048;
    for (int k = dim - 2; k >= 0; --k) h = (cell(x[k]) + t.cell_hash[h]) % 2048;
    return t.cell_value[t.cell_hash[h]];
}

} // namespace

float noise1(float x) { return gradient_noise(1, &x, nullptr); }
float noise2(float x, float y) { float v[] = {x, y}; return gradient_noise(2, v, nullptr); }
float noise3(float x, float y, float z) { float v[] = {x, y, z}; return gradient_noise(3, v, nullptr); }
float noise4(float x, float y, float z, float w)
{
    float v[] = {x, y, z, w};
    return gradient_noise(4, v, nullptr);
}

float pnoise1(float x, int px) { return gradient_noise(1, &x, &px); }
float pnoise2(float x, float y, int px, int py)
{
    float v[] = {x, y};
    int p[] = {px, py};
    return gradient_noise(2, v, p);
}
float pnoise3(float x, float y, float z, int px, int py, int pz)
{
    float v[] = {x, y, z};
    int p[] = {px, py, pz};
    return gradient_noise(3, v, p);
}
float pnoise4(float x, float y, float z, float w, int px, int py, int pz, int pw)
{
    float v[] = {x, y, z, w};
    int p[] = {px, py, pz, pw};
    return gradient_noise(4, v, p);
}

float cellnoise1(float x) { return cell_noise(1, &x); }
float cellnoise2(float x, float y) { float v[] = {x, y}; return cell_noise(2, v); }
float cellnoise3(float x, float y, float z) { float v[] = {x, y, z}; return cell_noise(3, v); }
float cellnoise4(float x, float y, float z, float w)
{
    float v[] = {x, y, z, w};
    return cell_noise(4, v);
}
