// Light that reaches a point over one mirror or one refracting surface,
// found through the radiosity patches of the frame's specular surfaces.
#pragma once
#include "ri/vecmath.h"

class GPrimitive;

// Light reaching P along axis through specular paths found for obj: paths
// are searched and recorded while radiosity runs, and replayed afterwards.
Color specular_path_light(const Point &P, const Point &axis, GPrimitive *obj);
// Forgets the recorded specular paths (their patches go with the frame).
void clear_specular_paths();
