// Geometric functions of shading shared by the interpreter's operations and
// the lighting code: facing, reflection, refraction, the Fresnel terms and
// the Catmull-Rom segment.
#pragma once
#include "ri/vecmath.h"

// -N when N . I > 0, else N.
Point faceforward(const Point &N, const Point &I);
// I - 2 (N . I) N.
Point reflect(const Point &I, const Point &N);
// The refracted direction for the ratio eta; total internal reflection gives
// (0, 0, 0).
Point refract(const Point &I, const Point &N, float eta);

// Fresnel reflection and transmission: Kr, Kt and the reflected and
// transmitted directions R and T. Total internal reflection (and eta 0, and
// any case whose terms are not finite) gives Kr 1, Kt 0 and T = I.
struct FresnelTerms {
    float Kr, Kt;
    Point R, T;
};
FresnelTerms fresnel(const Point &I, const Point &N, float eta);

// The Catmull-Rom segment between p1 (t = 0) and p2 (t = 1).
float spline_segment(float p0, float p1, float p2, float p3, float t);
