// Vector routines of light and surface interaction shared by the shading
// operations: facing, mirror and refracted directions, the Fresnel terms, the
// specular lobe of specularbrdf and the Catmull-Rom segment of the splines.
#pragma once
#include "ri_common/vecmath.h"

// -N when N . I > 0, else N.
Point faceforward(const Point &N, const Point &I);
// I - 2 (N . I) N.
Point reflect(const Point &I, const Point &N);
// The refracted direction for a relative index eta; (0, 0, 0) at total
// internal reflection.
Point refract(const Point &I, const Point &N, float eta);

// Fresnel reflection and transmission of I at a surface with normal N and
// relative index eta: the coefficients and the two directions. Total
// internal reflection (and eta not above 0) gives Kr 1, Kt 0 and T = I;
// degenerate angles never give NaN.
struct FresnelTerms {
    float Kr, Kt;
    Point R, T;
};
FresnelTerms fresnel(const Point &I, const Point &N, float eta);

// The specular lobe (N . H)^(1 / roughness) about the half vector of V and L,
// grey; roughness is scaled by 0.1 under the alternative specular model
// (alt_specular). Black when N . H <= 0.
Color specularbrdf(const Point &L, const Point &N, const Point &V, float roughness,
                   bool alt_specular);
// The alternative specular model of the current renderer's options.
bool alt_specular_model();

// The Catmull-Rom segment between p1 and p2 at t (p1 at 0, p2 at 1).
float spline_segment(float p0, float p1, float p2, float p3, float t);
