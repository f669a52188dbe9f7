// An object instance by reference: one small record per ObjectInstance that
// names a definition, whose objects keep their single copy and a tree of
// their own. Rays meet the definition in its space; a hit is handed on as a
// surface of the instance: a copy of the definition's surface placed and
// coloured by the instance. The definition keeps those copies per surface
// and hands one that no ray of the last camera rays used to the next
// instance that needs it, so they stay as few as the rays in flight need.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "raytrace/gprim.h"

class GInstance : public GPrimitive {
public:
    // An instance of a definition under the renderer's current transformation
    // and attributes; null when its objects need copies of their own
    // (solids, diced or displaced surfaces, motion, radiosity).
    static GInstance *make(GObjInstance *definition);
    ~GInstance() override;

    void bound(Bound &b) override { b = world_bound; }
    // Every hit, distances in the ray's units, objects as the instance's surfaces.
    IntersectionList intersect(const Ray &ray) override;

    GState *attributes() const { return attrs.get(); }
    // The transformation of the definition's transformation t placed in the instance's.
    const Transformation *placed_transformation(const Transformation *t) { return placed_ref(t).get(); }
    const TransformationRef &placed_ref(const Transformation *t);
    // The instance's surface standing for the definition's surface s.
    GSurface *placed(GSurface *s);
    // The definition's surface that o stands for in this instance now, else null.
    GSurface *surface_of(const GPrimitive *o) const;

    GObjInstance *definition;
    const uint64_t serial;
    GStateRef attrs;
    TransformationRef xform;

private:
    explicit GInstance(GObjInstance *definition);

    std::unordered_map<const Transformation *, TransformationRef> nested_;
    std::pair<const Transformation *const, TransformationRef> *last_nested_ = nullptr;
};

// The copies a definition keeps for its instances (owned by the definition).
struct PlacedSurfaces;
void free_placed_surfaces(PlacedSurfaces *p);
// One more camera ray: copies unused for a while may serve other instances.
void placed_surfaces_tick();
// A copy kept from an earlier ray (a likely hit, a last blocker) is in use
// again; nothing for other objects.
void placed_surface_touch(GPrimitive *o);

// The hits of a ray through an instance within the ray's reach (trace
// module), sorted, as hits of the instance's surfaces.
IntersectionList instance_hits(GInstance *inst, const Ray &ray);
