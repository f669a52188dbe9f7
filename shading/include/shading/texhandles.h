// Texture files named by the texture operations: one Texture per name for
// the run (until the end of the frame), opened on first use on the texture
// search path, with a fill-value answer for files that cannot be used, and
// the texture statistics of the frame.
#pragma once
#include <cstdio>

#include "ri_common/vecmath.h"
#include "shading/texture.h"

// The usable texture of a name, opening it on first use (for_texture: true
// for texture and environment maps, false for shadow maps); null for an
// empty or null name, or a file that cannot be used (reported once).
Texture *get_texture(const char *name, bool for_texture);
// The texture of a name when it has been looked up before; null otherwise
// (nothing is opened).
Texture *find_texture(const char *name);

// The lookups by name: a usable texture answers, anything else gives the
// fill value in every channel (shadows: 0, unshadowed).
void texture_lookup(const char *name, const float corners[8], float *result, const TextureArgs &args);
void environment_lookup(const char *name, const Point dirs[4], float *result, const TextureArgs &args);
float shadow_lookup(const char *name, const Point points[4], const TextureArgs &args);

// With the statistics bit of the verbosity, the texture statistics of the
// frame on out; in any case the table is emptied.
void print_texture_stats(FILE *out);
