#include "sah_build.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <xmmintrin.h>

#include "raytrace/hierarchy.h"

namespace {

// Candidate split planes along the widest axis of the centres.
const int BINS = 16;
// Levels below which the median split takes over (bounds the depth).
const int SAH_DEPTH = 40;

// An object's box; lane 3 of lo carries the object's index, offset so that
// its bits read as an ordinary float (no slow denormal arithmetic).
struct alignas(16) Item {
    float lo[4], hi[4];
};

const uint32_t INDEX_BIAS = 0x40000000u;

// A box kept in two vectors (lane 3 unused).
struct Box {
    __m128 lo = _mm_set1_ps(1e38f), hi = _mm_set1_ps(-1e38f);

    void add(const Item &it)
    {
        lo = _mm_min_ps(lo, _mm_load_ps(it.lo));
        hi = _mm_max_ps(hi, _mm_load_ps(it.hi));
    }
    void add(const Box &b)
    {
        lo = _mm_min_ps(lo, b.lo);
        hi = _mm_max_ps(hi, b.hi);
    }
    // Half the surface area (the heuristic only compares).
    float area() const
    {
        alignas(16) float d[4];
        _mm_store_ps(d, _mm_sub_ps(hi, lo));
        if (!(d[0] >= 0 && d[1] >= 0 && d[2] >= 0)) return 0;
        return d[0] * d[1] + d[2] * (d[0] + d[1]);
    }
};

// Twice the centre of an item's box along an axis.
inline float centre(const Item &it, int a) { return it.lo[a] + it.hi[a]; }

// The bin of a centre among nb (NaN goes to the first).
inline int bin_of(float c, float lo, float scale, int nb)
{
    float f = (c - lo) * scale;
    if (!(f >= 0)) return 0;
    return f < (float)nb ? int(f) : nb - 1;
}

// A run of items that will become one child.
struct Part {
    Item *items;
    int count;
    Box box;
};

Box box_of(const Item *items, int count)
{
    Box b;
    for (int i = 0; i < count; i++) b.add(items[i]);
    return b;
}

// Splits a part of two or more items in two where the bins of the widest
// axis of the centres offer the least cost; deep down at the median.
void split(const Part &p, Part &left, Part &right, bool median)
{
    __m128 cmin = _mm_set1_ps(1e38f), cmax = _mm_set1_ps(-1e38f);
    for (int i = 0; i < p.count; i++) {
        __m128 c = _mm_add_ps(_mm_load_ps(p.items[i].lo), _mm_load_ps(p.items[i].hi));
        cmin = _mm_min_ps(cmin, c);
        cmax = _mm_max_ps(cmax, c);
    }
    alignas(16) float lo[4], hi[4];
    _mm_store_ps(lo, cmin);
    _mm_store_ps(hi, cmax);
    int a = 0;
    for (int b = 1; b < 3; b++)
        if (hi[b] - lo[b] > hi[a] - lo[a]) a = b;
    const float extent = hi[a] - lo[a];
    Item *mid = nullptr;
    if (extent > 0 && extent < 1e37f && !median) {
        // Few objects need few planes.
        const int nb = std::min(BINS, std::max(4, p.count / 2));
        const float scale = (float)nb * (1 - 1e-6f) / extent, base = lo[a];
        Box bins[BINS];
        int counts[BINS] = {};
        for (int i = 0; i < p.count; i++) {
            int b = bin_of(centre(p.items[i], a), base, scale, nb);
            bins[b].add(p.items[i]);
            counts[b]++;
        }
        // The boxes and counts right of every plane, then a sweep from the left.
        Box right_box[BINS];
        int right_count[BINS];
        Box acc;
        int n = 0;
        for (int b = nb - 1; b > 0; b--) {
            acc.add(bins[b]);
            n += counts[b];
            right_box[b] = acc;
            right_count[b] = n;
        }
        Box lacc, best_left;
        int ln = 0, plane = 0;
        float best = 0;
        for (int b = 1; b < nb; b++) {
            lacc.add(bins[b - 1]);
            ln += counts[b - 1];
            if (ln == 0 || right_count[b] == 0) continue;
            float cost = lacc.area() * (float)ln + right_box[b].area() * (float)right_count[b];
            if (plane == 0 || cost < best) {
                plane = b;
                best = cost;
                best_left = lacc;
            }
        }
        if (plane > 0) {
            mid = std::partition(p.items, p.items + p.count,
                                 [&](const Item &it) { return bin_of(centre(it, a), base, scale, nb) < plane; });
            left = Part{p.items, int(mid - p.items), best_left};
            right = Part{mid, p.count - left.count, right_box[plane]};
            return;
        }
    }
    mid = p.items + p.count / 2;
    if (extent > 0)
        std::nth_element(p.items, mid, p.items + p.count,
                         [a](const Item &x, const Item &y) { return centre(x, a) < centre(y, a); });
    left = Part{p.items, int(mid - p.items), box_of(p.items, int(mid - p.items))};
    right = Part{mid, p.count - left.count, box_of(mid, p.count - left.count)};
}

GPrimitive *object_of(const Item &it, const std::vector<GPrimitive *> &objects)
{
    uint32_t index;
    std::memcpy(&index, &it.lo[3], sizeof index);
    return objects[index - INDEX_BIAS];
}

GHierBound *build_node(const Part &whole, int depth, const std::vector<GPrimitive *> &objects)
{
    GHierBound *node = new GHierBound;
    if (whole.count <= 4) {
        for (int i = 0; i < whole.count; i++) node->children[i] = object_of(whole.items[i], objects);
        node->recompute();
        return node;
    }
    Part parts[4];
    int n = 1;
    parts[0] = whole;
    while (n < 4) {
        // The largest part of more than one object is split next.
        int pick = -1;
        float pick_area = 0;
        for (int i = 0; i < n; i++) {
            if (parts[i].count < 2) continue;
            float area = parts[i].box.area();
            if (pick < 0 || area > pick_area) pick = i, pick_area = area;
        }
        if (pick < 0) break;
        Part l, r;
        split(parts[pick], l, r, depth > SAH_DEPTH);
        parts[pick] = l;
        parts[n++] = r;
    }
    for (int i = 0; i < n; i++)
        node->children[i] = parts[i].count == 1 ? object_of(parts[i].items[0], objects)
                                                : build_node(parts[i], depth + 1, objects);
    node->recompute();
    return node;
}

} // namespace

GHierBound *build_sah_tree(const std::vector<GPrimitive *> &objects)
{
    if (objects.empty()) return new GHierBound;
    std::vector<Item> items(objects.size());
    for (size_t i = 0; i < objects.size(); i++) {
        const Bound &b = objects[i]->world_bound;
        uint32_t index = (uint32_t)i + INDEX_BIAS;
        Item &it = items[i];
        it.lo[0] = b[0], it.lo[1] = b[2], it.lo[2] = b[4];
        it.hi[0] = b[1], it.hi[1] = b[3], it.hi[2] = b[5], it.hi[3] = 0;
        std::memcpy(&it.lo[3], &index, sizeof index);
    }
    Part whole{items.data(), (int)items.size(), box_of(items.data(), (int)items.size())};
    return build_node(whole, 0, objects);
}
