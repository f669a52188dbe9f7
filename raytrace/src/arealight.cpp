// Area lights: the surfaces declared under an AreaLightSource are the light's
// geometry, sampled at random per light evaluation.
#include <algorithm>

#include "raytrace/gprim.h"
#include "raytrace/raytracer.h"
#include "raytrace/surface_hooks.h"
#include "sampling/random.h"
#include "sampling/sampling.h"
#include "shading/lightsource.h"

void add_area_light_geometry(GState *attrs, GSurface *surface)
{
    // A definition's surfaces are no light's: only their instances are.
    const RayTracer *rt = RayTracer::current();
    if (rt && rt->defining_object()) return;
    if (attrs && attrs->area_light) static_cast<LightSource *>(attrs->area_light)->add_piece(surface);
}

bool light_set_has_area_light(const GState *attrs)
{
    if (!attrs) return false;
    for (LightSource *l = light_list().head; l; l = l->prev)
        if (l->kind == LIGHT_AREA && light_set_contains(attrs->light_set, l->id)) return true;
    return false;
}

float RayTracer::sample_area_light(SceneObject *const *pieces, int npieces, const Point &look, int sample, int nsamp,
                                   ShadingPoint *sv)
{
    const int pixel_sample = sampler.current_sample;
    const int pixel_samples = sampler.samples_per_pixel < 1 ? 1 : sampler.samples_per_pixel;
    const int stratum = sample + nsamp * pixel_sample, strata = nsamp * pixel_samples;
    // A piece is drawn in proportion to its area, so that the samples lie
    // uniformly over the whole light however it is cut up; the draw is
    // stratified like the points within a piece.
    const float x = (static_cast<float>(sample_permutation(stratum, strata, area_sample_seed() + 5077)) +
                     random_uniform()) / static_cast<float>(strata > 0 ? strata : 1);
    int i = 0;
    if (npieces > 1) {
        float total = 0;
        for (int k = 0; k < npieces; ++k) total += static_cast<GSurface *>(pieces[k])->world_area(sv->time);
        if (total > 0) {
            float left = x * total;
            for (i = 0; i < npieces - 1; ++i) {
                const float a = static_cast<GSurface *>(pieces[i])->world_area(sv->time);
                if (a > 0 && left < a) break;
                left -= a;
            }
            while (i > 0 && !(static_cast<GSurface *>(pieces[i])->world_area(sv->time) > 0)) --i;
        } else {
            i = std::min(npieces - 1, std::max(0, static_cast<int>(x * npieces)));
        }
    }
    return static_cast<GSurface *>(pieces[i])->area_sample(look, stratum, strata, sv->time, sv);
}
