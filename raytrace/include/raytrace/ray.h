// Rays, the lists of hits along them, and the tracing queries that shoot a
// ray through the scene's bounding hierarchies: shaded camera and secondary
// rays, the nearest hit, all hits, and the shadow query that composites
// transparent occluders. Also the ray statistics of the run.
#pragma once
#include <cstdint>
#include <cstdio>

#include "ri_common/vecmath.h"
#include "raytrace/hit.h"

class GPrimitive;
class Transformation;

// The hits along a ray: a singly linked list of pooled records.
struct IntersectionList {
    Intersection *first = nullptr;
    Intersection *last = nullptr;
    int count = 0;

    // Appends at the tail (null adds nothing); returns the new count.
    // Inline: every hit made passes through both.
    int add(Intersection *i)
    {
        if (!i) return count;
        i->next = nullptr;
        if (last) last->next = i;
        else first = i;
        last = i;
        return ++count;
    }
    // Removes and returns the head; null when empty.
    Intersection *dequeue()
    {
        Intersection *h = first;
        if (!h) return nullptr;
        first = h->next;
        if (!first) last = nullptr;
        h->next = nullptr;
        count--;
        return h;
    }
    // Moves all records of l to the end of this list; l becomes empty.
    void append(IntersectionList &l);
    // Orders the records by ascending distance (stable).
    void sort();
    // Releases every record to the pool and empties the list.
    void free_list()
    {
        for (Intersection *i = first; i;) {
            Intersection *n = i->next;
            i->release();
            i = n;
        }
        first = last = nullptr;
        count = 0;
    }
    int size() const { return count; }
    Intersection *head() const { return first; }
};

class Ray {
public:
    Ray() = default;
    // dir is normalised; level 0 makes a primary ray.
    Ray(const Point &o, const Point &d, float tm, int lv, float w, int ex)
        : origin(o), dir(normalize(d)), time(tm), level(lv), weight(w), extra(ex), primary(lv == 0)
    {
    }
    // A copy drops the shading-reuse hint.
    Ray(const Ray &o) { *this = o; }
    Ray &operator=(const Ray &o);

    void set_range(float lo, float hi) { tmin = lo, tmax = hi; }
    void set_sample_value(float v) { sample_value = v; }
    // The colour and opacity a camera ray may take instead of shading.
    void set_likely_hit(const Color &ci, const Color &oi);

    // Slab test against a box: entry and exit distances (no tmin check).
    // False on a miss; NaN never hits. Counts a box test, and a hit.
    bool box_range(const Bound &box, float &entry, float &exit) const;
    // The slab test that also fails when the box lies wholly before tmin.
    bool hits_box(const Bound &box) const;
    // Whether a root at object-space distance t can be kept: the ray of an
    // object's hit test may carry the world ray's range, and hits outside it
    // are never made (the same division and comparisons the range check
    // after the test makes). Always true without a window.
    bool keeps(float t) const
    {
        if (!windowed) return true;
        float w = scale != 1 ? t / scale : t;
        if (w >= keep_lo && w <= keep_hi) return true;
        dropped = 1;
        return false;
    }
    // Narrows the hits made for this ray to world distances [lo, hi].
    void set_window(float lo, float hi) { windowed = true, keep_lo = lo, keep_hi = hi, dropped = 0; }

    // This ray in the space of an object with transformation t at the ray's
    // time: unit direction, scale = the direction's length before
    // normalising, default limits, no hint.
    Ray to_object_space(const Transformation &t) const;
    // The same into r (another ray), which may be kept from ray to ray.
    void to_object_space(const Transformation &t, Ray &r) const;
    // The same into r, which this ray's move into object space filled
    // earlier in the same query: only the fields the move sets and those a
    // hit test reads are written.
    void to_object_space_again(const Transformation &t, Ray &r) const;

    // The hits of one object, distances in this ray's units, sorted; callback
    // (when given) sees each hit until it answers a negative value.
    IntersectionList intersect_object(GPrimitive *object, int (*callback)(Intersection *, Ray &) = nullptr);

    // A camera ray through the camera hierarchy, likely: the object the
    // previous camera ray hit (or null). Fills color, opacity, alpha, depth
    // and hit_object; true when anything was kept.
    bool trace_camera(GPrimitive *likely);
    // A shaded secondary ray through the secondary hierarchy, skipping two
    // objects; black and transparent beyond the maximum ray level.
    bool trace(GPrimitive *exclude_a = nullptr, GPrimitive *exclude_b = nullptr);
    // The traversal queries over a root (an object list or one hierarchy node).
    bool trace_primary_hit(GPrimitive *root, GPrimitive *likely);
    bool trace_shaded(GPrimitive *root, GPrimitive *exclude_a, GPrimitive *exclude_b);
    // The nearest hit at the head (unshaded).
    IntersectionList find_hit(GPrimitive *root, GPrimitive *likely = nullptr);
    // Every hit within [tmin, tmax], sorted.
    IntersectionList closest_hit(GPrimitive *root);
    // What the occluders between tmin and tmax let through, into color,
    // opacity and alpha; first is tested before all others.
    bool trace_occlusion(GPrimitive *root, GPrimitive *first = nullptr, GPrimitive *exclude = nullptr);

    Point origin;
    Point dir;
    float time = 0;
    int level = 0;
    int indirect_level = 0;
    float weight = 1;
    float tmin = 1e-10f;
    float tmax = 1e38f;
    float sample_value = 0.5f;
    float scale = 1;               // object-space copies: length of the transformed direction
    int extra = 0;                 // distance already travelled when a hit list is shaded on
    float travelled = 0;           // from the eye to the origin of a ray a shader spawned (0: unknown)
    int primary = 0;
    int flags = 0;                 // RAY_SHADOW
    Color color;
    Color opacity;
    float alpha = 0;
    float depth = 1e38f;
    GPrimitive *hit_object = nullptr;
    int has_hint = 0;
    Color reuse_ci, reuse_oi;
    // Camera rays: the key that the random draws of each hit's shading
    // start from (0: they go on from the current sequence).
    uint64_t draws_key = 0;
    // The range of a hit test (set_window); a copy has none.
    bool windowed = false;
    float keep_lo = 0, keep_hi = 0;
    mutable int dropped = 0;   // a root outside the window was found
};

inline Ray &Ray::operator=(const Ray &o)
{
    origin = o.origin;
    dir = o.dir;
    time = o.time;
    level = o.level;
    indirect_level = o.indirect_level;
    weight = o.weight;
    tmin = o.tmin;
    tmax = o.tmax;
    sample_value = o.sample_value;
    scale = o.scale;
    extra = o.extra;
    travelled = o.travelled;
    primary = o.primary;
    flags = o.flags;
    color = o.color;
    opacity = o.opacity;
    alpha = o.alpha;
    depth = o.depth;
    hit_object = o.hit_object;
    has_hint = 0;
    draws_key = 0;
    windowed = false;
    dropped = 0;
    return *this;
}

enum { RAY_SHADOW = 1 };
// Levels counted in the statistics.
const int RAY_LEVELS = 64;
// Pending nodes a traversal starts with room for (it grows past this).
const int HIT_HEAP_SIZE = 750;

// Counters of the run.
struct RayStats {
    unsigned long rays[RAY_LEVELS] = {};
    unsigned long likely_tries[RAY_LEVELS] = {};
    unsigned long likely_hits[RAY_LEVELS] = {};
    unsigned long shadow_likely_tries = 0, shadow_likely_hits = 0;
    unsigned long shadow_rays = 0, shadow_obscured = 0;
    unsigned long screen_tests = 0, screen_hits = 0;
    unsigned long shading_calcs = 0, shading_reused = 0;
    unsigned long box_tests = 0, box_hits = 0;
    unsigned long isect_tests = 0, isect_hits = 0;
    int heap_peak = 0;
};
// Inline: every box and hit test counts in it.
inline RayStats &ray_stats()
{
    static RayStats stats;
    return stats;
}
// Counts one ray of a level (levels beyond the table count in the last).
void count_ray(int level);
// "Ray tracing:" block.
void print_ray_stats(FILE *out);

// The hits of one object for a ray already in its space: counts a test,
// honours the object's sample limits, scales distances back by ray.scale and sorts.
IntersectionList hit_test_with_limits(GPrimitive *object, const Ray &ray);
