// The renderer's store of RtMatrix copies (user basis matrices): slots tagged
// with the nesting level they were made at, so whole levels are freed at once.
#pragma once
#include <cstdint>

class MatrixStore {
public:
    static const int BLOCKS = 256;
    static const int SLOTS = 1024;

    MatrixStore() = default;
    ~MatrixStore() { free_matrices(0); }
    MatrixStore(const MatrixStore &) = delete;
    MatrixStore &operator=(const MatrixStore &) = delete;

    // A slot holding a copy of m (the identity for null), tagged with the level
    // bits; null after "out of memory for RtMatrix" when every slot is taken.
    float *new_matrix(const float *m, uint8_t level_bits);
    // Frees every slot whose tag shares a bit with level_bits; 0 frees everything.
    void free_matrices(uint8_t level_bits);
    // Slots in use.
    int used() const;

private:
    float *blocks_[BLOCKS] = {};
    uint8_t *tags_[BLOCKS] = {};
    int search_ = 0;
};
