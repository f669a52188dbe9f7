// The RI option procedures: camera and image description, sampling,
// filtering, exposure, quantization, display, hider and RiOption.
#include <cmath>

#include "ri/declarations.h"
#include "ri/declvalue.h"
#include "ri/front_end.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"
#include "ri/tokens.h"

namespace {

// No renderer: reported, null. Inside the world: reported, and the call goes on.
Renderer *option_check()
{
    Renderer *r = renderer_or_report();
    if (r && r->level > 3) ri_report(RIE_NOTOPTIONS, RIE_WARNING);
    return r;
}

} // namespace

RtVoid ri_front::Format(RtInt xres, RtInt yres, RtFloat aspect)
{
    if (Renderer *r = option_check()) r->options.set_format(xres, yres, aspect);
}

RtVoid ri_front::FrameAspectRatio(RtFloat aspect)
{
    Renderer *r = option_check();
    if (!r) return;
    if (!(aspect > 0) || std::isinf(aspect)) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiFrameAspectRatio: bad aspect ratio %g", aspect);
        return;
    }
    r->options.frame_aspect_given = aspect;
}

RtVoid ri_front::ScreenWindow(RtFloat left, RtFloat right, RtFloat bottom, RtFloat top)
{
    Renderer *r = option_check();
    if (!r) return;
    if (!(right - left != 0) || !(top - bottom != 0)) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "RiScreenWindow: empty screen window");
        return;
    }
    float *s = r->options.screen_given;
    s[0] = left; s[1] = right; s[2] = bottom; s[3] = top;
}

RtVoid ri_front::CropWindow(RtFloat xmin, RtFloat xmax, RtFloat ymin, RtFloat ymax)
{
    Renderer *r = option_check();
    if (!r) return;
    float *c = r->options.crop;
    c[0] = xmin; c[1] = xmax; c[2] = ymin; c[3] = ymax;
}

RtVoid ri_front::ProjectionV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    Renderer *r = option_check();
    if (!r) return;
    Options &o = r->options;
    if (is(name, "orthographic")) {
        o.projection = PROJ_ORTHOGRAPHIC;
        return;
    }
    if (!is(name, "perspective")) {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "RiProjection: Invalid projection \"%s\"", name ? name : "");
        return;
    }
    o.projection = PROJ_PERSPECTIVE;
    for (int i = 0; i < n; i++) {
        Declaration *d = declarations().lookup(tokens[i]);
        if (!d || !is(d->name(), "fov") || !params[i]) {
            ri_error(RIE_BADTOKEN, RIE_ERROR, "RiProjection: Invalid parameter for \"%s\": \"%s\"",
                     name, tokens[i] ? tokens[i] : "");
            continue;
        }
        float fov = d->type == DECL_INTEGER ? (float)*static_cast<int *>(params[i])
                                            : *static_cast<float *>(params[i]);
        if (!(fov > 0 && fov < 180)) {
            ri_error(RIE_RANGE, RIE_ERROR, "RiProjection: field of view %g out of range", fov);
            continue;
        }
        o.fov = fov;
    }
}

RtVoid ri_front::Clipping(RtFloat hither, RtFloat yon)
{
    Renderer *r = option_check();
    if (!r) return;
    if (!(hither > 0 && hither < yon)) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "Bad values for RiClipping");
        return;
    }
    r->options.near_clip = hither < 1e-6f ? 1e-6f : hither;
    r->options.far_clip = yon;
}

RtVoid ri_front::DepthOfField(RtFloat fstop, RtFloat focallength, RtFloat focaldistance)
{
    Renderer *r = option_check();
    if (!r) return;
    if (!(fstop > 0)) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiDepthOfField: bad f-stop %g", fstop);
        return;
    }
    r->options.set_depth_of_field(fstop, focallength, focaldistance);
}

RtVoid ri_front::Shutter(RtFloat smin, RtFloat smax)
{
    Renderer *r = option_check();
    if (!r) return;
    r->options.shutter_open = smin;
    r->options.shutter_close = smax;
}

RtVoid ri_front::PixelVariance(RtFloat variation)
{
    if (Renderer *r = option_check()) r->options.pixel_variance = variation;
}

RtVoid ri_front::PixelSamples(RtFloat xsamples, RtFloat ysamples)
{
    Renderer *r = option_check();
    if (!r) return;
    auto rate = [](float v) { return v >= 1 ? (v < MAX_PIXEL_SAMPLES ? (int)v : MAX_PIXEL_SAMPLES) : 1; };
    if (xsamples > MAX_PIXEL_SAMPLES || ysamples > MAX_PIXEL_SAMPLES)
        ri_error(RIE_LIMIT, RIE_WARNING, "RiPixelSamples: %g x %g samples clamped to at most %d per axis", xsamples,
                 ysamples, MAX_PIXEL_SAMPLES);
    r->options.xsamples = rate(xsamples);
    r->options.ysamples = rate(ysamples);
}

RtVoid ri_front::PixelFilter(RtFilterFunc filter, RtFloat xwidth, RtFloat ywidth)
{
    Renderer *r = option_check();
    if (!r) return;
    if (!(xwidth > 0) || !(ywidth > 0) || !filter) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiPixelFilter: bad filter widths %g %g", xwidth, ywidth);
        return;
    }
    if (xwidth > MAX_FILTER_WIDTH || ywidth > MAX_FILTER_WIDTH) {
        ri_error(RIE_LIMIT, RIE_WARNING, "RiPixelFilter: filter widths %g %g clamped to at most %g pixels", xwidth,
                 ywidth, double(MAX_FILTER_WIDTH));
        xwidth = std::fmin(xwidth, MAX_FILTER_WIDTH);
        ywidth = std::fmin(ywidth, MAX_FILTER_WIDTH);
    }
    r->options.filter = filter;
    r->options.filter_xwidth = xwidth;
    r->options.filter_ywidth = ywidth;
}

RtVoid ri_front::Exposure(RtFloat gain, RtFloat gamma)
{
    Renderer *r = option_check();
    if (!r) return;
    r->options.exposure_gain = gain;
    r->options.exposure_gamma = gamma;
    r->options.exposure_differs = gain != 1 || gamma != 1;
}

RtVoid ri_front::Quantize(RtToken type, RtInt one, RtInt qmin, RtInt qmax, RtFloat ampl)
{
    Renderer *r = option_check();
    if (!r) return;
    float *q;
    if (is(type, "rgba")) q = r->options.color_quant;
    else if (is(type, "z")) q = r->options.depth_quant;
    else {
        ri_error(RIE_BADTOKEN, RIE_WARNING, "RiQuantize given bad type \"%s\"", type ? type : "");
        return;
    }
    q[0] = (float)one;
    q[1] = (float)qmin;
    q[2] = (float)qmax;
    q[3] = one ? ampl / one : ampl;
}

RtVoid ri_front::DisplayV(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = option_check()) r->display(name, type, mode, n, tokens, params);
}

RtVoid ri_front::HiderV(RtToken type, RtInt n, RtToken tokens[], RtPointer params[])
{
    Renderer *r = option_check();
    if (!r) return;
    if (!type || is(type, "NULL")) r->options.hider = HIDER_NONE;
    else if (is(type, "hidden")) r->options.hider = HIDER_HIDDEN;
    else if (is(type, "paint")) {
        r->options.hider = HIDER_PAINT;
        ri_error(RIE_UNIMPLEMENT, RIE_WARNING, "Painter's algorithm for hidden surface not supported");
    } else {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "RiHider given bad type \"%s\"", type);
        return;
    }
    for (int i = 0; i < n; i++) {
        const Declaration *d = declarations().lookup(tokens[i]);
        if (d && is(d->name(), "jitter")) r->options.hider_jitter = decl_int(d, params[i]) != 0;
    }
}

RtVoid ri_front::ColorSamples(RtInt, RtFloat[], RtFloat[])
{
    if (!option_check()) return;
    ri_error(RIE_UNIMPLEMENT, RIE_WARNING, "ColorSamples not currently implemented");
}

RtVoid ri_front::RelativeDetail(RtFloat relativedetail)
{
    if (Renderer *r = option_check()) r->options.relative_detail = relativedetail;
}

RtVoid ri_front::OptionV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    Renderer *r = option_check();
    if (!r) return;
    for (int i = 0; i < n; i++) {
        if (r->option(name, tokens[i], params[i]) < 0)
            ri_error(RIE_BADTOKEN, RIE_WARNING, "RiOption: Unknown option \"%s\" \"%s\"",
                     name ? name : "", tokens[i] ? tokens[i] : "");
    }
}
