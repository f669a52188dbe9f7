// The steps of global illumination around a frame's pixel loop, in their
// order: radiosity, the irradiance cache's seed file, photons; afterwards the
// cache's save file.
#include <cstdio>

#include "platform/files.h"
#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/raytracer.h"

namespace {

// One radiosity dump: the direct (1), indirect (2) or whole (3) light.
void dump_radiosity(GPrimitive *list, const char *name, int parts)
{
    // The RIB or an archive still being read keeps its place.
    if (velk::open_for_reading_here(name)) {
        fprintf(stderr, "Radiosity error: %s is a file being read; it is not written\n", name);
        return;
    }
    if (velk::was_input(name)) {
        fprintf(stderr, "Radiosity error: %s is a file this frame read; it is not written\n", name);
        return;
    }
    velk::OutputFile file;
    FILE *f = file.open(name) ? fopen(file.path().c_str(), "w") : nullptr;
    bool written = f != nullptr;
    if (f) {
        write_radiosity_rib(list, f, parts);
        written = !ferror(f);
        written = fclose(f) == 0 && written && file.commit();
    }
    if (!written) fprintf(stderr, "Radiosity error: could not write %s\n", name);
}

} // namespace

void RayTracer::begin_global_illumination()
{
    photon_map.clear();
    irradiance_cache.clear();
    reset_radiosity();
    reset_rad_mesh_counts();
    clear_specular_paths();
    irradiance_cache.stats = IrradianceStats();
}

void RayTracer::prepare_global_illumination()
{
    if (options.radiosity_steps > 0) {
        set_radiosity_results_ready(false);
        if (options.verbosity > 0) {
            printf("Meshing for radiosity...");
            fflush(stdout);
        }
        mesh_radiosity_list(frame_objects);
        radiosity();
        if (session.radiosity_output) {
            dump_radiosity(frame_objects, "direct.out", 1);
            dump_radiosity(frame_objects, "indirect.out", 2);
            dump_radiosity(frame_objects, "rad.out", 3);
        }
        set_radiosity_results_ready(true);
    }
    if (options.indirect_seedfile) irradiance_cache.load(options.indirect_seedfile);
    if (need_photons) shoot_photons();
}

void RayTracer::finish_global_illumination()
{
    if (options.indirect_savefile) irradiance_cache.save(options.indirect_savefile);
    irradiance_cache.clear();
    set_radiosity_results_ready(false);
    clear_specular_paths();
    free_radiosity_meshes(frame_objects);
}

void print_irradiance_stats(FILE *out)
{
    if (RayTracer *rt = RayTracer::current()) print_indirect_stats(out, rt->irradiance_cache.stats);
}
