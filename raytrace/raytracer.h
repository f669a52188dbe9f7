// The ray-tracing back end. For now it keeps the block structure running end
// to end: every primitive, solid and object operation is accepted and dropped;
// rendering comes later.
#pragma once
#include <vector>

#include "raytrace/imgout.h"
#include "raytrace/pixel_sampler.h"
#include "ri/renderer.h"

class GPrimitive;
class GHierBound;

class RayTracer : public Renderer {
public:
    RayTracer() = default;
    ~RayTracer() override;

    void world_end() override;
    // Renders the finished world into the display (rendrt.cpp).
    void render_world() override;
    // RiDisplay (imgout.cpp).
    int display(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer values[]) override
    {
        return output.display(name, type, mode, n, tokens, values);
    }
    // Shader binding and lights (the shading module's bind_shader).
    RtPointer shader(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void illuminate(RtLightHandle light, int on) override;

    void add_cone(RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_cylinder(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_disk(RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_hyperboloid(RtPoint, RtPoint, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_paraboloid(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_sphere(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_torus(RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_polygon(RtInt, RtInt, RtToken[], RtPointer[]) override {}
    void add_general_polygon(RtInt, RtInt[], RtInt, RtToken[], RtPointer[]) override {}
    void add_points_polygons(RtInt, RtInt[], RtInt[], RtInt, RtToken[], RtPointer[]) override {}
    void add_points_general_polygons(RtInt, RtInt[], RtInt[], RtInt[], RtInt, RtToken[], RtPointer[]) override {}
    void add_bilinear_patch(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_bicubic_patch(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) override {}
    void add_patch_mesh(RtToken, RtInt, RtToken, RtInt, RtToken, RtInt, RtToken[], RtPointer[]) override {}
    void add_nu_patch(RtInt, RtInt, RtFloat[], RtFloat, RtFloat, RtInt, RtInt, RtFloat[], RtFloat, RtFloat,
                      RtInt, RtToken[], RtPointer[]) override {}
    void add_curves(RtToken, RtInt, RtInt[], RtToken, RtInt, RtToken[], RtPointer[]) override {}
    void add_points(RtInt, RtInt, RtToken[], RtPointer[]) override {}
    void add_subdivision_mesh(RtToken, RtInt, RtInt[], RtInt[], RtInt, RtToken[], RtInt[], RtInt[], RtFloat[],
                              RtInt, RtToken[], RtPointer[]) override {}
    void add_blobby(RtInt, RtInt, RtInt[], RtInt, RtFloat[], RtInt, RtToken[], RtInt, RtToken[], RtPointer[]) override {}
    void add_procedural(RtPointer data, RtBound, RtProcSubdivFunc, RtProcFreeFunc freefunc) override
    {
        if (freefunc) freefunc(data);
    }
    void solid_begin(RtToken) override {}
    void solid_end() override {}
    RtObjectHandle object_begin() override;
    void object_end() override {}
    void object_instance(RtObjectHandle) override {}

    // The display and the rows of samples of the frame.
    ImageOutput output{options};
    PixelSampler sampler;
    // The current renderer when it is the ray tracer, else null.
    static RayTracer *current();

    GPrimitive *world_objects = nullptr;       // objects added since the world began
    GPrimitive *frame_objects = nullptr;       // the list being rendered
    GHierBound *band_hierarchy = nullptr;      // camera rays (per band, tile or window pass)
    GHierBound *secondary_hierarchy = nullptr;
    GHierBound *shadow_hierarchy = nullptr;
    // Wall-clock seconds at the start of rendering, after the hierarchies, at the end.
    double render_start_time = 0, hierarchy_time = 0, end_time = 0;

private:
    // One record per object definition, so every handle is distinct.
    std::vector<int *> objects_;
};
