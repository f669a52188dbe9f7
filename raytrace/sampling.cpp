// Permutation and Poisson-disk tables, made on first use per sample count,
// and the mappings built on them.
#include "raytrace/sampling.h"

#include "raytrace/random.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const float PI = 3.14159265358979f;

// Tables are indexed by sample count; the index grows to twice the largest
// count asked for.
template <class Entry>
struct TablesByCount {
    std::vector<std::unique_ptr<Entry[]>> rows;
    bool announced = false;
};

struct SamplingState {
    bool debug = false;
    TablesByCount<uint16_t> perms;          // SAMPLE_TABLE_ROWS x n entries
    TablesByCount<float> pdisk;             // SAMPLE_TABLE_ROWS x n x 2 floats
};

SamplingState &state()
{
    static SamplingState s;
    return s;
}

// Largest count whose permutation entries fit in 16 bits.
const int MAX_PERMUTED = 65536;

uint32_t row_of(int32_t seed)
{
    return hash_int(seed) % SAMPLE_TABLE_ROWS;
}

template <class Entry>
void make_room(TablesByCount<Entry> &t, int n)
{
    if (size_t(n) >= t.rows.size()) t.rows.resize(size_t(n) * 2 + 1);
}

const uint16_t *permutations(int n)
{
    SamplingState &s = state();
    make_room(s.perms, n);
    std::unique_ptr<uint16_t[]> &table = s.perms.rows[n];
    if (table) return table.get();
    if (s.debug) {
        if (!s.perms.announced) std::fprintf(stderr, "Allocating space for permutations\n");
        std::fprintf(stderr, "Allocating space for permutations[%d]\n", n);
    }
    s.perms.announced = true;
    table.reset(new uint16_t[size_t(SAMPLE_TABLE_ROWS) * n]);
    for (int r = 0; r < SAMPLE_TABLE_ROWS; ++r) {
        uint16_t *row = table.get() + size_t(r) * n;
        for (int i = 0; i < n; ++i) row[i] = uint16_t(i);
        for (int m = n; m >= 2; --m) {
            int j = int(random_uniform() * m);
            uint16_t t = row[j];
            row[j] = row[m - 1];
            row[m - 1] = t;
        }
    }
    return table.get();
}

const float *pdisk_sets(int n)
{
    SamplingState &s = state();
    make_room(s.pdisk, n);
    std::unique_ptr<float[]> &table = s.pdisk.rows[n];
    if (table) return table.get();
    if (s.debug) {
        if (!s.pdisk.announced) std::fprintf(stderr, "Allocating space for pdisk_samples\n");
        std::fprintf(stderr, "Allocating space for pdisk_samples[%d]\n", n);
        std::fflush(stderr);
    }
    s.pdisk.announced = true;
    table.reset(new float[size_t(SAMPLE_TABLE_ROWS) * n * 2]);
    for (int r = 0; r < SAMPLE_TABLE_ROWS; ++r) {
        float *set = table.get() + size_t(r) * n * 2;
        for (int i = 0; i < n; ++i) {
            float best_d = -1.0f;
            for (int c = 0; c < 10; ++c) {
                float u = random_uniform();
                float v = random_uniform();
                float d = 1000.0f;
                for (int p = 0; p < i; ++p) {
                    float e = std::fabs(u - set[2 * p]) + std::fabs(v - set[2 * p + 1]);
                    if (e < d) d = e;
                }
                if (c == 0 || d > best_d) {
                    best_d = d;
                    set[2 * i] = u;
                    set[2 * i + 1] = v;
                }
            }
        }
    }
    return table.get();
}

// Two unit vectors perpendicular to the unit vector w and to each other
// (built on the axis w is least aligned with, so any w works).
void frame_about(const Point &w, Point &a, Point &b)
{
    Point t(0.0f, 0.0f, 0.0f);
    float ax = std::fabs(w.x), ay = std::fabs(w.y), az = std::fabs(w.z);
    if (ax <= ay && ax <= az) t.x = 1.0f;
    else if (ay <= az) t.y = 1.0f;
    else t.z = 1.0f;
    a = normalize(cross(t, w));
    b = cross(w, a);
}

} // namespace

void sampling_set_debug(bool on)
{
    state().debug = on;
}

int sample_permutation(int k, int n, int32_t seed)
{
    if (n <= 1) return 0;
    if (k < 0) k = -k;
    if (n > MAX_PERMUTED) return k % n;
    return permutations(n)[size_t(row_of(seed)) * n + size_t(k % n)];
}

void stratified_sample_2d(int k, int n, int32_t seed, float &u, float &v)
{
    if (n < 1) n = 1;
    int p = sample_permutation(k, n, seed);
    int q = sample_permutation(k, n, seed + 59);
    float r1 = random_uniform();
    float r2 = random_uniform();
    u = (r1 + p) / n;
    v = (r2 + q) / n;
}

void stratified_sample_2d_b(int k, int n, int32_t seed, float &x, float &y)
{
    if (n < 1) n = 1;
    int p = sample_permutation(k, n, seed);
    int q = sample_permutation(k, n, seed + 59);
    float r1 = random_uniform();
    float r2 = random_uniform();
    square_to_disk((r2 + p) / n, (r1 + q) / n, x, y);
}

void poisson_disk_sample(int k, int n, int32_t seed, float &u, float &v)
{
    if (n <= 1) {
        u = random_uniform();
        v = random_uniform();
        return;
    }
    if (k < 0) k = -k;
    const float *set = pdisk_sets(n) + size_t(uint32_t(seed) % SAMPLE_TABLE_ROWS) * n * 2;
    u = set[2 * (k % n)];
    v = set[2 * (k % n) + 1];
}

void square_to_disk(float u, float v, float &x, float &y)
{
    float a = 2.0f * u - 1.0f;
    float b = 2.0f * v - 1.0f;
    float r, phi;
    if (a > -b) {
        if (a > b) {
            r = a;
            phi = (PI / 4.0f) * (b / a);
        } else {
            r = b;
            phi = (PI / 4.0f) * (2.0f - a / b);
        }
    } else {
        if (a >= b) {
            r = -b;
            phi = b != 0.0f ? (PI / 4.0f) * (6.0f - a / b) : 0.0f;
        } else {
            r = -a;
            phi = (PI / 4.0f) * (4.0f + b / a);
        }
    }
    x = r * std::cos(phi);
    y = r * std::sin(phi);
}

Point sample_cone_direction(int k, int n, int32_t seed, const Point &axis, float angle)
{
    if (n < 1) n = 1;
    int p = sample_permutation(k, n, seed);
    int q = sample_permutation(k, n, seed + 2116);
    float c = (random_uniform() + p) / n;
    float cos_t = 1.0f - c * (1.0f - std::cos(angle));
    float sin_t = std::sqrt(std::fmax(0.0f, 1.0f - cos_t * cos_t));
    float phi = 2.0f * PI * (random_uniform() + q) / n;

    Point w = normalize(axis);
    if (w == Point(0.0f, 0.0f, 0.0f)) w = Point(0.0f, 0.0f, 1.0f);
    Point a, b;
    frame_about(w, a, b);
    return (std::cos(phi) * sin_t) * a + (std::sin(phi) * sin_t) * b + cos_t * w;
}

Point random_hemisphere_direction(const Point &n)
{
    // A normal shorter than 0.1 admits no direction; the draws are bounded
    // and the normal's own direction answers then.
    for (int tries = 0; tries < 10000; ++tries) {
        Point d(random_signed(), random_signed(), random_signed());
        float len2 = dot(d, d);
        if (len2 < 0.1f || len2 > 1.0f) continue;
        if (dot(d, n) < 0.1f) continue;
        return d / std::sqrt(len2);
    }
    Point u = normalize(n);
    return u == Point(0.0f, 0.0f, 0.0f) ? Point(0.0f, 0.0f, 1.0f) : u;
}
