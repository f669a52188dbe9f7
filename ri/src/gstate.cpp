#include "ri/gstate.h"

#include <cmath>
#include <cstring>
#include <cstdlib>

#include "ri_common/basis.h"
#include "ri/renderer.h"
#include "ri/recordpool.h"
#include "ri_common/rierror.h"

namespace {


const float DEFAULT_TEXCOORDS[8] = {0, 0, 1, 0, 0, 1, 1, 1};

} // namespace

static RecordPool &gstate_pool()
{
    static RecordPool pool(sizeof(GState), 57, "No memory for GStates");
    return pool;
}

StatCounter &gstate_counter()
{
    return gstate_pool().counter;
}

void *GState::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(GState), "gstate");
    return gstate_pool().take();
}

void GState::operator delete(void *p)
{
    gstate_pool().give_back(p);
}

void GState::init_defaults()
{
    release_members();
    flags = GS_DEFAULT_FLAGS;
    orientation = 0;
    color = Color(1);
    opacity = Color(1);
    memcpy(texture_coords, DEFAULT_TEXCOORDS, sizeof texture_coords);
    memset(light_set, 0, sizeof light_set);
    shading_rate = 1;
    shading_rate_root = 1;
    detail_values[0] = 5e37f;
    detail_values[1] = 0;
    detail_values[2] = 1;
    detail = HUGE_VALF;
    detail_range[0] = detail_range[1] = 0;
    detail_range[2] = detail_range[3] = RI_INFINITY;
    ubasis = vbasis = &RiBezierBasis[0][0];
    ustep = vstep = RI_BEZIERSTEP;
    displacement_bound = 0;
    displacement_space = nullptr;
    identifier = nullptr;
    rad_patchsize = 4;
    rad_elemsize = 4;
    rad_minsize = 1;
    zonal = 3;
    casts_shadows = 2;
    light_samples = 1;
    light_photons = 0;
    light_strategy = 0;
    patch_maxlevel = 256;
    patch_minlevel = 1;
    patch_splitdepth = 0;
    patch_multiplier = 1;
    rad_averagecolor = Color(1);
    rad_emissioncolor = Color(0);
    rad_specularcolor = Color(0);
    rad_refractioncolor = Color(0);
    refraction_index = 1;
    udivisions = vdivisions = 0;
    representation = GEOREP_PRIMITIVE;
    area_light = nullptr;
}

void GState::release_members()
{
    for (int i = 0; i < SHADER_SLOTS; i++) {
        shader_spaces[i].clear();
        shaders[i].clear();
    }
    trim_loops.clear();
}

void GState::copy_fields(const GState &o)
{
    flags = o.flags;
    orientation = o.orientation;
    color = o.color;
    opacity = o.opacity;
    memcpy(texture_coords, o.texture_coords, sizeof texture_coords);
    memcpy(light_set, o.light_set, sizeof light_set);
    for (int i = 0; i < SHADER_SLOTS; i++) {
        shaders[i] = o.shaders[i];
        shader_spaces[i] = o.shader_spaces[i];
    }
    shading_rate = o.shading_rate;
    shading_rate_root = o.shading_rate_root;
    memcpy(detail_values, o.detail_values, sizeof detail_values);
    detail = o.detail;
    memcpy(detail_range, o.detail_range, sizeof detail_range);
    ubasis = o.ubasis;
    vbasis = o.vbasis;
    ustep = o.ustep;
    vstep = o.vstep;
    trim_loops = o.trim_loops;
    displacement_bound = o.displacement_bound;
    displacement_space = o.displacement_space;
    identifier = o.identifier;
    rad_patchsize = o.rad_patchsize;
    rad_elemsize = o.rad_elemsize;
    rad_minsize = o.rad_minsize;
    zonal = o.zonal;
    casts_shadows = o.casts_shadows;
    light_samples = o.light_samples;
    light_photons = o.light_photons;
    light_strategy = o.light_strategy;
    patch_maxlevel = o.patch_maxlevel;
    patch_minlevel = o.patch_minlevel;
    patch_splitdepth = o.patch_splitdepth;
    patch_multiplier = o.patch_multiplier;
    rad_averagecolor = o.rad_averagecolor;
    rad_emissioncolor = o.rad_emissioncolor;
    rad_specularcolor = o.rad_specularcolor;
    rad_refractioncolor = o.rad_refractioncolor;
    refraction_index = o.refraction_index;
    udivisions = o.udivisions;
    vdivisions = o.vdivisions;
    representation = o.representation;
    area_light = o.area_light;
}

GState::GState(const GState &o) : RefCounted()
{
    copy_fields(o);
}

GState &GState::operator=(const GState &o)
{
    if (this != &o) copy_fields(o);
    return *this;
}

void set_shading_rate(GState *g, float rate)
{
    if (!(rate >= 0.125f)) rate = 0.125f;
    g->shading_rate = rate;
    g->shading_rate_root = std::sqrt(rate);
}

void unshare_gstate(Renderer *r)
{
    if (!r || !r->attributes.is_set()) ri_assert_failed("gstate", 345);
    if (r->attributes->refcount >= 2) r->attributes.set(new GState(*r->attributes));
}

void print_gstate_stats(FILE *out)
{
    const StatCounter &c = gstate_counter();
    fprintf(out, "GStates allocated: %ld requested, %ld outstanding, %ld peak (%ld kb)\n",
            (long)c.requested, (long)c.current, (long)c.peak, (long)(c.peak * 300 / 1024));
}
