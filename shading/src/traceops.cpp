// Tracing operations: trace, visibility, rayhittest, fulltrace, raylevel and
// isshadowray.
#include <cstring>
#include <vector>

#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/illum.h"
#include "shading/interp.h"
#include "shading/lightsource.h"
#include "shading/opmodules.h"
#include "shading/scene_access.h"
#include "shading/shadingpoint.h"
#include "stackpoints.h"
#include "shading/tracing.h"

namespace {

// Ray levels with a last-hit slot.
const int CACHED_LEVELS = 15;
SceneObject *last_hit[16];

// The lights' last blockers count only when set since the last world ended.
unsigned blocker_epoch = 1;

// fulltrace's bookkeeping of the process.
float fulltrace_hits = 0;
Point miss_point, miss_direction;

const float FAR = 1e38f;

SceneObject **cache_slot(int level)
{
    return level >= 0 && level < CACHED_LEVELS ? &last_hit[level] : nullptr;
}

// The interior or exterior shader of the object hit runs on the traced
// colour: exterior when R leaves through the front of the point's surface.
void run_volume_shader(ShaderVars *sv, SceneAccess &scene, const TracedRay &ray, const Point &R, Color &color)
{
    GState *g = scene.surface_attributes(ray.hit);
    if (!g) return;
    int use = dot(R, sv->Ng) > 0 ? USE_EXTERIOR : USE_INTERIOR;
    ShaderInstance *inst = g->shaders[use].get();
    if (!inst || !inst->shader) return;   // only the other volume is bound
    ShadingPoint hit;
    hit.obj = ray.hit;
    hit.time = sv->time;
    hit.surf.set(g);
    hit.level = sv->level;
    hit.Ps = ray.hit_point;
    hit.I = ray.to_hit;
    hit.Ci = color;
    hit.Oi = ray.opacity;
    hit.doillum = sv->doillum;
    std::vector<uint32_t> params = inst->block;
    params.push_back(0);
    run_shader_on_point(inst->shader, &hit, use, reinterpret_cast<char *>(params.data()));
    color = hit.Ci;
}

void op_trace(ExecFrame *, ShaderVars *sv)
{
    Point P = pop_point(), R = pop_point();
    push_point(trace_color(sv, P, R));
}

void op_visibility(ExecFrame *, ShaderVars *sv)
{
    Point P0 = pop_point(), P1 = pop_point();
    push_point(visibility(sv, P0, P1));
}

void op_rayhittest(ExecFrame *, ShaderVars *sv)
{
    Point P = pop_point(), R = pop_point();
    Point Phit, Nhit;
    float d = ray_hit_test(sv, P, R, Phit, Nhit);
    slstack.push_float(d);
    push_point(Nhit);
    push_point(Phit);
}

void op_fulltrace(ExecFrame *, ShaderVars *sv)
{
    Point P = pop_point(), R = pop_point();
    FullTrace t = full_trace(sv, P, R);
    slstack.push_float(t.hit_count);
    push_point(t.Rmiss);
    push_point(t.Pmiss);
    push_point(t.Nhit);
    push_point(t.Phit);
    slstack.push_float(t.hit_distance);
    push_point(t.hit_color);
}

void op_raylevel(ExecFrame *, ShaderVars *sv)
{
    slstack.push_float(sl_raylevel(sv));
}

void op_isshadowray(ExecFrame *, ShaderVars *sv)
{
    slstack.push_float(sl_isshadowray(sv));
}

} // namespace

SceneObject *&light_blocker(const LightSource *light)
{
    if (light->blocker_epoch != blocker_epoch) {
        light->blocker_epoch = blocker_epoch;
        light->last_blocker = nullptr;
    }
    return light->last_blocker;
}

void clear_last_hit_cache()
{
    for (SceneObject *&o : last_hit) o = nullptr;
    ++blocker_epoch;
}

Color trace_color(ShaderVars *sv, const Point &P, const Point &R)
{
    if (!sv->doillum) return Color(0, 0, 0);
    SceneAccess *scene = current_scene();
    if (!scene) {
        if (SceneObject **slot = cache_slot(sv->level + 1)) *slot = nullptr;
        return Color(0, 0, 0);
    }
    TracedRay ray = scene->trace_from(P, R, sv->time, sv->level + 1, sv->weight);
    if (SceneObject **slot = cache_slot(sv->level + 1)) *slot = ray.hit;
    Color color = ray.color;
    run_volume_shader(sv, *scene, ray, R, color);
    return color;
}

Color visibility(ShaderVars *sv, const Point &P0, const Point &P1)
{
    Point dir = P1 - P0;
    float distance = dir.length();
    // Only a light shader has a light whose blockers are worth remembering.
    LightSource *light = sv->shadetype == USE_LIGHT ? sv->ls : nullptr;
    SceneObject *first = light ? light_blocker(light) : nullptr;
    Color result(1, 1, 1);
    SceneObject *blocker;
    transmission(normalize(dir), P0, sv->time, sv->detail, result, distance, first, &blocker);
    if (light && blocker) light_blocker(light) = blocker;
    return result;
}

float ray_hit_test(ShaderVars *sv, const Point &P, const Point &R, Point &Phit, Point &Nhit)
{
    Phit = Nhit = Point(0, 0, 0);
    SceneAccess *scene = current_scene();
    if (!sv->doillum || !scene) return FAR;
    float distance = FAR;
    scene->hit_test(P, R, sv->time, sv->level + 1, sv->weight, distance, Phit, Nhit);
    return distance;
}

FullTrace full_trace(ShaderVars *sv, const Point &P, const Point &R)
{
    if (sv->level == 0) fulltrace_hits = 0;
    FullTrace t;
    t.hit_color = Color(0, 0, 0);
    t.hit_distance = FAR;
    t.Pmiss = P;
    t.Rmiss = R;
    t.hit_count = 0;
    if (!sv->doillum) return t;
    int level = sv->level + 1;
    SceneAccess *scene = current_scene();
    int max_level = current_renderer ? current_renderer->options.max_raylevel : 4;
    bool hit = false;
    ShadedHit h;
    if (max_level >= level) {
        SceneObject **slot = cache_slot(level);
        miss_point = P;
        miss_direction = R;
        // Shading the hit may trace further, moving the miss bookkeeping deeper.
        if (scene) hit = scene->shade_nearest(P, R, sv->time, level, sv->weight, slot, h);
        else if (slot) *slot = nullptr;
    }
    if (hit) {
        t.hit_color = h.Ci;
        t.hit_distance = h.distance;
        t.Phit = h.Phit;
        t.Nhit = h.Nhit;
        t.Pmiss = miss_point;
        t.Rmiss = miss_direction;
        t.hit_count = fulltrace_hits;
    } else {
        fulltrace_hits = static_cast<float>(level);
        t.hit_count = fulltrace_hits;
    }
    return t;
}

void reset_fulltrace(const Point &P, const Point &R)
{
    fulltrace_hits = 0;
    miss_point = P;
    miss_direction = R;
}

void last_fulltrace(float &hit_count, Point &Pmiss, Point &Rmiss)
{
    hit_count = fulltrace_hits;
    Pmiss = miss_point;
    Rmiss = miss_direction;
}

extern "C" void sl_trace(ShadingPoint *sv, const float *P, const float *R, float *color)
{
    Color c = trace_color(sv, Point::from(P), Point::from(R));
    std::memcpy(color, c.data(), 12);
}

extern "C" void sl_visibility(ShadingPoint *sv, const float *P0, const float *P1, float *transmission)
{
    Color c = visibility(sv, Point::from(P0), Point::from(P1));
    std::memcpy(transmission, c.data(), 12);
}

extern "C" float sl_rayhittest(ShadingPoint *sv, const float *P, const float *R, float *Phit, float *Nhit)
{
    Point ph, nh;
    float d = ray_hit_test(sv, Point::from(P), Point::from(R), ph, nh);
    std::memcpy(Phit, ph.data(), 12);
    std::memcpy(Nhit, nh.data(), 12);
    return d;
}

extern "C" float sl_fulltrace(ShadingPoint *sv, const float *P, const float *R, float *hitcolor,
                              float *hitdist, float *Phit, float *Nhit, float *Pmiss, float *Rmiss)
{
    FullTrace t = full_trace(sv, Point::from(P), Point::from(R));
    std::memcpy(hitcolor, t.hit_color.data(), 12);
    *hitdist = t.hit_distance;
    std::memcpy(Phit, t.Phit.data(), 12);
    std::memcpy(Nhit, t.Nhit.data(), 12);
    std::memcpy(Pmiss, t.Pmiss.data(), 12);
    std::memcpy(Rmiss, t.Rmiss.data(), 12);
    return t.hit_count;
}

extern "C" float sl_raylevel(ShadingPoint *sv)
{
    return static_cast<float>(sv->level);
}

extern "C" float sl_isshadowray(ShadingPoint *sv)
{
    return sv->shade_task == SHADE_TASK_SHADOW ? 1.0f : 0.0f;
}

namespace {

// areashadow (Q, samples): the mean transmission from Q to the light being
// evaluated (the running light shader's, else the current illuminance
// step's): to samples points of an area light, else to the light's position
// (Ps - L inside a light shader, Ps + L in an illuminance loop). With no
// light there is nothing to shadow.
void op_areashadow(ExecFrame *, ShaderVars *sv)
{
    Point Q = pop_point();
    float wanted = slstack.pop_float();
    bool in_light = sv->shadetype == USE_LIGHT;
    LightSource *light = in_light ? sv->ls : sv->clight;
    if (!light) {
        push_point(Color(1, 1, 1));
        return;
    }
    if (light->kind != 2 || light->npieces == 0) {
        push_point(visibility(sv, Q, in_light ? sv->Ps - sv->L : sv->Ps + sv->L));
        return;
    }
    int n = wanted >= 1 && wanted < 1024 ? int(wanted) : 1;
    // Sampling moves the light-view fields; the light's own view stays.
    const Point Pl = sv->Pl, Nl = sv->Nl, Ngl = sv->Ngl;
    const float view[6] = {sv->gul, sv->gvl, sv->ul, sv->vl, sv->sl, sv->tl};
    Color sum(0, 0, 0);
    for (int i = 0; i < n; ++i) {
        float weight = 0;
        if (light->random_area_sample(sv, i, n, Q, &weight)) sum += visibility(sv, Q, sv->Pl);
        else sum += Color(1, 1, 1);
    }
    sv->Pl = Pl, sv->Nl = Nl, sv->Ngl = Ngl;
    sv->gul = view[0], sv->gvl = view[1], sv->ul = view[2], sv->vl = view[3], sv->sl = view[4], sv->tl = view[5];
    push_point(sum * (1.0f / float(n)));
}

constexpr OpBinding ROWS[] = {
    {"trace", op_trace},
    {"visibility", op_visibility},
    {"rayhittest", op_rayhittest},
    {"fulltrace", op_fulltrace},
    {"raylevel", op_raylevel},
    {"isshadowray", op_isshadowray},
    {"areashadow", op_areashadow},
};

} // namespace

constexpr OpBindings TRACE_OPS = op_bindings(shading::OpModule::Trace, ROWS);
