// The six swept quadrics: sphere, cone, disk, cylinder, hyperboloid and
// paraboloid. GQuadric holds the sweep and z range, the quadratic solver and
// the hit maker; each class adds its ray equation, bound, normal, (u, v)
// mapping, parametric form and radiosity mesh size.
#pragma once
#include "raytrace/gprim.h"
#include "raytrace/ray.h"

// Bits of GQuadric::signs.
enum { QS_NEG_RADIUS = 1, QS_NEG_SWEEP = 2, QS_REVERSED_Z = 4 };

class GQuadric : public GSurface {
public:
    // Stores the common fields; a negative sweep and a reversed z extent each
    // toggle GPF_NEGATED.
    GQuadric(uint16_t type, float radius, float zlo, float zhi, float thetamax_degrees);
    GQuadric(const GQuadric &o) = default;

    void mesh_radiosity() override;
    // 16: the hit of the ray at distance t, or null when P lies outside the
    // z range or the sweep.
    virtual Intersection *make_hit(const Ray &ray, float t);

    // Roots of a t^2 + b t + c = 0 through make_hit into l.
    void solve(IntersectionList &l, const Ray &ray, double a, double b, double c);
    // A list of the non-null hits, h1 first.
    static void two_hits(IntersectionList &l, Intersection *h1, Intersection *h2);
    // The sweep test: brings phi into the sweep's turn and answers whether
    // it lies within the sweep.
    bool in_sweep(float &phi) const;
    // Whether a hit's z lies in the z range (up to rounding).
    bool in_z_range(float z) const;
    // The azimuth of P for the sweep test (0 on the axis, turned by pi for a
    // negative radius).
    float azimuth(const Point &P) const;
    // Patch counts of the radiosity mesh around and along the surface.
    virtual void radiosity_mesh_size(float patch, int &nu, int &nv);
    // The length of the surface along v (its profile curve at u = 0).
    float profile_length();
    // True when the shape has no area (a zero radius, height or sweep, or NaN).
    virtual bool degenerate() const;
    // Finishes a hit after the class set gu, gv and Ng: negation, u, v and the surface fill.
    void finish_hit(Intersection *sv);

    float radius, zlo, zhi, thetamax, radius2, height, zmin, zmax;
    uint8_t signs = 0;
};

class GSphere : public GQuadric {
public:
    GSphere(float radius, float zmin, float zmax, float thetamax);
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GSphere(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    float area_sample(const Point &Q, int i, int n, float time, ShaderVars *sv) override;
    bool reparam(float &u, float &v) override;
    void radiosity_mesh_size(float patch, int &nu, int &nv) override;

    float phimin, phimax, dphi;
};

class GCone : public GQuadric {
public:
    GCone(float height, float radius, float thetamax);
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GCone(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;

    float height2;
};

class GDisk : public GQuadric {
public:
    GDisk(float height, float radius, float thetamax, float inner_radius);
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GDisk(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    void radiosity_mesh_size(float patch, int &nu, int &nv) override;
    bool degenerate() const override;

    float inner;
};

class GCylinder : public GQuadric {
public:
    GCylinder(float radius, float zmin, float zmax, float thetamax);
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GCylinder(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    float area_sample(const Point &Q, int i, int n, float time, ShaderVars *sv) override;
    void radiosity_mesh_size(float patch, int &nu, int &nv) override;
};

class GHyperboloid : public GQuadric {
public:
    GHyperboloid(const Point &point1, const Point &point2, float thetamax);
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GHyperboloid(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    void radiosity_mesh_size(float patch, int &nu, int &nv) override;
    Intersection *make_hit(const Ray &ray, float t) override;
    bool degenerate() const override;

    Point p1, p2;          // the end points as given
    Point lower, d;        // the end points ordered by z: the lower one and the difference
    double k0, k1, k2;
    float start_angle, angle_change;
};

class GParaboloid : public GQuadric {
public:
    GParaboloid(float rmax, float zmin, float zmax, float thetamax);
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GParaboloid(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    bool degenerate() const override;

    float k;
};
