// The raster boxes of a frame's objects, worked out once per frame so that
// the camera hierarchy of every bucket only compares rectangles.
#pragma once
#include <vector>

#include "raytrace/gprim.h"

class ScreenBoxes {
public:
    // Works out the box of every object of the list (the list's order is kept).
    void fill(GPrimitive *objects);
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
    std::vector<Entry> entries_;
    size_t tested_count_ = 0;   // surfaces visible to camera rays
    bool filled_ = false;
};
