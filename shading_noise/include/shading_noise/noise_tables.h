// The constant random tables behind the noise functions, made once on first
// use from a fixed generator (the same values in every run and program).
#pragma once
#include <cstdint>

struct NoiseTables {
    uint8_t permutation[512];      // a permutation of 0..255, twice over
    float gradient[512][3];        // unit vectors
    float gradient4[512][4];       // unit four-vectors
    uint16_t cell_hash[2048];      // a permutation of 0..2047
    float cell_value[2048];        // in [0, 1)
};

// The tables.
const NoiseTables &noise_tables();
