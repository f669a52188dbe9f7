// TEMPORARY: placeholder definitions of what the ray tracer asks of the
// shading module while its real bodies are being written, so that the
// renderer links and hits get a plain colour. Delete each one as its real
// definition lands; never add one for a function defined in another file.
#include <cmath>

#include "raytrace/gprim.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/surface_hooks.h"

void add_area_light_geometry(GState *, GSurface *) {}
bool light_set_has_area_light(const GState *) { return false; }

// The surface colour, dimmed by the angle to the ray, fully covering.
float Intersection::shade_hit(Ray &ray)
{
    if (obj && is_surface_type(obj->type)) surf = static_cast<GSurface *>(obj)->attrs;
    level = ray.level;
    indirectlevel = ray.indirect_level;
    ismatte = 0;
    if (surf.is_set() && (surf->flags & GS_MATTE) && ray.level < 1) {
        Ci = Oi = Color();
        ray.alpha = 0;
        ismatte = 1;
        dist = ray.depth;
        return 1;
    }
    shaded = 1;
    Ps = ray.origin + ray.dir * linet;
    if (!finished && obj) obj->fill_hit(this);
    I = ray.dir * linet;
    Point n = normalize(Ns);
    float c = std::fabs(dot(n, ray.dir));
    Ci = Cs * (0.2f + 0.8f * c);
    Oi = Os;
    Ci = Ci * Oi;
    dist = I.length();
    float o = (Oi.x + Oi.y + Oi.z) / 3;
    ray.alpha = o;
    return o;
}

float Intersection::shade(Ray &ray)
{
    return shade_hit(ray);
}

void print_texture_stats(FILE *) {}
void clear_last_hit_cache() {}
