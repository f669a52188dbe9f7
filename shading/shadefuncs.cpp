#include "shading/shadefuncs.h"

#include <cmath>

Point faceforward(const Point &N, const Point &I)
{
    return dot(N, I) > 0 ? -N : N;
}

Point reflect(const Point &I, const Point &N)
{
    return I - N * (2 * dot(N, I));
}

Point refract(const Point &I, const Point &N, float eta)
{
    float c = dot(I, N);
    float k = 1 - eta * eta * (1 - c * c);
    if (k < 0) return Point(0, 0, 0);
    return I * eta - N * (eta * c + std::sqrt(k));
}

FresnelTerms fresnel(const Point &I, const Point &N, float eta)
{
    FresnelTerms r;
    float c = -dot(I, N);
    r.R = I + N * (2 * c);
    r.Kr = 1;
    r.Kt = 0;
    r.T = I;
    if (eta == 0) return r;   // 1 / eta^2 would be infinite
    float q = c * c - 1 + 1 / (eta * eta);
    if (!(q >= 0)) return r;
    float d = std::sqrt(q);
    float e = (d - c) / (c + d);
    float f = (c * (c + d) - 1) / (c * (d - c) + 1);
    float kr = e * e * (f * f + 1) / 2;
    Point t = I - N * (d - c);
    // Grazing incidence at eta 1 (0 / 0) and overflow keep the total reflection.
    if (!std::isfinite(kr) || !std::isfinite(t.x) || !std::isfinite(t.y) || !std::isfinite(t.z))
        return r;
    r.Kr = kr;
    r.Kt = eta * eta * (1 - kr);
    r.T = t;
    return r;
}

float spline_segment(float p0, float p1, float p2, float p3, float t)
{
    return p1 + t * ((p2 - p0) / 2 + t * (p0 - 2.5f * p1 + 2 * p2 - p3 / 2 +
                                          t * (p3 - p0 + 3 * (p1 - p2)) / 2));
}
