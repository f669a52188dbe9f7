// Inverting a bilinear map in a plane: whether a point lies inside a
// quadrilateral of four corners, and where. Bilinear patches and the
// micro-quads of diced grids project their corners onto a plane across the
// ray, so that the ray is the plane's origin, and ask these.
#pragma once
#include "raytrace/ray.h"

class GPrimitive;

// (1-u)(1-v) p00 + u(1-v) p10 + (1-u)v p01 + uv p11.
inline Point bilerp_points(const Point &p00, const Point &p10, const Point &p01, const Point &p11, float u, float v)
{
    return p00 * ((1 - u) * (1 - v)) + p10 * (u * (1 - v)) + p01 * ((1 - u) * v) + p11 * (u * v);
}

// A point of the projection plane.
struct Point2d {
    double x, y;
};

// Corners in patch order: (0,0), (1,0), (0,1), (1,1). True and (u, v) in
// [0, 1] when the origin lies inside the projected quadrilateral (an odd
// number of boundary crossings on the negative first axis); NaN never hits.
bool bilinear_hit_d(const Point2d c[4], double &u, double &v);
// The parameters at which the bilinear map of the corners reaches the origin,
// clamped to [0, 1]; false when there is no solution.
bool bilinear_solve_d(const Point2d c[4], double &u, double &v);

// Sides of a quadrilateral (bits of a mask): v = 0, v = 1, u = 0, u = 1.
const unsigned SIDE_V0 = 1, SIDE_V1 = 2, SIDE_U0 = 4, SIDE_U1 = 8;

// How far outside its loose sides a quadrilateral whose corner coordinates
// reach extent in magnitude still takes rays.
float loose_side_reach(float extent);
// The largest coordinate magnitude of the corners (p00, p10, p01, p11) on
// the given sides: only they are rounded apart from a neighbour's.
float loose_sides_extent(const Point *const corner[4], unsigned sides);

// Whether the origin lies within tolerance of one of the given sides of the
// projected quadrilateral, and the (u, v) of the nearest point there.
bool near_quad_side(const Point2d c[4], unsigned sides, double tolerance, double &u, double &v);

// The hit of a ray with the bilinear quadrilateral of four corners (patch
// order), found in the plane across the ray: owner as its object, the
// quadrilateral's (u, v) in gu, gv and u, v, the point in Pobj, the distance
// along the ray measured on its steepest axis. Null on a miss. The sides in
// loose_sides also take rays passing within a few units of rounding outside
// them: a neighbour evaluated apart meets the quadrilateral there.
Intersection *quad_ray_hit(const Ray &ray, const Point &p00, const Point &p10, const Point &p01, const Point &p11,
                           GPrimitive *owner, unsigned loose_sides = 0);
