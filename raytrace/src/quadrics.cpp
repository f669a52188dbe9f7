// Cone, disk, cylinder and paraboloid.
#include <algorithm>
#include <cmath>

#include "raytrace/quadric.h"
#include "raytrace/surface_hooks.h"
#include "sampling/random.h"
#include "sampling/sampling.h"

namespace {

const float PI_F = 3.1415927f;
const float TWO_PI_F = 6.2831855f;

int ceil_at_least(float x, int lo)
{
    if (!(x > -1e9f)) return lo;
    if (x > 1e9f) return 1000000000;
    return std::max((int)std::ceil(x), lo);
}

Point unit_cross(const Point &a, const Point &b)
{
    return normalize(cross(a, b));
}

DPoint dp(const Point &p) { return DPoint(p.x, p.y, p.z); }

} // namespace

// ---- GCone ---------------------------------------------------------------

GCone::GCone(float h, float r, float tmax) : GQuadric(GP_CONE, r, 0, h, tmax), height2(h * h) {}

void GCone::bound(Bound &b)
{
    float r = std::fabs(radius);
    b = Bound(-r, r, -r, r, std::min(0.0f, height), std::max(0.0f, height));
}

IntersectionList GCone::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    DPoint O = dp(ray.origin), D = dp(ray.dir);
    double h = height, r2 = radius2, h2 = (double)height * height;
    double a = D.x * D.x + D.y * D.y - D.z * D.z * r2 / h2;
    double b = 2 * (D.y * O.y + D.x * O.x + D.z * (r2 / h) * (1 - O.z / h));
    double c = O.x * O.x + O.y * O.y + r2 * (O.z * (2 / h - O.z / h2) - 1);
    solve(l, ray, a, b, c);
    return l;
}

void GCone::fill_hit(Intersection *sv)
{
    if (!sv->whichpiece) {
        const Point &P = sv->Pobj;
        sv->Ng = Point(P.x, P.y, (height - P.z) * radius2 / height2);
        sv->gu /= thetamax;
        sv->gv = P.z / height;
    }
    finish_hit(sv);
}

void GCone::eval_point(float u, float v, float, Point &P)
{
    float theta = u * thetamax, rho = (1 - v) * radius;
    P = Point(rho * std::cos(theta), rho * std::sin(theta), v * height);
}

void GCone::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    float theta = u * thetamax, rho = (1 - v) * radius;
    dPdu = Point(-thetamax * rho * std::sin(theta), thetamax * rho * std::cos(theta), 0);
    dPdv = Point(-radius * std::cos(theta), -radius * std::sin(theta), height);
}

void GCone::eval_normal(float u, float v, float time, Point &N)
{
    // At the apex the u derivative vanishes: take it just below.
    Point du, dv;
    eval_derivs(u, std::min(v, 0.999f), time, du, dv);
    N = unit_cross(du, dv);
}

// ---- GDisk ---------------------------------------------------------------

GDisk::GDisk(float h, float r, float tmax, float in) : GQuadric(GP_DISK, r, h, h, tmax), inner(in)
{
    height = 0;
}

bool GDisk::degenerate() const
{
    return !(std::fabs(radius) > 0) || !(std::fabs(thetamax) > 0) || !(std::fabs(radius - inner) > 0) ||
           !std::isfinite(radius) || !std::isfinite(zlo) || !std::isfinite(inner);
}

void GDisk::bound(Bound &b)
{
    float r = std::fabs(radius);
    b = Bound(-r, r, -r, r, zlo - 0.01f * r, zlo + 0.01f * r);
}

IntersectionList GDisk::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    const Point &O = ray.origin, &D = ray.dir;
    if (!(std::fabs(D.z) >= 1e-10f)) return l;
    float t = (zlo - O.z) / D.z;
    Point P = O + D * t;
    float rho2 = P.x * P.x + P.y * P.y;
    if (!(rho2 >= inner * inner && rho2 <= radius2)) return l;
    float phi = azimuth(P);
    if (!in_sweep(phi) || !ray.keeps(t)) return l;
    Intersection *h = new Intersection(this, t, ray.time);
    h->gu = phi;
    h->Pobj = P;
    l.add(h);
    return l;
}

void GDisk::fill_hit(Intersection *sv)
{
    if (!sv->whichpiece) {
        const Point &P = sv->Pobj;
        sv->Ng = Point(0, 0, 1);
        sv->gu /= thetamax;
        sv->gv = 1 - (std::sqrt(P.x * P.x + P.y * P.y) - inner) / std::fabs(radius - inner);
    }
    finish_hit(sv);
}

void GDisk::eval_point(float u, float v, float, Point &P)
{
    float theta = u * thetamax, rho = inner + (1 - v) * (radius - inner);
    P = Point(rho * std::cos(theta), rho * std::sin(theta), zlo);
}

void GDisk::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    float theta = u * thetamax, rho = inner + (1 - v) * (radius - inner);
    dPdu = Point(-thetamax * rho * std::sin(theta), thetamax * rho * std::cos(theta), 0);
    dPdv = Point(-(radius - inner) * std::cos(theta), -(radius - inner) * std::sin(theta), 0);
}

void GDisk::eval_normal(float, float, float, Point &N)
{
    N = Point(0, 0, (flags & GPF_NEGATED) ? -1.0f : 1.0f);
}

void GDisk::radiosity_mesh_size(float p, int &nu, int &nv)
{
    nu = ceil_at_least((std::fabs(thetamax * radius) - 0.01f) / p, 3);
    nv = ceil_at_least((profile_length() - 0.01f) / p, 1);
}

// ---- GCylinder -----------------------------------------------------------

GCylinder::GCylinder(float r, float lo, float hi, float tmax) : GQuadric(GP_CYLINDER, r, lo, hi, tmax)
{
    flags |= GPF_BOUND_TEST;
}

void GCylinder::bound(Bound &b)
{
    float r = std::fabs(radius);
    b = Bound(-r, r, -r, r, zmin, zmax);
}

IntersectionList GCylinder::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    DPoint O = dp(ray.origin), D = dp(ray.dir);
    double a = D.x * D.x + D.y * D.y;
    // A ray along the axis never meets the wall.
    if (!(std::fabs(a) >= 1e-10)) return l;
    solve(l, ray, a, 2 * (D.x * O.x + D.y * O.y), O.x * O.x + O.y * O.y - (double)radius2);
    return l;
}

void GCylinder::fill_hit(Intersection *sv)
{
    if (!sv->whichpiece) {
        const Point &P = sv->Pobj;
        sv->Ng = Point(P.x, P.y, 0);
        sv->gu /= thetamax;
        sv->gv = (P.z - zlo) / height;
    }
    finish_hit(sv);
}

void GCylinder::eval_point(float u, float v, float, Point &P)
{
    float theta = u * thetamax;
    P = Point(radius * std::cos(theta), radius * std::sin(theta), zlo + v * height);
}

void GCylinder::eval_derivs(float u, float, float, Point &dPdu, Point &dPdv)
{
    float theta = u * thetamax;
    dPdu = Point(-thetamax * radius * std::sin(theta), thetamax * radius * std::cos(theta), 0);
    dPdv = Point(0, 0, height);
}

void GCylinder::eval_normal(float u, float v, float time, Point &N)
{
    Point du, dv;
    eval_derivs(u, v, time, du, dv);
    N = unit_cross(du, dv);
}

void GCylinder::radiosity_mesh_size(float p, int &nu, int &nv)
{
    GQuadric::radiosity_mesh_size(p, nu, nv);
    nv = ceil_at_least((std::fabs(height) - 0.001f) / p, 1);
}

float GCylinder::area_sample(const Point &Q, int i, int n, float time, ShaderVars *sv)
{
    Point q = Q;
    if (xform.is_set()) xform->point_from_world(Q.data(), q.data(), time);
    float r = std::fabs(radius);
    float dq = std::sqrt(q.x * q.x + q.y * q.y);
    bool whole = std::fabs(thetamax) >= TWO_PI_F - 1e-4f;
    if (!whole || !(dq > r * 1.0001f)) return GSurface::area_sample(Q, i, n, time, sv);
    // The arc of the wall seen from outside: within beta of the point's azimuth.
    float beta = std::acos(r / dq);
    float toward = std::atan2(q.y, q.x);
    if (signs & QS_NEG_RADIUS) toward += PI_F;   // the wall point at azimuth a lies at a + pi
    int32_t base = area_sample_seed();
    float nn = n > 0 ? (float)n : 1.0f;
    float a = ((float)sample_permutation(i, n, base + 3933) + random_uniform()) / nn;
    float b = ((float)sample_permutation(i, n, base + 2616) + random_uniform()) / nn;
    float theta = toward + (2 * a - 1) * beta;
    if (!in_sweep(theta)) theta = std::fmod(theta + 2 * TWO_PI_F, TWO_PI_F);
    float u = theta / thetamax;
    u -= std::floor(u);
    float cosine = area_sample_at(Q, u, b, time, sv);
    // Uniform over the visible arc against uniform over the whole wall.
    return cosine * (2 * beta) / TWO_PI_F;
}

// ---- GParaboloid ---------------------------------------------------------

GParaboloid::GParaboloid(float rmax, float lo, float hi, float tmax) : GQuadric(GP_PARABOLOID, rmax, lo, hi, tmax)
{
    height = std::fabs(hi - lo);
    k = radius2 != 0 ? zmax / radius2 : 0;
}

bool GParaboloid::degenerate() const
{
    return GQuadric::degenerate() || !(zmax != 0);
}

void GParaboloid::bound(Bound &b)
{
    float r = std::fabs(radius);
    b = Bound(-r, r, -r, r, zmin, zmax);
}

IntersectionList GParaboloid::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    DPoint O = dp(ray.origin), D = dp(ray.dir);
    double kk = (double)zmax / (double)radius2;
    solve(l, ray, (D.x * D.x + D.y * D.y) * kk, 2 * (D.x * O.x + D.y * O.y) * kk - D.z,
          (O.x * O.x + O.y * O.y) * kk - O.z);
    return l;
}

void GParaboloid::fill_hit(Intersection *sv)
{
    if (!sv->whichpiece) {
        const Point &P = sv->Pobj;
        sv->Ng = Point(2 * k * P.x, 2 * k * P.y, -1);
        sv->gu /= thetamax;
        sv->gv = (P.z - zmin) / height;
    }
    finish_hit(sv);
}

void GParaboloid::eval_point(float u, float v, float, Point &P)
{
    float theta = u * thetamax, z = zmin + v * height;
    float rho = radius * std::sqrt(std::max(0.0f, z / zmax));
    P = Point(rho * std::cos(theta), rho * std::sin(theta), z);
}

void GParaboloid::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    float theta = u * thetamax, z = zmin + v * height;
    float q = std::max(z / zmax, 1e-6f);
    float rho = radius * std::sqrt(q);
    float drho = radius * height / (2 * zmax * std::sqrt(q));
    dPdu = Point(-thetamax * rho * std::sin(theta), thetamax * rho * std::cos(theta), 0);
    dPdv = Point(drho * std::cos(theta), drho * std::sin(theta), height);
}

void GParaboloid::eval_normal(float u, float v, float time, Point &N)
{
    Point P;
    eval_point(u, v, time, P);
    N = normalize(Point(2 * k * P.x, 2 * k * P.y, -1));
    if (flags & GPF_NEGATED) N = -N;
}
