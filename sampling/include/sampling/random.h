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

// The 64-bit finaliser of the splitmix generator: every input bit reaches
// every output bit. Inline: pixel loops mix several keys per pixel.
constexpr uint64_t random_mix64(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

const uint64_t RANDOM_GOLDEN = 0x9e3779b97f4a7c15ull;

// A 64-bit key mixed from a key and a value (pixel, frame, sample, ...).
inline uint64_t random_key(uint64_t key, uint64_t value)
{
    return random_mix64(key ^ random_mix64(value + RANDOM_GOLDEN));
}

// A sequence of uniform floats in [0, 1) of its own, from a key, that leaves
// the global one alone.
class RandomStream {
public:
    explicit constexpr RandomStream(uint64_t key) : counter_(random_mix64(key)) {}
    float next()
    {
        counter_ += RANDOM_GOLDEN;
        // 24 bits: every value is a float, the largest just below 1.
        return float(random_mix64(counter_) >> 40) * (1.0f / 16777216.0f);
    }

private:
    uint64_t counter_;
};

// What the draws keyed by a pixel serve; each purpose has a sequence of its own.
enum RandomPurpose : uint64_t { RANDOM_FOR_SAMPLES = 1, RANDOM_FOR_DITHER = 2, RANDOM_FOR_TABLES = 3 };
// The key of a frame for one purpose, which its pixels' keys start from.
inline uint64_t frame_random_key(int frame, RandomPurpose purpose)
{
    return random_key(purpose, uint64_t(uint32_t(frame)));
}
// The key of pixel (x, y) from the key of its frame and purpose.
inline uint64_t pixel_key_in_frame(uint64_t frame_key, int x, int y)
{
    return random_key(frame_key, (uint64_t(uint32_t(x)) << 32) | uint32_t(y));
}
// The key of pixel (x, y) of a frame for one purpose.
inline uint64_t pixel_random_key(int x, int y, int frame, RandomPurpose purpose)
{
    return pixel_key_in_frame(frame_random_key(frame, purpose), x, y);
}

// A uniform float in [0, 1); never 1.0.
float random_uniform();
// 2 * random_uniform() - 1, in [-1, 1).
float random_signed();
// A 32-bit hash of an integer (all arithmetic unsigned 32-bit).
uint32_t hash_int(int32_t a);
