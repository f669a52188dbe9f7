// The triangle: a three-vertex polygon or a three-vertex face of a mesh,
// intersected by a plane test and a crossing test, parametrised by the
// bilinear map over P0, P1, P2, P2.
#pragma once
#include <cmath>

#include "raytrace/gprim.h"
#include "raytrace/planar.h"
#include "raytrace/ray.h"

class GTriangle : public GPlanar {
public:
    // Takes the vertices out of "P" (3 points); a triangle without area or
    // with a vertex of NaN is reported and flagged never to be linked.
    GTriangle(RtInt n, RtToken tokens[], RtPointer values[]);
    GTriangle(const GTriangle &o) = default;

    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void mesh_radiosity() override;
    GPrimitive *copy() override { return new GTriangle(*this); }
    // The corners of the parametric map: P0, P1, P2, P2.
    void corners(Point c[4]) const override;

    Point P0, P1, P2;
};

// The unit normal (reversed on request) and plane constant of a triangle;
// false after a warning when it has no area or a vertex of NaN.
bool triangle_plane(const Point &P0, const Point &P1, const Point &P2, bool reversed, Point &N, float &d);
// The unit normal of a triangle with area, reversed on request.
inline Point triangle_normal(const Point &P0, const Point &P1, const Point &P2, bool reversed)
{
    Point N = cross(P1 - P0, P2 - P1);
    N = N / N.length();
    return reversed ? -N : N;
}
// A triangle's box, pulled out a little for rounding (as Bound's merge,
// diagonal and expand make it: it is taken for every ray a mesh face meets).
inline Bound triangle_bound(const Point &P0, const Point &P1, const Point &P2)
{
    Bound b(P0);
    for (const Point *p : {&P1, &P2})
        for (int a = 0; a < 3; a++) {
            if ((*p)[a] < b[2 * a]) b[2 * a] = (*p)[a];
            if ((*p)[a] > b[2 * a + 1]) b[2 * a + 1] = (*p)[a];
        }
    float dx = b[1] - b[0], dy = b[3] - b[2], dz = b[5] - b[4];
    b.expand(std::fmax(0.001f * std::sqrt(dx * dx + dy * dy + dz * dz), 0.001f));
    return b;
}
// Whether the plane point P of a triangle with normal N lies inside it.
bool triangle_crossings(const Point &N, const Point &P0, const Point &P1, const Point &P2, const Point &P,
                        Crossings &c);
