#include "raytrace/triangle.h"

#include <cmath>
#include <cstdlib>

#include "mesh_size.h"
#include "raytrace/planar.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/surface_hooks.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

GTriangle::GTriangle(RtInt n, RtToken tokens[], RtPointer values[]) : GPlanar(GP_TRIANGLE, true)
{
    build_vertex_var_list(vertex_vars, 3, 3, 1, POSITION_P, n, tokens, values);
    VVData *pv = vertex_vars.find_entry(tok::P);
    if (!pv || pv->words() < 9) {
        // Reported by the list builder when missing.
        flags |= GPF_UNLINKED;
        return;
    }
    float *p = static_cast<float *>(vertex_vars.take(tok::P));
    P0 = Point::from(p), P1 = Point::from(p + 3), P2 = Point::from(p + 6);
    std::free(p);
    if (!triangle_plane(P0, P1, P2, (flags & GPF_REVERSED) != 0, N, d)) {
        flags |= GPF_UNLINKED;
        return;
    }
    const int order[4] = {0, 1, 2, 2};
    order_vertex_data(vertex_vars, 3, order);
    bound(object_bound);
}

bool triangle_plane(const Point &P0, const Point &P1, const Point &P2, bool reversed, Point &N, float &d)
{
    float len = cross(P1 - P0, P2 - P1).length();
    if (!((P1 - P0).length() >= 1e-10f && (P2 - P0).length() >= 1e-10f && (P2 - P1).length() >= 1e-10f) ||
        !(len > 0) || !std::isfinite(len)) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate triangle primitive");
        return false;
    }
    N = triangle_normal(P0, P1, P2, reversed);
    d = dot(N, P0);
    return true;
}

bool triangle_crossings(const Point &N, const Point &P0, const Point &P1, const Point &P2, const Point &P,
                        Crossings &c)
{
    int a, b;
    projection_axes(N, a, b);
    const double p[2] = {P[a], P[b]};
    const double xy[6] = {P0[a], P0[b], P1[a], P1[b], P2[a], P2[b]};
    return polygon_crossings(3, p, xy, &c) != 0;
}

void GTriangle::bound(Bound &b)
{
    b = triangle_bound(P0, P1, P2);
}

void GTriangle::corners(Point c[4]) const
{
    c[0] = P0, c[1] = P1, c[2] = P2, c[3] = P2;
}

IntersectionList GTriangle::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    float t;
    Point P;
    if (!plane_hit(N, d, ray, t, P) || !inside_box(object_bound, P)) return l;
    Crossings c;
    if (!triangle_crossings(N, P0, P1, P2, P, c)) return l;
    l.add(planar_hit(this, ray, t, P, c, 0, 3));
    return l;
}

void GTriangle::mesh_radiosity()
{
    if (!attrs.is_set()) {
        GSurface::mesh_radiosity();   // reports the missing state
        return;
    }
    float p = radiosity_patch_size(this);
    if (!(p > 0)) return;
    int nu = patch_count(((P1 - P0).length() - 0.01f) / p);
    int nv = patch_count((std::fmax((P2 - P0).length(), (P2 - P1).length()) - 0.01f) / p);
    mesh_radiosity_grid(this, nu, nv);
}

GPrimitive *make_triangle(RtInt n, RtToken tokens[], RtPointer values[])
{
    return new GTriangle(n, tokens, values);
}
