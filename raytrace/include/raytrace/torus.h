// The torus: a surface swept by a circle of the minor radius about the z axis
// at the major radius, limited to a range of tube angles and a sweep. Its ray
// equation is a quartic whose roots are isolated by interval splitting.
#pragma once
#include "raytrace/gprim.h"
#include "raytrace/ray.h"

// Bits of GTorus::signs.
enum { TS_NEG_MAJOR = 1, TS_NEG_MINOR = 2, TS_NEG_SWEEP = 4, TS_NEG_PHI = 8 };

// The quartic in the distance along a ray: c[k] is the coefficient of s^k.
struct TorusQuartic {
    double c[5];
    // f and its derivative at s.
    void eval(double s, double &f, double &df) const;
};

// Roots kept per ray (a quartic has four; one more for a split point).
const int TORUS_MAX_ROOTS = 5;

// Isolates the roots of q in [lo, hi] into roots[index], roots[index + 1]...:
// sections wider than max_width are halved, a sign change is bisected down to
// tolerance, a section whose derivative changes sign is halved down to
// 0.00001, each call taking a step of the budget. Returns how many it stored.
int torus_quartic(const TorusQuartic &q, double roots[TORUS_MAX_ROOTS], int index, double lo, double hi,
                  double tolerance, double max_width, int budget);

class GTorus : public GSurface {
public:
    // RI arguments: angles in degrees.
    GTorus(float major, float minor, float phimin_degrees, float phimax_degrees, float thetamax_degrees);
    GTorus(const GTorus &o) = default;

    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    void mesh_radiosity() override;
    GPrimitive *copy() override { return new GTorus(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;

    // The hit of the ray at distance t, or null outside the sweep or the tube range.
    Intersection *make_hit(const Ray &ray, float t);
    // The quartic of a ray from P0 along the unit direction D.
    TorusQuartic quartic(const DPoint &P0, const DPoint &D) const;
    // True when no ray can hit it (a zero radius, sweep or tube range, or NaN).
    bool degenerate() const;
    // The radiosity patch counts around the axis (nu) and around the tube (nv).
    void radiosity_mesh_size(float patch, int &nu, int &nv) const;

    float R, r;               // major and minor radius
    float phimin, phimax;     // tube-angle range, radians
    float thetamax;           // sweep, radians
    float R2, r2, extent, dphi;
    uint8_t signs = 0;
};
