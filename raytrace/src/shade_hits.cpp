// Shading of ray hits: the ray tracer completes the shading point of a hit
// from its ray and object (position, derivatives over the pixel's
// footprint) and has shading run its shaders; the hits of a ray are
// composited front to back.
#include "raytrace/shade_hits.h"

#include <cmath>

#include "raytrace/gprim.h"
#include "raytrace/nurbs.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/blockarena.h"
#include "shading/shadehit.h"

namespace {

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

float mean(const Color &c)
{
    return (c.x + c.y + c.z) / 3;
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

} // namespace

float shade_hit(Intersection *sv, Ray &ray)
{
    GSurface *surface = sv->obj && is_surface_type(gprim(sv->obj)->type) ? static_cast<GSurface *>(sv->obj) : nullptr;
    if (surface) sv->surf = surface->attrs;
    sv->level = ray.level;
    sv->indirectlevel = ray.indirect_level;
    const GState *g = sv->surf.get();
    if (g && (g->flags & GS_MATTE) && ray.level < 1) {
        sv->Ci = sv->Oi = Color(0, 0, 0);
        ray.alpha = 0;
        sv->ismatte = 1;
        sv->dist = ray.depth;
        return 1;
    }
    sv->ismatte = 0;
    sv->I = ray.dir * sv->linet;
    if (ray.has_hint && !sv->shaded) {
        sv->shaded = 1;
        sv->Ci = ray.reuse_ci;
        sv->Oi = ray.reuse_oi;
        if (RayTracer *rt = RayTracer::current()) rt->count_shading(true);
    }
    if (!sv->shaded) {
        sv->shaded = 1;
        if (RayTracer *rt = RayTracer::current()) rt->count_shading(false);
        sv->shade_index = next_shade_index();
        sv->vars_used = 0;
        bool color = display_has_color();
        Shader *surface_shader = color ? slot_shader(g, USE_SURFACE) : nullptr;
        Shader *displacement =
            sv->shade_task == SHADE_TASK_NORMAL && !(sv->obj && (gprim(sv->obj)->flags & GPF_DISPLACED))
                ? slot_shader(g, USE_DISPLACEMENT) : nullptr;
        Shader *atmosphere = nullptr;
        bool volume = false;
        if (sv->shade_task == SHADE_TASK_NORMAL && color) {
            if (ray.level == 0) {
                atmosphere = slot_shader(g, USE_ATMOSPHERE);
                if (atmosphere) {
                    sv->vars_used |= atmosphere->flags;
                    volume = true;
                }
            } else {
                for (int slot : {USE_INTERIOR, USE_EXTERIOR})
                    if (Shader *v = slot_shader(g, slot)) {
                        sv->vars_used |= v->flags;
                        volume = true;
                    }
            }
        }
        if (surface_shader) sv->vars_used |= surface_shader->flags;
        if (displacement) sv->vars_used |= displacement->flags;
        if (sv->vars_used & VU_NEIGHBOURS) sv->vars_used |= VU_DPDU_DPDV;

        sv->Ps = ray.origin + ray.dir * sv->linet;
        if (!sv->finished && sv->obj) gprim(sv->obj)->fill_hit(sv);
        if (g && !(g->flags & GS_TWOSIDED) && dot(sv->Ng, ray.dir) > 0) {
            sv->Ci = sv->Oi = Color(0, 0, 0);
            sv->dist = sv->I.length();
            ray.alpha = 0;
            return 0;
        }
        sv->time = ray.time;
        const Options &o = current_renderer->options;
        sv->dtime = o.shutter_close - o.shutter_open;
        if (sv->vars_used & VU_DPDTIME) sv->dPdtime = Point(0, 0, 0);
        sv->detail = ray.sample_value;
        if ((sv->vars_used & VU_DERIVATIVES) && surface) set_derivatives(sv, surface, ray);
        sv->E = o.eye;
        sv->ncomps = 3;
        sv->weight = ray.weight;
        sv->Ci = Color(0, 0, 0);
        sv->Oi = Color(1, 1, 1);
        run_hit_shaders(sv, g, surface_shader, displacement, atmosphere, volume, ray.level == 0);
    }
    sv->dist = sv->I.length();
    float o = mean(sv->Oi);
    ray.alpha = o;
    return o;
}

void RayTracer::bind_vertex_vars(SceneObject *obj, const Shader *shader, char *params, float time, float u,
                                 float v)
{
    if (is_surface_type(gprim(obj)->type))
        static_cast<GSurface *>(obj)->bind_vertex_vars(ShaderParams(shader), params, time, u, v);
}
