// The slab test of one ray against four boxes at once, the boxes laid out
// side by side (lo[axis][lane], hi[axis][lane]). Every lane gives what the
// one-box test gives: the same clamps and comparisons, a miss for NaN, and
// the inside test for a ray parallel to a slab; its distances are products
// with the reciprocal direction (divisions cost far more), so they may
// differ from the one-box test's quotients in the last bit.
#pragma once
#include <xmmintrin.h>

#include "ri_common/vecmath.h"

// A ray prepared for four-box tests.
struct RaySlabs {
    __m128 origin[3], dir[3];
    __m128 inv[3];   // 1 / dir of the axes that are not parallel: a product per slab, not a division
    bool parallel[3];
    int axes[3], naxes = 0;   // the axes that are not parallel

    explicit RaySlabs(const Point &o, const Point &d)
    {
        for (int a = 0; a < 3; a++) {
            origin[a] = _mm_set1_ps(o[a]);
            dir[a] = _mm_set1_ps(d[a]);
            parallel[a] = d[a] >= -1e-10f && d[a] <= 1e-10f;
            inv[a] = _mm_set1_ps(parallel[a] ? 0.0f : 1.0f / d[a]);
            if (!parallel[a]) axes[naxes++] = a;
        }
    }
};

// One axis of the test: the slab's distances narrow near and far.
inline void slab4_axis(const RaySlabs &r, int a, const float lo[3][4], const float hi[3][4], __m128 &near,
                       __m128 &far, __m128 &bad)
{
    const __m128 big = _mm_set1_ps(1e38f), nbig = _mm_set1_ps(-1e38f);
    __m128 t1 = _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(lo[a]), r.origin[a]), r.inv[a]);
    __m128 t2 = _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(hi[a]), r.origin[a]), r.inv[a]);
    bad = _mm_or_ps(bad, _mm_cmpunord_ps(t1, t2));
    // Ordered (t1 > t2 swaps), clamped to +-1e38, then narrowed: each
    // written as the one-box test's comparisons so ties keep its values.
    __m128 tn = _mm_min_ps(t2, t1), tf = _mm_max_ps(t1, t2);
    tn = _mm_max_ps(nbig, tn);
    tf = _mm_min_ps(big, tf);
    near = _mm_max_ps(tn, near);
    far = _mm_min_ps(tf, far);
}

// Bit i set when lane i is hit; near and far hold the entry and exit
// distances of the hit lanes. Always inlined: it runs once per node opened.
[[gnu::always_inline]] inline int slab4(const RaySlabs &r, const float lo[3][4], const float hi[3][4], __m128 &near,
                                        __m128 &far)
{
    const __m128 big = _mm_set1_ps(1e38f), nbig = _mm_set1_ps(-1e38f);
    near = nbig, far = big;
    __m128 bad = _mm_setzero_ps();
    if (r.naxes == 3) {
        // The common ray, parallel to no slab.
        slab4_axis(r, 0, lo, hi, near, far, bad);
        slab4_axis(r, 1, lo, hi, near, far, bad);
        slab4_axis(r, 2, lo, hi, near, far, bad);
        return _mm_movemask_ps(_mm_andnot_ps(bad, _mm_cmple_ps(near, far)));
    }
    for (int a = 0; a < 3; a++) {
        if (!r.parallel[a]) continue;
        // Parallel to the slab: inside it or a miss (NaN misses too).
        __m128 l = _mm_loadu_ps(lo[a]), h = _mm_loadu_ps(hi[a]);
        __m128 in = _mm_and_ps(_mm_cmpge_ps(r.origin[a], l), _mm_cmple_ps(r.origin[a], h));
        bad = _mm_or_ps(bad, _mm_andnot_ps(in, _mm_castsi128_ps(_mm_set1_epi32(-1))));
    }
    for (int k = 0; k < r.naxes; k++) slab4_axis(r, r.axes[k], lo, hi, near, far, bad);
    return _mm_movemask_ps(_mm_andnot_ps(bad, _mm_cmple_ps(near, far)));
}
