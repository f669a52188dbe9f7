// Polygons of four or more vertices and polygons with holes: a plane test, a
// box test and a crossing test in the projected plane; parametrised by the
// bilinear map over their first four vertices.
#pragma once
#include <cmath>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/planar.h"
#include "raytrace/ray.h"

class GPolygon : public GPlanar {
public:
    // Takes the vertices out of "P" (nverts points). A polygon without a
    // usable plane is reported and flagged never to be linked.
    GPolygon(int nverts, RtInt n, RtToken tokens[], RtPointer values[]);
    GPolygon(const GPolygon &o);
    ~GPolygon() override;

    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void mesh_radiosity() override;
    GPrimitive *copy() override { return new GPolygon(*this); }
    // The corners of the parametric map: V0, V1, V3, V2 (V0, V1, V2, V2 for an
    // outline of three vertices).
    void corners(Point c[4]) const override;

    int nverts = 0;
    std::vector<Point> verts;   // object space

protected:
    // The shared construction; outline is the vertex count of the outer loop.
    GPolygon(int nverts, int outline, RtInt n, RtToken tokens[], RtPointer values[]);
    // The plane point of a ray inside the box, projected: false on a miss.
    bool plane_point(const Ray &ray, float &t, Point &P, double p[2]) const;

    int outline = 0;            // vertices of the outer loop
    int axis_a = 0, axis_b = 1; // projection plane
};

// The face normal (not unit) of a polygon from its first corner; a corner
// too short to give one takes the next edge, and when that gives none
// either, the sum over the whole outline.
Point polygon_face_normal(const Point *V, int outline);
// A polygon's box, pulled out a little for rounding (as Bound's make_empty,
// merge, diagonal and expand make it: it is taken for mesh faces as rays meet them).
inline Bound polygon_bound(const Point *V, int n)
{
    Bound b = EMPTY_BOUND;
    for (int i = 0; i < n; i++)
        for (int a = 0; a < 3; a++) {
            if (V[i][a] < b[2 * a]) b[2 * a] = V[i][a];
            if (V[i][a] > b[2 * a + 1]) b[2 * a + 1] = V[i][a];
        }
    if (n > 0) {
        float dx = b[1] - b[0], dy = b[3] - b[2], dz = b[5] - b[4];
        b.expand(std::fmax(0.01f * std::sqrt(dx * dx + dy * dy + dz * dz), 0.01f));
    }
    return b;
}

class GGeneralPolygon : public GPolygon {
public:
    // nverts is the sum of the loop counts; loop 0 is the outline, the others holes.
    GGeneralPolygon(int nverts, int nloops, const RtInt loop_counts[], RtInt n, RtToken tokens[],
                    RtPointer values[]);
    GGeneralPolygon(const GGeneralPolygon &o) = default;

    IntersectionList intersect(const Ray &ray) override;
    GPrimitive *copy() override { return new GGeneralPolygon(*this); }

    int nloops = 0;
    std::vector<int> loop_counts;
};
