// Shading of ray hits: completing a hit's shading point from its ray and
// running its shaders, and the front-to-back compositing of a ray's hits.
#pragma once
#include "raytrace/hit.h"

class Ray;

// Shades the hit seen along ray; answers its opacity (mean of Oi).
float shade_hit(Intersection *hit, Ray &ray);
