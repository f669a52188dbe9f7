// The renderer's one global uniform random generator, which may also be
// restarted from a key (a pixel's own sequence), keyed streams of their own,
// and the integer hash that turns seeds into table rows. Deterministic for a
// seed or key and call order.
#pragma once
#include <cstdint>

// The seed of a run, and of what each frame draws before its pixels.
const int32_t RANDOM_START_SEED = 5234;

// Stores the seed; the next draw restarts the generator from it.
void seed_random(int32_t seed);
// Makes the draws that follow a sequence of their own that depends on the key
// alone (until the next seed), so that what one pixel draws does not depend
// on the pixels drawn before it.
void seed_random_stream(uint64_t key);
// A 64-bit key mixed from a key and a value (pixel, frame, sample, ...).
uint64_t random_key(uint64_t key, uint64_t value);

// A sequence of uniform floats in [0, 1) of its own, from a key, that leaves
// the global one alone.
class RandomStream {
public:
    explicit RandomStream(uint64_t key);
    float next();

private:
    uint64_t counter_;
};

// What the draws keyed by a pixel serve; each purpose has a sequence of its own.
enum RandomPurpose : uint64_t { RANDOM_FOR_SAMPLES = 1, RANDOM_FOR_DITHER = 2, RANDOM_FOR_TABLES = 3 };
// The key of pixel (x, y) of a frame for one purpose.
uint64_t pixel_random_key(int x, int y, int frame, RandomPurpose purpose);

// A uniform float in [0, 1); never 1.0.
float random_uniform();
// 2 * random_uniform() - 1, in [-1, 1).
float random_signed();
// A 32-bit hash of an integer (all arithmetic unsigned 32-bit).
uint32_t hash_int(int32_t a);
