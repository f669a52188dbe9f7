// Shader binding: the work of the ray tracer's shader and illuminate
// operations. A shader found (or loaded) by name becomes a ShaderInstance in
// the attribute state, the imager of the options, or a LightSource; its
// initialisation code fills the new parameter block and the request's
// parameters override it.
#pragma once
#include "ri_common/ri.h"

class Renderer;
class Shader;
class GState;

// Binds the shader name for a use (SHADER_USES) with a parameter list;
// answers the light for lights and area lights, else null.
RtPointer bind_shader(Renderer *r, RtToken name, int use, RtInt n, RtToken tokens[],
                      RtPointer values[]);
// Switches a light on or off in the current attribute state.
void illuminate_light(Renderer *r, RtLightHandle light, int on);
// Runs the shader's initialisation (code or function) on a fresh point to
// fill a parameter block.
void run_shader_init(Shader *shader, int use, char *block);

// Takes the values of a point, vector, normal or matrix parameter (howmany of
// them at v) to world space through t (to_world) or from it; other types stay.
struct PARAM_INFO;
class Transformation;
void convert_param_values(const Transformation *t, const PARAM_INFO *p, float *v, float time, bool to_world);
