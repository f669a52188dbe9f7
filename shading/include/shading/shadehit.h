// Running the shaders of a shading point the ray tracer completed: ray
// differentials, displacement, surface and atmosphere shaders through the
// interpreter.
#pragma once
#include "shading/shadingpoint.h"

class GState;
class Shader;

// Two copies of sv moved by du along dPdu (a, the +du neighbour) and by dv
// along dPdv (b, the +dv neighbour); neither may trace rays.
void split_ray_differentials(const ShaderVars *sv, ShaderVars *a, ShaderVars *b);
// Runs the shader of a slot on sv with the point's current scratch area: the
// slot's shader space and parameter block, the object's vertex variables
// bound into the block; Ps comes back afterwards unless keep_position (the
// displacement of a diced grid keeps the moved point).
int run_shader_in_slot(Shader *shader, ShaderVars *sv, int slot, char *params, bool keep_position = false);
// The same on the two neighbours first (when with_neighbours), then on sv;
// each run starts at the beginning of the shared scratch area.
void run_shader_with_neighbours(Shader *shader, ShaderVars *sv, ShaderVars *du, ShaderVars *dv,
                                int slot, char **du_params, char **dv_params, bool with_neighbours);
// Bytes of the parameter block of the instance bound in a slot; 0 when none.
int shader_slot_size(const GState *g, int slot);
// Shading calculations so far (the running shade index).
int32_t shade_index_counter();
// Sets the running shade index (a caller that shaded points on the side puts
// the count back).
void set_shade_index_counter(int32_t value);
// Advances the running shade index for a point shaded outside hit shading
// (the vertices of a displaced grid); answers the new value.
int32_t next_shade_index();

// Whether the display takes colour (else only coverage is shaded).
bool display_has_color();
// The shader bound in a slot of the state, or null.
Shader *slot_shader(const GState *g, int slot);
// Runs a hit's displacement and surface shaders (with the neighbours when
// either asks for them) and, on camera rays with a volume, the atmosphere, on
// copies of the parameter blocks of g's instances and a fresh scratch area.
void run_hit_shaders(ShaderVars *sv, const GState *g, Shader *surface_shader, Shader *displacement,
                     Shader *atmosphere, bool volume, bool camera_ray);
