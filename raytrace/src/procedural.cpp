#include "raytrace/procedural.h"

#include <cmath>
#include <cstdio>

#include "raytrace/primitive_makers.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "shading/shadehit.h"

namespace {

// Procedurals being expanded or traced, one inside the other.
int nesting = 0;

const Options *frame_options()
{
    return current_renderer ? &current_renderer->options : nullptr;
}

} // namespace

GProcedural::GProcedural(RtPointer d, const RtBound b, RtProcSubdivFunc sub, RtProcFreeFunc fr)
    : data(d), subdivide(sub), free_data(fr), given(b[0], b[1], b[2], b[3], b[4], b[5])
{
    type = GP_PROCEDURAL;
    if (Renderer *r = current_renderer) {
        attrs = r->attributes;
        xform = r->transformation;
    }
    const Options *o = frame_options();
    world_bound = xform.is_set() ? xform->motion_bound_to_world(given, o ? o->shutter_open : 0,
                                                                 o ? o->shutter_close : 0)
                                 : given;
}

GProcedural::~GProcedural()
{
    discard_generated();
    if (free_data && data) free_data(data);
}

void GProcedural::bound(Bound &b)
{
    b = given;
}

float GProcedural::detail() const
{
    const Options *op = frame_options();
    if (!op) return 1e38f;
    const Options &o = *op;
    float most = (float)o.eff_xres * (float)o.eff_yres;
    bool ortho = o.projection == PROJ_ORTHOGRAPHIC;
    // The bound's own corners, through the procedural's transformation (at
    // each of its keys over the shutter) and the camera: the padded boxes
    // kept for tracing would overstate the area.
    const int steps = xform.is_set() && xform->moving() ? 10 : 0;
    float x0 = 1e30f, x1 = -1e30f, y0 = 1e30f, y1 = -1e30f;
    bool eye_inside = false, behind = false;
    for (int j = 0; j <= steps; j++) {
        float t = o.shutter_open + j * (o.shutter_close - o.shutter_open) * 0.1f;
        Bound cb = EMPTY_BOUND;
        for (int i = 0; i < 8; i++) {
            Point c = given.corner(i);
            if (xform.is_set()) xform->point_to_world(c.data(), t);
            if (o.camera.is_set()) o.camera->point_to_world(c.data(), o.shutter_open);
            cb.extend(c);
            // Corners beside or behind the eye have no projection: the whole image.
            if (!ortho && !(c.z >= 1e-10f)) {
                behind = true;
                continue;
            }
            float z = ortho ? 1 : c.z;
            x0 = std::fmin(x0, c.x / z), x1 = std::fmax(x1, c.x / z);
            y0 = std::fmin(y0, c.y / z), y1 = std::fmax(y1, c.y / z);
        }
        eye_inside = eye_inside || (cb[0] <= 0 && cb[1] >= 0 && cb[2] <= 0 && cb[3] >= 0 && cb[4] <= 0 && cb[5] >= 0);
    }
    if (eye_inside) return 1e38f;
    if (behind) return most;
    float pw = (o.screen[1] - o.screen[0]) / (float)o.eff_xres;
    float ph = (o.screen[3] - o.screen[2]) / (float)o.eff_yres;
    float area = std::fabs((x1 - x0) / pw) * std::fabs((y1 - y0) / ph);
    return area < most ? area : most;
}

void GProcedural::expand()
{
    Renderer *r = current_renderer;
    GPrimitive **list = scene_object_list();
    if (!subdivide || !r || !list) return;
    // Nothing is made past the frame's bound on expansions: the rest renders.
    if (!r->may_expand()) {
        expanded = true;
        return;
    }
    float d = detail();
    GPrimitive *saved_list = *list;
    *list = nullptr;
    GStateRef saved_attrs = r->attributes;
    TransformationRef saved_xform = r->transformation;
    int attribute_depth = r->attribute_depth, transformation_depth = r->transformation_depth;
    r->attributes = attrs;
    r->transformation = xform;
    long memory = geometry_memory().current;

    ++r->procedural_depth;
    subdivide(data, d);
    --r->procedural_depth;

    // Blocks the callback left open end with it.
    while (r->attribute_depth > attribute_depth) RiAttributeEnd();
    while (r->transformation_depth > transformation_depth) RiTransformEnd();
    generated = *list;
    *list = saved_list;
    r->attributes = saved_attrs;
    r->transformation = saved_xform;
    generated_memory = geometry_memory().current - memory;
    generated_count = 0;
    for (GPrimitive *o = generated; o; o = o->next) generated_count++;
    hierarchy = GHierBound::build(HIER_SECONDARY, generated, 0, 0, 0, 0);
    world_bound = hierarchy->world_bound;
    expanded = true;
}

void GProcedural::release_memory()
{
    std::printf("Releasing procedural memory: %ld\n", generated_memory);
    discard_generated();
}

void GProcedural::discard_generated()
{
    delete hierarchy;
    free_object_list(generated);
    hierarchy = nullptr;
    generated = nullptr;
    generated_count = 0;
    generated_memory = 0;
    expanded = false;
}

bool GProcedural::enter()
{
    if (nesting < MAX_PROCEDURAL_DEPTH) {
        nesting++;
        return true;
    }
    if (!told_depth_)
        ri_error(RIE_LIMIT, RIE_ERROR, "Procedural primitives nested more than %d deep", MAX_PROCEDURAL_DEPTH);
    told_depth_ = true;
    return false;
}

IntersectionList GProcedural::intersect(const Ray &ray)
{
    IntersectionList l;
    if (!enter()) return l;
    // One expansion until released, even when it made nothing: a failing
    // program or library is not run again for every ray.
    if (!expanded && subdivide) expand();
    if (generated) {
        Ray r(ray);
        r.weight = 1;
        last_use = shade_index_counter();
        l = r.closest_hit(hierarchy);
    }
    nesting--;
    return l;
}

void GProcedural::mesh_radiosity()
{
    if (!enter()) return;
    if (!expanded && subdivide) expand();
    mesh_radiosity_list(generated);
    nesting--;
}

GPrimitive *make_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivide, RtProcFreeFunc free_data)
{
    return new GProcedural(data, bound, subdivide, free_data);
}
