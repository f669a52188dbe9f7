// The size of the radiosity patches of a surface, measured in its own space,
// and the patch counts derived from it.
#pragma once
#include "raytrace/gprim.h"

// The attribute state's radiosity patch size mapped into the surface's object
// space at shutter open; 0 when there is none.
float radiosity_patch_size(GSurface *s);

// ceil(x) as a count of at least 1.
int patch_count(float x);
