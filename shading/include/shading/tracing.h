// Rays fired by shaders: the colour seen along a ray, the transmission
// between two points, the distance to the nearest hit, and the full trace
// with its hit data and the ray that finally missed. The rays start one level
// deeper than the shading point.
#pragma once
#include "ri_common/vecmath.h"

struct ShadingPoint;
struct SceneObject;
class LightSource;

// Forgets the objects last hit per ray level and the lights' last blockers
// (the ray tracer calls this when a world ends: the objects go with it).
void clear_last_hit_cache();

// The object that last fully blocked a shadow ray of a light (null at first),
// which its next shadow ray tests first: neighbouring points mostly share it.
SceneObject *&light_blocker(const LightSource *light);

// The colour seen from P along R, with the interior or exterior shader of
// the object hit run on it.
Color trace_color(ShadingPoint *sv, const Point &P, const Point &R);
// What reaches P0 from P1.
Color visibility(ShadingPoint *sv, const Point &P0, const Point &P1);
// The distance to the nearest hit from P along R with its position and
// normal; 1e38 and zeros on a miss.
float ray_hit_test(ShadingPoint *sv, const Point &P, const Point &R, Point &Phit, Point &Nhit);

struct FullTrace {
    Color hit_color;
    float hit_distance;
    Point Phit, Nhit;
    Point Pmiss, Rmiss;   // the deepest ray that missed
    float hit_count;
};
// The shaded hit from P along R and the bookkeeping of the rays that missed.
FullTrace full_trace(ShadingPoint *sv, const Point &P, const Point &R);
// Starts the bookkeeping afresh for a full trace from P along R made outside
// any shader: no hits counted, that ray as the one that missed.
void reset_fulltrace(const Point &P, const Point &R);
// What the full traces left behind: the hit count and the ray that missed.
void last_fulltrace(float &hit_count, Point &Pmiss, Point &Rmiss);

extern "C" {
// The same for native shaders; triples are three floats.
void sl_trace(ShadingPoint *sv, const float *P, const float *R, float *color);
void sl_visibility(ShadingPoint *sv, const float *P0, const float *P1, float *transmission);
float sl_rayhittest(ShadingPoint *sv, const float *P, const float *R, float *Phit, float *Nhit);
float sl_fulltrace(ShadingPoint *sv, const float *P, const float *R, float *hitcolor, float *hitdist,
                   float *Phit, float *Nhit, float *Pmiss, float *Rmiss);
float sl_raylevel(ShadingPoint *sv);
float sl_isshadowray(ShadingPoint *sv);
}
