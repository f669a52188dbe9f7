#include "raytrace/screen_boxes.h"

#include "raytrace/ray.h"

void ScreenBoxes::fill(GPrimitive *objects)
{
    entries_.clear();
    tested_count_ = 0;
    for (GPrimitive *o = objects; o; o = o->next) {
        Entry e{o, {0, 0, 0, 0}, false};
        if (is_surface_type(o->type)) {
            GState *g = static_cast<GSurface *>(o)->attributes();
            if (g && (g->flags & GS_INVISIBLE_PRIMARY)) continue;
            e.tested = true;
            ++tested_count_;
            // Off the crop window: tested in every bucket, never picked.
            if (!o->screen_bound(e.box)) continue;
        }
        entries_.push_back(e);
    }
    filled_ = true;
}

std::vector<GPrimitive *> ScreenBoxes::select(int x0, int x1, int y0, int y1) const
{
    std::vector<GPrimitive *> picked;
    unsigned long hits = 0;
    for (const Entry &e : entries_) {
        if (e.tested) {
            if (!(e.box[0] <= x1 && e.box[1] >= x0 && e.box[2] <= y1 && e.box[3] >= y0)) continue;
            ++hits;
        }
        picked.push_back(e.object);
    }
    RayStats &st = ray_stats();
    st.screen_tests += tested_count_;
    st.screen_hits += hits;
    return picked;
}
