#include "raytrace/bilinear_inverse.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

#include "raytrace/gprim.h"

namespace {

// How many units of rounding of the corners a loose side reaches outwards.
const double LOOSE_ULPS = 16;

double cross2(const Point2d &a, const Point2d &b)
{
    return a.x * b.y - a.y * b.x;
}

// Whether the edge a-b crosses the negative half of the first axis. The two
// cells sharing an edge walk it in opposite directions; taking its ends in
// one order makes both reach the same answer, so that a ray on the edge
// meets exactly one of them.
bool crosses(Point2d a, Point2d b)
{
    if (a.y > b.y || (a.y == b.y && a.x > b.x)) std::swap(a, b);
    bool a_up = a.y >= 0, b_up = b.y >= 0;
    bool a_down = a.y < 0, b_down = b.y < 0;
    if (!((a_up && b_down) || (a_down && b_up))) return false;
    if (a.x < 0 && b.x < 0) return true;
    if (a.x >= 0 && b.x >= 0) return false;
    return a.x + (b.x - a.x) * a.y / (a.y - b.y) < 0;
}

// Real roots of A t^2 + B t + C = 0 in ascending order, computed without
// cancellation (a vanishing A leaves the one root -C / B). Returns the count.
int quadratic_roots(double A, double B, double C, double roots[2])
{
    if (A == 0) {
        if (B == 0) return 0;
        roots[0] = -C / B;
        return std::isfinite(roots[0]) ? 1 : 0;
    }
    double disc = B * B - 4 * A * C;
    // Rounding may take a double root just below zero.
    if (disc < 0) {
        if (disc < -1e-12 * (B * B + std::fabs(4 * A * C))) return 0;
        disc = 0;
    }
    double q = -0.5 * (B + std::copysign(std::sqrt(disc), B));
    int n = 0;
    double r1 = q / A;
    if (std::isfinite(r1)) roots[n++] = r1;
    if (q != 0) {
        double r2 = C / q;
        if (std::isfinite(r2)) roots[n++] = r2;
    }
    if (n == 2 && roots[1] < roots[0]) {
        double t = roots[0];
        roots[0] = roots[1];
        roots[1] = t;
    }
    return n;
}

// How far (u, v) lies outside the unit square.
double outside(double u, double v)
{
    double du = u < 0 ? -u : u > 1 ? u - 1 : 0;
    double dv = v < 0 ? -v : v > 1 ? v - 1 : 0;
    return du + dv;
}

double clamp01(double x)
{
    return x < 0 ? 0 : x > 1 ? 1 : x;
}

} // namespace

bool bilinear_solve_d(const Point2d c[4], double &u, double &v)
{
    // C00 + u a + v b + u v e = 0.
    const Point2d p = c[0];
    const Point2d a{c[1].x - c[0].x, c[1].y - c[0].y};
    const Point2d b{c[2].x - c[0].x, c[2].y - c[0].y};
    const Point2d e{c[3].x - c[2].x - a.x, c[3].y - c[2].y - a.y};
    // Eliminating v: (p + u a) x (b + u e) = 0.
    double ur[2];
    int nu = quadratic_roots(cross2(a, e), cross2(p, e) + cross2(a, b), cross2(p, b), ur);
    // Eliminating u: (p + v b) x (a + v e) = 0, for the v of a root whose
    // own v cannot be read off.
    double vr[2];
    int nv = quadratic_roots(cross2(b, e), cross2(p, e) + cross2(b, a), cross2(p, a), vr);
    bool found = false;
    double best = 0, bu = 0, bv = 0;
    for (int i = 0; i < nu; i++) {
        double uu = ur[i];
        Point2d d{b.x + uu * e.x, b.y + uu * e.y};
        double dd = d.x * d.x + d.y * d.y;
        double vs[2];
        int n = 0;
        if (dd > 1e-300) {
            vs[n++] = -((p.x + uu * a.x) * d.x + (p.y + uu * a.y) * d.y) / dd;
        } else {
            for (int k = 0; k < nv; k++) vs[n++] = vr[k];
        }
        for (int k = 0; k < n; k++) {
            if (!std::isfinite(vs[k])) continue;
            // Of two solutions the one in (or nearest to) the square wins;
            // between equals the smaller u, found first.
            double o = outside(uu, vs[k]);
            if (!found || o < best) {
                found = true;
                best = o;
                bu = uu;
                bv = vs[k];
            }
        }
    }
    if (!found) return false;
    u = clamp01(bu);
    v = clamp01(bv);
    return true;
}

bool bilinear_hit_d(const Point2d c[4], double &u, double &v)
{
    // Boundary in order: C00-C10, C10-C11, C11-C01, C01-C00.
    static const int edge[4][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}};
    int count = 0;
    for (const auto &e : edge)
        if (crosses(c[e[0]], c[e[1]])) count++;
    if (!(count & 1)) return false;
    return bilinear_solve_d(c, u, v);
}

float loose_side_reach(float extent)
{
    return (float)(LOOSE_ULPS * FLT_EPSILON) * extent;
}

float loose_sides_extent(const Point *const corner[4], unsigned sides)
{
    static const struct {
        unsigned bit;
        int a, b;
    } side[4] = {{SIDE_V0, 0, 1}, {SIDE_V1, 2, 3}, {SIDE_U0, 0, 2}, {SIDE_U1, 1, 3}};
    float extent = 0;
    for (const auto &s : side) {
        if (!(sides & s.bit)) continue;
        for (int k = 0; k < 3; k++)
            extent = std::max(extent, std::max(std::fabs((*corner[s.a])[k]), std::fabs((*corner[s.b])[k])));
    }
    return extent;
}

bool near_quad_side(const Point2d c[4], unsigned sides, double tolerance, double &u, double &v)
{
    // Each side from its (u, v) = 0 end, with the fixed parameter's value.
    static const struct {
        unsigned bit;
        int a, b;
        bool along_u;
        double fixed;
    } side[4] = {{SIDE_V0, 0, 1, true, 0}, {SIDE_V1, 2, 3, true, 1}, {SIDE_U0, 0, 2, false, 0}, {SIDE_U1, 1, 3, false, 1}};
    double best = tolerance * tolerance;
    bool found = false;
    for (const auto &s : side) {
        if (!(sides & s.bit)) continue;
        const Point2d &a = c[s.a], &b = c[s.b];
        double ex = b.x - a.x, ey = b.y - a.y, len2 = ex * ex + ey * ey;
        double t = len2 > 0 ? -(a.x * ex + a.y * ey) / len2 : 0;
        t = clamp01(t);
        double px = a.x + t * ex, py = a.y + t * ey, d2 = px * px + py * py;
        // NaN corners compare false and never come near.
        if (!(d2 <= best)) continue;
        best = d2;
        found = true;
        u = s.along_u ? t : s.fixed;
        v = s.along_u ? s.fixed : t;
    }
    return found;
}

Intersection *quad_ray_hit(const Ray &ray, const Point &p00, const Point &p10, const Point &p01, const Point &p11,
                           GPrimitive *owner, unsigned loose_sides)
{
    const Point &d = ray.dir, &o = ray.origin;
    int a, b;
    if (std::fabs(d.x) > 0.5f) a = 1, b = 2;
    else if (std::fabs(d.y) > 0.5f) a = 0, b = 2;
    else a = 0, b = 1;
    const Point *corner[4] = {&p00, &p10, &p01, &p11};
    Point2d q[4];
    for (int k = 0; k < 4; k++) {
        double D[3] = {(double)corner[k]->x - o.x, (double)corner[k]->y - o.y, (double)corner[k]->z - o.z};
        double t = D[0] * d.x + D[1] * d.y + D[2] * d.z;
        q[k] = Point2d{D[a] - d[a] * t, D[b] - d[b] * t};
    }
    double u, v;
    if (!bilinear_hit_d(q, u, v)) {
        if (!loose_sides) return nullptr;
        // Rounding apart is relative to the size of the loose sides'
        // coordinates: a far corner elsewhere must not widen them.
        float extent = loose_sides_extent(corner, loose_sides);
        if (!near_quad_side(q, loose_sides, loose_side_reach(extent), u, v)) return nullptr;
    }
    float fu = (float)u, fv = (float)v;
    Point P = bilerp_points(p00, p10, p01, p11, fu, fv);
    int axis = std::fabs(d.x) > 0.1f ? 0 : std::fabs(d.y) > 0.1f ? 1 : std::fabs(d.z) > 0.1f ? 2 : -1;
    if (axis < 0) return nullptr;
    float t = (P[axis] - o[axis]) / d[axis];
    if (!std::isfinite(t)) return nullptr;
    Intersection *h = new Intersection(owner, t, ray.time);
    h->gu = h->u = fu;
    h->gv = h->v = fv;
    h->Pobj = P;
    return h;
}
