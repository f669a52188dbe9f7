// Colour spaces of the shading language: conversions between rgb and "hsv",
// "hsl", "YIQ" and (into rgb only) "xyz".
#pragma once
#include "ri_common/vecmath.h"

Color xyz_to_rgb(const Color &c);
Color yiq_to_rgb(const Color &c);
Color hsv_to_rgb(const Color &c);

// Converts c from the named space into rgb ("rgb", "current" and "RGB" leave
// it). An unknown space is reported ("unknown color space in shader: %s"),
// c is left as it was and the answer is false.
bool color_to_rgb(const char *space, Color &c);
// Converts c from rgb into the named space; there is no conversion into
// "xyz". Unknown spaces as above.
bool color_from_rgb(const char *space, Color &c);
// From one space to another through rgb (the callable ctransform); a step
// that reports leaves c as the step before made it.
bool ctransform(const char *from, const char *to, Color &c);
