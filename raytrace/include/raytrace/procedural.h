// Procedural primitives: a bound, a data block and two callbacks that become
// geometry only when a ray first reaches the bound. The subdivide callback is
// run with the bound's raster area as its detail; what it creates goes into a
// private object list with a hierarchy of its own, which rays then enter.
#pragma once
#include <cstdint>

#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/ray.h"

// Procedurals expanding inside procedurals deeper than this are refused.
const int MAX_PROCEDURAL_DEPTH = 32;

class GProcedural : public GPrimitive {
public:
    // Takes the current attributes and transformation; the bound (object
    // space of the current transformation) is taken to world space.
    GProcedural(RtPointer data, const RtBound bound, RtProcSubdivFunc subdivide, RtProcFreeFunc free_data);
    // Destroys what was generated and hands the data to the free callback.
    ~GProcedural() override;

    // The bound given by the caller.
    void bound(Bound &b) override;
    // Expands on the first ray, then traces the ray into the private hierarchy.
    IntersectionList intersect(const Ray &ray) override;
    // Expands and meshes what was generated.
    void mesh_radiosity() override;

    // Runs the subdivide callback with the attributes and transformation of
    // the procedural current and an empty object list, and keeps what it made.
    void expand();
    // Destroys what was generated, so that a later ray expands again.
    void release_memory();
    // The raster area of the bound in pixels (1e38 when the bound holds the eye).
    float detail() const;

    RtPointer data;
    RtProcSubdivFunc subdivide;
    RtProcFreeFunc free_data;
    GHierBound *hierarchy = nullptr;
    GPrimitive *generated = nullptr;
    int generated_count = 0;
    bool expanded = false;        // expanded since made or last released
    Bound given;                  // the caller's bound
    int32_t last_use = -1;        // shading serial number of the last ray
    long generated_memory = 0;    // geometry memory of what was generated
    GStateRef attrs;
    TransformationRef xform;

private:
    // Counts one more procedural open inside another; false (reported once)
    // past the deepest nesting.
    bool enter();
    // Destroys the generated objects and their hierarchy.
    void discard_generated();
    bool told_depth_ = false;
};
