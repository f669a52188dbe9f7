#include "raytrace/polygon.h"

#include <cmath>
#include <cstdlib>

#include "mesh_size.h"
#include "raytrace/planar.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/surface_hooks.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

namespace {

// Bytes of vertex data a polygon's own vertex array is charged.
long vertex_bytes(int nverts) { return 12L * nverts; }

} // namespace

Point polygon_face_normal(const Point *V, int outline)
{
    Point N = cross(V[1] - V[0], V[2] - V[1]);
    if (N.length() < 0.0001f && outline > 3) {
        Point M = (V[1] - V[0]).length() >= 0.0001f ? cross(V[1] - V[0], V[3] - V[2])
                                                    : cross(V[2] - V[3], V[2] - V[1]);
        if (M.length() > N.length()) N = M;
    }
    if (N.length() > 0) return N;
    Point sum;
    for (int k = 0; k < outline; k++) {
        const Point &a = V[k], &b = V[(k + 1) % outline];
        sum.x += (a.y - b.y) * (a.z + b.z);
        sum.y += (a.z - b.z) * (a.x + b.x);
        sum.z += (a.x - b.x) * (a.y + b.y);
    }
    return sum;
}

GPolygon::GPolygon(int nv, RtInt n, RtToken tokens[], RtPointer values[]) : GPolygon(nv, nv, n, tokens, values) {}

GPolygon::GPolygon(int nv, int outer, RtInt n, RtToken tokens[], RtPointer values[]) : GPlanar(GP_POLYGON, false)
{
    nverts = nv > 0 ? nv : 0;
    outline = outer < nverts ? outer : nverts;
    build_vertex_var_list(vertex_vars, nverts, nverts, 1, POSITION_P, n, tokens, values);
    VVData *pv = vertex_vars.find_entry(tok::P);
    if (!pv || pv->words() < 3 * nverts || outline < 3) {
        // A missing "P" is reported by the list builder.
        if (pv && outline < 3) ri_error(RIE_RANGE, RIE_WARNING, "Polygon with %d vertices ignored", outline);
        flags |= GPF_UNLINKED;
        nverts = outline = 0;
        return;
    }
    float *p = static_cast<float *>(vertex_vars.take(tok::P));
    verts.resize(nverts);
    for (int i = 0; i < nverts; i++) verts[i] = Point::from(p + 3 * i);
    std::free(p);
    vvdata_memory().add(vertex_bytes(nverts));
    N = polygon_face_normal(verts.data(), outline);
    float len = N.length();
    if (!(len > 0) || !std::isfinite(len)) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate polygon primitive");
        flags |= GPF_UNLINKED;
        return;
    }
    N = N / len;
    if (flags & GPF_REVERSED) N = -N;
    d = dot(N, verts[0]);
    projection_axes(N, axis_a, axis_b);
    const int order4[4] = {0, 1, 3, 2}, order3[4] = {0, 1, 2, 2};
    order_vertex_data(vertex_vars, nverts, outline >= 4 ? order4 : order3);
    bound(object_bound);
}

GPolygon::GPolygon(const GPolygon &o)
    : GPlanar(o), nverts(o.nverts), verts(o.verts), outline(o.outline), axis_a(o.axis_a),
      axis_b(o.axis_b)
{
    vvdata_memory().add(vertex_bytes((int)verts.size()));
}

GPolygon::~GPolygon()
{
    vvdata_memory().subtract(vertex_bytes((int)verts.size()));
}

void GPolygon::bound(Bound &b)
{
    b = polygon_bound(verts.data(), (int)verts.size());
}

void GPolygon::corners(Point c[4]) const
{
    c[0] = verts[0], c[1] = verts[1];
    c[2] = outline >= 4 ? verts[3] : verts[2];
    c[3] = verts[2];
}

bool GPolygon::plane_point(const Ray &ray, float &t, Point &P, double p[2]) const
{
    if (!plane_hit(N, d, ray, t, P) || !inside_box(object_bound, P)) return false;
    p[0] = P[axis_a];
    p[1] = P[axis_b];
    return true;
}

IntersectionList GPolygon::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    float t;
    Point P;
    double p[2];
    if (nverts < 3 || !plane_point(ray, t, P, p) || !ray.keeps(t)) return l;
    Crossings c;
    if (polygon_crossings(nverts, p, verts.data(), axis_a, axis_b, &c))
        l.add(planar_hit(this, ray, t, P, c, 0, nverts));
    return l;
}

void GPolygon::mesh_radiosity()
{
    if (!attrs.is_set()) {
        GSurface::mesh_radiosity();   // reports the missing state
        return;
    }
    float p = radiosity_patch_size(this);
    if (!(p > 0) || outline < 3) return;
    const std::vector<Point> &V = verts;
    float across, along;
    if (outline < 4) {
        across = std::fmax((V[1] - V[0]).length(), (V[2] - V[1]).length());
        along = (V[2] - V[0]).length();
    } else {
        across = std::fmax((V[1] - V[0]).length(), (V[3] - V[2]).length());
        along = std::fmax((V[3] - V[0]).length(), (V[2] - V[1]).length());
    }
    mesh_radiosity_grid(this, patch_count((across - 0.01f) / p), patch_count((along - 0.01f) / p));
}

// ---- polygons with holes -------------------------------------------------

namespace {

int outline_count(int nloops, const RtInt counts[])
{
    return nloops > 0 && counts[0] > 0 ? counts[0] : 0;
}

} // namespace

GGeneralPolygon::GGeneralPolygon(int nv, int nl, const RtInt counts[], RtInt n, RtToken tokens[],
                                 RtPointer values[])
    : GPolygon(nv, outline_count(nl, counts), n, tokens, values), nloops(nl > 0 ? nl : 0)
{
    // Loops past the vertices given are cut short.
    int left = nverts;
    for (int i = 0; i < nloops; i++) {
        int k = counts[i] > 0 ? counts[i] : 0;
        if (k > left) k = left;
        loop_counts.push_back(k);
        left -= k;
    }
}

IntersectionList GGeneralPolygon::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    float t;
    Point P;
    double p[2];
    if (nverts < 3 || !plane_point(ray, t, P, p)) return l;
    const Point *V = verts.data();
    int first = loop_counts[0];
    for (int i = 1; i < nloops; i++) {
        int k = loop_counts[i];
        if (k > 0 && polygon_crossings(k, p, V + first, axis_a, axis_b)) return l;   // in a hole
        first += k;
    }
    Crossings c;
    if (polygon_crossings(loop_counts[0], p, V, axis_a, axis_b, &c))
        l.add(planar_hit(this, ray, t, P, c, 0, loop_counts[0]));
    return l;
}

// ---- makers --------------------------------------------------------------

GPrimitive *make_polygon(int nverts, RtInt n, RtToken tokens[], RtPointer values[])
{
    return new GPolygon(nverts, n, tokens, values);
}

GPrimitive *make_general_polygon(int nverts, int nloops, const RtInt loop_counts[], RtInt n, RtToken tokens[],
                                 RtPointer values[])
{
    return new GGeneralPolygon(nverts, nloops, loop_counts, n, tokens, values);
}
