#include "raytrace/torus.h"

#include <cmath>

#include "mesh_size.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/surface_hooks.h"
#include "ri/primvars.h"
#include "ri_common/rierror.h"

namespace {

const float PI_F = 3.1415927f;
const float TWO_PI_F = 6.2831855f;
// Budget of steps of one section of the root search.
const int ROOT_BUDGET = 50;
// Sections a ray's range is cut into at most: a very thin torus would
// otherwise split each ray into millions of pieces.
const double MAX_SECTIONS = 1024;

} // namespace

// ---- the quartic ---------------------------------------------------------

void TorusQuartic::eval(double s, double &f, double &df) const
{
    f = (((c[4] * s + c[3]) * s + c[2]) * s + c[1]) * s + c[0];
    df = ((4 * c[4] * s + 3 * c[3]) * s + 2 * c[2]) * s + c[1];
}

int torus_quartic(const TorusQuartic &q, double roots[TORUS_MAX_ROOTS], int index, double lo, double hi,
                  double tolerance, double max_width, int budget)
{
    for (;;) {
        if (index >= TORUS_MAX_ROOTS || budget < 1) return 0;
        budget--;
        double width = hi - lo;
        double mid = 0.5 * (lo + hi);
        if (width > max_width) {
            int n = torus_quartic(q, roots, index, lo, mid, tolerance, max_width, ROOT_BUDGET);
            return n + torus_quartic(q, roots, index + n, mid, hi, tolerance, max_width, ROOT_BUDGET);
        }
        double flo, dflo, fhi, dfhi;
        q.eval(lo, flo, dflo);
        q.eval(hi, fhi, dfhi);
        if (!(flo * fhi < 0)) {
            // Two roots (or none) in the section: only a turn of f can hold them.
            if (!(dflo * dfhi < 0) || width < 0.00001) return 0;
            int n = torus_quartic(q, roots, index, lo, mid, tolerance, max_width, budget);
            return n + torus_quartic(q, roots, index + n, mid, hi, tolerance, max_width, budget);
        }
        if (width < tolerance) {
            roots[index] = lo - width * flo / (fhi - flo);
            return 1;
        }
        double fmid, dfmid;
        q.eval(mid, fmid, dfmid);
        if (fmid == 0) {
            roots[index] = mid;
            return 1;
        }
        if ((fmid < 0) == (flo < 0)) lo = mid;
        else hi = mid;
    }
}

// ---- GTorus --------------------------------------------------------------

GTorus::GTorus(float major, float minor, float pmin, float pmax, float tmax)
    : GSurface(GP_TORUS), R(major), r(minor), phimin(radians(pmin)), phimax(radians(pmax)), thetamax(radians(tmax))
{
    R2 = R * R;
    r2 = r * r;
    extent = std::fabs(R) + std::fabs(r);
    dphi = phimax - phimin;
    if (R < 0) signs |= TS_NEG_MAJOR;
    if (r < 0) signs |= TS_NEG_MINOR;
    if (thetamax < 0) {
        signs |= TS_NEG_SWEEP;
        flags ^= GPF_NEGATED;
    }
    if (dphi < 0) {
        signs |= TS_NEG_PHI;
        flags ^= GPF_NEGATED;
    }
    bound(object_bound);
}

bool GTorus::degenerate() const
{
    return !(std::fabs(r) > 0) || !(std::fabs(thetamax) > 0) || !(std::fabs(dphi) > 0) || !std::isfinite(R) ||
           !std::isfinite(r) || !std::isfinite(phimin) || !std::isfinite(phimax) || !std::isfinite(thetamax);
}

void GTorus::bound(Bound &b)
{
    float ar = std::fabs(r);
    b = Bound(-extent, extent, -extent, extent, -ar, ar);
}

TorusQuartic GTorus::quartic(const DPoint &P0, const DPoint &D) const
{
    double o = dot(P0, D);
    double h = dot(P0, P0) - ((double)r2 + (double)R2);
    TorusQuartic q;
    q.c[4] = 1;
    q.c[3] = 4 * o;
    q.c[2] = 4 * (double)R2 * D.z * D.z + 4 * o * o + 2 * h;
    q.c[1] = 8 * (double)R2 * P0.z * D.z + 4 * o * h;
    q.c[0] = h * h - 4 * (double)R2 * ((double)r2 - P0.z * P0.z);
    return q;
}

IntersectionList GTorus::intersect(const Ray &ray)
{
    if (flags & GPF_DISPLACED) return intersect_grid(this, ray);
    IntersectionList l;
    Bound box;
    bound(box);
    float tnear, tfar;
    if (!ray.box_range(box, tnear, tfar)) return l;
    DPoint D(ray.dir.x, ray.dir.y, ray.dir.z);
    DPoint P0 = DPoint(ray.origin.x, ray.origin.y, ray.origin.z) + D * (double)tnear;
    TorusQuartic q = quartic(P0, D);
    for (double c : q.c)
        if (!std::isfinite(c)) return l;
    double width = (double)tfar - (double)tnear;
    if (!(width > 0)) return l;
    double ar = std::fabs(r);
    double max_width = ar * 0.25;
    if (width / max_width > MAX_SECTIONS) max_width = width / MAX_SECTIONS;
    double roots[TORUS_MAX_ROOTS];
    // The outermost points of the tube touch the box: a root there must not
    // sit on an end of the search, wherever rounding of the box distances put it.
    double tolerance = ar * 0.00125;
    double pad = std::fmax(tolerance, 1e-5 * (std::fabs(tnear) + std::fabs(tfar) + extent));
    int n = torus_quartic(q, roots, 0, -pad, width + pad, tolerance, max_width, ROOT_BUDGET);
    for (int i = 0; i < n; i++) l.add(make_hit(ray, (float)(tnear + roots[i])));
    return l;
}

Intersection *GTorus::make_hit(const Ray &ray, float t)
{
    if (!std::isfinite(t) || !ray.keeps(t)) return nullptr;
    Point P = ray.origin + ray.dir * t;
    float theta = std::atan2(P.y, P.x);
    if (signs & TS_NEG_MAJOR) theta -= PI_F;
    if (!(signs & TS_NEG_SWEEP)) {
        if (theta < 0) theta += TWO_PI_F;
        if (!(theta <= thetamax)) return nullptr;
    } else {
        if (theta > 0) theta -= TWO_PI_F;
        if (!(theta >= thetamax)) return nullptr;
    }
    float rho = std::sqrt(P.x * P.x + P.y * P.y);
    float across = rho - std::fabs(R);
    if (signs & TS_NEG_MAJOR) across = -across;
    float phi = std::atan2(P.z, across);
    if (signs & TS_NEG_MINOR) {
        phi -= PI_F;
        if (phi < -PI_F) phi += TWO_PI_F;
    }
    float lo = dphi >= 0 ? phimin : phimax, hi = dphi >= 0 ? phimax : phimin;
    if (phi < 0 && lo >= 0) phi += TWO_PI_F;
    else if (phi > 0 && lo < 0 && hi <= 0) phi -= TWO_PI_F;
    if (!(phi >= lo && phi <= hi)) return nullptr;
    Intersection *h = new Intersection(this, t, ray.time);
    h->gu = theta / thetamax;
    h->gv = (phi - phimin) / dphi;
    h->Pobj = P;
    return h;
}

void GTorus::fill_hit(Intersection *sv)
{
    sv->u = sv->gu;
    sv->v = sv->gv;
    if (!sv->whichpiece) eval_normal(sv->u, sv->v, sv->time, sv->Ng);
    GSurface::fill_hit(sv);
}

void GTorus::eval_point(float u, float v, float, Point &P)
{
    float phi = phimin + v * dphi, theta = u * thetamax;
    float ring = R + r * std::cos(phi);
    P = Point(ring * std::cos(theta), ring * std::sin(theta), r * std::sin(phi));
}

void GTorus::eval_derivs(float u, float v, float, Point &dPdu, Point &dPdv)
{
    float phi = phimin + v * dphi, theta = u * thetamax;
    float ct = std::cos(theta), st = std::sin(theta), cp = std::cos(phi), sp = std::sin(phi);
    float ring = R + r * cp;
    dPdu = Point(-ring * thetamax * st, ring * thetamax * ct, 0);
    dPdv = Point(-ct * r * dphi * sp, -st * r * dphi * sp, r * dphi * cp);
}

void GTorus::eval_normal(float u, float v, float time, Point &N)
{
    Point du, dv;
    eval_derivs(u, v, time, du, dv);
    N = cross(du, dv);
}

void GTorus::radiosity_mesh_size(float p, int &nu, int &nv) const
{
    float at = std::fabs(thetamax), ad = std::fabs(dphi);
    nu = std::max(patch_count((at * extent - 0.001f) / p), patch_count(at * 0.6350282f));
    nv = std::max(patch_count((ad * std::fabs(r) - 0.001f) / p), patch_count(ad * 0.6350282f));
}

void GTorus::mesh_radiosity()
{
    if (!attrs.is_set()) {
        GSurface::mesh_radiosity();   // reports the missing state
        return;
    }
    float p = radiosity_patch_size(this);
    if (!(p > 0)) return;
    int nu, nv;
    radiosity_mesh_size(p, nu, nv);
    mesh_radiosity_grid(this, nu, nv);
}

GPrimitive *make_torus(RtFloat major, RtFloat minor, RtFloat phimin, RtFloat phimax, RtFloat thetamax, RtInt n,
                       RtToken tokens[], RtPointer values[])
{
    GTorus *t = new GTorus(major, minor, phimin, phimax, thetamax);
    if (t->degenerate()) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate torus primitive ignored");
        delete t;
        return nullptr;
    }
    build_vertex_var_list(t->vertex_vars, 4, 4, 1, POSITION_NONE, n, tokens, values);
    return t;
}
