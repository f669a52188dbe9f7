// The rays shaders fire, built and followed by the ray tracer: traced
// colour, hit tests, shaded hits for full traces and shadow transmission.
#include <cmath>

#include "raytrace/gprim.h"
#include "mesh.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/shade_hits.h"
#include "shading/shadingpoint.h"

namespace {

const float FAR = 1e38f;

// A ray from P at the given level, from the options' lower distance limit out.
Ray ray_from(const Point &P, const Point &R, float time, int level, float weight)
{
    Ray ray(P, R, time, level, weight, 0);
    float lower = current_renderer ? current_renderer->options.minshadowbias : 1e-10f;
    ray.set_range(lower, FAR);
    // The pixel's beam goes on widening along the new ray (shading derivatives).
    if (current_renderer) ray.travelled = (P - current_renderer->options.eye).length();
    return ray;
}

} // namespace

TracedRay RayTracer::trace_from(const Point &P, const Point &R, float time, int level, float weight)
{
    // Past the deepest level the answer is black and nothing is hit: the ray
    // is counted but not built.
    if (level > (current_renderer ? current_renderer->options.max_raylevel : 4)) {
        count_ray(level);
        return TracedRay();
    }
    Ray ray = ray_from(P, R, time, level, weight);
    trace(ray);
    TracedRay t;
    t.color = ray.color;
    t.opacity = ray.opacity;
    t.hit = ray.hit_object;
    t.hit_point = ray.origin + ray.dir * ray.depth;
    t.to_hit = ray.dir * ray.depth;
    return t;
}

bool RayTracer::hit_test(const Point &P, const Point &R, float time, int level, float weight, float &distance,
                         Point &Phit, Point &Nhit)
{
    Ray ray = ray_from(P, R, time, level, weight);
    IntersectionList hits = closest_hit(ray);
    Intersection *h = hits.head();
    if (h) {
        h->Ps = ray.origin + ray.dir * h->linet;
        if (!h->finished && h->obj) gprim(h->obj)->fill_hit(h);
        distance = h->linet;
        Phit = h->Ps;
        Nhit = h->Ns;
    }
    hits.free_list();
    return h != nullptr;
}

bool RayTracer::shade_nearest(const Point &P, const Point &R, float time, int level, float weight,
                              SceneObject **slot, ShadedHit &out)
{
    Ray ray = ray_from(P, R, time, level, weight);
    IntersectionList hits = find_hit(ray, slot ? gprim(*slot) : nullptr);
    if (slot) *slot = ray.hit_object;
    Intersection *hit = hits.head();
    if (hit) {
        shade_hit(hit, ray);
        out.Ci = hit->Ci;
        out.distance = hit->linet;
        out.Phit = hit->Ps;
        out.Nhit = hit->Ns;
    }
    hits.free_list();
    return hit != nullptr;
}

bool RayTracer::shadow_transmission(const Point &dir, const Point &to, float time, float sample, float distance,
                                    SceneObject *first, Color &result, SceneObject *&blocker)
{
    Ray ray(to, dir, time, 1, 1, 0);
    ray.flags = RAY_SHADOW;
    ray.set_sample_value(sample);
    const Options &o = current_renderer->options;
    float e = (to - o.eye).length();
    float pw = o.eff_xres > 0 ? std::fabs(o.screen[1] - o.screen[0]) / o.eff_xres : 0;
    float bias = e * pw * 0.125f;
    if (!(bias >= o.minshadowbias)) bias = o.minshadowbias;
    if (bias > o.maxshadowbias) bias = o.maxshadowbias;
    ray.set_range(bias, distance - bias);
    if (!occlusion(ray, gprim(first))) return false;
    result = Color(1, 1, 1) - ray.opacity;
    blocker = ray.hit_object;
    return true;
}

GState *RayTracer::surface_attributes(SceneObject *obj)
{
    GSurface *s = surface_of_object(gprim(obj));
    return s ? s->attributes() : nullptr;
}

const Transformation *RayTracer::object_transformation(const SceneObject *obj)
{
    const GSurface *s = surface_of_object(const_cast<GPrimitive *>(gprim(obj)));
    return s ? s->xform.get() : nullptr;
}
