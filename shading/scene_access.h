// What shading asks of the scene being rendered: rays traced through it,
// shadow occlusion, caustic and radiosity light, and the surfaces it holds.
// The ray tracer answers; shading reaches the scene only through this.
#pragma once
#include "ri/vecmath.h"

class GPrimitive;
class GSurface;
class Ray;
struct Intersection;
struct IntersectionList;

class SceneAccess {
public:
    virtual ~SceneAccess() = default;

    // A shaded secondary ray: colour, opacity, depth and hit object into ray.
    virtual bool trace(Ray &ray) = 0;
    // The nearest hit of a secondary ray at the head (unshaded), likely tried
    // first; the ray is counted. Empty when the scene holds nothing.
    virtual IntersectionList find_hit(Ray &ray, GPrimitive *likely) = 0;
    // Every hit of a secondary ray within its range, sorted.
    virtual IntersectionList closest_hit(Ray &ray) = 0;
    // What the occluders along a shadow ray let through, into its opacity
    // (first is tested before all others); counted as a shadow ray. False,
    // with the ray untouched, when the scene holds nothing.
    virtual bool occlusion(Ray &ray, GPrimitive *first) = 0;
    // The shading point whose own grid shadow rays leave from (null: none).
    virtual void set_shadow_origin(const Intersection *hit) = 0;
    // Counts one shading of a hit: computed, or reused from the ray's hint.
    virtual void count_shading(bool reused) = 0;

    // Whether photons were stored this frame.
    virtual bool caustics_on() const = 0;
    // The photon density around P (normal N, or null) into result.
    virtual void caustic_irradiance(const Point &P, const Point *N, Color &result) = 0;

    // The radiosity solution's light at the hit into C; false when there is
    // no solution for the hit's surface.
    virtual bool radiosity_light(Intersection *hit, Color &C) = 0;
    // Whether the radiosity solution is being computed.
    virtual bool radiosity_running() = 0;
    // The world position and unit normal of a surface at (u, v).
    virtual void surface_point(GSurface *s, float u, float v, Point &P, Point &N) = 0;
    // Calls f(surface, arg) on every surface of the frame.
    virtual void for_each_frame_surface(void (*f)(GSurface *, void *), void *arg) = 0;

    // Samples one of an area light's pieces, picked at random, as seen from
    // look: Pl, Nl and Ngl of sv; the sample's weight. Sample `sample` of
    // nsamp, spread over the pixel's samples.
    virtual float sample_area_light(GSurface *const *pieces, int npieces, const Point &look, int sample,
                                    int nsamp, Intersection *sv) = 0;
};

// Installed by the ray tracer: the scene of the current renderer, null when
// that renderer traces no rays (it follows the current context).
inline SceneAccess *(*scene_of_current_renderer)() = nullptr;

// The scene shading works in, or null.
inline SceneAccess *current_scene()
{
    return scene_of_current_renderer ? scene_of_current_renderer() : nullptr;
}
