// TEMPORARY: placeholder definitions of what the surfaces and the tracing core
// ask of geometry modules that are still being written (CSG, trim curves,
// radiosity, dicing) and of the render driver, so that the renderer links.
// Delete each one as its real definition lands; never add one for a function
// defined in another file.
#include "raytrace/gprim.h"
#include "raytrace/surface_hooks.h"

GPrimitive *solid_children(GPrimitive *) { return nullptr; }
void print_trim_stats(FILE *) {}
void mesh_radiosity_grid(GSurface *, int, int) {}
void release_surface_data(GSurface *) {}
IntersectionList intersect_grid(GSurface *, const Ray &) { return IntersectionList(); }
int32_t area_sample_seed() { return 0; }
