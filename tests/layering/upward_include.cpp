// Shading reaching up into the ray tracer: the layering check must refuse
// both includes (a header with a source of its own, and one without) and a
// type of the ray tracer declared ahead.
#include "raytrace/ray.h"
#include "raytrace/surface_hooks.h"

class GSurface;
