#include "shading/colorspace.h"

#include <cmath>

#include "ri_common/rierror.h"
#include "ri_common/same_string.h"

namespace {

bool unchanged_space(const char *space)
{
    return is(space, "rgb") || is(space, "current") || is(space, "RGB");
}

bool unknown(const char *space)
{
    ri_error(RIE_LIMIT, RIE_ERROR, "unknown color space in shader: %s", space);
    return false;
}

// Hue (0..1) from the component holding the maximum; 0 for a grey.
float hue(const Color &c, float mx, float mn)
{
    float d = mx - mn;
    if (!(d > 0)) return 0;
    float h;
    if (c.x == mx) h = (c.y - c.z) / d;
    else if (c.y == mx) h = (c.z - c.x) / d + 2;
    else h = (c.x - c.y) / d + 4;
    h *= 1.0f / 6;
    if (h < 0) h += 1;
    return h;
}

} // namespace

Color xyz_to_rgb(const Color &c)
{
    return Color(0.67f * c.x + 0.33f * c.y, 0.21f * c.x + 0.71f * c.y + 0.08f * c.z,
                 0.14f * c.x + 0.08f * c.y + 0.79f * c.z);
}

Color yiq_to_rgb(const Color &c)
{
    return Color(c.x + 0.9557f * c.y + 0.6199f * c.z, c.x - 0.2716f * c.y - 0.6469f * c.z,
                 c.x - 1.1082f * c.y + 1.7051f * c.z);
}

Color hsv_to_rgb(const Color &c)
{
    float h = c.x, s = c.y, v = c.z;
    if (s < 0.0001f) return Color(v, v, v);
    float hh = 6 * (h - std::floor(h));
    float fi = std::floor(hh);
    // A hue just below a whole number can round up to 6; NaN counts as 0.
    int i = (fi >= 0 && fi <= 5) ? static_cast<int>(fi) : 0;
    float f = hh - fi;
    if (i == 0 && !(fi == 0)) f = 0;
    float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
    case 0: return Color(v, t, p);
    case 1: return Color(q, v, p);
    case 2: return Color(p, v, t);
    case 3: return Color(p, q, v);
    case 4: return Color(t, p, v);
    default: return Color(v, p, q);
    }
}

bool color_to_rgb(const char *space, Color &c)
{
    if (!space) space = "";
    if (unchanged_space(space)) return true;
    if (is(space, "hsv")) {
        c = hsv_to_rgb(c);
    } else if (is(space, "xyz") || is(space, "XYZ")) {
        c = xyz_to_rgb(c);
    } else if (is(space, "hsl")) {
        float l = c.z, s = c.y;
        float m = l <= 0.5f ? l * (1 + s) : l + s - l * s;
        if (m <= 0) c = Color(0, 0, 0);
        else c = hsv_to_rgb(Color(c.x, (m - (2 * l - m)) / m, m));
    } else if (is(space, "YIQ")) {
        c = yiq_to_rgb(c);
    } else {
        return unknown(space);
    }
    return true;
}

bool color_from_rgb(const char *space, Color &c)
{
    if (!space) space = "";
    if (unchanged_space(space)) return true;
    float mx = std::fmax(c.x, std::fmax(c.y, c.z));
    float mn = std::fmin(c.x, std::fmin(c.y, c.z));
    if (is(space, "hsv")) {
        float s = mx == 0 ? 0 : (mx - mn) / mx;
        c = Color(s == 0 ? 0 : hue(c, mx, mn), s, mx);
    } else if (is(space, "hsl")) {
        float l = (mx + mn) / 2;
        float d = mx - mn;
        // A grey (black and white included) has no saturation and no hue.
        float s = d == 0 ? 0 : l > 0.5f ? d / (2 - mx - mn) : d / (mx + mn);
        c = Color(hue(c, mx, mn), s, l);
    } else if (is(space, "YIQ")) {
        c = Color(0.299f * c.x + 0.587f * c.y + 0.114f * c.z,
                  0.596f * c.x - 0.275f * c.y - 0.321f * c.z,
                  0.212f * c.x - 0.523f * c.y + 0.311f * c.z);
    } else {
        return unknown(space);
    }
    return true;
}

bool ctransform(const char *from, const char *to, Color &c)
{
    return color_to_rgb(from, c) && color_from_rgb(to, c);
}
