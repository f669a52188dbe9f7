// The raster boxes of a frame's objects, worked out once per frame so that
// the camera hierarchy of every bucket only compares rectangles.
#pragma once
#include <cstdint>
#include <vector>

#include "raytrace/gprim.h"

class ScreenBoxes {
public:
    // Works out the box of every object of the list (the list's order is
    // kept). Buckets that lie within rows [row_lo, row_hi] are then served
    // from bands of rows instead of a look at every object.
    void fill(GPrimitive *objects, int row_lo = 0, int row_hi = -1);
    // Whether fill has run.
    bool filled() const { return filled_; }
    // The objects a camera ray inside [x0, x1] x [y0, y1] may hit, in list order:
    // visible surfaces whose box meets the rectangle, and every other object.
    std::vector<GPrimitive *> select(int x0, int x1, int y0, int y1) const;

private:
    struct Entry {
        GPrimitive *object;
        int box[4];
        bool tested;   // a surface, picked by its box; else always picked
    };
    // The band of a row inside [row_lo_, row_hi_].
    int band_of(int y) const { return (y - row_lo_) / BAND_ROWS; }
    bool picks(const Entry &e, int x0, int x1, int y0, int y1) const
    {
        return !e.tested || (e.box[0] <= x1 && e.box[1] >= x0 && e.box[2] <= y1 && e.box[3] >= y0);
    }

    static const int BAND_ROWS = 16;
    std::vector<Entry> entries_;
    // Per band the entries (by index, ascending) whose rows meet it.
    std::vector<std::vector<uint32_t>> bands_;
    int row_lo_ = 0, row_hi_ = -1;
    size_t tested_count_ = 0;   // surfaces visible to camera rays
    bool filled_ = false;
};
