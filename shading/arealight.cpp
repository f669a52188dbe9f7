// Area lights: the surfaces declared under an AreaLightSource are the light's
// geometry, sampled at random per light evaluation.
#include <cmath>

#include "raytrace/gprim.h"
#include "raytrace/random.h"
#include "raytrace/surface_hooks.h"
#include "shading/lightsource.h"
#include "shading/scene_access.h"

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

void current_pixel_sample(int &index, int &count)
{
    index = 0;
    count = 1;
    if (SceneAccess *scene = current_scene()) scene->current_pixel_sample(index, count);
}

int LightSource::random_area_sample(ShaderVars *sv, int sample, int nsamp, const Point &look, float *weight)
{
    *weight = 0;
    if (npieces <= 0) return 0;
    if (hold_area_sample && held.set) {
        sv->Pl = held.Pl, sv->Nl = held.Nl, sv->Ngl = held.Ngl;
        *weight = held.density * std::fabs(dot(held.Ngl, normalize(held.Pl - look)));
        return 1;
    }
    int i = static_cast<int>(random_uniform() * npieces);
    if (i > npieces - 1) i = npieces - 1;
    if (i < 0) i = 0;
    int pixel_sample = 0, pixel_samples = 1;
    current_pixel_sample(pixel_sample, pixel_samples);
    if (pixel_samples < 1) pixel_samples = 1;
    *weight = pieces[i]->area_sample(look, sample + nsamp * pixel_sample, nsamp * pixel_samples, sv->time, sv);
    const float cosine = std::fabs(dot(sv->Ngl, normalize(sv->Pl - look)));
    held = HeldSample{sv->Pl, sv->Nl, sv->Ngl, cosine > 0 ? *weight / cosine : 0, true};
    return 1;
}
