// The illumination routines shaders call (ambient, diffuse, phong,
// specular), which walk the light list, and the shadow query between two
// points.
#pragma once
#include "shading/shadingpoint.h"

// x^y without overflow: for x > 0 exp(y ln x), 0 when that is below e^-87;
// for x <= 0 only whole powers of at least 1, else 0. Never NaN for a
// non-NaN x (1^inf is 1).
float safe_powf(float x, float y);

// Light from the ambient lights that illuminate the point (C).
void ambient(Color &C, ShaderVars *sv);
// Diffuse light at P with normal N.
void diffuse(const Point &P, const Point &N, Color &C, ShaderVars *sv);
// Phong highlight of the given size for the view direction V.
void phong(const Point &P, const Point &N, const Point &V, float size, Color &C, ShaderVars *sv);
// Specular highlight of the given roughness for the view direction V.
void specular(const Point &P, const Point &N, const Point &V, float roughness, Color &C, ShaderVars *sv);

// What reaches the point `to` along dir over distance through the shadow
// hierarchy (first tested first): result per channel (1 unoccluded); 1.
// blocker, when given, gets the object that fully blocked the ray, else null.
int transmission(const Point &dir, const Point &to, float time, float sample, Color &result,
                 float distance, SceneObject *first, SceneObject **blocker = nullptr);
// The last object that fully blocked a shadow ray, or null.
SceneObject *last_shadow_blocker();
