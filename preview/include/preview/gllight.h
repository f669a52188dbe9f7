// A light source as the previewer keeps it: the parameters of the four
// standard light shaders that OpenGL lighting can show.
#pragma once
#include "ri_common/ri.h"
#include "ri_common/vecmath.h"

// Lights kept and GL lights used per world.
const int PREVIEW_MAX_LIGHTS = 8;

struct GlLight {
    Point from{0, 0, 0};
    Point to{0, 0, 1};
    Color color{1, 1, 1};               // already multiplied by the intensity
    float cone_angle = radians(30);     // radians
    float cone_delta = radians(5);      // radians
    float beam_distribution = 2;
    RtToken shader = nullptr;           // the light shader's name, interned
};

// The light of a light shader request: "intensity" (default 1), "lightcolor",
// "from" or "lightfrom", "to" or "lightto", "coneangle", "conedeltaangle"
// and "beamdistribution"; other parameters are ignored.
GlLight make_gl_light(RtToken shader, RtInt n, const RtToken tokens[], const RtPointer values[]);

// Degrees of an angle in radians.
inline float radians_to_degrees(float r) { return r * 57.29578f; }
