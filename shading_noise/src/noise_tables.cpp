#include "shading_noise/noise_tables.h"

#include <cmath>
#include <memory>

namespace {

// Leading entries the tables are known by; the rest is drawn.
const uint8_t PERMUTATION_START[] = {146, 212, 59, 62, 220, 25, 49, 27};
const float GRADIENT_START[][3] = {{-0.7358f, -0.6082f, -0.2977f}, {-0.5602f, 0.1251f, -0.8189f}};
const uint16_t CELL_HASH_START[] = {204, 1469, 1088, 450, 1683, 1226, 885, 549};
const float CELL_VALUE_START[] = {0.327633f, 0.232583f, 0.490171f, 0.830707f};

// A fixed 64-bit generator (splitmix), independent of the renderer's.
class TableGenerator {
public:
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    float uniform() { return float(next() >> 40) / float(1 << 24); }
    // Uniform integer in [0, n).
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
private:
    uint64_t state_ = 0x5eed0f7a81e5ull;
};

// A permutation of 0..n-1 that begins with the given values, the rest shuffled.
template <class T>
void permutation_with_start(T *out, int n, const T *start, int nstart, TableGenerator &gen)
{
    std::unique_ptr<bool[]> used(new bool[n]());
    for (int i = 0; i < nstart; ++i) {
        out[i] = start[i];
        used[start[i]] = true;
    }
    int k = nstart;
    for (int v = 0; v < n; ++v)
        if (!used[v]) out[k++] = T(v);
    for (int i = n - 1; i > nstart; --i) {
        int j = nstart + int(gen.below(uint32_t(i - nstart + 1)));
        T t = out[i];
        out[i] = out[j];
        out[j] = t;
    }
}

// A random unit vector of dim components (rejection from the cube).
void random_unit(float *v, int dim, TableGenerator &gen)
{
    for (;;) {
        float len2 = 0.0f;
        for (int i = 0; i < dim; ++i) {
            v[i] = 2.0f * gen.uniform() - 1.0f;
            len2 += v[i] * v[i];
        }
        if (len2 > 0.01f && len2 <= 1.0f) {
            float len = std::sqrt(len2);
            for (int i = 0; i < dim; ++i) v[i] /= len;
            return;
        }
    }
}

void make_tables(NoiseTables &t)
{
    TableGenerator gen;
    permutation_with_start(t.permutation, 256, PERMUTATION_START, 8, gen);
    for (int i = 0; i < 256; ++i) t.permutation[256 + i] = t.permutation[i];

    for (int i = 0; i < 512; ++i) {
        if (i < 2) {
            const float *g = GRADIENT_START[i];
            float len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
            for (int c = 0; c < 3; ++c) t.gradient[i][c] = g[c] / len;
        } else {
            random_unit(t.gradient[i], 3, gen);
        }
    }
    for (int i = 0; i < 512; ++i) random_unit(t.gradient4[i], 4, gen);

    permutation_with_start(t.cell_hash, 2048, CELL_HASH_START, 8, gen);
    for (int i = 0; i < 2048; ++i)
        t.cell_value[i] = i < 4 ? CELL_VALUE_START[i] : gen.uniform();
}

} // namespace

const NoiseTables &noise_tables()
{
    static const NoiseTables *tables = [] {
        static NoiseTables t;
        make_tables(t);
        return &t;
    }();
    return *tables;
}
