#include "shading/lightmath.h"

#include <cmath>

#include "ri/renderer.h"

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
    if (!(k >= 0)) return Point(0, 0, 0);
    return I * eta - N * (eta * c + std::sqrt(k));
}

FresnelTerms fresnel(const Point &I, const Point &N, float eta)
{
    FresnelTerms r;
    float c = -dot(I, N);
    r.R = I + N * (2 * c);
    float q = !(eta > 0) ? -1 : c * c - 1 + 1 / (eta * eta);
    if (!(q >= 0) || !std::isfinite(q)) {
        r.T = I;
        r.Kr = 1;
        r.Kt = 0;
        return r;
    }
    float d = std::sqrt(q);
    r.T = I - N * (d - c);
    // Both quotients lose their meaning where their divisors vanish (grazing
    // incidence at eta 1): everything is reflected there.
    float e_div = c + d, f_div = c * (d - c) + 1;
    if (std::fabs(e_div) < 1e-10f || std::fabs(f_div) < 1e-10f) {
        r.Kr = 1;
        r.Kt = 0;
        return r;
    }
    float e = (d - c) / e_div;
    float f = (c * e_div - 1) / f_div;
    r.Kr = e * e * (f * f + 1) / 2;
    r.Kt = eta * eta * (1 - r.Kr);
    return r;
}

Color specularbrdf(const Point &L, const Point &N, const Point &V, float roughness,
                   bool alt_specular)
{
    if (alt_specular) roughness *= 0.1f;
    Point H = normalize(V + normalize(L));
    float x = dot(N, H);
    float value = x > 0 ? std::pow(x, 1 / roughness) : 0;
    return Color(value, value, value);
}

bool alt_specular_model()
{
    return current_renderer && current_renderer->options.specular_model != 0;
}

float spline_segment(float p0, float p1, float p2, float p3, float t)
{
    return p1 + t * ((p2 - p0) / 2 +
                     t * (p0 - 2.5f * p1 + 2 * p2 - p3 / 2 + t * (p3 - p0 + 3 * (p1 - p2)) / 2));
}
