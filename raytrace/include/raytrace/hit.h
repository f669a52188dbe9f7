// A ray hit: the shading point the ray tracer fills from it, with what the
// ray tracer keeps of the hit itself: the link of its hit list, the distance
// along the ray and the primitive's own data. Records come from a pool.
#pragma once
#include <cstddef>
#include <cstdint>

#include "shading/shadingpoint.h"

// The hit pool's free list, linked through each record's first word, and
// its length: records are taken and given back inline, as every hit makes one.
namespace hit_pool {
struct FreeHit {
    FreeHit *next;
};
extern FreeHit *free_list;
extern long free_count;
// A record from the system (the free list is empty).
void *new_record(size_t size);
} // namespace hit_pool

struct Intersection : ShadingPoint {
    // Empty form: no object, fresh handles, no walk.
    Intersection() = default;
    // Hit form: object o hit at distance lt at shutter time tm. Made for
    // every hit of every ray: kept inline.
    [[gnu::always_inline]] Intersection(SceneObject *o, float lt, float tm) : ShadingPoint(o, tm), linet(lt) {}
    // A hit made at a shading point: its fields, no hit data of its own.
    explicit Intersection(const ShadingPoint &sp) : ShadingPoint(sp) {}
    // Copies every field; the handles gain references.
    Intersection(const Intersection &) = default;
    Intersection &operator=(const Intersection &) = default;
    void copy_from(const Intersection &o) { *this = o; }

    // Records come from the hit pool: a pop of its free list, else a new record.
    static void *operator new(size_t size)
    {
        hit_pool::FreeHit *h = hit_pool::free_list;
        if (size != sizeof(Intersection) || !h) return hit_pool::new_record(size);
        hit_pool::free_list = h->next;
        hit_pool::free_count--;
        return h;
    }
    // Back onto the free list; never returned to the system.
    static void operator delete(void *p)
    {
        if (!p) return;
        hit_pool::FreeHit *h = static_cast<hit_pool::FreeHit *>(p);
        h->next = hit_pool::free_list;
        hit_pool::free_list = h;
        hit_pool::free_count++;
    }
    // Destroys the record and puts it back on the free list.
    void release() { delete this; }

    Intersection *next = nullptr;     // hit list or free list link
    float linet = 0;                  // distance along the ray
    Point Pobj;                       // hit point in object space
    int16_t v1 = 0, v2 = 0, v3 = 0, v4 = 0;   // primitive-specific (vertex indices)
    float i1 = 0, i2 = 0, i3 = 0;             // primitive-specific
    int32_t incsg = 0;                // inside-CSG marker
};

// Records made from the system so far (the pool never shrinks).
long hit_records_made();
// Records waiting on the free list.
long hit_records_free();
