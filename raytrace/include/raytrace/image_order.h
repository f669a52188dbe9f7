// A walk over the cells of a w x h grid along a Hilbert curve, so that
// consecutive cells are neighbours (sample cells of a pixel, pixels of a tile).
#pragma once
#include <cstdint>

class ImageOrder {
public:
    // The curve covers the square of side 2^L, the smallest power of two not
    // below max(w, h) (at least 2); it starts at (0, 0).
    ImageOrder(int w, int h);
    // The next cell inside the grid; false when the walk is done.
    bool next(int &x, int &y);

private:
    int w_, h_, side_;
    int64_t index_ = 0, total_;
};
