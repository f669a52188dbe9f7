// The five standard pixel filters. Each takes the sample's offset from the
// pixel centre and the filter's full widths and returns the sample's weight.
#include "ri_common/filters.h"

#include <cmath>
#include <cstring>

namespace {

// sin(pi t) / (pi t) for abs(t) up to 2, else 0.
float sinc_lobe(float t)
{
    const float pi = 3.1415927f;
    t = std::fabs(t);
    if (t > 2.0f) return 0.0f;
    if (t < 0.0001f) return 1.0f;
    float a = pi * t;
    return std::sin(a) / a;
}

} // namespace

extern "C" {

RtFloat RiGaussianFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth)
{
    float u = x / (xwidth * 0.5f);
    float v = y / (ywidth * 0.5f);
    return std::exp(-2.0f * (u * u + v * v));
}

RtFloat RiBoxFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth)
{
    // The edge itself is outside.
    return (std::fabs(x) < xwidth * 0.5f && std::fabs(y) < ywidth * 0.5f) ? 1.0f : 0.0f;
}

RtFloat RiTriangleFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth)
{
    float hx = 1.0f - std::fabs(x) / (xwidth * 0.5f);
    float hy = 1.0f - std::fabs(y) / (ywidth * 0.5f);
    float w = hx < hy ? hx : hy;
    return w < 0.0f ? 0.0f : w;
}

// Radial; the widths are not used (the support is a radius of 2).
RtFloat RiCatmullRomFilter(RtFloat x, RtFloat y, RtFloat, RtFloat)
{
    float d = x * x + y * y;
    if (d > 4.0f) return 0.0f;
    float r = std::sqrt(d);
    if (r < 1.0f) return 3.0f * r * d - 5.0f * d + 2.0f;
    return -r * d + 5.0f * d - 8.0f * r + 4.0f;
}

// Separable: the product of two 1-D sincs, each cut at 2 (the widths are
// not used). A radial sinc cut at 2 integrates to nothing over its disk, so
// the pixels it weights would be divided by almost nothing.
RtFloat RiSincFilter(RtFloat x, RtFloat y, RtFloat, RtFloat)
{
    return sinc_lobe(x) * sinc_lobe(y);
}

} // extern "C"

namespace {

struct NamedFilter {
    const char *name;
    RtFilterFunc filter;
};

const NamedFilter filter_table[] = {
    {"gaussian", RiGaussianFilter},
    {"box", RiBoxFilter},
    {"triangle", RiTriangleFilter},
    {"catmull-rom", RiCatmullRomFilter},
    {"sinc", RiSincFilter},
};

} // namespace

RtFilterFunc filter_by_name(const char *name)
{
    if (!name) return nullptr;
    for (const NamedFilter &f : filter_table)
        if (std::strcmp(f.name, name) == 0) return f.filter;
    return nullptr;
}

const char *filter_name(RtFilterFunc filter)
{
    for (const NamedFilter &f : filter_table)
        if (f.filter == filter) return f.name;
    return nullptr;
}
