#include "raytrace/screen_boxes.h"

#include <algorithm>

#include "instance.h"
#include "mesh.h"
#include "raytrace/ray.h"

void ScreenBoxes::fill(GPrimitive *objects, int row_lo, int row_hi)
{
    entries_.clear();
    bands_.clear();
    tested_count_ = 0;
    for (GPrimitive *o = objects; o; o = o->next) {
        Entry e{o, {0, 0, 0, 0}, false};
        if (is_surface_type(o->type) || o->type == GP_INSTANCE || o->type == GP_MESHFACE) {
            GState *g = o->type == GP_INSTANCE ? static_cast<GInstance *>(o)->attributes()
                                               : surface_of_object(o)->attributes();
            if (g && (g->flags & GS_INVISIBLE_PRIMARY)) continue;
            e.tested = true;
            ++tested_count_;
            // Off the crop window: tested in every bucket, never picked.
            if (!o->screen_bound(e.box)) continue;
        }
        entries_.push_back(e);
    }
    row_lo_ = row_lo, row_hi_ = row_hi;
    if (row_hi >= row_lo) {
        bands_.resize(size_t(band_of(row_hi) + 1));
        for (size_t i = 0; i < entries_.size(); i++) {
            const Entry &e = entries_[i];
            int a = e.tested ? std::max(e.box[2], row_lo) : row_lo;
            int b = e.tested ? std::min(e.box[3], row_hi) : row_hi;
            if (a > b) continue;   // never within the rows
            for (int k = band_of(a); k <= band_of(b); k++) bands_[size_t(k)].push_back(uint32_t(i));
        }
    }
    filled_ = true;
}

std::vector<GPrimitive *> ScreenBoxes::select(int x0, int x1, int y0, int y1) const
{
    std::vector<GPrimitive *> picked;
    if (!bands_.empty() && y0 >= row_lo_ && y1 <= row_hi_ && y0 <= y1) {
        // An entry is met in every band it spans; it is taken in the first
        // band of the rectangle that it meets.
        std::vector<uint32_t> found;
        for (int k = band_of(y0); k <= band_of(y1); k++)
            for (uint32_t i : bands_[size_t(k)]) {
                const Entry &e = entries_[i];
                int first = e.tested ? std::max(e.box[2], y0) : y0;
                if (band_of(first) == k && picks(e, x0, x1, y0, y1)) found.push_back(i);
            }
        std::sort(found.begin(), found.end());
        picked.reserve(found.size());
        for (uint32_t i : found) picked.push_back(entries_[i].object);
    } else {
        for (const Entry &e : entries_)
            if (picks(e, x0, x1, y0, y1)) picked.push_back(e.object);
    }
    unsigned long hits = 0;
    for (GPrimitive *o : picked)
        if (is_surface_type(o->type) || o->type == GP_MESHFACE) ++hits;
    // Every visible surface counts as one test per bucket, however it was found.
    RayStats &st = ray_stats();
    st.screen_tests += tested_count_;
    st.screen_hits += hits;
    return picked;
}
