// What shading asks of the scene being rendered: rays traced through it,
// shadow occlusion, caustic and radiosity light, area-light samples and what
// shaders need of the object hit. Arguments are points, vectors, colours,
// shading points and opaque object handles. The ray tracer answers; shading
// reaches the scene only through this.
#pragma once
#include "ri_common/vecmath.h"

class GState;
class Shader;
class Transformation;
struct SceneObject;
struct ShadingPoint;

// What a ray a shader traced brought back.
struct TracedRay {
    Color color, opacity;
    SceneObject *hit = nullptr;   // the object hit, or null
    Point hit_point, to_hit;      // where it ended, and the way there from its origin
};

// The shaded nearest hit of a ray.
struct ShadedHit {
    Color Ci;
    float distance;
    Point Phit, Nhit;
};

class SceneAccess {
public:
    virtual ~SceneAccess() = default;

    // The shading point whose own grid shadow rays leave from (null: none).
    virtual void set_shadow_origin(const ShadingPoint *point) = 0;

    // Rays from a shading point, from P along R at the given ray level.
    // The shaded colour and opacity seen along the ray.
    virtual TracedRay trace_from(const Point &P, const Point &R, float time, int level, float weight) = 0;
    // The nearest hit (unshaded): its distance, position and normal; false on a miss.
    virtual bool hit_test(const Point &P, const Point &R, float time, int level, float weight, float &distance,
                          Point &Phit, Point &Nhit) = 0;
    // The nearest hit shaded; the object in slot (when given) is tried first
    // and the slot then holds the object hit (or null) while it is shaded.
    // False on a miss.
    virtual bool shade_nearest(const Point &P, const Point &R, float time, int level, float weight,
                               SceneObject **slot, ShadedHit &out) = 0;
    // What reaches `to` along dir over distance (first tested first) into
    // result, and the object that fully blocked it (or null); false, with
    // nothing set, when the scene holds nothing.
    virtual bool shadow_transmission(const Point &dir, const Point &to, float time, float sample, float distance,
                                     SceneObject *first, Color &result, SceneObject *&blocker) = 0;
    // The attributes of the surface an object is, or null.
    virtual GState *surface_attributes(SceneObject *obj) = 0;
    // The object space of the surface an object is, or null.
    virtual const Transformation *object_transformation(const SceneObject *obj) = 0;
    // Binds the vertex variables of the surface an object is at (u, v) into
    // the shader's parameter block.
    virtual void bind_vertex_vars(SceneObject *obj, const Shader *shader, char *params, float time, float u,
                                  float v) = 0;

    // Whether photons were stored this frame.
    virtual bool caustics_on() const = 0;
    // The photon density around P (normal N, or null) into result.
    virtual void caustic_irradiance(const Point &P, const Point *N, Color &result) = 0;

    // The radiosity solution's light at the point into C; false when there is
    // no solution for its object's surface.
    virtual bool radiosity_light(ShadingPoint *point, Color &C) = 0;

    // Samples one of an area light's pieces, picked at random, as seen from
    // look: Pl, Nl and Ngl of sv; the sample's weight. Sample `sample` of
    // nsamp, spread over the pixel's samples.
    virtual float sample_area_light(SceneObject *const *pieces, int npieces, const Point &look, int sample,
                                    int nsamp, ShadingPoint *sv) = 0;
};

// Installed by the ray tracer: the scene of the current renderer, null when
// that renderer traces no rays (it follows the current context).
inline SceneAccess *(*scene_of_current_renderer)() = nullptr;

// The scene shading works in, or null.
inline SceneAccess *current_scene()
{
    return scene_of_current_renderer ? scene_of_current_renderer() : nullptr;
}
