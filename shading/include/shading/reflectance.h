// What a surface's shader says of how much light the surface sends on, for
// the ray tracer's own light transport (radiosity, caustic photons), which
// does not run the shader.
#pragma once

class GState;

enum class Reflectance { DIFFUSE, AMBIENT };

// The surface shader's "Kd" (DIFFUSE) or "Ka" (AMBIENT) as bound in the
// attributes g; 1 without a surface shader or such a float parameter.
float surface_reflectance(const GState *g, Reflectance which);
