// The renderer's one global uniform random generator and the integer hash
// that turns seeds into table rows. Deterministic for a seed and call order.
#pragma once
#include <cstdint>

// Stores the seed; the next draw restarts the generator from it.
void seed_random(int32_t seed);
// A uniform float in [0, 1); never 1.0.
float random_uniform();
// 2 * random_uniform() - 1, in [-1, 1).
float random_signed();
// A 32-bit hash of an integer (all arithmetic unsigned 32-bit).
uint32_t hash_int(int32_t a);
