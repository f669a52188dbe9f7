// Frame dumps of the previewer: the picture as an RGBA TIFF file named by the
// display, and its depths as a depth file beside it.
#pragma once
#include <string>

// The depth file's name for an image file name: the file name's text from
// its last "." on replaced by ".zfile" (appended when it has no ".").
std::string zfile_name(const std::string &image);

// The camera depth of a GL depth value d in [0, 1] between the near and far
// planes; 1e30 at the far plane and beyond.
float gl_depth_to_camera(float d, float near_plane, float far_plane, bool orthographic);

// The TIFF DateTime text of the local time: "YYYY:MM:DD hh:mm:ss".
std::string tiff_date_time();
