// True displacement of a diced grid: the displacement shader runs at every
// grid vertex, moving it and giving the normal the grid keeps for shading.
#include <cstring>

#include "raytrace/bicubic.h"
#include "raytrace/bilinear.h"
#include "raytrace/dice.h"
#include "raytrace/nurbs.h"
#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/blockarena.h"
#include "shading/shadehit.h"

namespace {

// The undisplaced normals, for a grid whose displacement cannot run.
void plain_normals(GSurface *s, int nu, int nv, float time, std::vector<Point> &normals)
{
    int w = nu + 1;
    for (int i = 0; i <= nv; i++)
        for (int j = 0; j <= nu; j++) s->eval_normal((float)j / nu, (float)i / nv, time, normals[j + w * i]);
}

// A copy of the displacement instance's parameter block in the arena.
char *block_copy(const GState *g)
{
    int n = shader_slot_size(g, USE_DISPLACEMENT);
    if (n <= 0) return nullptr;
    char *b = static_cast<char *>(shading_arena().take(n));
    std::memcpy(b, g->shaders[USE_DISPLACEMENT]->params(), n);
    return b;
}

} // namespace

void grid_to_surface_params(const GSurface *s, float gu, float gv, float &u, float &v, float &uspan, float &vspan)
{
    u = gu;
    v = gv;
    uspan = vspan = 1;
    // A mesh piece covers its share of the mesh's parameters.
    auto piece = [&](int ucol, int nu, int vrow, int nv) {
        uspan = 1.0f / nu;
        vspan = 1.0f / nv;
        u = (ucol + gu) * uspan;
        v = (vrow + gv) * vspan;
    };
    if (s->type == GP_BILINEAR) {
        const GBilinearPatch *p = static_cast<const GBilinearPatch *>(s);
        piece(p->ucol, p->nu, p->vrow, p->nv);
    } else if (s->type == GP_BICUBIC) {
        const GBicubicPatch *p = static_cast<const GBicubicPatch *>(s);
        piece(p->ucol, p->nu, p->vrow, p->nv);
    } else if (s->type == GP_NURB) {
        const GNurbPatch *p = static_cast<const GNurbPatch *>(s);
        u = p->knot_u(gu);
        v = p->knot_v(gv);
        uspan = p->urange;
        vspan = p->vrange;
    }
}

void displace_grid(GSurface *s, int nu, int nv, std::vector<Point> &verts, std::vector<Point> &normals, bool moving)
{
    GState *g = s->attributes();
    Shader *shader = g && g->shaders[USE_DISPLACEMENT].is_set() ? g->shaders[USE_DISPLACEMENT]->shader : nullptr;
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    float open = o ? o->shutter_open : 0;
    if (!shader || !o) {
        plain_normals(s, nu, nv, open, normals);
        return;
    }
    const Transformation *x = s->xform.get();
    int w = nu + 1;
    size_t count = (size_t)w * (nv + 1);
    uint32_t needs = (uint32_t)shader->flags;
    if (needs & VU_NEIGHBOURS) needs |= VU_DPDU_DPDV;

    // Every set of vertices is displaced at its own time; the normals come
    // from the shutter-open set.
    for (int set = 0; set < (moving ? 2 : 1); set++) {
        float time = set ? o->shutter_close : open;
        Point *P = &verts[set * count];
        std::vector<Point> world(P, P + count);
        if (x)
            for (Point &p : world) x->point_to_world(p.data(), time);

        Intersection base(s, 0, time);
        base.surf = s->attrs;
        base.dtime = o->shutter_close - o->shutter_open;
        base.E = o->eye;
        base.ncomps = 3;
        base.weight = 1;
        base.vars_used = needs;
        base.doillum = 0;   // no rays traced from inside an intersection
        base.shaded = 1;
        for (int i = 0; i <= nv; i++)
            for (int j = 0; j <= nu; j++) {
                size_t k = j + (size_t)w * i;
                Intersection p(base);
                p.Pobj = P[k];
                p.Ps = world[k];
                p.I = p.Ps - o->eye;
                p.shade_index = next_shade_index();
                p.gu = (float)j / nu;
                p.gv = (float)i / nv;
                float uspan, vspan;
                grid_to_surface_params(s, p.gu, p.gv, p.u, p.v, uspan, vspan);
                p.du = 1.0f / nu;
                p.dv = 1.0f / nv;
                s->eval_normal(p.gu, p.gv, time, p.Ng);
                s->GSurface::fill_hit(&p);
                if (needs & VU_DERIVATIVES) {
                    Point du, dv;
                    s->eval_derivs(p.gu, p.gv, time, du, dv);
                    p.dPdu = du, p.dPdv = dv;
                    if (x) {
                        x->vector_to_world(du.data(), p.dPdu.data(), time);
                        x->vector_to_world(dv.data(), p.dPdv.data(), time);
                    }
                }
                p.shade_du = p.du * uspan;
                p.shade_dv = p.dv * vspan;
                p.shade_dPdu = uspan != 0 ? p.dPdu / uspan : p.dPdu;
                p.shade_dPdv = vspan != 0 ? p.dPdv / vspan : p.dPdv;
                p.Ci = Color(0, 0, 0);
                p.Oi = Color(1, 1, 1);
                p.doareaops = 1;
                p.whichdisp = DISP_MAIN;

                BlockArena &arena = shading_arena();
                BlockArena::Mark mark = arena.mark();
                {
                    DerivScratch scratch(&p);
                    char *block = block_copy(g);
                    p.paramblock[USE_DISPLACEMENT] = block;
                    if (shader->flags & VU_NEIGHBOURS) {
                        Intersection a, b;
                        split_ray_differentials(&p, &a, &b);
                        char *ab = block_copy(g), *bb = block_copy(g);
                        run_shader_in_slot(shader, &a, USE_DISPLACEMENT, ab);
                        run_shader_in_slot(shader, &b, USE_DISPLACEMENT, bb);
                    }
                    run_shader_in_slot(shader, &p, USE_DISPLACEMENT, block, true);
                    p.paramblock[USE_DISPLACEMENT] = nullptr;
                }
                arena.release(mark);

                if (x) x->point_from_world(p.Ps.data(), P[k].data(), time);
                else P[k] = p.Ps;
                if (set == 0) {
                    if (x) x->normal_from_world(p.Ns.data(), normals[k].data(), time);
                    else normals[k] = p.Ns;
                }
            }
    }
    // The last column and row take the normals next to them; the first row
    // of a sphere sits on its pole.
    for (int i = 0; i <= nv; i++) normals[nu + w * i] = normals[nu - 1 + w * i];
    for (int j = 0; j <= nu; j++) normals[j + (size_t)w * nv] = normals[j + (size_t)w * (nv - 1)];
    if (s->type == GP_SPHERE)
        for (int j = 0; j <= nu; j++) normals[j] = normals[j + w];
}
