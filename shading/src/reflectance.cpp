#include "shading/reflectance.h"

#include <cstring>

#include "ri/gstate.h"
#include "ri/renderer.h"
#include "ri/shader.h"
#include "ri/stdtokens.h"

float surface_reflectance(const GState *g, Reflectance which)
{
    if (!g || !g->shaders[USE_SURFACE].is_set()) return 1;
    ShaderInstance *instance = g->shaders[USE_SURFACE].get();
    const char *block = instance->params();
    const char *name = which == Reflectance::DIFFUSE ? tok::Kd : tok::Ka;
    int offset = 0, type = 0;
    if (!block || !instance->shader->find_param(name, &offset, &type) || type != PtFLOAT) return 1;
    float f;
    std::memcpy(&f, block + offset, 4);
    return f;
}
