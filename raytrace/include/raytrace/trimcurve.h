// Trim curves of NURBS patches: rational B-spline loops in the (u, v)
// parameter plane that the attribute state holds. A point of the plane is
// inside when a ray from it towards -u crosses the loops an odd number of
// times; each curve is flattened once into a polyline for that count.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "ri/counters.h"
#include "ri/gstate.h"
#include "ri/refcount.h"
#include "ri_common/ri.h"

// The span i of a knot vector with knots[i] <= t < knots[i+1], searched
// upward from start; last when t >= knots[last].
int find_knot_span(float t, const float *knots, int last, int start);
// The order basis functions that are non-zero on the span at t (out[j] for
// function span - order + 1 + j), by the Cox-de Boor recursion; a zero-length
// knot interval contributes 0.
void bspline_basis(float t, int span, const float *knots, int order, float *out);
// The derivatives of the same functions.
void bspline_basis_derivs(float t, int span, const float *knots, int order, float *out);
// Highest order the evaluators take.
const int MAX_SPLINE_ORDER = 32;

// One rational B-spline curve in the parameter plane.
class TrimCurve {
public:
    // From the order, the n homogeneous points and order + n knots; min and
    // max are clamped to the valid parameter range.
    TrimCurve(int order, int n, const float *knots, float min, float max, const float *u, const float *v,
              const float *w);
    // The curve point at s in 0..1 of [min, max].
    void point_at(float s, float &u, float &v) const;
    // Makes the polyline for a tolerance unless a fine enough one exists.
    void flatten(float tolerance);
    // Polyline segments a ray from (u, v) towards -u crosses.
    int crossings(float u, float v) const;
    // Bytes the curve's arrays charge to the trim statistics.
    int64_t memory() const;

    int16_t order = 0, n = 0;
    float min = 0, max = 0;
    std::vector<float> knots;         // order + n
    std::vector<float> points;        // u, v, w per control point
    float umin = 1000, umax = -1000, vmin = 1000, vmax = -1000;   // box of the control points
    std::vector<float> polyline;      // u, v pairs
    float tolerance = 0;              // of the polyline, 0 when none
};

// The trim loops of one RiTrimCurve call (the attribute state holds them).
class TrimCurveSet : public TrimLoops {
public:
    // The arguments of RiTrimCurve; curves that cannot be evaluated are
    // reported and left out.
    TrimCurveSet(RtInt nloops, const RtInt ncurves[], const RtInt order[], const RtFloat knot[],
                 const RtFloat min[], const RtFloat max[], const RtInt n[], const RtFloat u[], const RtFloat v[],
                 const RtFloat w[]);
    ~TrimCurveSet() override;
    // 1 when (u, v) lies inside the loops (odd crossing count), else 0.
    int inside(float u, float v, float tolerance);

    int16_t loops = 0;
    std::vector<int16_t> curves_per_loop;
    int total = 0;
    std::vector<TrimCurve> curves;   // in loop order

private:
    int64_t charged_ = 0;
};

// The set an attribute state holds.
inline TrimCurveSet *trim_curve_set(const TrimLoopsRef &held) { return static_cast<TrimCurveSet *>(held.get()); }

// The set of RiTrimCurve as the attribute state stores it.
TrimLoopsRef make_trim_loops(RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[], RtFloat min[],
                             RtFloat max[], RtInt n[], RtFloat u[], RtFloat v[], RtFloat w[]);

// Sets made and the bytes they hold.
struct TrimStats {
    StatCounter sets;
    StatCounter memory;
};
TrimStats &trim_stats();
