#include "raytrace/trimcurve.h"

#include <algorithm>
#include <cmath>

#include "raytrace/gprim.h"
#include "ri_common/rierror.h"

// ---- B-spline basis ------------------------------------------------------

int find_knot_span(float t, const float *knots, int last, int start)
{
    if (t >= knots[last]) return last;
    int i = std::max(start, 0);
    while (i < last && !(t < knots[i + 1])) i++;
    return i;
}

void bspline_basis(float t, int span, const float *knots, int order, float *out)
{
    float left[MAX_SPLINE_ORDER], right[MAX_SPLINE_ORDER];
    out[0] = 1;
    for (int j = 1; j < order; j++) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        float saved = 0;
        for (int r = 0; r < j; r++) {
            float den = right[r + 1] + left[j - r];
            float temp = den != 0 ? out[r] / den : 0;
            out[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        out[j] = saved;
    }
}

void bspline_basis_derivs(float t, int span, const float *knots, int order, float *out)
{
    if (order < 2) {
        out[0] = 0;
        return;
    }
    // N'(i,k) = (k-1) (N(i,k-1) / (t[i+k-1] - t[i]) - N(i+1,k-1) / (t[i+k] - t[i+1])),
    // where lower[m] is N(span - k + 2 + m, k-1).
    float lower[MAX_SPLINE_ORDER];
    bspline_basis(t, span, knots, order - 1, lower);
    int k = order;
    for (int j = 0; j < k; j++) {
        int i = span - k + 1 + j;
        float d = 0;
        if (j >= 1) {
            float den = knots[i + k - 1] - knots[i];
            if (den != 0) d += lower[j - 1] / den;
        }
        if (j <= k - 2) {
            float den = knots[i + k] - knots[i + 1];
            if (den != 0) d -= lower[j] / den;
        }
        out[j] = (k - 1) * d;
    }
}

// ---- one curve -----------------------------------------------------------

namespace {

const int SAMPLES = 2048;

int sign_of(float x)
{
    return (x > 0) - (x < 0);
}

} // namespace

TrimCurve::TrimCurve(int k, int count, const float *kn, float lo, float hi, const float *u, const float *v,
                     const float *w)
    : order((int16_t)k), n((int16_t)count), min(lo), max(hi), knots(kn, kn + k + count)
{
    points.reserve(3 * count);
    for (int i = 0; i < count; i++) {
        points.insert(points.end(), {u[i], v[i], w[i]});
        float pu = u[i] / w[i], pv = v[i] / w[i];
        umin = std::min(umin, pu), umax = std::max(umax, pu);
        vmin = std::min(vmin, pv), vmax = std::max(vmax, pv);
    }
    float first = knots[order - 1], last = knots[n];
    if (min < first || max > last) {
        ri_error(RIE_CONSISTENCY, RIE_WARNING, "TrimCurve min/max bad range (corrected)");
        min = std::max(min, first);
        max = std::min(max, last);
    }
}

void TrimCurve::point_at(float s, float &u, float &v) const
{
    float t = min + (max - min) * s;
    int span = find_knot_span(t, knots.data(), n - 1, order - 1);
    float b[MAX_SPLINE_ORDER];
    bspline_basis(t, span, knots.data(), order, b);
    float su = 0, sv = 0, sw = 0;
    for (int j = 0; j < order; j++) {
        const float *p = &points[3 * (span - order + 1 + j)];
        su += b[j] * p[0], sv += b[j] * p[1], sw += b[j] * p[2];
    }
    u = su / sw;
    v = sv / sw;
}

void TrimCurve::flatten(float tol)
{
    if (tolerance > 0 && tolerance <= 2 * tol) return;
    polyline.clear();
    int m = std::min(32, std::max(1, SAMPLES / (order * n)));
    // Steps below 1e-7 count as none. Turns are kept in u as well as in v,
    // and bends in either direction, or the corners of polygonal loops whose
    // v keeps rising through the corner would be cut off.
    auto quiet = [](float d) { return d > -1e-7f && d < 1e-7f ? 0.0f : d; };
    float pu = 0, pv = 0, prev_du = 0, prev_dv = 0;
    bool prev_taken = false;
    for (int i = 0; i <= SAMPLES; i++) {
        float cu, cv;
        point_at((float)i / SAMPLES, cu, cv);
        float du = i > 0 ? quiet(cu - pu) : 0, dv = i > 0 ? quiet(cv - pv) : 0;
        bool turned = sign_of(dv) != sign_of(prev_dv) || sign_of(du) != sign_of(prev_du);
        if (i >= 2 && turned && !prev_taken) polyline.insert(polyline.end(), {pu, pv});
        bool bent = dv != prev_dv || du != prev_du;
        bool take = i == 0 || i == SAMPLES || (i % m == 0 && bent);
        if (take) polyline.insert(polyline.end(), {cu, cv});
        prev_taken = take;
        prev_du = du, prev_dv = dv;
        pu = cu, pv = cv;
    }
    tolerance = tol;
}

int TrimCurve::crossings(float u, float v) const
{
    if (u < umin || v < vmin || v > vmax) return 0;
    int count = 0;
    for (size_t k = 2; k + 1 < polyline.size(); k += 2) {
        float au = polyline[k - 2], av = polyline[k - 1], bu = polyline[k], bv = polyline[k + 1];
        // Half-open in v, so a shared vertex is counted once.
        if (!((av < v && bv >= v) || (bv < v && av >= v))) continue;
        float x = au + (v - av) * (bu - au) / (bv - av);
        if (x < u) count++;
    }
    return count;
}

int64_t TrimCurve::memory() const
{
    return (int64_t)sizeof(float) * (int64_t)(knots.size() + points.size() + polyline.size());
}

// ---- the set -------------------------------------------------------------

namespace {

// A curve whose knots, points and range can be evaluated.
bool curve_usable(int k, int count, const float *kn, float lo, float hi, const float *u, const float *v,
                  const float *w)
{
    if (k < 1 || k > MAX_SPLINE_ORDER || count < k || count > INT16_MAX) return false;
    for (int i = 0; i < k + count; i++) {
        if (!std::isfinite(kn[i])) return false;
        if (i > 0 && kn[i] < kn[i - 1]) return false;
    }
    if (!(kn[k - 1] < kn[count])) return false;
    for (int i = 0; i < count; i++)
        if (!std::isfinite(u[i]) || !std::isfinite(v[i]) || !std::isfinite(w[i]) || w[i] == 0) return false;
    return !std::isnan(lo) && !std::isnan(hi) && lo < hi;
}

} // namespace

TrimCurveSet::TrimCurveSet(RtInt nloops, const RtInt ncurves[], const RtInt order[], const RtFloat knot[],
                           const RtFloat min[], const RtFloat max[], const RtInt n[], const RtFloat u[],
                           const RtFloat v[], const RtFloat w[])
    : loops((int16_t)std::max(0, nloops))
{
    int c = 0;
    size_t kbase = 0, pbase = 0;
    for (int l = 0; l < loops; l++) {
        int kept = 0;
        for (int j = 0; j < ncurves[l]; j++, c++) {
            int k = order[c], count = n[c];
            bool ok = k >= 1 && count >= 1 &&
                      curve_usable(k, count, knot + kbase, min[c], max[c], u + pbase, v + pbase, w + pbase);
            if (ok) {
                curves.emplace_back(k, count, knot + kbase, min[c], max[c], u + pbase, v + pbase, w + pbase);
                kept++;
            } else {
                ri_error(RIE_RANGE, RIE_WARNING, "Degenerate trim curve ignored");
            }
            if (k > 0 && count > 0) kbase += (size_t)k + count, pbase += count;
        }
        curves_per_loop.push_back((int16_t)kept);
    }
    total = (int)curves.size();
    charged_ = 2 * ((int64_t)loops + 24 * (int64_t)total) + 16;
    for (const TrimCurve &tc : curves) charged_ += tc.memory();
    trim_stats().sets.add(1);
    trim_stats().memory.add(charged_);
}

TrimCurveSet::~TrimCurveSet()
{
    trim_stats().sets.subtract(1);
    trim_stats().memory.subtract(charged_);
}

int TrimCurveSet::inside(float u, float v, float tol)
{
    int count = 0;
    for (TrimCurve &tc : curves) {
        if (tc.tolerance <= 0 || tc.tolerance > 2 * tol) {
            int64_t before = tc.memory();
            tc.flatten(tol);
            int64_t grown = tc.memory() - before;
            charged_ += grown;
            if (grown > 0) trim_stats().memory.add(grown);
            else trim_stats().memory.subtract(-grown);
        }
        count += tc.crossings(u, v);
    }
    return count & 1;
}

TrimLoopsRef make_trim_loops(RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[], RtFloat min[],
                             RtFloat max[], RtInt n[], RtFloat u[], RtFloat v[], RtFloat w[])
{
    TrimLoopsRef ref;
    if (nloops > 0 && ncurves && order && knot && min && max && n && u && v && w)
        ref.set(new TrimCurveSet(nloops, ncurves, order, knot, min, max, n, u, v, w));
    return ref;
}

TrimStats &trim_stats()
{
    static TrimStats stats;
    return stats;
}

void print_trim_stats(FILE *out)
{
    const TrimStats &s = trim_stats();
    fprintf(out, "  Trim Curves: %ld requested, %ld outstanding, %ld peak (%ld kb)\n", (long)s.sets.requested,
            (long)s.sets.current, (long)s.sets.peak, (long)(s.memory.peak / 1024));
}
