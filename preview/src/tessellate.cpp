#include "preview/tessellate.h"

#include <vector>

void basis_weights(const float *basis, float t, bool derivative, float w[4])
{
    float p[4];
    if (derivative) {
        p[0] = 3 * t * t;
        p[1] = 2 * t;
        p[2] = 1;
        p[3] = 0;
    } else {
        p[0] = t * t * t;
        p[1] = t * t;
        p[2] = t;
        p[3] = 1;
    }
    for (int c = 0; c < 4; c++)
        w[c] = p[0] * basis[c] + p[1] * basis[4 + c] + p[2] * basis[8 + c] + p[3] * basis[12 + c];
}

void nurbs_basis(int order, const float *knots, int n, float u, double *out)
{
    for (int i = 0; i < n; i++) out[i] = 0;
    if (order < 1 || n < order) return;
    float lo = knots[order - 1], hi = knots[n];
    if (!(u >= lo)) u = lo;
    if (u > hi) u = hi;
    // The span holding u: the last non-empty one at the end of the range.
    int s = order - 1;
    while (s < n - 1 && knots[s + 1] <= u) s++;
    while (s > order - 1 && knots[s] == knots[s + 1]) s--;
    int d = order - 1;
    std::vector<double> N(order, 0.0), left(order, 0.0), right(order, 0.0);
    N[0] = 1;
    for (int j = 1; j <= d; j++) {
        left[j] = u - knots[s + 1 - j];
        right[j] = knots[s + j] - u;
        double saved = 0;
        for (int r = 0; r < j; r++) {
            double denom = right[r + 1] + left[j - r];
            double temp = denom != 0 ? N[r] / denom : 0;
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
    }
    for (int k = 0; k <= d; k++) {
        int i = s - d + k;
        if (i >= 0 && i < n) out[i] = N[k];
    }
}

int nurbs_span_count(int order, const float *knots, int n, float lo, float hi)
{
    int spans = 0;
    for (int i = order - 1; i < n; i++)
        if (knots[i] < knots[i + 1] && knots[i + 1] > lo && knots[i] < hi) spans++;
    return spans;
}

int nurbs_steps(int spans, float relative_detail)
{
    float f = spans * relative_detail * 2;
    int k = f < 1e6f ? int(f) : 1000000;
    if (k >= 17) k /= 2;
    while (k > 64) k /= 2;
    return k < 1 ? 1 : k;
}

int mesh_patch_count(bool bicubic, bool periodic, int count, int step)
{
    if (step < 1) step = 1;
    int patches;
    if (!bicubic) patches = periodic ? count : count - 1;
    else patches = periodic ? count / step : (count - 4) / step + 1;
    if (!bicubic || periodic) return patches > 0 ? patches : 0;
    return count >= 4 && patches > 0 ? patches : 0;
}

int cubic_curve_spans(bool periodic, int count, int step)
{
    return mesh_patch_count(true, periodic, count, step);
}
