// Area lights: the surfaces declared under an AreaLightSource are the light's
// geometry, sampled at random per light evaluation.
#include "raytrace/gprim.h"
#include "raytrace/raytracer.h"
#include "raytrace/surface_hooks.h"
#include "sampling/random.h"
#include "shading/lightsource.h"

void add_area_light_geometry(GState *attrs, GSurface *surface)
{
    if (attrs && attrs->area_light) attrs->area_light->add_piece(surface);
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
    int i = static_cast<int>(random_uniform() * npieces);
    if (i > npieces - 1) i = npieces - 1;
    if (i < 0) i = 0;
    const int pixel_sample = sampler.current_sample;
    const int pixel_samples = sampler.samples_per_pixel < 1 ? 1 : sampler.samples_per_pixel;
    return static_cast<GSurface *>(pieces[i])->area_sample(look, sample + nsamp * pixel_sample,
                                                           nsamp * pixel_samples, sv->time, sv);
}
