// TEMPORARY: placeholder definitions of what scene assembly, the surfaces and
// the back end ask of modules that are still being written (torus, polygons,
// patches, NURBS, CSG, procedurals, trim curves, radiosity, dicing, the
// irradiance cache, specular paths), so that the
// renderer links. Delete each one as its real definition lands; never add one
// for a function defined in another file.
#include "raytrace/gprim.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/raytracer.h"
#include "raytrace/surface_hooks.h"
