// Permutation and Poisson-disk tables, made on first use per sample count,
// and the mappings built on them.
#include "sampling/sampling.h"

#include "sampling/random.h"

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

// The table for n, or a fresh one of size entries to be filled (fresh set),
// announced on standard error in debug mode.
template <class Entry>
Entry *table_for(TablesByCount<Entry> &t, int n, size_t size, const char *name, bool &fresh)
{
    if (size_t(n) >= t.rows.size()) t.rows.resize(size_t(n) * 2 + 1);
    std::unique_ptr<Entry[]> &table = t.rows[n];
    fresh = !table;
    if (table) return table.get();
    if (state().debug) {
        if (!t.announced) std::fprintf(stderr, "Allocating space for %s\n", name);
        std::fprintf(stderr, "Allocating space for %s[%d]\n", name, n);
        std::fflush(stderr);
    }
    t.announced = true;
    table.reset(new Entry[size]);
    return table.get();
}

const uint16_t *permutations(int n)
{
    bool fresh;
    uint16_t *table = table_for(state().perms, n, size_t(SAMPLE_TABLE_ROWS) * n, "permutations", fresh);
    if (!fresh) return table;
    // From n alone, not from whatever pixel first asks for the table.
    RandomStream random(random_key(RANDOM_FOR_TABLES, uint64_t(n)));
    for (int r = 0; r < SAMPLE_TABLE_ROWS; ++r) {
        uint16_t *row = table + size_t(r) * n;
        for (int i = 0; i < n; ++i) row[i] = uint16_t(i);
        for (int m = n; m >= 2; --m) {
            int j = int(random.next() * float(m));
            uint16_t t = row[j];
            row[j] = row[m - 1];
            row[m - 1] = t;
        }
    }
    return table;
}

const float *pdisk_sets(int n)
{
    bool fresh;
    float *table = table_for(state().pdisk, n, size_t(SAMPLE_TABLE_ROWS) * n * 2, "pdisk_samples", fresh);
    if (!fresh) return table;
    RandomStream random(random_key(RANDOM_FOR_TABLES, uint64_t(n) << 32));
    for (int r = 0; r < SAMPLE_TABLE_ROWS; ++r) {
        float *set = table + size_t(r) * n * 2;
        for (int i = 0; i < n; ++i) {
            float best_d = -1.0f;
            for (int c = 0; c < 10; ++c) {
                float u = random.next();
                float v = random.next();
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
    return table;
}

} // namespace

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

namespace {

// Seeds are offset with wrap-around, never signed overflow.
int32_t offset_seed(int32_t seed, int32_t by)
{
    return int32_t(uint32_t(seed) + uint32_t(by));
}

// The strata of sample k in the two directions and two random numbers,
// drawn in that order.
struct Jitter {
    float p, q, r1, r2;
};

Jitter jitter(int k, int n, int32_t seed, int32_t second_offset)
{
    Jitter j;
    j.p = float(sample_permutation(k, n, seed));
    j.q = float(sample_permutation(k, n, offset_seed(seed, second_offset)));
    j.r1 = random_uniform();
    j.r2 = random_uniform();
    return j;
}

} // namespace

void stratified_sample_2d(int k, int n, int32_t seed, float &u, float &v)
{
    if (n < 1) n = 1;
    Jitter j = jitter(k, n, seed, 59);
    u = (j.r1 + j.p) / n;
    v = (j.r2 + j.q) / n;
}

void stratified_sample_2d_b(int k, int n, int32_t seed, float &x, float &y)
{
    if (n < 1) n = 1;
    Jitter j = jitter(k, n, seed, 59);
    square_to_disk((j.r2 + j.p) / n, (j.r1 + j.q) / n, x, y);
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
    int q = sample_permutation(k, n, offset_seed(seed, 2116));
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
