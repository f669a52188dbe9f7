#include "shading/illum.h"

#include <cmath>
#include <cstring>

#include "ri/renderer.h"
#include "ri/tokens.h"
#include "shading/lightsource.h"
#include "shading/scene_access.h"

namespace {

SceneObject *last_blocker = nullptr;

bool lights_point(const ShaderVars *sv, const LightSource *l)
{
    const GState *g = sv->surf.get();
    return !g || light_set_contains(g->light_set, l->id);
}

// A float parameter of the light's instance, or 0 when it has none.
float light_float(LightSource *l, RtToken name)
{
    char *block = l->params();
    if (!block) return 0;
    const int offset = l->float_param_offset(name);
    if (offset < 0) return 0;
    float f;
    std::memcpy(&f, block + offset, 4);
    return f;
}

bool can_light(const ShaderVars *sv)
{
    return sv->shade_task != SHADE_TASK_SHADOW && sv->doillum;
}

// Walks the non-ambient lights that illuminate sv at P (the surface point),
// calling add(light, Cl, L) for each sample that reached it; bouncer lights
// are added as they are.
template <class Add>
void walk_lights(const Point &P, const Point &N, ShaderVars *sv, Color &C, Add add)
{
    LightSourceListWalker w;
    for (w.start(light_list(), sv, 0); !w.end(); w.step()) {
        LightSource *l = w();
        if (!lights_point(sv, l) || !w.call_shader(P, N, 0, 1, sv)) continue;
        if (l->kind == LIGHT_BOUNCER) C += sv->Cl;
        else add(l, sv->Cl, sv->L);
    }
}

} // namespace

float safe_powf(float x, float y)
{
    if (x > 0) {
        if (x == 1) return 1;
        float t = y * std::log(x);
        if (!(t > -87)) return 0;
        return std::exp(t);
    }
    if (y >= 1 && y == std::floor(y)) return std::pow(x, y);
    return 0;
}

void ambient(Color &C, ShaderVars *sv)
{
    C = Color(0, 0, 0);
    if (!can_light(sv)) return;
    SceneAccess *scene = current_scene();
    if (scene && scene->radiosity_light(sv, C)) return;
    if (scene && scene->caustics_on()) {
        // Photons are kept with the normal of the side they arrived on; the
        // side seen here is the one facing the incident ray.
        Point N = dot(sv->Ns, sv->I) > 0 ? -sv->Ns : sv->Ns;
        scene->caustic_irradiance(sv->Ps, &N, C);
        return;
    }
    LightSourceListWalker w;
    for (w.start(light_list(), sv, 1); !w.end(); w.step()) {
        if (!lights_point(sv, w())) continue;
        w.call_shader(sv->Ps, sv->Ns, -1, 1, sv);
        C += sv->Cl;
    }
}

void diffuse(const Point &P, const Point &N, Color &C, ShaderVars *sv)
{
    C = Color(0, 0, 0);
    if (!can_light(sv)) return;
    static const RtToken nondiffuse = NewToken("__nondiffuse");
    walk_lights(P, N, sv, C, [&](LightSource *l, const Color &Cl, const Point &L) {
        float c = -dot(L, N);
        if (!(c > 0)) return;
        c *= 1 - light_float(l, nondiffuse);
        if (c < 0.0001f) return;
        float len = L.length();
        if (len > 0) C += Cl * (c / len);
    });
}

void phong(const Point &P, const Point &N, const Point &V, float size, Color &C, ShaderVars *sv)
{
    C = Color(0, 0, 0);
    if (!can_light(sv)) return;
    static const RtToken nonspecular = NewToken("__nonspecular");
    Point R = N * (2 * dot(N, V)) - V;
    walk_lights(P, N, sv, C, [&](LightSource *l, const Color &Cl, const Point &L) {
        float weight = 1 - light_float(l, nonspecular);
        if (weight < 0.0001f) return;
        float c = -dot(L, R);
        float len = L.length();
        if (!(c > 0) || !(len > 0)) return;
        C += Cl * (safe_powf(c / len, size) * weight);
    });
}

void specular(const Point &P, const Point &N, const Point &V, float roughness, Color &C, ShaderVars *sv)
{
    C = Color(0, 0, 0);
    if (!can_light(sv)) return;
    static const RtToken nonspecular = NewToken("__nonspecular");
    if (current_renderer && current_renderer->options.specular_model) roughness *= 0.1f;
    float exponent = 1 / roughness;   // roughness 0: an infinite exponent, safe below
    walk_lights(P, N, sv, C, [&](LightSource *l, const Color &Cl, const Point &L) {
        float weight = 1 - light_float(l, nonspecular);
        if (weight < 0.0001f) return;
        Point H = normalize(normalize(-L) + V);
        float c = dot(N, H);
        if (!(c > 0)) return;
        C += Cl * (safe_powf(c, exponent) * weight);
    });
}

int transmission(const Point &dir, const Point &to, float time, float sample, Color &result, float distance,
                 SceneObject *first, SceneObject **blocker)
{
    if (blocker) *blocker = nullptr;
    SceneAccess *scene = current_scene();
    if (!scene) {
        result = Color(1, 1, 1);
        return 1;
    }
    SceneObject *hit = nullptr;
    if (!scene->shadow_transmission(dir, to, time, sample, distance, first, result, hit)) {
        result = Color(1, 1, 1);
        return 1;
    }
    if (hit) last_blocker = hit;
    if (blocker) *blocker = hit;
    return 1;
}

SceneObject *last_shadow_blocker()
{
    return last_blocker;
}
