// The two light shaders built into the ray tracer: "bouncer", the light that
// reaches a point through specular paths, and "indirect", the indirect light
// of the irradiance cache.
#include <cstring>

#include "raytrace/gprim.h"
#include "raytrace/raytracer.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/shadingpoint.h"

namespace {

float channel_sum(const Color &c) { return c.x + c.y + c.z; }

int run_bouncer(ShaderVars *sv, char *)
{
    sv->Cl = specular_path_light(sv->Ps, sv->gather_axis, gprim(sv->obj));
    // The paths' light is weighed by the cosine to the axis already: it
    // comes in along the axis, as the indirect light's does.
    sv->L = -normalize(sv->gather_axis);
    return channel_sum(sv->Cl) > 0;
}

int run_indirect(ShaderVars *sv, char *params)
{
    float algorithm = 1;
    if (params) std::memcpy(&algorithm, params, sizeof algorithm);
    Point axis = normalize(sv->gather_axis);
    RayTracer *rt = RayTracer::current();
    if (!rt) {
        sv->Cl = Color();
        return 0;
    }
    rt->indirect_illumination(sv->Ps, axis, sv->time, sv->weight, sv->level, sv->indirectlevel, (int)algorithm,
                              sv->L, sv->Cl);
    return channel_sum(sv->Cl) > 0;
}

// A uniform float parameter with its default.
PARAM_INFO float_param(const char *name, int offset, const float *initval)
{
    PARAM_INFO p{};
    p.name = NewToken(name);
    p.type = PtFLOAT;
    p.detail = 2;   // uniform
    p.howmany = 1;
    p.size = 4;
    p.offset = offset;
    p.initval = initval;
    return p;
}

} // namespace

void register_builtin_lights()
{
    static const float one = 1.0f;
    static PARAM_INFO bouncer[2];
    static PARAM_INFO indirect[3];
    static const float bouncer_defaults[1] = {1};
    static const float indirect_defaults[2] = {1, 1};
    bouncer[0] = float_param("__dummy", 0, &one);
    bouncer[1] = PARAM_INFO{};
    indirect[0] = float_param("algorithm", 0, &one);
    indirect[1] = float_param("__nonspecular", 4, &one);
    indirect[2] = PARAM_INFO{};
    register_shader("bouncer", run_bouncer, nullptr, bouncer, bouncer_defaults, SH_LIGHT);
    register_shader("indirect", run_indirect, nullptr, indirect, indirect_defaults, SH_LIGHT);
}
