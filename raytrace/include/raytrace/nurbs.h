// NURBS patches: non-uniform rational B-spline surfaces evaluated on their
// knot vectors and intersected through their micro-quad grids; hits on the
// trimmed side of the attribute state's trim loops are dropped.
#pragma once
#include <cstdint>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/ray.h"
#include "ri/refcount.h"

// The knots and control points of a patch, shared by its copies and pieces.
class NurbsData : public RefCounted {
public:
    // points: 4 floats ("Pw"), 1 ("Pz") or 3 ("P") per control point by kind.
    NurbsData(int nu, int uorder, const float *uknot, int nv, int vorder, const float *vknot, const float *points,
              int kind);
    ~NurbsData() override;
    // Appends the control points of a second key (same counts, orders and
    // weights, or none) as the shutter-close position.
    void add_key(const NurbsData &other);
    // width floats per control point at knot-space (s, t): the basis-weighted
    // sum of data (u varying fastest); with weights, the rational form.
    void eval(float s, float t, const float *data, int width, bool rational, float *out) const;
    // The homogeneous sums of points (x, y, z, w) and their s and t
    // derivatives at knot-space (s, t), from the given key.
    void eval_derivs(float s, float t, const float *key, float sum[4], float ds[4], float dt[4]) const;

    int16_t nu = 0, uorder = 0, nv = 0, vorder = 0;
    std::vector<float> block;        // u knots, v knots, points, weights, second-key points
    float *uknot = nullptr, *vknot = nullptr, *points = nullptr;
    float *weights = nullptr;        // rational patches only
    float *points2 = nullptr;        // moving patches only

private:
    void place(bool rational, bool moving);
    int64_t charged_ = 0;
};
using NurbsDataRef = Ref<NurbsData>;

class GNurbPatch : public GSurface {
public:
    // The knot vectors and ranges of RiNuPatch; ranges outside the knots are
    // corrected with a warning.
    GNurbPatch(int nu, int uorder, const float *uknot, float umin, float umax, int nv, int vorder,
               const float *vknot, float vmin, float vmax, const float *points, int kind);
    // A second key for the shutter close: false (with an error) when its
    // counts or orders differ.
    bool set_motion_key(const GNurbPatch &other);
    // A copy shares the knots and points.
    GNurbPatch(const GNurbPatch &o);

    void bound(Bound &b) override;
    // Through the grid; hits on the trimmed side are dropped.
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GNurbPatch(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    // Vertex data through the basis, varying data over its span's corners,
    // uniform data by span.
    void vertex_var_value(const VVData *vv, int words, float u, float v, float *out) override;

    // Knot-space parameters of 0..1 ones, clamped to the range.
    float knot_u(float u) const;
    float knot_v(float v) const;
    // The probe lattice of the first dicing.
    int dice_lattice() const;
    // Narrows the patch to a part of its knot ranges (a split piece).
    void set_range(float umin, float umax, float vmin, float vmax);

    NurbsDataRef data;
    float umin = 0, umax = 0, vmin = 0, vmax = 0;
    float urange = 0, vrange = 0;

private:
    float whole_[4] = {};   // umin, urange, vmin, vrange of the patch before any split
};

// Makes second (a NURBS patch) the shutter-close key of patch.
bool set_nurb_motion_key(GPrimitive *patch, GPrimitive *second);

// Bytes of knots and points held by NURBS data.
StatCounter &nurbs_memory();
