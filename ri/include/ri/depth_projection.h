// The projection a depth map is made under, as depth files, shadow maps and
// display drivers carry it: world to camera, and world to the screen window
// normalised to [-1, 1] on both axes (x to the right, y up), so that a
// lookup finds a point's place in the map whatever the window, the map's
// shape or the projection.
#pragma once
#include "ri_common/vecmath.h"

class Options;

// The matrices of the frame's camera at shutter open for a map that covers
// window (left, right, bottom, top, in the units of the options' screen
// window; row vectors; the window matrix of a perspective camera divides by
// camera depth).
void depth_projection(const Options &o, const float window[4], Matrix4 &world_to_camera,
                      Matrix4 &world_to_window);

// The part of the screen window that the output's crop window of pixels covers.
void crop_screen_window(const Options &o, float window[4]);
