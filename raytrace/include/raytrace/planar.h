// What the planar primitives (triangles, polygons, polygons with holes) share:
// the plane test of a ray, the crossing-number test in the plane projected
// along the normal's dominant axis, the inverse of the bilinear map over
// their first corners and the corner order of their vertex data.
#pragma once
#include "raytrace/gprim.h"
#include "raytrace/ray.h"

// The distance t and point P where the ray meets the plane N . P = d; false
// when the ray runs parallel to it (|N . D| below 1e-10) or anything is NaN.
bool plane_hit(const Point &N, float d, const Ray &ray, float &t, Point &P);

// Whether P lies in the box, faces included (NaN never does).
bool inside_box(const Bound &b, const Point &P);

// The two axes of the plane of projection: (y, z) when |N.x| > 0.5, else
// (x, z) when |N.y| > 0.5, else (x, y).
void projection_axes(const Point &N, int &a, int &b);

// What the crossing test saw: the last crossing counted (left of the point)
// and the last one not counted, each as its edge's first vertex and the
// fraction along the edge; -1 when there was none.
struct Crossings {
    int counted_edge = -1;
    float counted_f = 0;
    int other_edge = -1;
    float other_f = 0;
};

// Crossing-number test of the point (px, py) against the closed loop of
// count 2-d vertices (x, y pairs): an edge whose ends lie on either side of
// py (one at or above it) crosses; crossings left of the point count.
// Returns 1 when the count is odd. c (optional) records the crossings.
int polygon_crossings(int count, const double p[2], const double *xy, Crossings *c = nullptr);
// The same over 3-d vertices seen along their axes a and b, without copying them.
int polygon_crossings(int count, const double p[2], const Point *V, int a, int b, Crossings *c = nullptr);

// The parameters (gu, gv) of the point P under the bilinear map over the
// corners c[0..3] = C00, C10, C01, C11 in the plane of unit normal N. A
// three-vertex map has c[3] == c[2]; triangle selects its guard of a zero
// denominator.
void bilinear_inverse(const Point c[4], const Point &N, const Point &P, bool triangle, float &gu, float &gv);

// The point of the bilinear map over the corners at (u, v), and its derivatives.
Point bilinear_point(const Point c[4], float u, float v);
void bilinear_derivs(const Point c[4], float u, float v, Point &dPdu, Point &dPdv);

// Rearranges the per-vertex data ("vertex" and "varying") of a list holding
// nverts values per variable so that its first four values are those of the
// vertices at corner[0..3]: the order in which surfaces interpolate.
void order_vertex_data(VertexVarList &list, int nverts, const int corner[4]);

// The "N" vertex variable interpolated at (u, v) over its first four
// values; false when the surface has none.
bool vertex_normal_at(const VertexVarList &list, float u, float v, Point &N);

// Completes a hit of a planar surface with unit normal N (already oriented)
// and map corners c: u and v are the object-space x and y of the hit, (gu, gv)
// its parameters under the map (kept from the grid for a diced hit), then
// the surface fill; without texture-coordinate variables s and t stay u and
// v with unit derivatives.
void planar_fill_hit(GSurface *s, Intersection *sv, const Point &N, const Point c[4], bool triangle);

// The hit of a planar surface at distance t and object-space point P, with
// the crossings of its loop of count vertices starting at vertex first
// (edge vertices in v1, v2 for the counted crossing and v3, v4 for the other,
// their fractions in i1, i2).
Intersection *planar_hit(GPrimitive *o, const Ray &ray, float t, const Point &P, const Crossings &c, int first,
                         int count);

// The surface kind of triangles and polygons: a unit normal, a plane constant
// and a bilinear map over four corners, from which hits are completed and
// points, derivatives and normals evaluated.
class GPlanar : public GSurface {
public:
    void fill_hit(Intersection *sv) override;
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    // The corners of the parametric map (C00, C10, C01, C11).
    virtual void corners(Point c[4]) const = 0;
    // The parameters (gu, gv) of an object-space point of the plane.
    void plane_uv(const Point &P, float &gu, float &gv) const;

    Point N;          // unit face normal, oriented
    float d = 0;      // plane constant N . (first vertex)

protected:
    // triangle selects the three-corner map's guard of a zero denominator.
    GPlanar(uint16_t type, bool triangle) : GSurface(type), triangle_(triangle) {}
    GPlanar(const GPlanar &o) = default;
    bool triangle_;
};
