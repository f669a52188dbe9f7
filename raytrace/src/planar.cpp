#include "raytrace/planar.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "ri/declarations.h"
#include "ri/stdtokens.h"

bool plane_hit(const Point &N, float d, const Ray &ray, float &t, Point &P)
{
    float denom = dot(N, ray.dir);
    if (!(std::fabs(denom) >= 1e-10f)) return false;
    t = (d - dot(N, ray.origin)) / denom;
    if (!std::isfinite(t)) return false;
    P = ray.origin + ray.dir * t;
    return true;
}

bool inside_box(const Bound &b, const Point &P)
{
    return P.x >= b[0] && P.x <= b[1] && P.y >= b[2] && P.y <= b[3] && P.z >= b[4] && P.z <= b[5];
}

void projection_axes(const Point &N, int &a, int &b)
{
    if (std::fabs(N.x) > 0.5f) a = 1, b = 2;
    else if (std::fabs(N.y) > 0.5f) a = 0, b = 2;
    else a = 0, b = 1;
}

namespace {

// The crossing count over a loop whose vertex i is (x(i), y(i)).
template <class X, class Y> int crossings_of(int count, const double p[2], X x, Y y, Crossings *c)
{
    int crossings = 0;
    if (count <= 0) return 0;
    // Each vertex is read once: an edge's end is the next edge's start.
    double ax = x(0), ay = y(0);
    for (int i = 0; i < count; i++) {
        const int j = i + 1 == count ? 0 : i + 1;
        const double bx = x(j), by = y(j);
        if ((ay >= p[1]) != (by >= p[1])) {
            double f = (p[1] - ay) / (by - ay);
            bool left = (ax < p[0] && bx < p[0]) || ax + f * (bx - ax) < p[0];
            if (left) {
                crossings++;
                if (c) c->counted_edge = i, c->counted_f = (float)f;
            } else if (c) {
                c->other_edge = i, c->other_f = (float)f;
            }
        }
        ax = bx, ay = by;
    }
    return crossings & 1;
}

} // namespace

int polygon_crossings(int count, const double p[2], const double *xy, Crossings *c)
{
    return crossings_of(count, p, [xy](int i) { return xy[2 * i]; }, [xy](int i) { return xy[2 * i + 1]; }, c);
}

int polygon_crossings(int count, const double p[2], const Point *V, int a, int b, Crossings *c)
{
    return crossings_of(count, p, [V, a](int i) { return (double)V[i][a]; }, [V, b](int i) { return (double)V[i][b]; },
                        c);
}

namespace {

// The in-plane cross product of two vectors of the plane of N.
double plane_cross(const DPoint &a, const DPoint &b, const DPoint &N)
{
    return dot(cross(a, b), N);
}

DPoint dpoint(const Point &p) { return DPoint(p.x, p.y, p.z); }

// The root of a t^2 + b t + c = 0 taken as the parameter: the smaller one
// unless it falls outside [0, 1]; the linear solution for a small a.
float solve_parameter(double a, double b, double c, bool triangle)
{
    if (std::fabs(a) < 0.0005) {
        if (triangle ? std::fabs(b) <= 1e-8 : !(std::fabs(b) > 1e-12)) return 0;
        double r = -c / b;
        return std::isfinite(r) ? (float)r : 0.0f;
    }
    double mid = -b / (2 * a);
    double disc = mid * mid - c / a;
    // A point off the patch by rounding: no square root of a negative.
    double s = disc > 0 ? std::sqrt(disc) : 0;
    double r = mid - s;
    if (!(r >= 0 && r <= 1)) r = mid + s;
    return std::isfinite(r) ? (float)r : 0.0f;
}

} // namespace

void bilinear_inverse(const Point c[4], const Point &Nf, const Point &P, bool triangle, float &gu, float &gv)
{
    DPoint N = dpoint(Nf), C00 = dpoint(c[0]);
    DPoint E1 = dpoint(c[1]) - C00, E2 = dpoint(c[2]) - C00, E3 = dpoint(c[3]) - dpoint(c[2]);
    DPoint F = E3 - E1, W = dpoint(P) - C00;
    // W = u E1 + v E2 + u v F: crossing with E2 + u F drops v, with E1 + v F drops u.
    double wf = plane_cross(W, F, N);
    gu = solve_parameter(plane_cross(E1, F, N), plane_cross(E1, E2, N) - wf, -plane_cross(W, E2, N), triangle);
    gv = solve_parameter(plane_cross(E2, F, N), plane_cross(E2, E1, N) - wf, -plane_cross(W, E1, N), triangle);
}

Point bilinear_point(const Point c[4], float u, float v)
{
    return c[0] * ((1 - u) * (1 - v)) + c[1] * (u * (1 - v)) + c[2] * ((1 - u) * v) + c[3] * (u * v);
}

void bilinear_derivs(const Point c[4], float u, float v, Point &dPdu, Point &dPdv)
{
    dPdu = (c[1] - c[0]) * (1 - v) + (c[3] - c[2]) * v;
    dPdv = (c[2] - c[0]) * (1 - u) + (c[3] - c[1]) * u;
}

void order_vertex_data(VertexVarList &list, int nverts, const int corner[4])
{
    if (nverts < 1) return;
    for (VVData **link = &list.head; *link; link = &(*link)->next) {
        VVData *vv = *link;
        if (vv->detail != DETAIL_VERTEX && vv->detail != DETAIL_VARYING) continue;
        if (vv->type == DECL_STRING || !vv->data) continue;
        int words = vv->words();
        if (words % nverts != 0) continue;
        int per = words / nverts;
        const float *in = static_cast<const float *>(vv->data);
        float corners[4 * 64];
        if (per > 64) continue;
        for (int k = 0; k < 4; k++) std::memcpy(corners + k * per, in + corner[k] * per, per * sizeof(float));
        if (nverts >= 4) {
            std::memcpy(vv->data, corners, 4 * per * sizeof(float));
            continue;
        }
        // Fewer values than corners: a new entry of four.
        VVData *four = new VVData(vv->token, vv->type, vv->detail, vv->count, corners, 4 * per);
        four->next = vv->next;
        *link = four;
        delete vv;
    }
}

bool vertex_normal_at(const VertexVarList &list, float u, float v, Point &N)
{
    VVData *vv = list.find_entry(tok::N);
    if (!vv || vv->words() < 12) return false;
    const float *n = static_cast<const float *>(vv->data);
    bilerp_vertex_data(N.data(), 3, n, n + 3, n + 6, n + 9, u, v);
    return true;
}

void planar_fill_hit(GSurface *s, Intersection *sv, const Point &N, const Point c[4], bool triangle)
{
    sv->u = sv->Pobj.x;
    sv->v = sv->Pobj.y;
    if (!sv->whichpiece) {
        // The surface fill reverses a reversed surface's normal, which N
        // already is: hand it the unreversed one.
        sv->Ng = (s->flags & GPF_REVERSED) ? -N : N;
        bilinear_inverse(c, N, sv->Pobj, triangle, sv->gu, sv->gv);
    }
    s->GSurface::fill_hit(sv);
    const VertexVarList &list = s->vertex_vars;
    bool st_vars = list.find_entry(tok::st) || list.find_entry(tok::s) || list.find_entry(tok::t);
    if (!(sv->vars_used & (VU_TEXCOORDS | VU_NEIGHBOURS)) || st_vars) return;
    sv->s = sv->u;
    sv->t = sv->v;
    // s and t are the object's x and y: their derivatives are taken along
    // (gu, gv), the parameters the shading steps du and dv are measured in.
    Point dPdu, dPdv;
    bilinear_derivs(c, sv->gu, sv->gv, dPdu, dPdv);
    sv->dsdu = dPdu.x, sv->dsdv = dPdv.x;
    sv->dtdu = dPdu.y, sv->dtdv = dPdv.y;
}

namespace {

// A vertex index in a hit record's 16-bit field (large indices saturate).
int16_t hit_vertex_index(int index)
{
    return (int16_t)(index > 32767 ? 32767 : index);
}

} // namespace

Intersection *planar_hit(GPrimitive *o, const Ray &ray, float t, const Point &P, const Crossings &c, int first,
                         int count)
{
    if (!ray.keeps(t)) return nullptr;
    Intersection *h = new Intersection(o, t, ray.time);
    h->Pobj = P;
    if (c.counted_edge >= 0) {
        h->v1 = hit_vertex_index(first + c.counted_edge);
        h->v2 = hit_vertex_index(first + (c.counted_edge + 1) % count);
    }
    if (c.other_edge >= 0) {
        h->v3 = hit_vertex_index(first + c.other_edge);
        h->v4 = hit_vertex_index(first + (c.other_edge + 1) % count);
    }
    h->i1 = c.counted_f;
    h->i2 = c.other_f;
    h->i3 = 0;
    return h;
}

void GPlanar::plane_uv(const Point &P, float &gu, float &gv) const
{
    Point c[4];
    corners(c);
    bilinear_inverse(c, N, P, triangle_, gu, gv);
}

void GPlanar::fill_hit(Intersection *sv)
{
    Point c[4];
    corners(c);
    planar_fill_hit(this, sv, N, c, triangle_);
}

void GPlanar::eval_point(float u, float v, float, Point &P)
{
    Point c[4];
    corners(c);
    P = bilinear_point(c, u, v);
}

void GPlanar::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    Point c[4];
    corners(c);
    bilinear_derivs(c, u, v, dPdu, dPdv);
}

void GPlanar::eval_normal(float u, float v, float, Point &Nout)
{
    if (!vertex_normal_at(vertex_vars, u, v, Nout)) Nout = N;
}
