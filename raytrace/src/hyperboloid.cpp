// The hyperboloid: a line segment swept about the z axis.
#include <algorithm>
#include <cmath>

#include "raytrace/quadric.h"
#include "raytrace/surface_hooks.h"

namespace {

const float PI_F = 3.1415927f;

float radial(const Point &p) { return std::sqrt(p.x * p.x + p.y * p.y); }

int ceil_at_least(float x, int lo)
{
    if (!(x > -1e9f)) return lo;
    if (x > 1e9f) return 1000000000;
    return std::max((int)std::ceil(x), lo);
}

float angle_of(const Point &p)
{
    return (std::fabs(p.x) < 1e-10f && std::fabs(p.y) < 1e-10f) ? 0.0f : std::atan2(p.y, p.x);
}

} // namespace

GHyperboloid::GHyperboloid(const Point &a, const Point &b, float tmax)
    : GQuadric(GP_HYPERBOLOID, std::max(radial(a), radial(b)), std::min(a.z, b.z), std::max(a.z, b.z), tmax),
      p1(a), p2(b)
{
    height = b.z - a.z;
    if (height < 0) {
        signs |= QS_REVERSED_Z;
        flags ^= GPF_NEGATED;
    }
    lower = a.z <= b.z ? a : b;
    Point upper = a.z <= b.z ? b : a;
    d = upper - lower;
    double dz = d.z;
    k0 = (double)lower.x * lower.x + (double)lower.y * lower.y;
    k1 = dz != 0 ? ((double)lower.x * d.x + (double)lower.y * d.y) / dz : 0;
    k2 = dz != 0 ? ((double)d.x * d.x + (double)d.y * d.y) / (dz * dz) : 0;
    start_angle = angle_of(a);
    angle_change = angle_of(b) - start_angle;
}

bool GHyperboloid::degenerate() const
{
    return !(std::fabs(height) > 0) || !(std::fabs(thetamax) > 0) || !(radius > 0) || !std::isfinite(radius) ||
           !std::isfinite(height);
}

void GHyperboloid::bound(Bound &b)
{
    b = Bound(-radius, radius, -radius, radius, zmin, zmax);
}

IntersectionList GHyperboloid::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    double Ox = ray.origin.x, Oy = ray.origin.y, Dx = ray.dir.x, Dy = ray.dir.y, Dz = ray.dir.z;
    double w = (double)ray.origin.z - lower.z;
    double a = Dx * Dx + Dy * Dy - Dz * Dz * k2;
    double b = 2 * (Dy * Oy + Dx * Ox - Dz * (k1 + k2 * w));
    double c = Ox * Ox + Oy * Oy - k0 - (k2 * w + 2 * k1) * w;
    solve(l, ray, a, b, c);
    return l;
}

Intersection *GHyperboloid::make_hit(const Ray &ray, float t)
{
    if (!ray.keeps(t)) return nullptr;
    Point P = ray.origin + ray.dir * t;
    if (!in_z_range(P.z)) return nullptr;
    float gv = (P.z - p1.z) / (p2.z - p1.z);
    // Angle about the axis, measured from the generating line's own point at
    // this height: a skew line turns non-linearly as it rises.
    Point L = p1 * (1 - gv) + p2 * gv;
    float theta = angle_of(P) - angle_of(L);
    if (signs & QS_NEG_RADIUS) theta -= PI_F;
    if (theta <= -2 * PI_F) theta += 2 * PI_F;
    if (!in_sweep(theta)) return nullptr;
    Intersection *h = new Intersection(this, t, ray.time);
    h->gu = theta;
    h->gv = gv;
    h->Pobj = P;
    return h;
}

void GHyperboloid::fill_hit(Intersection *sv)
{
    if (!sv->whichpiece) {
        sv->gu /= thetamax;
        eval_normal(sv->gu, sv->gv, sv->time, sv->Ng);
    }
    // The derivative normal already carries the sweep and z direction.
    sv->u = sv->gu;
    sv->v = sv->gv;
    GSurface::fill_hit(sv);
}

void GHyperboloid::eval_point(float u, float v, float, Point &P)
{
    float theta = u * thetamax;
    Point L = p1 * (1 - v) + p2 * v;
    float c = std::cos(theta), s = std::sin(theta);
    P = Point(L.x * c - L.y * s, L.x * s + L.y * c, L.z);
}

void GHyperboloid::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    float theta = u * thetamax;
    Point L = p1 * (1 - v) + p2 * v, dL = p2 - p1;
    float c = std::cos(theta), s = std::sin(theta);
    dPdu = Point(thetamax * (-L.x * s - L.y * c), thetamax * (L.x * c - L.y * s), 0);
    dPdv = Point(dL.x * c - dL.y * s, dL.x * s + dL.y * c, dL.z);
}

void GHyperboloid::eval_normal(float u, float v, float time, Point &N)
{
    Point du, dv;
    eval_derivs(u, v, time, du, dv);
    N = normalize(cross(du, dv));
}

void GHyperboloid::radiosity_mesh_size(float p, int &nu, int &nv)
{
    nu = ceil_at_least((std::max(radial(p1), radial(p2)) * std::fabs(thetamax) - 0.01f) / p, 4);
    nv = ceil_at_least((profile_length() - 0.01f) / p, 1);
}
