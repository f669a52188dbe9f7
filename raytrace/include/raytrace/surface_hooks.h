// What surfaces ask of the modules around them: the light list (area lights),
// the radiosity mesher, the dicer and the render driver. Each is defined by
// the module that owns the data.
#pragma once
#include <cstdint>

#include "raytrace/ray.h"

class GState;
class GSurface;

// Adds a new surface to the geometry of the area light being defined in the
// attribute state (at most 16 surfaces), when one is.
void add_area_light_geometry(GState *attrs, GSurface *surface);
// Whether an area light of the global light list is in the state's light set.
bool light_set_has_area_light(const GState *attrs);

// Builds an nu x nv grid of radiosity patches over the surface's parameters
// (nothing when the attribute state's radiosity switch is off).
void mesh_radiosity_grid(GSurface *surface, int nu, int nv);
// Frees the radiosity lists and the dicing split a surface owns.
void release_surface_data(GSurface *surface);
// The hits of a displaced surface through its diced grid (object-space ray).
IntersectionList intersect_grid(GSurface *surface, const Ray &ray);

// The seed base of the pixel being sampled (area-light sample patterns).
int32_t area_sample_seed();
