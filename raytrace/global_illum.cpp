// The steps of global illumination around a frame's pixel loop, in their
// order: radiosity, the irradiance cache's seed file, photons; afterwards the
// cache's save file.
#include <cstdio>

#include "raytrace/raytracer.h"

void RayTracer::begin_global_illumination()
{
    photon_map.clear();
    irradiance_cache.clear();
    irradiance_cache.stats = IrradianceStats();
}

void RayTracer::prepare_global_illumination()
{
    if (options.indirect_seedfile) irradiance_cache.load(options.indirect_seedfile);
    if (need_photons) shoot_photons();
}

void RayTracer::finish_global_illumination()
{
    if (options.indirect_savefile) irradiance_cache.save(options.indirect_savefile);
    irradiance_cache.clear();
}

void print_irradiance_stats(FILE *out)
{
    if (RayTracer *rt = RayTracer::current()) print_indirect_stats(out, rt->irradiance_cache.stats);
}
