// Three linear congruential generators feeding a 97-entry shuffle table:
// the first two make a table entry, the third picks which entry is returned.
#include "sampling/random.h"

#include <cmath>

namespace {

const int32_t M1 = 259200, A1 = 7141, C1 = 54773;
const int32_t M2 = 134456, A2 = 8121, C2 = 28411;
const int32_t M3 = 243000, A3 = 4561, C3 = 51349;
const int TABLE_SIZE = 97;

struct Generator {
    int32_t seed = -5234;   // negative until the generator is initialised
    bool initialised = false;
    int32_t x1 = 0, x2 = 0, x3 = 0;
    float table[TABLE_SIZE] = {};
    // A keyed sequence, free to restart.
    bool keyed = false;
    RandomStream stream{0};
};

// At namespace scope, constant-initialised: no guard on every draw.
Generator the_generator;

Generator &generator() { return the_generator; }

void step1(Generator &g) { g.x1 = (A1 * g.x1 + C1) % M1; }
void step2(Generator &g) { g.x2 = (A2 * g.x2 + C2) % M2; }
void step3(Generator &g) { g.x3 = (A3 * g.x3 + C3) % M3; }

// An entry from the current states of generators 1 and 2. In float the
// largest values round up to 1.0; those are kept just below it.
float entry(const Generator &g)
{
    float r = float((g.x1 + g.x2 * (1.0 / M2)) * (1.0 / M1));
    return r < 1.0f ? r : std::nextafter(1.0f, 0.0f);
}

void initialise(Generator &g)
{
    g.x1 = int32_t((int64_t(C1) - g.seed) % M1);
    step1(g);
    g.x2 = g.x1 % M2;
    step1(g);
    g.x3 = g.x1 % M3;
    for (int j = 0; j < TABLE_SIZE; ++j) {
        step1(g);
        step2(g);
        g.table[j] = entry(g);
    }
    g.seed = 1;
    g.initialised = true;
}

// Folds the top four bits back into the low byte.
uint32_t fold(uint32_t h)
{
    uint32_t g = h & 0xf0000000u;
    if (g) h = h ^ g ^ (g >> 24);
    return h;
}

} // namespace

void seed_random(int32_t seed)
{
    Generator &g = generator();
    // -|seed| computed without overflow for the most negative integer.
    g.seed = seed < 0 ? seed : -seed;
    g.initialised = false;
    g.keyed = false;
}

void seed_random_stream(uint64_t key)
{
    Generator &g = generator();
    g.keyed = true;
    g.stream = RandomStream(key);
}

float random_uniform()
{
    Generator &g = generator();
    if (g.keyed) return g.stream.next();
    if (!g.initialised || g.seed < 0) initialise(g);
    step1(g);
    step2(g);
    step3(g);
    int j = int((int64_t(TABLE_SIZE) * g.x3) / M3);
    float r = g.table[j];
    g.table[j] = entry(g);
    return r;
}

float random_signed()
{
    return 2.0f * random_uniform() - 1.0f;
}

uint32_t hash_int(int32_t a)
{
    uint32_t u = uint32_t(a);
    uint32_t h = fold((u & 0xffu) + 0x0badcab0u);
    for (int shift = 8; shift < 32; shift += 8)
        h = fold((h << 4) + ((u >> shift) & 0xffu));
    return h;
}
