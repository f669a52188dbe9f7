// Shading reaching up into the ray tracer: the layering check must refuse it.
#include "raytrace/ray.h"
