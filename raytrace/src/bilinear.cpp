#include "raytrace/bilinear.h"

#include <cmath>
#include <cstdlib>

#include "raytrace/bilinear_inverse.h"
#include "raytrace/dice.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/surface_hooks.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

namespace {

bool finite(const Point &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

int at_least_one(float x)
{
    if (!(x > 1)) return 1;
    if (x > 1e9f) return 1000000000;
    return (int)std::ceil(x);
}

} // namespace

float *take_position_values(VertexVarList &list, RtToken name, int floats)
{
    VVData *vv = list.find_entry(name);
    if (!vv) return nullptr;
    bool enough = vv->size >= floats * (int)sizeof(float);
    float *data = static_cast<float *>(list.take(name));
    if (enough) return data;
    free(data);
    return nullptr;
}

GBilinearPatch::GBilinearPatch(RtInt n, RtToken tokens[], RtPointer values[], int uc, int un, int vr, int vn)
    : GSurface(GP_BILINEAR), ucol((int16_t)uc), nu((int16_t)(un > 0 ? un : 1)), vrow((int16_t)vr),
      nv((int16_t)(vn > 0 ? vn : 1))
{
    build_vertex_var_list(vertex_vars, 4, 4, 1, POSITION_ANY, n, tokens, values);
    Point *corner[4] = {&P00, &P10, &P01, &P11};
    if (float *p = take_position_values(vertex_vars, tok::P, 12)) {
        for (int k = 0; k < 4; k++) *corner[k] = Point::from(p + 3 * k);
        free(p);
        has_corners = true;
    } else if (float *pw = take_position_values(vertex_vars, tok::Pw, 16)) {
        for (int k = 0; k < 4; k++) {
            const float *h = pw + 4 * k;
            *corner[k] = Point(h[0] / h[3], h[1] / h[3], h[2] / h[3]);
        }
        free(pw);
        has_corners = true;
    } else if (float *pz = take_position_values(vertex_vars, tok::Pz, 4)) {
        for (int i = 0; i < 2; i++)
            for (int j = 0; j < 2; j++)
                *corner[j + 2 * i] = Point((float)(ucol + j) / nu, (float)(vrow + i) / nv, pz[j + 2 * i]);
        free(pz);
        has_corners = true;
    }
    N00 = normalize(cross(P10 - P00, P01 - P00));
    N10 = normalize(cross(P11 - P10, P00 - P10));
    N01 = normalize(cross(P00 - P01, P11 - P01));
    N11 = normalize(cross(P01 - P11, P10 - P11));
}

bool GBilinearPatch::well_formed() const
{
    if (!has_corners || !finite(P00) || !finite(P10) || !finite(P01) || !finite(P11)) return false;
    Bound b(P00);
    b.extend(P10);
    b.extend(P01);
    b.extend(P11);
    float size = b.diagonal();
    // Some corner must see its two edges span an area.
    float area = 0;
    area = std::fmax(area, cross(P10 - P00, P01 - P00).length());
    area = std::fmax(area, cross(P11 - P10, P00 - P10).length());
    area = std::fmax(area, cross(P00 - P01, P11 - P01).length());
    area = std::fmax(area, cross(P01 - P11, P10 - P11).length());
    return area > 1e-12f * size * size;
}

void GBilinearPatch::bound(Bound &b)
{
    if (subpatch_grid && subpatch_grid->built()) {
        b = subpatch_grid->bound;
        return;
    }
    b = Bound(P00);
    b.extend(P10);
    b.extend(P01);
    b.extend(P11);
    b.expand(0.01f * b.diagonal());
}

IntersectionList GBilinearPatch::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    l.add(quad_ray_hit(ray, P00, P10, P01, P11, this));
    return l;
}

void GBilinearPatch::fill_hit(Intersection *sv)
{
    sv->u = (ucol + sv->gu) / nu;
    sv->v = (vrow + sv->gv) / nv;
    eval_normal(sv->gu, sv->gv, sv->time, sv->Ng);
    GSurface::fill_hit(sv);
}

void GBilinearPatch::mesh_radiosity()
{
    if (!attrs.is_set()) {
        GSurface::mesh_radiosity();   // reports the missing state
        return;
    }
    float open = current_renderer ? current_renderer->options.shutter_open : 0;
    float p = attrs->rad_patchsize;
    if (xform.is_set()) p = xform->length_from_world(p, open);
    if (!(p > 0)) return;
    float lu = std::fmax((P10 - P00).length(), (P11 - P01).length());
    float lv = std::fmax((P01 - P00).length(), (P11 - P10).length());
    mesh_radiosity_grid(this, at_least_one((lu - 0.01f) / p), at_least_one((lv - 0.01f) / p));
}

void GBilinearPatch::eval_point(float u, float v, float, Point &P)
{
    P = bilerp_points(P00, P10, P01, P11, u, v);
}

void GBilinearPatch::eval_normal(float u, float v, float, Point &N)
{
    N = bilerp_points(N00, N10, N01, N11, u, v);
}

void GBilinearPatch::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    u = clamp(u, 0, 1);
    v = clamp(v, 0, 1);
    dPdu = (P10 - P00) * (1 - v) + (P11 - P01) * v;
    dPdv = (P01 - P00) * (1 - u) + (P11 - P10) * u;
}

GPrimitive *make_bilinear_patch(RtInt n, RtToken tokens[], RtPointer values[], int ucol, int nu, int vrow, int nv)
{
    GBilinearPatch *p = new GBilinearPatch(n, tokens, values, ucol, nu, vrow, nv);
    if (!p->well_formed()) {
        // A missing position was reported with the parameters.
        if (p->has_corners) ri_error(RIE_RANGE, RIE_WARNING, "Degenerate bilinear primitive ignored");
        delete p;
        return nullptr;
    }
    return p;
}
