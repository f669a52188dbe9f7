#include "ri/matrixstore.h"

#include <cstring>

#include "ri/counters.h"
#include "ri_common/rierror.h"
#include "ri/transformation.h"
#include "ri_common/vecmath.h"

float *MatrixStore::new_matrix(const float *m, uint8_t level_bits)
{
    if (!level_bits) level_bits = 1;
    extra_matrix_counter().add(1);
    for (int b = search_; b < BLOCKS; b++) {
        if (!blocks_[b]) {
            uint8_t *tags = static_cast<uint8_t *>(myalloc(SLOTS));
            float *block = static_cast<float *>(myalloc(SLOTS * 16 * sizeof(float)));
            if (!tags || !block) {
                if (tags) myfree(tags);
                if (block) myfree(block);
                extra_matrix_counter().subtract(1);
                return nullptr;
            }
            memset(tags, 0, SLOTS);
            tags_[b] = tags;
            blocks_[b] = block;
        }
        uint8_t *tags = tags_[b];
        for (int s = 0; s < SLOTS; s++) {
            if (tags[s]) continue;
            tags[s] = level_bits;
            float *slot = blocks_[b] + 16 * s;
            if (m) memcpy(slot, m, 16 * sizeof(float));
            else identity_matrix(slot);
            search_ = b;
            return slot;
        }
    }
    extra_matrix_counter().subtract(1);
    ri_error(RIE_NOMEM, RIE_SEVERE, "out of memory for RtMatrix");
    return nullptr;
}

void MatrixStore::free_matrices(uint8_t level_bits)
{
    for (int b = 0; b < BLOCKS; b++) {
        if (!blocks_[b]) continue;
        if (level_bits == 0) {
            for (int s = 0; s < SLOTS; s++)
                if (tags_[b][s]) extra_matrix_counter().subtract(1);
            myfree(blocks_[b]);
            myfree(tags_[b]);
            blocks_[b] = nullptr;
            tags_[b] = nullptr;
            continue;
        }
        for (int s = 0; s < SLOTS; s++) {
            if (tags_[b][s] & level_bits) {
                tags_[b][s] = 0;
                extra_matrix_counter().subtract(1);
            }
        }
    }
    search_ = 0;
}

int MatrixStore::used() const
{
    int n = 0;
    for (int b = 0; b < BLOCKS; b++)
        if (tags_[b])
            for (int s = 0; s < SLOTS; s++) n += tags_[b][s] != 0;
    return n;
}
