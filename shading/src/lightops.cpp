// Lighting operations: the illumination built-ins (ambient, diffuse,
// specular, phong, specularbrdf) and the light-loop statements: illuminate
// and solar in light shaders, illuminance over the point's lights in surface
// shaders, and the ambient light statement.
#include <cmath>
#include <cstring>
#include <type_traits>

#include "ri/renderer.h"
#include "shading/illum.h"
#include "shading/interp.h"
#include "shading/lightmath.h"
#include "shading/lightsource.h"
#include "shading/opmodules.h"
#include "shading/scene_access.h"
#include "shading/shadingpoint.h"
#include "stackpoints.h"
#include "shading/tracing.h"

namespace {

void op_ambient(ExecFrame *, ShaderVars *sv)
{
    Color C;
    ambient(C, sv);
    push_point(C);
}

void op_diffuse(ExecFrame *, ShaderVars *sv)
{
    Point N = pop_point();
    Color C;
    diffuse(sv->Ps, N, C, sv);
    push_point(C);
}

void op_specular(ExecFrame *, ShaderVars *sv)
{
    Point N = pop_point(), V = pop_point();
    float roughness = slstack.pop_float();
    Color C;
    specular(sv->Ps, N, V, roughness, C, sv);
    push_point(C);
}

void op_phong(ExecFrame *, ShaderVars *sv)
{
    Point N = pop_point(), V = pop_point();
    float size = slstack.pop_float();
    Color C(0, 0, 0);
    if (sv->doillum) phong(sv->Ps, N, V, size, C, sv);
    push_point(C);
}

void op_specularbrdf(ExecFrame *, ShaderVars *)
{
    Point L = pop_point(), N = pop_point(), V = pop_point();
    float roughness = slstack.pop_float();
    push_point(specularbrdf(L, N, V, roughness, alt_specular_model()));
}

// ---- illuminate and solar (light shaders) ---------------------------------

// Whether direction L (from the light towards the surface) falls inside the
// cone of the surface's light loop.
// len is L's length, which the caller has at hand.
bool in_gather_cone(const ShaderVars *sv, const Point &L, float len)
{
    float c = len > 0 ? -dot(L, sv->gather_axis) / len : 0;
    return c >= sv->cos_gather_angle;
}

// normalize(-L) for L of length len: the same operations, less the square root.
Point unit_towards_light(const Point &L, float len)
{
    Point d = -L;
    if (len < 1e-12f) return Point(0, 0, 0);
    float inv = 1.0f / len;
    d.x *= inv;
    d.y *= inv;
    d.z *= inv;
    return d;
}

// The shadow test over distance towards the light: the transmission becomes
// the point's shadow filter; the light counts when some light gets through.
// L_len is the length of sv->L.
bool illuminate_core(ShaderVars *sv, float distance, float L_len)
{
    LightSource *light = sv->ls;
    const GState *g = light ? light->gstate.get() : nullptr;
    if (!g || !(g->flags & GS_LIGHT_SHADOWS)) {
        sv->shadowfilter = Color(1, 1, 1);
        return true;
    }
    Color filter(1, 1, 1);
    // Only a point on a grid cell moves its shadow rays' origin.
    SceneAccess *scene = sv->whichpiece ? current_scene() : nullptr;
    if (scene) scene->set_shadow_origin(sv);
    SceneObject *&last = light_blocker(light);
    SceneObject *blocker;
    transmission(unit_towards_light(sv->L, L_len), sv->Ps, sv->time, sv->detail, filter, distance, last, &blocker);
    if (blocker) last = blocker;
    if (scene) scene->set_shadow_origin(nullptr);
    sv->shadowfilter = filter;
    return filter.x + filter.y + filter.z >= 0.001f;
}

// The body runs only where the light reaches; the light then counts as
// having lit the point (LightSource::run answers it).
void finish_statement(ExecFrame *f, ShaderVars *sv, uint32_t label, bool lit)
{
    if (!lit) jump_to(f, label);
    else if (sv->ls) sv->ls->lit = 1;
}

void op_illuminate1(ExecFrame *f, ShaderVars *sv)
{
    uint32_t label = next_word(f);
    Point from = pop_point();
    if (slstack.failed()) return;
    sv->L = sv->Ps - from;
    sv->Pl = from;
    const float len = sv->L.length();
    bool lit = in_gather_cone(sv, sv->L, len) && illuminate_core(sv, len, len);
    finish_statement(f, sv, label, lit);
}

void op_illuminate3(ExecFrame *f, ShaderVars *sv)
{
    uint32_t label = next_word(f);
    Point from = pop_point(), axis = pop_point();
    float angle = slstack.pop_float();
    if (slstack.failed()) return;
    sv->L = sv->Ps - from;
    sv->Pl = from;
    float len = sv->L.length(), alen = axis.length();
    float c = len > 0 && alen > 0 ? dot(sv->L, axis) / (len * alen) : 1;
    bool lit = c >= std::cos(angle) && in_gather_cone(sv, sv->L, len) && illuminate_core(sv, len, len);
    finish_statement(f, sv, label, lit);
}

void op_solar0(ExecFrame *f, ShaderVars *sv)
{
    uint32_t label = next_word(f);
    Point D = normalize(faceforward(sv->Ns, sv->I));
    sv->L = normalize(-reflect(sv->I, D));
    const float len = sv->L.length();
    bool lit = in_gather_cone(sv, sv->L, len) && illuminate_core(sv, 1e38f, len);
    finish_statement(f, sv, label, lit);
}

// A distant light along axis spreading by angle: it counts when its cone
// meets the gather cone.
void op_solar2(ExecFrame *f, ShaderVars *sv)
{
    uint32_t label = next_word(f);
    Point axis = pop_point();
    float angle = slstack.pop_float();
    if (slstack.failed()) return;
    sv->L = axis;
    Point dir = normalize(axis);
    float c = -dot(dir, sv->gather_axis);
    bool meets = c >= sv->cos_gather_angle;
    if (!meets && angle > 0 && sv->gather_axis.length() > 0) {
        float between = std::acos(std::fmax(-1.0f, std::fmin(1.0f, c)));
        float gather = std::acos(std::fmax(-1.0f, std::fmin(1.0f, sv->cos_gather_angle)));
        meets = between <= gather + angle;
        // The light arrives from the direction of its spread nearest the
        // gather cone: on the cone's rim, so that the loop counts it.
        float sb = std::sin(between);
        if (meets && sb > 1e-6f) {
            Point toward = -dir, g = normalize(sv->gather_axis);
            Point rim = (toward * std::sin(gather) + g * std::sin(between - gather)) * (1.0f / sb);
            sv->L = -normalize(rim) * axis.length();
        }
    }
    bool lit = meets && illuminate_core(sv, 1e38f, sv->L.length());
    finish_statement(f, sv, label, lit);
}

// The ambient light statement: its body always runs.
void op_ambience0(ExecFrame *f, ShaderVars *)
{
    next_word(f);
}

// ---- illuminance (surface shaders) ----------------------------------------

// The state of one running light loop, kept on the value stack above the
// loop's operands so that nested loops each walk all the lights; it also
// keeps the light of the loop around it, which comes back when this one ends.
struct LoopState {
    LightSourceListWalker walker;
    LightSource *outer_light;
    Point outer_L;
    Color outer_Cl;
};
static_assert(std::is_trivially_copyable<LoopState>::value, "kept as stack words");
const int LOOP_WORDS = (sizeof(LoopState) + 3) / 4;

// Leaves a loop: the enclosing loop's light, direction and colour are
// current again (none outside any loop), and the state is dropped.
void end_loop(ShaderVars *sv, const float *words)
{
    LoopState st;
    std::memcpy(static_cast<void *>(&st), words, sizeof st);
    sv->clight = st.outer_light;
    if (st.outer_light) {
        sv->L = st.outer_L;
        sv->Cl = st.outer_Cl;
    }
    slstack.drop(LOOP_WORDS);
}

void op_illuminance_start(ExecFrame *, ShaderVars *sv)
{
    LoopState st;
    st.walker.start(light_list(), sv, 0);
    st.outer_light = sv->clight;
    st.outer_L = sv->L;
    st.outer_Cl = sv->Cl;
    std::memcpy(slstack.push_space(LOOP_WORDS), &st, sizeof st);
    sv->lsw = st.walker;
    sv->clight = st.walker.current;
}

// Leaving a light loop early (break).
void op_illuminance_end(ExecFrame *, ShaderVars *sv)
{
    const float *words = slstack.top_ptr(LOOP_WORDS);
    if (slstack.failed()) return;
    end_loop(sv, words);
}

bool lights_point(const ShaderVars *sv, const LightSource *l)
{
    const GState *g = sv->surf.get();
    return !g || light_set_contains(g->light_set, l->id);
}

// Whether the direction towards a light lies inside an illuminance cone
// (unit axis; a hair of slack for lights placed on the rim).
bool inside_cone(const Point &toward, const Point &axis, float cosangle)
{
    float len = toward.length();
    if (!(len > 0)) return false;
    float c = axis.length() > 0 ? dot(toward, axis) / len : 0;
    return c >= cosangle - 1e-5f;
}

// One step of the light loop; the operands stay on the stack under the loop's
// state while the loop runs (the body returns here for the next light) and go
// when it ends. The body runs only for lights that reached the point and,
// with a cone, whose direction lies inside it.
template <bool CATEGORY, bool CONE>
void op_illuminance(ExecFrame *f, ShaderVars *sv)
{
    uint32_t label = next_word(f);
    const int words = CONE ? 7 : 3;
    float *state = slstack.top_ptr(LOOP_WORDS + words);
    const char *category = CATEGORY ? *slstack.string_top_ptr() : nullptr;
    if (slstack.failed()) return;
    const float *p = state + LOOP_WORDS;
    Point position = Point::from(p);
    Point axis(0, 0, 0);
    float cosangle = -1;
    if (CONE) {
        axis = normalize(Point::from(p + 3));
        cosangle = std::cos(p[6]);
    }
    LoopState st;
    std::memcpy(static_cast<void *>(&st), state, sizeof st);
    LightSourceListWalker &w = sv->lsw;
    w = st.walker;
    while (sv->doillum) {
        while (!w.end() && (!lights_point(sv, w()) || (CATEGORY && !w()->category_matches(category))))
            w.step();
        if (w.end()) break;
        LightSource *light = sv->clight = w();
        int reached = w.call_shader(position, axis, cosangle, 1, sv);
        sv->L = -sv->L;
        w.step();
        // The bouncer gathers over the cone itself and gives no direction.
        if (reached && (!CONE || light->kind == LIGHT_BOUNCER || inside_cone(sv->L, axis, cosangle))) {
            st.walker = w;
            std::memcpy(state, &st, sizeof st);
            return;   // on into the body
        }
    }
    end_loop(sv, state);
    slstack.drop(words);
    if (CATEGORY) slstack.drop_strings(1);
    jump_to(f, label);
}

constexpr OpBinding ROWS[] = {
    {"ambient", op_ambient},
    {"diffuse", op_diffuse},
    {"specular", op_specular},
    {"phong", op_phong},
    {"specularbrdf", op_specularbrdf},
    {"illuminate1", op_illuminate1},
    {"illuminate3", op_illuminate3},
    {"solar0", op_solar0},
    {"solar2", op_solar2},
    {"ambience0", op_ambience0},
    {"illuminance_start", op_illuminance_start},
    {"illuminance_end", op_illuminance_end},
    {"illuminance1", op_illuminance<false, false>},
    {"illuminance2", op_illuminance<true, false>},
    {"illuminance3", op_illuminance<false, true>},
    {"illuminance4", op_illuminance<true, true>},
};

} // namespace

constexpr OpBindings LIGHT_OPS = op_bindings(shading::OpModule::Light, ROWS);
