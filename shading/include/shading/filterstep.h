// The filtered step of the shading language: a step at edge smoothed over a
// width by a named filter ("catmull-rom" when null, "box", or any other name
// for a wider Catmull-Rom).
#pragma once

float filterstep_core(float edge, float s, float w, const char *filter);
