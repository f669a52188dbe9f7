// Light that reaches a point over one mirror or one refracting surface,
// found through the radiosity patches of the frame's specular surfaces.
#pragma once
#include "ri_common/vecmath.h"

class GPrimitive;

// Light reaching P along axis over specular paths, searched for P on the
// patches of the frame's specular surfaces.
Color specular_path_light(const Point &P, const Point &axis, GPrimitive *obj);
// Forgets what was kept about the frame's patches (they go with the frame).
void clear_specular_paths();
