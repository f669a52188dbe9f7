// The ray tracer's answers to what shading asks of the scene: queries over
// the frame's secondary and shadow hierarchies (or its object list when no
// hierarchy was built), radiosity lookups and the pixel being sampled.
#include "raytrace/dice.h"
#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/radiosity.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"

namespace {

// The root of secondary rays, else of shadow rays.
GPrimitive *query_root(const RayTracer &rt, bool shadow)
{
    GHierBound *h = shadow ? rt.shadow_hierarchy : rt.secondary_hierarchy;
    return h ? static_cast<GPrimitive *>(h) : rt.frame_objects;
}

} // namespace

bool RayTracer::trace(Ray &ray)
{
    return ray.trace();
}

IntersectionList RayTracer::find_hit(Ray &ray, GPrimitive *likely)
{
    IntersectionList hits;
    if (GPrimitive *root = query_root(*this, false)) hits = ray.find_hit(root, likely);
    count_ray(ray.level);
    return hits;
}

IntersectionList RayTracer::closest_hit(Ray &ray)
{
    GPrimitive *root = query_root(*this, false);
    return root ? ray.closest_hit(root) : IntersectionList();
}

bool RayTracer::occlusion(Ray &ray, GPrimitive *first)
{
    GPrimitive *root = query_root(*this, true);
    if (!root) return false;
    RayStats &stats = ray_stats();
    stats.shadow_rays++;
    ray.trace_occlusion(root, first);
    if (ray.hit_object) stats.shadow_obscured++;
    return true;
}

void RayTracer::set_shadow_origin(const ShadingPoint *hit)
{
    ::set_shadow_origin(hit);
}

void RayTracer::count_shading(bool reused)
{
    if (reused) ray_stats().shading_reused++;
    else ray_stats().shading_calcs++;
}

bool RayTracer::radiosity_light(ShadingPoint *hit, Color &C)
{
    if (!radiosity_results_ready() || !hit->obj || !is_surface_type(gprim(hit->obj)->type) ||
        !static_cast<GSurface *>(hit->obj)->rad_patches)
        return false;
    find_patch(C, hit);
    return true;
}

bool RayTracer::radiosity_running()
{
    return ::radiosity_running();
}

void RayTracer::surface_point(GSurface *s, float u, float v, Point &P, Point &N)
{
    rad_surface_point(s, u, v, P, N);
}

void RayTracer::for_each_frame_surface(void (*f)(GSurface *, void *), void *arg)
{
    for_each_surface(frame_objects, f, arg, 1);
}
