// The quadrics and the torus as grids: u runs over the sweep angle, v along
// the surface; each normal is dPdu x dPdv (up to a positive factor), so it
// points to the side the grid's winding shows as the front.
#include <cmath>

#include "preview/glrenderer.h"

namespace {

float clamp_unit(float x)
{
    if (!(x >= -1)) return -1;
    return x > 1 ? 1 : x;
}

// Fills the grid by eval(u, v, point, normal) at u = j / nu, v = i / nv and
// draws it.
template <class Eval>
void draw_surface(GlRenderer &r, int default_u, int default_v, bool flip, RtInt n, RtToken tokens[],
                  RtPointer values[], Eval eval)
{
    if (!r.begin_primitive(n, tokens, values)) return;
    int nu, nv;
    r.grid_size(default_u, default_v, nu, nv);
    for (int i = 0; i <= nv; i++)
        for (int j = 0; j <= nu; j++) eval(float(j) / nu, float(i) / nv, r.grid[i][j], r.normals[i][j]);
    r.draw_grid(nu, nv, flip, false);
    r.end_primitive();
}

// The point and normal of a hyperboloid: the line from p1 to p2 turned about z.
void hyperboloid_at(const Point &p1, const Point &p2, float thetamax, float u, float v, Point &P, Point &N)
{
    float theta = u * thetamax, c = std::cos(theta), s = std::sin(theta);
    Point d = p2 - p1;
    Point L = p1 + d * v;
    P = Point(L.x * c - L.y * s, L.x * s + L.y * c, L.z);
    Point b(d.x * c - d.y * s, d.x * s + d.y * c, d.z);
    N = Point(P.x * d.z, P.y * d.z, -(P.x * b.x + P.y * b.y)) * thetamax;
}

} // namespace

void GlRenderer::add_sphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                            RtToken tokens[], RtPointer values[])
{
    if (radius == 0) return;
    float phimin = std::asin(clamp_unit(zmin / radius)), phimax = std::asin(clamp_unit(zmax / radius));
    float tmax = radians(thetamax);
    // The unit position is the normal: it points against the winding's front
    // when exactly one of the sweep and the z range runs backwards.
    bool flip = (tmax >= 0) != (zmin <= zmax);
    draw_surface(*this, 2 * tessellation, tessellation, flip, n, tokens, values,
                 [&](float u, float v, Point &P, Point &N) {
                     float theta = u * tmax, phi = phimin + v * (phimax - phimin);
                     N = Point(std::cos(theta) * std::cos(phi), std::sin(theta) * std::cos(phi), std::sin(phi));
                     P = N * radius;
                 });
}

void GlRenderer::add_cone(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                          RtPointer values[])
{
    float tmax = radians(thetamax);
    draw_surface(*this, 2 * tessellation, 1, false, n, tokens, values, [&](float u, float v, Point &P, Point &N) {
        float theta = u * tmax, c = std::cos(theta), s = std::sin(theta);
        P = Point((1 - v) * radius * c, (1 - v) * radius * s, v * height);
        N = Point(height * c, height * s, radius) * (tmax * radius);
    });
}

void GlRenderer::add_cylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                              RtToken tokens[], RtPointer values[])
{
    float tmax = radians(thetamax), h = zmax - zmin;
    draw_surface(*this, 2 * tessellation, 1, false, n, tokens, values, [&](float u, float v, Point &P, Point &N) {
        float theta = u * tmax;
        P = Point(radius * std::cos(theta), radius * std::sin(theta), zmin + v * h);
        N = Point(P.x, P.y, 0) * (tmax * h);
    });
}

void GlRenderer::add_disk(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                          RtPointer values[])
{
    float tmax = radians(thetamax);
    draw_surface(*this, 2 * tessellation, 1, false, n, tokens, values, [&](float u, float v, Point &P, Point &N) {
        float theta = u * tmax, rho = (1 - v) * radius;
        P = Point(rho * std::cos(theta), rho * std::sin(theta), height);
        N = Point(0, 0, tmax);
    });
}

void GlRenderer::add_paraboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                                RtToken tokens[], RtPointer values[])
{
    if (zmax == 0) return;
    float tmax = radians(thetamax), h = zmax - zmin;
    float k = rmax * rmax / (2 * std::fabs(zmax));
    draw_surface(*this, 2 * tessellation, tessellation, false, n, tokens, values,
                 [&](float u, float v, Point &P, Point &N) {
                     float theta = u * tmax, z = zmin + v * h;
                     float ratio = z / zmax;
                     float rho = rmax * std::sqrt(ratio > 0 ? ratio : 0);
                     P = Point(rho * std::cos(theta), rho * std::sin(theta), z);
                     N = Point(P.x, P.y, -k) * (tmax * h);
                 });
}

void GlRenderer::add_hyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                                 RtPointer values[])
{
    float tmax = radians(thetamax);
    Point p1 = Point::from(point1), p2 = Point::from(point2);
    int rows = tessellation / 4 > 1 ? tessellation / 4 : 1;
    draw_surface(*this, 2 * tessellation, rows, false, n, tokens, values, [&](float u, float v, Point &P, Point &N) {
        hyperboloid_at(p1, p2, tmax, u, v, P, N);
        // On the axis the normal vanishes: take it from just beside.
        if (dot(N, N) < 1e-20f) {
            Point unused;
            hyperboloid_at(p1, p2, tmax, u, v < 0.5f ? v + 1e-3f : v - 1e-3f, unused, N);
        }
    });
}

void GlRenderer::add_torus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax,
                           RtInt n, RtToken tokens[], RtPointer values[])
{
    float tmax = radians(thetamax), pmin = radians(phimin), dphi = radians(phimax) - pmin;
    draw_surface(*this, 2 * tessellation, tessellation, false, n, tokens, values,
                 [&](float u, float v, Point &P, Point &N) {
                     float theta = u * tmax, phi = pmin + v * dphi;
                     float ct = std::cos(theta), st = std::sin(theta), cp = std::cos(phi), sp = std::sin(phi);
                     float ring = majorrad + minorrad * cp;
                     P = Point(ring * ct, ring * st, minorrad * sp);
                     float sign = tmax * ring * minorrad * dphi;
                     N = Point(ct * cp, st * cp, sp) * (sign < 0 ? -1.0f : 1.0f);
                 });
}
