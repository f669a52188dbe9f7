// The traversal of bounding hierarchies and the tracing queries built on it.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "raytrace/box4.h"
#include "raytrace/dice.h"
#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "instance.h"
#include "mesh.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/shade_hits.h"
#include "ri_common/rierror.h"
#include "sampling/random.h"

namespace {

// The pending objects of one traversal with their entry distances: a binary
// min-heap for the nearest-hit queries, a plain stack for the shadow query.
// It starts in place and grows on the heap for large flat scenes.
class HitHeap {
public:
    HitHeap() : data_(local_), cap_(HIT_HEAP_SIZE) {}
    ~HitHeap()
    {
        RayStats &st = ray_stats();
        if (peak_ > st.heap_peak) st.heap_peak = peak_;
    }
    HitHeap(const HitHeap &) = delete;
    HitHeap &operator=(const HitHeap &) = delete;

    bool empty() const { return n_ == 0; }
    float top_key() const { return data_[0].key; }

    void push_heap(GPrimitive *o, float key)
    {
        int i = grow();
        while (i > 0) {
            int parent = (i - 1) / 2;
            if (!(key < data_[parent].key)) break;
            data_[i] = data_[parent];
            i = parent;
        }
        data_[i] = Entry{o, key};
    }

    GPrimitive *pop_min()
    {
        GPrimitive *top = data_[0].obj;
        Entry last = data_[--n_];
        int i = 0;
        for (;;) {
            int c = 2 * i + 1;
            if (c >= n_) break;
            if (c + 1 < n_ && data_[c + 1].key < data_[c].key) c++;
            if (!(data_[c].key < last.key)) break;
            data_[i] = data_[c];
            i = c;
        }
        if (n_ > 0) data_[i] = last;
        return top;
    }

    void push_stack(GPrimitive *o, float key) { data_[grow()] = Entry{o, key}; }
    GPrimitive *pop_last() { return data_[--n_].obj; }

private:
    struct Entry {
        GPrimitive *obj;
        float key;
    };

    // Index of a new last slot.
    int grow()
    {
        if (n_ == cap_) {
            std::unique_ptr<Entry[]> bigger(new Entry[2 * cap_]);
            std::memcpy(bigger.get(), data_, n_ * sizeof(Entry));
            more_ = std::move(bigger);
            data_ = more_.get();
            cap_ *= 2;
        }
        int i = n_++;
        if (n_ > peak_) peak_ = n_;
        return i;
    }

    Entry local_[HIT_HEAP_SIZE];
    std::unique_ptr<Entry[]> more_;
    Entry *data_;
    int n_ = 0, cap_;
    int peak_ = 0;
};

// Set bits of a four-bit mask (no population-count instruction is assumed).
unsigned bit_count(unsigned mask4)
{
    static const unsigned char bits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    return bits[mask4 & 15];
}

template <class Judge>
void walk_instance(GInstance *inst, const Ray &ray, GPrimitive *ex_a, GPrimitive *ex_b, Judge &judge,
                   const bool *stop);

// One walk over a root: hierarchy nodes open into their children, surfaces
// come out one by one, nearest entry first (or last pushed first).
class Traversal {
public:
    Traversal(Ray &ray, bool best_first, GPrimitive *ex_a, GPrimitive *ex_b)
        : ray_(ray), slabs_(ray.origin, ray.dir), best_first_(best_first), ex_a_(mesh_hint(ex_a)),
          ex_b_(mesh_hint(ex_b))
    {
    }
    ~Traversal()
    {
        RayStats &st = ray_stats();
        st.box_tests += box_tests_;
        st.box_hits += box_hits_;
    }
    Traversal(const Traversal &) = delete;
    Traversal &operator=(const Traversal &) = delete;

    void start(GPrimitive *root)
    {
        if (!root) return;
        if (root->type == GP_HIERBOUND && !root->next) {
            push_children(static_cast<GHierBound *>(root));
            return;
        }
        for (GPrimitive *o = root; o; o = o->next) push(o);
    }

    // The nearest entry distance still pending (best first); +inf when none.
    float next_entry() const { return heap_.empty() ? HUGE_VALF : heap_.top_key(); }

    // The next object that is not a hierarchy node; null when the walk is
    // done or (best first) the nearest pending entry lies beyond cut.
    GPrimitive *next(float cut)
    {
        while (!heap_.empty()) {
            if (best_first_ && heap_.top_key() > cut) return nullptr;
            if (best_first_) popped_key_ = heap_.top_key();
            GPrimitive *o = best_first_ ? heap_.pop_min() : heap_.pop_last();
            if (o->type == GP_HIERBOUND) {
                push_children(static_cast<GHierBound *>(o));
                continue;
            }
            return o;
        }
        return nullptr;
    }

    // Hands the hits of a popped object to judge, in the ray's distances and
    // nearest first. An instance is walked nearest first and each hit handed
    // on once no nearer one can follow, so that a hit judge finds opaque
    // (lowering the ray's tmax) cuts the rest of the walk short; so does
    // *stop turning true.
    template <class Judge> void judge_hits(GPrimitive *o, Judge &judge, const bool *stop = nullptr)
    {
        placing_ = o->type == GP_INSTANCE ? static_cast<GInstance *>(o) : nullptr;
        if (placing_) {
            walk_instance(placing_, ray_, ex_a_, ex_b_, judge, stop);
            return;
        }
        IntersectionList l = hits_of(o);
        while (Intersection *h = l.dequeue()) judge(h);
    }

    // The entry distance of the object next() returned last (nearest first only).
    float popped_key() const { return popped_key_; }

    // The hits of a popped object other than an instance, in the ray's distances.
    IntersectionList hits_of(GPrimitive *o)
    {
        placing_ = nullptr;
        if (o->type == GP_MESHFACE) {
            object_ray(static_cast<GMeshFace *>(o)->mesh()->shared()->xform.get());
            return hit_test_with_limits(o, oray_);
        }
        if (!is_surface_type(o->type)) {
            // Containers, solids and cells take the world ray themselves.
            RayStats &st = ray_stats();
            st.isect_tests++;
            IntersectionList l = o->intersect(ray_);
            if (l.count) st.isect_hits++;
            l.sort();
            return l;
        }
        GSurface *s = static_cast<GSurface *>(o);
        object_ray(s->xform.get());
        if (s->has_object_bound_test() && !oray_.hits_box(s->object_bound)) return IntersectionList();
        // Every query drops the hits outside the ray's range: they are not made.
        oray_.set_window(ray_.tmin, ray_.tmax);
        return hit_test_with_limits(s, oray_);
    }

    // The instance whose hits judge_hits handed on last, else null.
    GInstance *placing() const { return placing_; }

    // A hit of the last object, when that was an instance, becomes a hit of
    // the instance's own surface: done only for hits that are kept.
    void place(Intersection *h)
    {
        if (placing_) h->obj = placing_->placed(static_cast<GSurface *>(h->obj));
    }

private:
    // The object-space ray is reused while the transformation stays.
    void object_ray(const Transformation *t)
    {
        if (t == cached_xform_ && have_oray_) return;
        cached_xform_ = t;
        // After the first whole copy only what a hit test reads is refreshed.
        if (cached_xform_ && have_oray_) ray_.to_object_space_again(*cached_xform_, oray_);
        else if (cached_xform_) ray_.to_object_space(*cached_xform_, oray_);
        else {
            oray_ = ray_;
            oray_.scale = 1;
            oray_.tmin = 1e-10f;
            oray_.tmax = 1e38f;
        }
        have_oray_ = true;
    }

    void push(GPrimitive *o)
    {
        if (o == ex_a_ || o == ex_b_) return;
        float entry, exit;
        if (!ray_.box_range(o->world_bound, entry, exit)) return;
        push_range(o, entry, exit);
    }

    void push_range(GPrimitive *o, float entry, float exit)
    {
        if (!(exit >= ray_.tmin && entry <= ray_.tmax)) return;
        if (best_first_) heap_.push_heap(o, entry);
        else heap_.push_stack(o, entry);
    }

    // The four boxes of a node are tested together; a child whose box may
    // have changed since the build is tested on its own box, read afresh
    // into a copy of the lanes.
    void push_children(GHierBound *h)
    {
        GPrimitive *const *kids = h->children;
        const unsigned valid = h->used, live = h->live & valid, test = valid;
        if (!test) return;
        __m128 entry4, exit4;
        unsigned hit;
        if (live) {
            alignas(16) float lo[3][4], hi[3][4];
            std::memcpy(lo, h->lo, sizeof lo);
            std::memcpy(hi, h->hi, sizeof hi);
            for (unsigned m = live; m; m &= m - 1) {
                int i = __builtin_ctz(m);
                const Bound &b = kids[i]->world_bound;
                for (int a = 0; a < 3; a++) lo[a][i] = b[2 * a], hi[a][i] = b[2 * a + 1];
            }
            hit = (unsigned)slab4(slabs_, lo, hi, entry4, exit4) & test;
        } else {
            hit = (unsigned)slab4(slabs_, h->lo, h->hi, entry4, exit4) & test;
        }
        box_tests_ += bit_count(test);
        box_hits_ += bit_count(hit);
        // Boxes wholly outside the ray's range are not pushed.
        hit &= (unsigned)_mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(exit4, _mm_set1_ps(ray_.tmin)),
                                                    _mm_cmple_ps(entry4, _mm_set1_ps(ray_.tmax))));
        // The excluded objects are tested with the others and dropped here:
        // only children that are hit are compared.
        if (hit && (ex_a_ || ex_b_))
            for (unsigned m = hit; m; m &= m - 1) {
                int i = __builtin_ctz(m);
                if (kids[i] == ex_a_ || kids[i] == ex_b_) hit &= ~(1u << i);
            }
        alignas(16) float entry[4];
        _mm_store_ps(entry, entry4);
        // In slot order, as the children were always pushed.
        if (best_first_)
            for (; hit; hit &= hit - 1) {
                int i = __builtin_ctz(hit);
                prefetch(kids[i]);
                heap_.push_heap(kids[i], entry[i]);
            }
        else
            for (; hit; hit &= hit - 1) {
                int i = __builtin_ctz(hit);
                prefetch(kids[i]);
                heap_.push_stack(kids[i], entry[i]);
            }
    }

    // A child pushed is read when popped: its first lines (a whole node)
    // are asked for now, while the rest of the walk goes on.
    static void prefetch(const GPrimitive *o)
    {
        const char *c = reinterpret_cast<const char *>(o);
        __builtin_prefetch(c);
        __builtin_prefetch(c + 64);
        __builtin_prefetch(c + 128);
    }

    Ray &ray_;
    RaySlabs slabs_;
    unsigned long box_tests_ = 0, box_hits_ = 0;   // added to the statistics at the end
    bool best_first_;
    GPrimitive *ex_a_, *ex_b_;
    HitHeap heap_;
    const Transformation *cached_xform_ = nullptr;
    bool have_oray_ = false;
    Ray oray_;
    GInstance *placing_ = nullptr;   // the last object's hits name its definition's surfaces
    float popped_key_ = 0;
};

bool colour_is_zero(const Color &c) { return c.x == 0 && c.y == 0 && c.z == 0; }

float mean(const Color &c) { return (c.x + c.y + c.z) / 3.0f; }

// Composites sorted hits front to back into the ray's colour and opacity.
void composite(Ray &ray, IntersectionList &kept, bool matte_stops)
{
    Color color, opacity;
    for (Intersection *h = kept.first; h; h = h->next) {
        for (int c = 0; c < 3; c++) {
            color[c] += (1 - opacity[c]) * h->Ci[c];
            opacity[c] = 1 - (1 - h->Oi[c]) * (1 - opacity[c]);
        }
        if (matte_stops && h->ismatte) break;
    }
    ray.color = color;
    ray.opacity = opacity;
    ray.alpha = mean(opacity);
}

// Releases the kept hits lying beyond the nearest opaque one.
void drop_beyond(IntersectionList &kept, float limit)
{
    IntersectionList rest;
    while (Intersection *h = kept.dequeue()) {
        if (h->linet <= limit) rest.add(h);
        else h->release();
    }
    kept = rest;
}

void clear_result(Ray &ray)
{
    ray.color = Color();
    ray.opacity = Color();
    ray.alpha = 0;
    ray.hit_object = nullptr;
    ray.depth = 1e38f;
}

bool in_range(const Ray &ray, const Intersection *h)
{
    return h->linet >= ray.tmin && h->linet <= ray.tmax;
}

// The attribute state of a hit's object (null for objects without one).
GState *hit_attributes(const Intersection *h)
{
    if (!h->obj || !is_surface_type(gprim(h->obj)->type)) return nullptr;
    return static_cast<GSurface *>(h->obj)->attributes();
}

// Puts h into a list kept sorted by distance, after hits at the same distance.
void insert_by_distance(IntersectionList &l, Intersection *h)
{
    if (!l.first || !(h->linet < l.last->linet)) {
        l.add(h);
        return;
    }
    Intersection **at = &l.first;
    while (!(h->linet < (*at)->linet)) at = &(*at)->next;
    h->next = *at;
    *at = h;
    l.count++;
}

// Hits found in instances and the instance each is to be placed by, once
// shaded: most are never shaded. Room for a few, then on the heap.
class Unplaced {
public:
    // Out of line: only instanced scenes come here.
    [[gnu::noinline]] void add(Intersection *h, GInstance *by)
    {
        if (n_ < LOCAL) local_[n_++] = {h, by};
        else more_.push_back({h, by});
    }
    // The instance that places h (forgotten here), or null.
    [[gnu::noinline]] GInstance *take(const Intersection *h)
    {
        for (int i = 0; i < n_; i++)
            if (local_[i].h == h) {
                GInstance *by = local_[i].by;
                local_[i] = local_[--n_];
                return by;
            }
        for (size_t i = 0; i < more_.size(); i++)
            if (more_[i].h == h) {
                GInstance *by = more_[i].by;
                more_[i] = more_.back();
                more_.pop_back();
                return by;
            }
        return nullptr;
    }
    bool empty() const { return n_ == 0 && more_.empty(); }

private:
    struct Entry {
        const Intersection *h;
        GInstance *by;
    };
    static const int LOCAL = 8;
    Entry local_[LOCAL];
    int n_ = 0;
    std::vector<Entry> more_;
};

// Shared body of the two shaded queries. Hits are shaded nearest first, and
// only once no pending box can hold a nearer one: a hit behind a nearer
// opaque one is never shaded. The hits kept are the same in any order.
bool trace_shaded_hits(Ray &ray, GPrimitive *root, GPrimitive *likely, GPrimitive *ex_a, GPrimitive *ex_b,
                       bool camera)
{
    clear_result(ray);
    IntersectionList kept, found;
    Unplaced unplaced;
    Traversal walk(ray, true, likely ? likely : ex_a, likely ? ex_a : ex_b);
    auto take = [&](IntersectionList &l) {
        while (Intersection *h = l.dequeue()) {
            if (!in_range(ray, h)) {
                h->release();
                continue;
            }
            if (GInstance *by = walk.placing()) unplaced.add(h, by);
            insert_by_distance(found, h);
        }
    };
    auto shade = [&](Intersection *h) {
        GInstance *by = unplaced.empty() ? nullptr : unplaced.take(h);
        if (!(h->linet <= ray.tmax)) {
            h->release();
            return;
        }
        if (by) h->obj = by->placed(static_cast<GSurface *>(h->obj));
        // The hits of a camera ray are shaded in the order the camera
        // hierarchy finds them, which hangs on the crop window: each hit's
        // draws start from the sample and the hit alone.
        if (camera && ray.draws_key) {
            uint32_t bits;
            std::memcpy(&bits, &h->linet, sizeof bits);
            seed_random_stream(random_key(ray.draws_key, bits));
        }
        float o = shade_hit(h, ray);
        bool keep = o >= 1e-10f || (camera && !colour_is_zero(h->Ci));
        if (!keep) {
            h->release();
            return;
        }
        kept.add(h);
        if (o > 0.9999f) ray.tmax = h->linet;
    };
    // Shades the hits found that lie nearer than bound.
    auto settle = [&](float bound) __attribute__((always_inline)) {
        while (found.first && found.first->linet < bound) shade(found.dequeue());
    };
    RayStats &st = ray_stats();
    int lv = ray.level < 0 ? 0 : ray.level >= RAY_LEVELS ? RAY_LEVELS - 1 : ray.level;
    if (likely) {
        st.likely_tries[lv]++;
        IntersectionList l = ray.intersect_object(likely);
        if (l.count) st.likely_hits[lv]++;
        take(l);
    }
    walk.start(root);
    for (;;) {
        settle(walk.next_entry());
        GPrimitive *o = walk.next(ray.tmax);
        if (!o) break;
        if (o->type == GP_INSTANCE) {
            // An instance hands its hits on nearest first, each once no nearer
            // one can come from it: one nearer than every pending box is shaded
            // at once, so that an opaque one cuts the rest of its walk.
            auto one = [&](Intersection *h) {
                const float t = h->linet;
                IntersectionList l;
                l.add(h);
                take(l);
                settle(std::min(std::nextafter(t, HUGE_VALF), walk.next_entry()));
            };
            walk.judge_hits(o, one);
        } else {
            IntersectionList l = walk.hits_of(o);
            take(l);
        }
    }
    settle(HUGE_VALF);
    drop_beyond(kept, ray.tmax);
    kept.sort();
    composite(ray, kept, camera);
    if (Intersection *first = kept.head()) {
        ray.depth = first->dist;
        if (!first->incsg) ray.hit_object = mesh_hint(gprim(first->obj));
    }
    bool any = kept.count > 0;
    kept.free_list();
    return any;
}

GPrimitive *tracer_root(int which)
{
    RayTracer *rt = RayTracer::current();
    if (!rt) return nullptr;
    switch (which) {
    case 0: return rt->band_hierarchy;
    case 1: return rt->secondary_hierarchy;
    default: return rt->shadow_hierarchy;
    }
}

} // namespace

namespace {

// Whether the sample limits of an attribute state pass the ray.
bool within_limits(const GState *g, const Ray &ray)
{
    return !g || (ray.sample_value >= g->detail_values[1] && ray.sample_value < g->detail_values[2]);
}

// The hits of an object for a ray in its space, limits already passed.
IntersectionList object_hits(GPrimitive *object, const Ray &ray)
{
    RayStats &st = ray_stats();
    IntersectionList l = object->intersect(ray);
    if (l.count || ray.dropped) st.isect_hits++;
    if (ray.scale != 1)
        for (Intersection *h = l.first; h; h = h->next) h->linet /= ray.scale;
    l.sort();
    return l;
}

} // namespace

IntersectionList hit_test_with_limits(GPrimitive *object, const Ray &ray)
{
    ray_stats().isect_tests++;
    if (object->flags & GPF_SAMPLE_LIMITS) {
        GSurface *s = surface_of_object(object);
        GState *g = s ? s->attributes() : nullptr;
        if (!within_limits(g, ray)) return IntersectionList();
    }
    return object_hits(object, ray);
}

namespace {

// Inserts a hit into a list sorted by distance, after those at the same distance.
void insert_sorted(IntersectionList &l, Intersection *h)
{
    if (!l.first || l.last->linet <= h->linet) {
        l.add(h);
        return;
    }
    h->next = nullptr;
    Intersection **at = &l.first;
    while ((*at)->linet <= h->linet) at = &(*at)->next;
    h->next = *at;
    *at = h;
    l.count++;
}

// The definition's boxes are met by the ray in its space, its surfaces by
// the world ray taken into theirs, as for a copy of each. Hits are held
// until the walk's next entry lies beyond them (a little slack for the
// rounding between the two spaces), then judged in the order of distance,
// which is the order a sorted list of all of them would give.
template <class Judge>
void walk_instance(GInstance *inst, const Ray &ray, GPrimitive *ex_a, GPrimitive *ex_b, Judge &judge,
                   const bool *stop)
{
    Ray dray = inst->xform.is_set() ? ray.to_object_space(*inst->xform) : ray;
    if (!inst->xform.is_set()) dray.scale = 1;
    dray.tmin = ray.tmin * dray.scale;
    dray.tmax = ray.tmax * dray.scale;
    const GState *g = inst->attributes();
    const bool limited = g && (g->flags & GS_SAMPLE_LIMITS);
    const float SLACK = 1e-5f;
    IntersectionList pending;
    // Judges the held hits nearer than d; false once judging should stop.
    auto hand_on = [&](float d) {
        while (pending.first && pending.first->linet < d) {
            judge(pending.dequeue());
            if (stop && *stop) return false;
        }
        return true;
    };
    Traversal walk(dray, true, nullptr, nullptr);
    walk.start(inst->definition->tree);
    const Transformation *cached = nullptr, *own = nullptr, *t = nullptr;
    bool have_oray = false;
    Ray oray;
    // The excluded surfaces, as the definition's surfaces they stand for here.
    const GSurface *skip_a = inst->surface_of(ex_a), *skip_b = inst->surface_of(ex_b);
    bool going = true;
    while (GPrimitive *o = walk.next(ray.tmax * dray.scale * (1 + SLACK))) {
        const float entry = walk.popped_key() / dray.scale;
        if (!(going = hand_on(entry * (1 - SLACK)))) break;
        // Judging may have brought the ray's end nearer than this entry.
        if (entry > ray.tmax * (1 + SLACK)) break;
        GSurface *s = static_cast<GSurface *>(o);
        if (s == skip_a || s == skip_b) continue;
        // The definition's surfaces mostly share one transformation.
        if (s->xform.get() != own || !have_oray) {
            own = s->xform.get();
            t = inst->placed_transformation(own);
        }
        if (t != cached || !have_oray) {
            cached = t;
            have_oray = true;
            if (t == inst->xform.get()) {
                // Surfaces placed by the definition's own space: the ray in it.
                oray = dray;
                oray.tmin = 1e-10f;
                oray.tmax = 1e38f;
            } else if (t) {
                oray = ray.to_object_space(*t);
            } else {
                oray = ray;
                oray.scale = 1;
                oray.tmin = 1e-10f;
                oray.tmax = 1e38f;
            }
        }
        if (s->has_object_bound_test() && !oray.hits_box(s->object_bound)) continue;
        ray_stats().isect_tests++;
        if (limited && !within_limits(g, oray)) continue;
        IntersectionList l = object_hits(s, oray);
        while (Intersection *h = l.dequeue()) {
            if (!in_range(ray, h)) h->release();
            else insert_sorted(pending, h);
        }
    }
    if (going) hand_on(1e38f * 2);
    pending.free_list();
}

} // namespace

IntersectionList instance_hits(GInstance *inst, const Ray &ray)
{
    IntersectionList all;
    auto keep = [&](Intersection *h) {
        if (!in_range(ray, h)) {
            h->release();
            return;
        }
        h->obj = inst->placed(static_cast<GSurface *>(h->obj));
        all.add(h);
    };
    walk_instance(inst, ray, nullptr, nullptr, keep, nullptr);
    return all;
}

IntersectionList Ray::intersect_object(GPrimitive *object, int (*callback)(Intersection *, Ray &))
{
    IntersectionList l;
    if (!object) return l;
    // A hint kept from an earlier ray may be an instance's copy: it must not
    // be placed anew while its hits are in hand.
    placed_surface_touch(object);
    if (object->type == GP_HIERBOUND) {
        if (!hits_box(object->world_bound)) return l;
        l = object->intersect(*this);
    } else if (is_surface_type(object->type) || object->type == GP_MESHFACE) {
        GSurface *s = surface_of_object(object);
        Ray o = s->xform.is_set() ? to_object_space(*s->xform) : *this;
        const GMeshFace *f = object->type == GP_MESHFACE ? static_cast<GMeshFace *>(object) : nullptr;
        // Polygons (and so a mesh's quadrilaterals) are tested without their box.
        if ((time != 0 && object->type != GP_POLYGON && !(f && f->quad())) || object->type == GP_TORUS) {
            Bound ob = f ? triangle_bound(f->mesh()->point(f->v[0]), f->mesh()->point(f->v[1]),
                                          f->mesh()->point(f->v[2]))
                         : s->object_bound;
            if (!o.hits_box(ob)) return l;
        }
        l = object->intersect(o);
        if (o.scale != 1)
            for (Intersection *h = l.first; h; h = h->next) h->linet /= o.scale;
    } else {
        l = object->intersect(*this);
    }
    if (callback)
        for (Intersection *h = l.first; h; h = h->next)
            if (callback(h, *this) < 0) break;
    l.sort();
    return l;
}

bool Ray::trace_camera(GPrimitive *likely)
{
    count_ray(0);
    return trace_primary_hit(tracer_root(0), likely);
}

bool Ray::trace(GPrimitive *exclude_a, GPrimitive *exclude_b)
{
    count_ray(level);
    int max_level = current_renderer ? current_renderer->options.max_raylevel : 4;
    if (level > max_level) {
        clear_result(*this);
        return false;
    }
    return trace_shaded(tracer_root(1), exclude_a, exclude_b);
}

bool Ray::trace_primary_hit(GPrimitive *root, GPrimitive *likely)
{
    return trace_shaded_hits(*this, root, likely, nullptr, nullptr, true);
}

bool Ray::trace_shaded(GPrimitive *root, GPrimitive *exclude_a, GPrimitive *exclude_b)
{
    return trace_shaded_hits(*this, root, nullptr, exclude_a, exclude_b, false);
}

IntersectionList Ray::find_hit(GPrimitive *root, GPrimitive *likely)
{
    hit_object = nullptr;
    depth = 1e38f;
    IntersectionList accepted;
    Traversal walk(*this, true, likely, nullptr);
    auto judge = [&](Intersection *h) {
        if (!in_range(*this, h)) {
            h->release();
            return;
        }
        walk.place(h);
        tmax = h->linet;
        if (!h->incsg) hit_object = mesh_hint(gprim(h->obj));
        accepted.add(h);
    };
    RayStats &st = ray_stats();
    int lv = level < 0 ? 0 : level >= RAY_LEVELS ? RAY_LEVELS - 1 : level;
    if (likely) {
        st.likely_tries[lv]++;
        IntersectionList l = intersect_object(likely);
        if (l.count) st.likely_hits[lv]++;
        while (Intersection *h = l.dequeue()) judge(h);
    }
    walk.start(root);
    while (GPrimitive *o = walk.next(tmax)) {
        walk.judge_hits(o, judge);
    }
    accepted.sort();
    if (accepted.head()) depth = accepted.head()->linet;
    return accepted;
}

IntersectionList Ray::closest_hit(GPrimitive *root)
{
    IntersectionList all;
    Traversal walk(*this, true, nullptr, nullptr);
    walk.start(root);
    while (GPrimitive *o = walk.next(tmax)) {
        auto keep = [&](Intersection *h) {
            if (!in_range(*this, h)) {
                h->release();
                return;
            }
            walk.place(h);
            all.add(h);
        };
        walk.judge_hits(o, keep);
    }
    all.sort();
    return all;
}

bool Ray::trace_occlusion(GPrimitive *root, GPrimitive *first, GPrimitive *exclude)
{
    clear_result(*this);
    exclude = mesh_hint(exclude);
    GPrimitive *exclude_b = nullptr;
    IntersectionList kept;
    bool blocked = false;
    Traversal *walkp = nullptr;   // the walk, once the likely blocker is done
    GInstance *hint = nullptr;    // the likely blocker, when an instance
    auto judge = [&](Intersection *h) {
        if (blocked || !in_range(*this, h) || shadow_self_hit(h, dir)) {
            h->release();
            return;
        }
        GInstance *from = walkp ? walkp->placing() : hint;
        if (walkp) walkp->place(h);
        else if (hint) h->obj = hint->placed(static_cast<GSurface *>(h->obj));
        GState *g = hit_attributes(h);
        int mode = g ? g->casts_shadows : 1;
        if (mode == 0) {
            h->release();
            return;
        }
        float o;
        if (mode == 3) {
            h->shade_task = SHADE_TASK_SHADOW;
            o = shade_hit(h, *this);
        } else if (mode == 2) {
            h->Oi = g->opacity;
            o = mean(h->Oi);
        } else {
            h->Oi = Color(1, 1, 1);
            o = 1;
        }
        if (!(o >= 1e-10f)) {
            h->release();
            return;
        }
        kept.add(h);
        if (o > 0.9999f) {
            blocked = true;
            // A blocker within an instance is remembered as the instance: the
            // next ray is more likely blocked by it than by the one surface.
            if (!h->incsg) hit_object = from ? from : mesh_hint(gprim(h->obj));
        }
    };
    RayStats &st = ray_stats();
    // The likely blocker answers alone when it blocks. When it is hit without
    // blocking, its hits go and the walk meets it again in its turn, so the
    // hits kept are those of a walk without it.
    if (first && (first->flags & GPF_SAMPLE_LIMITS)) first = nullptr;
    if (first && first->type == GP_INSTANCE) hint = static_cast<GInstance *>(first);
    if (first) {
        st.shadow_likely_tries++;
        int count = 0;
        if (hint) {
            // Walked as the walk would, ending at its first blocker.
            auto counted = [&](Intersection *h) {
                count++;
                judge(h);
            };
            walk_instance(hint, *this, exclude, nullptr, counted, &blocked);
        } else {
            // Most rays pass the last blocker by: its world box, a cheaper test
            // than the object's own, answers those. (An instance's surface is
            // kept from being placed anew, as intersect_object does.)
            placed_surface_touch(first);
            IntersectionList l = hits_box(first->world_bound) ? intersect_object(first) : IntersectionList();
            count = l.count;
            while (Intersection *h = l.dequeue()) judge(h);
        }
        if (count) st.shadow_likely_hits++;
        else if (first != exclude) exclude_b = first;
        if (!blocked) kept.free_list();
    }
    if (!blocked) {
        Traversal walk(*this, false, exclude, exclude_b);
        walkp = &walk;
        walk.start(root);
        while (!blocked) {
            GPrimitive *o = walk.next(tmax);
            if (!o) break;
            if (is_surface_type(o->type) || o->type == GP_INSTANCE || o->type == GP_MESHFACE) {
                GState *g = o->type == GP_INSTANCE ? static_cast<GInstance *>(o)->attributes()
                                                   : surface_of_object(o)->attributes();
                if (g && g->casts_shadows == 0) continue;
            }
            walk.judge_hits(o, judge, &blocked);
        }
        walkp = nullptr;
    }
    kept.sort();
    composite(*this, kept, false);
    kept.free_list();
    return blocked;
}
