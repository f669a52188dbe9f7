// Shading of ray hits: Intersection::shade_hit completes one hit and runs its
// shaders; Intersection::shade composites the hits of a ray front to back.
#include "shading/shadehit.h"

#include <cmath>
#include <cstring>
#include <new>

#include "raytrace/gprim.h"
#include "raytrace/nurbs.h"
#include "raytrace/ray.h"
#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/blockarena.h"
#include "shading/scene_access.h"

namespace {

int32_t running_shade_index = 0;

// The parameters of a shader as vertex-variable binding looks them up.
class ShaderParams : public ShaderParamLookup {
public:
    explicit ShaderParams(const Shader *s) : s_(s) {}
    const char *shader_name() const override { return s_->name; }
    bool find(RtToken name, int &type, int &howmany, int &offset) const override
    {
        for (const PARAM_INFO *p = s_->params; p && p->name; ++p)
            if (p->name == name) {
                type = p->type;
                howmany = p->howmany;
                offset = p->offset;
                return true;
            }
        return false;
    }

private:
    const Shader *s_;
};

bool display_has_color()
{
    return !current_renderer || (current_renderer->options.display_mode_bits & 1);
}

Shader *slot_shader(const GState *g, int slot)
{
    return g && g->shaders[slot].is_set() ? g->shaders[slot]->shader : nullptr;
}

float mean(const Color &c)
{
    return (c.x + c.y + c.z) / 3;
}

// A copy of the slot's instance block in the arena; null without one.
char *copy_block(const GState *g, int slot)
{
    int n = shader_slot_size(g, slot);
    if (n <= 0) return nullptr;
    char *b = static_cast<char *>(shading_arena().take(n));
    std::memcpy(b, g->shaders[slot]->params(), n);
    return b;
}

char *copy_of(const char *block, int n)
{
    if (!block || n <= 0) return nullptr;
    char *b = static_cast<char *>(shading_arena().take(n));
    std::memcpy(b, block, n);
    return b;
}

// A zeroed derivative scratch area of "derivmemory" bytes from the arena.
float *new_scratch()
{
    int n = deriv_scratch_floats();
    float *s = static_cast<float *>(shading_arena().take(n * sizeof(float)));
    std::memset(s, 0, n * sizeof(float));
    deriv_scratch_fresh(s);
    return s;
}

// Smallest |cos| between the ray and the surface a footprint is stretched by:
// grazing hits see a long but finite stretch of surface.
const float MIN_FOOTPRINT_COS = 1e-3f;

// The pixel's footprint at the hit as two offsets on the surface's tangent
// plane. A camera ray's are the moves of its hit one pixel across and one
// pixel down; another ray's span a beam as wide as a pixel at the length of
// the path from the eye (the first offset along the beam's longest stretch).
void pixel_footprint(const Intersection *sv, const Ray &ray, Point &across, Point &down)
{
    const bool camera_ray = ray.level == 0;
    const Options &o = current_renderer->options;
    float pw = o.eff_xres > 0 ? (o.screen[1] - o.screen[0]) / o.eff_xres : 0;
    float ph = o.eff_yres > 0 ? (o.screen[3] - o.screen[2]) / o.eff_yres : 0;
    const Point D = normalize(sv->I), N = normalize(sv->Ng);
    if (camera_ray) {
        float depth = o.projection == PROJ_PERSPECTIVE ? dot(sv->Ps - o.eye, o.view_dir) : 1.0f;
        across = o.cam_xaxis * (pw * depth);
        down = o.cam_yaxis * (ph * depth);
    } else {
        float f = std::sqrt(std::fabs(pw * ph));
        if (o.projection == PROJ_PERSPECTIVE)
            f *= ray.travelled > 0 ? ray.travelled + sv->I.length() : (sv->Ps - o.eye).length();
        Point side = N - D * dot(N, D);
        if (!(side.length() > 1e-6f)) {
            Point b;
            gen_orthos(D, side, b);
        }
        across = normalize(side) * f;
        down = normalize(cross(D, across)) * f;
    }
    // Along the ray onto the tangent plane.
    float c = dot(N, D);
    if (!(std::fabs(c) >= MIN_FOOTPRINT_COS)) c = c < 0 ? -MIN_FOOTPRINT_COS : MIN_FOOTPRINT_COS;
    across -= D * (dot(N, across) / c);
    down -= D * (dot(N, down) / c);
}

// The parameter steps (a along dPdu, b along dPdv) that make up the surface
// offset d.
void offset_in_parameters(const Point &d, const Point &dPdu, const Point &dPdv, float &a, float &b)
{
    const double A = dot(dPdu, dPdu), B = dot(dPdu, dPdv), C = dot(dPdv, dPdv);
    const double p = dot(d, dPdu), q = dot(d, dPdv), det = A * C - B * B;
    if (det > 1e-6 * A * C) {
        a = float((C * p - B * q) / det);
        b = float((A * q - B * p) / det);
    } else {
        a = A > 0 ? float(p / A) : 0.0f;
        b = C > 0 ? float(q / C) : 0.0f;
    }
}

// dPdu, dPdv, du and dv: du and dv span the pixel's footprint at the hit in
// the surface's parameters (its bounding box; the beam's for other rays).
void set_derivatives(Intersection *sv, GSurface *s, const Ray &ray)
{
    const bool camera_ray = ray.level == 0;
    Point dPdu, dPdv;
    s->eval_derivs(sv->gu, sv->gv, sv->time, dPdu, dPdv);
    s->xform->vector_to_world(dPdu.data(), sv->dPdu.data(), sv->time);
    s->xform->vector_to_world(dPdv.data(), sv->dPdv.data(), sv->time);
    Point across, down;
    pixel_footprint(sv, ray, across, down);
    float ax, bx, ay, by;
    offset_in_parameters(across, sv->dPdu, sv->dPdv, ax, bx);
    offset_in_parameters(down, sv->dPdu, sv->dPdv, ay, by);
    auto step = [&](const Point &dp, float x, float y) {
        if (!(dp.length() > 1e-10f)) return 1.0f;
        float d = camera_ray ? std::fabs(x) + std::fabs(y) : std::sqrt(x * x + y * y);
        if (!std::isfinite(d)) return 1.0f;
        // A footprint beyond the whole surface gains nothing.
        return d > 1e6f ? 1e6f : d;
    };
    sv->du = step(sv->dPdu, ax, ay);
    sv->dv = step(sv->dPdv, bx, by);
    sv->shade_dPdu = sv->dPdu;
    sv->shade_dPdv = sv->dPdv;
    sv->shade_du = sv->du;
    sv->shade_dv = sv->dv;
    // Patches are shaded per division: derivatives follow the division.
    const GState *g = s->attributes();
    if ((s->type == GP_BILINEAR || s->type == GP_BICUBIC) && g) {
        float nu = g->udivisions > 0 ? g->udivisions : 1, nv = g->vdivisions > 0 ? g->vdivisions : 1;
        sv->dsdu /= nu;
        sv->shade_du /= nu;
        sv->dtdv /= nv;
        sv->shade_dv /= nv;
        sv->shade_dPdu *= nu;
        sv->shade_dPdv *= nv;
    } else if (s->type == GP_NURB) {
        // NURBS hits run over 0..1 of their knot ranges: steps in knot units.
        const GNurbPatch *n = static_cast<const GNurbPatch *>(s);
        if (n->urange > 0) {
            sv->dsdu *= n->urange;
            sv->shade_du *= n->urange;
            sv->shade_dPdu *= 1 / n->urange;
        }
        if (n->vrange > 0) {
            sv->dtdv *= n->vrange;
            sv->shade_dv *= n->vrange;
            sv->shade_dPdv *= 1 / n->vrange;
        }
    }
}

// The two neighbour records of sv in the arena, with their own parameter
// blocks when the shaders may change them.
struct Neighbours {
    Intersection *du = nullptr, *dv = nullptr;
    char *du_blocks[SHADER_SLOTS] = {};
    char *dv_blocks[SHADER_SLOTS] = {};

    Neighbours(Intersection *sv, bool own_blocks)
    {
        BlockArena &arena = shading_arena();
        du = ::new (arena.take(sizeof(Intersection))) Intersection;
        dv = ::new (arena.take(sizeof(Intersection))) Intersection;
        split_ray_differentials(sv, du, dv);
        for (int slot = 0; slot < SHADER_SLOTS; ++slot) {
            int n = shader_slot_size(sv->surf.get(), slot);
            du_blocks[slot] = own_blocks ? copy_of(sv->paramblock[slot], n) : sv->paramblock[slot];
            dv_blocks[slot] = own_blocks ? copy_of(sv->paramblock[slot], n) : sv->paramblock[slot];
            du->paramblock[slot] = du_blocks[slot];
            dv->paramblock[slot] = dv_blocks[slot];
        }
    }
    ~Neighbours()
    {
        du->~Intersection();
        dv->~Intersection();
    }
};

} // namespace

int shader_slot_size(const GState *g, int slot)
{
    if (!g || slot < 0 || slot >= SHADER_SLOTS || !g->shaders[slot].is_set()) return 0;
    return g->shaders[slot]->size();
}

int32_t shade_index_counter()
{
    return running_shade_index;
}

void set_shade_index_counter(int32_t value)
{
    running_shade_index = value;
}

int32_t next_shade_index()
{
    return ++running_shade_index;
}

void split_ray_differentials(const ShaderVars *sv, ShaderVars *a, ShaderVars *b)
{
    *a = *sv;
    a->Ps = sv->Ps + sv->dPdu * sv->du;
    a->gu = sv->gu + sv->du;
    a->u = sv->u + sv->du;
    a->s = sv->s + sv->du * sv->dsdu;
    a->t = sv->t + sv->du * sv->dtdu;
    a->whichdisp = DISP_DU;
    a->doillum = 0;
    *b = *sv;
    b->Ps = sv->Ps + sv->dPdv * sv->dv;
    b->gv = sv->gv + sv->dv;
    b->v = sv->v + sv->dv;
    b->s = sv->s + sv->dv * sv->dsdv;
    b->t = sv->t + sv->dv * sv->dtdv;
    b->whichdisp = DISP_DV;
    b->doillum = 0;
}

int run_shader_in_slot(Shader *shader, ShaderVars *sv, int slot, char *params, bool keep_position)
{
    sv->shadetype = slot;
    sv->thisshader = shader;
    const GState *g = sv->surf.get();
    if (g) sv->ssx = g->shader_spaces[slot];
    if (slot >= 0 && slot < SHADER_SLOTS) sv->paramblock[slot] = params;
    if (sv->has_user_verts && sv->obj && is_surface_type(sv->obj->type) && params)
        static_cast<GSurface *>(sv->obj)->bind_vertex_vars(ShaderParams(shader), params, sv->time, sv->gu,
                                                            sv->gv);
    sv->highestscratch = 0;
    Point P = sv->Ps;
    int answer = shader->run ? shader->run(sv, params) : 0;
    if (!keep_position) sv->Ps = P;
    return answer;
}

void run_shader_with_neighbours(Shader *shader, ShaderVars *sv, ShaderVars *du, ShaderVars *dv, int slot,
                                char **du_params, char **dv_params, bool with_neighbours)
{
    if (with_neighbours && du && dv) {
        run_shader_in_slot(shader, du, slot, du_params[slot]);
        run_shader_in_slot(shader, dv, slot, dv_params[slot]);
    }
    run_shader_in_slot(shader, sv, slot, sv->paramblock[slot]);
}

int run_shader_on_point(Shader *shader, ShaderVars *sv, int use, char *params)
{
    BlockArena &arena = shading_arena();
    BlockArena::Mark m = arena.mark();
    float *saved_scratch = sv->scratch;
    int32_t saved_mark = sv->highestscratch;
    sv->scratch = new_scratch();
    sv->shadetype = use;
    sv->thisshader = shader;
    const GState *g = sv->surf.get();
    if (g && use >= 0 && use < SHADER_SLOTS) sv->ssx = g->shader_spaces[use];
    sv->highestscratch = 0;
    int answer = shader->run ? shader->run(sv, params) : 0;
    sv->scratch = saved_scratch;
    sv->highestscratch = saved_mark;
    arena.release(m);
    return answer;
}

float Intersection::shade_hit(Ray &ray)
{
    GSurface *surface = obj && is_surface_type(obj->type) ? static_cast<GSurface *>(obj) : nullptr;
    if (surface) surf = surface->attrs;
    level = ray.level;
    indirectlevel = ray.indirect_level;
    const GState *g = surf.get();
    if (g && (g->flags & GS_MATTE) && ray.level < 1) {
        Ci = Oi = Color(0, 0, 0);
        ray.alpha = 0;
        ismatte = 1;
        dist = ray.depth;
        return 1;
    }
    ismatte = 0;
    I = ray.dir * linet;
    if (ray.has_hint && !shaded) {
        shaded = 1;
        Ci = ray.reuse_ci;
        Oi = ray.reuse_oi;
        if (SceneAccess *scene = current_scene()) scene->count_shading(true);
    }
    if (!shaded) {
        shaded = 1;
        if (SceneAccess *scene = current_scene()) scene->count_shading(false);
        shade_index = ++running_shade_index;
        vars_used = 0;
        bool color = display_has_color();
        Shader *surface_shader = color ? slot_shader(g, USE_SURFACE) : nullptr;
        Shader *displacement = shade_task == SHADE_TASK_NORMAL && !(obj && (obj->flags & GPF_DISPLACED))
                                   ? slot_shader(g, USE_DISPLACEMENT) : nullptr;
        Shader *atmosphere = nullptr;
        bool volume = false;
        if (shade_task == SHADE_TASK_NORMAL && color) {
            if (ray.level == 0) {
                atmosphere = slot_shader(g, USE_ATMOSPHERE);
                if (atmosphere) {
                    vars_used |= atmosphere->flags;
                    volume = true;
                }
            } else {
                for (int slot : {USE_INTERIOR, USE_EXTERIOR})
                    if (Shader *v = slot_shader(g, slot)) {
                        vars_used |= v->flags;
                        volume = true;
                    }
            }
        }
        if (surface_shader) vars_used |= surface_shader->flags;
        if (displacement) vars_used |= displacement->flags;
        if (vars_used & VU_NEIGHBOURS) vars_used |= VU_DPDU_DPDV;

        Ps = ray.origin + ray.dir * linet;
        if (!finished && obj) obj->fill_hit(this);
        if (g && !(g->flags & GS_TWOSIDED) && dot(Ng, ray.dir) > 0) {
            Ci = Oi = Color(0, 0, 0);
            dist = I.length();
            ray.alpha = 0;
            return 0;
        }
        time = ray.time;
        const Options &o = current_renderer->options;
        dtime = o.shutter_close - o.shutter_open;
        if (vars_used & VU_DPDTIME) dPdtime = Point(0, 0, 0);
        detail = ray.sample_value;
        if ((vars_used & VU_DERIVATIVES) && surface) set_derivatives(this, surface, ray);
        E = o.eye;
        ncomps = 3;
        weight = ray.weight;
        Ci = Color(0, 0, 0);
        Oi = Color(1, 1, 1);

        BlockArena &arena = shading_arena();
        BlockArena::Mark mark = arena.mark();
        for (char *&b : paramblock) b = nullptr;
        paramblock[USE_SURFACE] = copy_block(g, USE_SURFACE);
        paramblock[USE_DISPLACEMENT] = copy_block(g, USE_DISPLACEMENT);
        paramblock[USE_ATMOSPHERE] = copy_block(g, USE_ATMOSPHERE);
        doillum = shade_task == SHADE_TASK_NORMAL;
        doareaops = 1;
        whichdisp = DISP_MAIN;
        float *saved_scratch = scratch;
        int32_t saved_mark = highestscratch;
        scratch = new_scratch();

        bool neighbours = (surface_shader && (surface_shader->flags & VU_NEIGHBOURS)) ||
                          (displacement && (displacement->flags & VU_NEIGHBOURS));
        if (!neighbours) {
            if (displacement) run_shader_in_slot(displacement, this, USE_DISPLACEMENT, paramblock[USE_DISPLACEMENT]);
            if (surface_shader) run_shader_in_slot(surface_shader, this, USE_SURFACE, paramblock[USE_SURFACE]);
        } else {
            Neighbours n(this, displacement != nullptr || has_user_verts);
            if (displacement)
                run_shader_with_neighbours(displacement, this, n.du, n.dv, USE_DISPLACEMENT, n.du_blocks,
                                           n.dv_blocks, true);
            if (surface_shader)
                run_shader_with_neighbours(surface_shader, this, n.du, n.dv, USE_SURFACE, n.du_blocks,
                                           n.dv_blocks, true);
        }
        if (shade_task == SHADE_TASK_NORMAL && volume) {
            doareaops = 0;
            if (ray.level == 0 && atmosphere)
                run_shader_in_slot(atmosphere, this, USE_ATMOSPHERE, paramblock[USE_ATMOSPHERE]);
        }
        scratch = saved_scratch;
        highestscratch = saved_mark;
        for (char *&b : paramblock) b = nullptr;
        arena.release(mark);
    }
    dist = I.length();
    float o = mean(Oi);
    ray.alpha = o;
    return o;
}

float Intersection::shade(Ray &ray)
{
    // Front to back without recursion: the hits are shaded in order, each
    // with the weight left in front of it, then composited from the back.
    int count = 0;
    for (Intersection *h = this; h; h = h->next) ++count;
    BlockArena &arena = shading_arena();
    BlockArena::Mark mark = arena.mark();
    Intersection **hits = static_cast<Intersection **>(arena.take(count * sizeof(Intersection *)));
    float *answers = static_cast<float *>(arena.take(count * sizeof(float)));
    bool color = display_has_color();

    int n = 0;
    Ray *r = &ray;
    Ray next_ray;
    for (Intersection *h = this; h; h = h->next) {
        h->clight = nullptr;
        float o = h->shade_hit(*r);
        if (!color) o = o > 0 ? 1.0f : 0.0f;
        hits[n] = h;
        answers[n] = o;
        ++n;
        if (h->ismatte || h->shade_task != SHADE_TASK_NORMAL || o >= 0.999f || !h->next) break;
        float w = r->weight * (1 - o);
        if (w <= 0.001f) break;
        Ray behind = *r;
        behind.weight = w;
        behind.extra = static_cast<int>(h->linet);
        next_ray = behind;
        r = &next_ray;
    }
    for (int i = n - 2; i >= 0; --i) {
        Intersection *h = hits[i], *b = hits[i + 1];
        float c = answers[i + 1];
        h->Ci = h->Ci + (Color(1, 1, 1) - h->Oi) * b->Ci;
        h->Oi = Color(1, 1, 1) - (Color(1, 1, 1) - h->Oi) * (1 - c);
        answers[i] = mean(h->Oi);
    }
    float answer = answers[0];
    arena.release(mark);
    return answer;
}
