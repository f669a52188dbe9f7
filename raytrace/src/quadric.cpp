// The quadric family's shared machinery, and the sphere.
#include "raytrace/quadric.h"

#include <cmath>
#include <limits>

#include "raytrace/surface_hooks.h"
#include "ri/renderer.h"
#include "sampling/random.h"
#include "sampling/sampling.h"

namespace {

const float PI_F = 3.1415927f;
const float TWO_PI_F = 6.2831855f;

// asin of a ratio clamped to [-1, 1] (a z beyond the radius is the pole).
float clamped_asin(float r)
{
    if (!(r > -1)) r = -1;
    if (r > 1) r = 1;
    return std::asin(r);
}

int ceil_int(float x)
{
    if (!(x > -1e9f)) return 0;
    if (x > 1e9f) return 1000000000;
    return (int)std::ceil(x);
}

} // namespace

// ---- GQuadric ------------------------------------------------------------

GQuadric::GQuadric(uint16_t t, float r, float lo, float hi, float tmax_deg)
    : GSurface(t), radius(r), zlo(lo), zhi(hi), thetamax(radians(tmax_deg)), radius2(r * r), height(hi - lo)
{
    zmin = lo < hi ? lo : hi;
    zmax = lo < hi ? hi : lo;
    if (radius < 0) signs |= QS_NEG_RADIUS;
    if (thetamax < 0) {
        signs |= QS_NEG_SWEEP;
        flags ^= GPF_NEGATED;
    }
    if (height < 0) {
        signs |= QS_REVERSED_Z;
        flags ^= GPF_NEGATED;
    }
}

bool GQuadric::degenerate() const
{
    return !(std::fabs(radius) > 0) || !(std::fabs(thetamax) > 0) || !(std::fabs(height) > 0) ||
           !std::isfinite(radius) || !std::isfinite(zlo) || !std::isfinite(zhi);
}

float GQuadric::azimuth(const Point &P) const
{
    float phi = (std::fabs(P.x) < 1e-10f && std::fabs(P.y) < 1e-10f) ? 0.0f : std::atan2(P.y, P.x);
    if (signs & QS_NEG_RADIUS) phi -= PI_F;
    return phi;
}

bool GQuadric::in_sweep(float &phi) const
{
    if (!(signs & QS_NEG_SWEEP)) {
        if (phi < 0) phi += TWO_PI_F;
        return phi <= thetamax;
    }
    if (phi > 0) phi -= TWO_PI_F;
    return phi >= thetamax;
}

bool GQuadric::in_z_range(float z) const
{
    // Rounding of the hit point must not cut a ray through a pole or a rim.
    float tol = 1e-6f * (std::fabs(zmin) + std::fabs(zmax) + std::fabs(radius));
    return z >= zmin - tol && z <= zmax + tol;
}

Intersection *GQuadric::make_hit(const Ray &ray, float t)
{
    if (!ray.keeps(t)) return nullptr;
    Point P = ray.origin + ray.dir * t;
    if (!in_z_range(P.z)) return nullptr;
    if (type == GP_SPHERE && !(signs & QS_NEG_SWEEP) && thetamax >= TWO_PI_F) {
        // A whole sweep takes every angle: the angle is worked out only when
        // the hit is shaded (most hits never are).
        Intersection *h = new Intersection(this, t, ray.time);
        h->gu = std::numeric_limits<float>::quiet_NaN();
        h->Pobj = P;
        return h;
    }
    float phi = azimuth(P);
    if (!in_sweep(phi)) return nullptr;
    Intersection *h = new Intersection(this, t, ray.time);
    h->gu = phi;
    h->Pobj = P;
    return h;
}

void GQuadric::two_hits(IntersectionList &l, Intersection *h1, Intersection *h2)
{
    l.add(h1);
    l.add(h2);
}

void GQuadric::solve(IntersectionList &l, const Ray &ray, double a, double b, double c)
{
    if (std::fabs(a) >= 1e-10) {
        double disc = b * b - 4 * a * c;
        // Tangent rays miss; NaN too.
        if (!(disc >= 1e-10)) return;
        double s = std::sqrt(disc);
        // A sphere's unit direction makes 2a exactly 1: dividing by it changes
        // nothing, and a division is slow.
        const double two_a = 2 * a;
        float t1 = (float)(two_a == 1.0 ? s - b : (s - b) / two_a);
        float t2 = (float)(two_a == 1.0 ? -b - s : (-b - s) / two_a);
        // A ray starting on the surface gets neither root.
        if (!(std::fabs(t1) >= 1e-10f)) return;
        two_hits(l, make_hit(ray, t1), make_hit(ray, t2));
        return;
    }
    if (!(std::fabs(b) >= 1e-10)) return;
    float t = (float)(-c / b);
    if (!(std::fabs(t) >= 1e-10f)) return;
    l.add(make_hit(ray, t));
}

void GQuadric::finish_hit(Intersection *sv)
{
    if (flags & GPF_NEGATED) sv->Ng = -sv->Ng;
    sv->u = sv->gu;
    sv->v = sv->gv;
    GSurface::fill_hit(sv);
}

void GQuadric::radiosity_mesh_size(float p, int &nu, int &nv)
{
    nu = std::max(ceil_int((std::fabs(radius * thetamax) - 0.001f) / p), ceil_int(std::fabs(thetamax) * 0.6350282229366625f));
    nv = std::max(ceil_int((profile_length() - 0.001f) / p), 2);
}

float GQuadric::profile_length()
{
    // Elements follow the surface, not its height: a sphere's arc, a cone's
    // slant, a flat hyperboloid's width.
    const int k = 64;
    double sum = 0;
    Point a, b;
    eval_point(0, 0, 0, a);
    for (int i = 1; i <= k; ++i) {
        eval_point(0, static_cast<float>(i) / k, 0, b);
        sum += (b - a).length();
        a = b;
    }
    return sum == sum ? static_cast<float>(sum) : 0.0f;
}

void GQuadric::mesh_radiosity()
{
    if (!attrs.is_set()) {
        GSurface::mesh_radiosity();   // reports the missing state
        return;
    }
    float p = attrs->rad_patchsize;
    float open = current_renderer ? current_renderer->options.shutter_open : 0;
    if (xform.is_set()) p = xform->length_from_world(p, open);
    if (!(p > 0)) return;
    int nu, nv;
    radiosity_mesh_size(p, nu, nv);
    mesh_radiosity_grid(this, nu, nv);
}

// ---- GSphere -------------------------------------------------------------

GSphere::GSphere(float r, float lo, float hi, float tmax) : GQuadric(GP_SPHERE, r, lo, hi, tmax)
{
    phimin = clamped_asin(r != 0 ? lo / r : 0);
    phimax = clamped_asin(r != 0 ? hi / r : 0);
    dphi = phimax - phimin;
}

void GSphere::bound(Bound &b)
{
    float r = std::fabs(radius);
    b = Bound(-r, r, -r, r, zmin, zmax);
}

IntersectionList GSphere::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    DPoint O(ray.origin.x, ray.origin.y, ray.origin.z), D(ray.dir.x, ray.dir.y, ray.dir.z);
    solve(l, ray, 0.5, dot(D, O), (dot(O, O) - (double)radius2) * 0.5);
    return l;
}

void GSphere::fill_hit(Intersection *sv)
{
    if (!sv->whichpiece) {
        const Point &P = sv->Pobj;
        sv->Ng = P;
        if (std::isnan(sv->gu)) {
            // The angle make_hit left for later.
            float phi = azimuth(P);
            in_sweep(phi);
            sv->gu = phi;
        }
        sv->gu = sv->gu / thetamax;
        float ratio = radius != 0 ? P.z / radius : 0;
        float lat;
        if (ratio > 0.9999999f) lat = 1.5707964f;
        else if (ratio < -0.9999999f) lat = -1.5707964f;
        else lat = clamped_asin(ratio);
        sv->gv = dphi != 0 ? (lat - phimin) / dphi : 0;
    }
    finish_hit(sv);
}

void GSphere::eval_point(float u, float v, float, Point &P)
{
    float theta = u * thetamax, phi = phimin + v * dphi;
    P = Point(radius * std::cos(theta) * std::cos(phi), radius * std::sin(theta) * std::cos(phi),
              radius * std::sin(phi));
}

void GSphere::eval_normal(float u, float v, float, Point &N)
{
    float theta = u * thetamax, phi = phimin + v * dphi;
    N = Point(std::cos(theta) * std::cos(phi), std::sin(theta) * std::cos(phi), std::sin(phi));
    if (flags & GPF_NEGATED) N = -N;
}

void GSphere::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    float theta = u * thetamax, phi = phimin + v * dphi;
    float c = std::cos(phi), rp = radius * dphi * std::sin(phi);
    dPdu = Point(-radius * thetamax * c * std::sin(theta), radius * thetamax * c * std::cos(theta), 0);
    dPdv = Point(-std::cos(theta) * rp, -std::sin(theta) * rp, radius * dphi * c);
}

bool GSphere::reparam(float &, float &v)
{
    // Uniform in z is uniform in area on a sphere.
    if (dphi == 0 || radius == 0) return false;
    v = (clamped_asin((height * v + zlo) / radius) - phimin) / dphi;
    return true;
}

void GSphere::radiosity_mesh_size(float p, int &nu, int &nv)
{
    GQuadric::radiosity_mesh_size(p, nu, nv);
    // Around, by the widest circle of the zone: a cap off the equator is narrower.
    const float widest = phimin <= 0 && phimax >= 0 ? 1.0f : std::max(std::cos(phimin), std::cos(phimax));
    nu = std::max(ceil_int((std::fabs(radius * thetamax) * widest - 0.001f) / p),
                  ceil_int(std::fabs(thetamax) * 0.6350282229366625f));
}

float GSphere::area_sample(const Point &Q, int i, int n, float time, ShaderVars *sv)
{
    // Only a whole sphere seen from outside samples its visible cap.
    bool whole = std::fabs(thetamax) >= TWO_PI_F - 1e-4f && zmin <= -std::fabs(radius) && zmax >= std::fabs(radius);
    Point q = Q;
    if (xform.is_set()) xform->point_from_world(Q.data(), q.data(), time);
    float r = std::fabs(radius);
    float d = q.length();
    if (!whole || !(d > r * 1.0001f)) return GSurface::area_sample(Q, i, n, time, sv);
    float sin_a = r / d, cos_a = std::sqrt(std::max(0.0f, 1 - sin_a * sin_a));
    Point axis = -q / d;
    Point dir = sample_cone_direction(i, n, area_sample_seed() + 8103, axis, std::asin(sin_a));
    // Nearest root of q + s dir on the sphere (a grazing direction takes the tangent point).
    float b = dot(dir, q);
    float disc = b * b - (dot(q, q) - r * r);
    float s = -b - std::sqrt(std::max(0.0f, disc));
    Point P = q + dir * s;
    float theta = std::atan2(P.y, P.x);
    if (signs & QS_NEG_RADIUS) theta -= PI_F;
    if (!in_sweep(theta)) theta = 0;
    float u = thetamax != 0 ? theta / thetamax : 0;
    float v = dphi != 0 ? (clamped_asin(P.z / radius) - phimin) / dphi : 0;
    float cosine = area_sample_at(Q, u, v, time, sv);
    (void)cosine;
    // Density of the cone in the surface's area measure, against uniform
    // sampling of the whole sphere: 2 pi (1 - cos a) s^2 / (4 pi r^2).
    return (1 - cos_a) * s * s / (2 * r * r);
}
