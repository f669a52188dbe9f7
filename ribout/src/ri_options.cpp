// Options, the camera, the display and the texture-making requests.
#include <cstdio>
#include <cstring>
#include "ri_common/declparse.h"
#include "ri_common/filters.h"
#include "request.h"

using ribout::Request;
using ribout::str;

namespace {

// The name of a standard filter; null (after a message) for another function.
const char *filter_word(RtFilterFunc filter, const char *request)
{
    const char *name = filter_name(filter);
    if (!name) std::fprintf(stderr, "libribout error: unknown filter function for %s\n", request);
    return name;
}

double d(RtFloat v) { return static_cast<double>(v); }

// MakeTexture and MakeBump: pictures, wrap modes, filter and widths, then the parameters.
void make_texture(const char *request, RtString pic, RtString tex, RtToken swrap, RtToken twrap,
                  RtFilterFunc filter, RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[],
                  RtPointer params[])
{
    const char *f = filter_word(filter, request);
    if (!f) return;
    Request r;
    r.text("%s \"%s\" \"%s\" \"%s\" \"%s\" \"%s\" %g %g", request, str(pic).c_str(), str(tex).c_str(),
           str(swrap).c_str(), str(twrap).c_str(), f, d(swidth), d(twidth));
    r.params(nullptr, 0, n, tokens, params);
}

} // namespace


RtVoid rib_writer::Format(RtInt xres, RtInt yres, RtFloat aspect) { Request().text("Format %d %d %g\n", xres, yres, d(aspect)); }
RtVoid rib_writer::FrameAspectRatio(RtFloat aspect) { Request().text("FrameAspectRatio %g\n", d(aspect)); }

RtVoid rib_writer::ScreenWindow(RtFloat left, RtFloat right, RtFloat bottom, RtFloat top)
{
    Request().text("ScreenWindow %g %g %g %g\n", d(left), d(right), d(bottom), d(top));
}

RtVoid rib_writer::CropWindow(RtFloat xmin, RtFloat xmax, RtFloat ymin, RtFloat ymax)
{
    Request().text("CropWindow %g %g %g %g\n", d(xmin), d(xmax), d(ymin), d(ymax));
}

RIBOUT_LIST_REQUEST(Projection)

RtVoid rib_writer::Clipping(RtFloat hither, RtFloat yon) { Request().text("Clipping %g %g\n", d(hither), d(yon)); }

RtVoid rib_writer::DepthOfField(RtFloat fstop, RtFloat focallength, RtFloat focaldistance)
{
    Request().text("DepthOfField %g %g %g\n", d(fstop), d(focallength), d(focaldistance));
}

RtVoid rib_writer::Shutter(RtFloat smin, RtFloat smax) { Request().text("Shutter %g %g\n", d(smin), d(smax)); }
RtVoid rib_writer::PixelVariance(RtFloat variation) { Request().text("PixelVariance %g\n", d(variation)); }

RtVoid rib_writer::PixelSamples(RtFloat xsamples, RtFloat ysamples)
{
    Request().text("PixelSamples %g %g\n", d(xsamples), d(ysamples));
}

RtVoid rib_writer::PixelFilter(RtFilterFunc filter, RtFloat xwidth, RtFloat ywidth)
{
    if (const char *name = filter_word(filter, "PixelFilter"))
        Request().text("PixelFilter \"%s\" %g %g\n", name, d(xwidth), d(ywidth));
}

RtVoid rib_writer::Exposure(RtFloat gain, RtFloat gamma) { Request().text("Exposure %g %g\n", d(gain), d(gamma)); }

RIBOUT_LIST_REQUEST(Imager)

RtVoid rib_writer::Quantize(RtToken type, RtInt one, RtInt qmin, RtInt qmax, RtFloat ampl)
{
    Request().text("Quantize \"%s\" %d %d %d %g\n", str(type).c_str(), one, qmin, qmax, d(ampl));
}

RtVoid rib_writer::DisplayV(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Display \"%s\" \"%s\" \"%s\"", str(name).c_str(), str(type).c_str(), str(mode).c_str());
    r.params(nullptr, 0, n, tokens, params);
}

RIBOUT_LIST_REQUEST(Hider)

RtVoid rib_writer::ColorSamples(RtInt n, RtFloat nRGB[], RtFloat RGBn[])
{
    Request r;
    r.text("ColorSamples ");
    r.floats(3L * n, nRGB);
    r.text(" ");
    r.floats(3L * n, RGBn);
    r.text("\n");
}

RtVoid rib_writer::RelativeDetail(RtFloat relativedetail) { Request().text("RelativeDetail %g\n", d(relativedetail)); }

// Option "rib" "binary" switches the current output between ASCII and binary
// floats; it is not written.
RtVoid rib_writer::OptionV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    if (name && std::strcmp(name, "rib") == 0) {
        r.withdraw();
        for (RtInt i = 0; r.context() && tokens && params && i < n; ++i) {
            ParameterName p = parameter_name(tokens[i]);
            if (p.name && std::strcmp(p.name, "binary") == 0 && (p.type == DECL_UNKNOWN || p.type == DECL_INTEGER) &&
                params[i])
                r.context()->binary = *static_cast<const RtInt *>(params[i]);
        }
        return;
    }
    r.text("Option");
    r.params(name, 0, n, tokens, params);
}

RtVoid rib_writer::MakeTextureV(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                                RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    make_texture("MakeTexture", pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params);
}

RtVoid rib_writer::MakeBumpV(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                             RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    make_texture("MakeBump", pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params);
}

RtVoid rib_writer::MakeLatLongEnvironmentV(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth,
                                           RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    const char *f = filter_word(filter, "MakeLatLongEnvironment");
    if (!f) return;
    Request r;
    r.text("MakeLatLongEnvironment \"%s\" \"%s\" \"%s\" %g %g", str(pic).c_str(), str(tex).c_str(), f,
           d(swidth), d(twidth));
    r.params(nullptr, 0, n, tokens, params);
}

RtVoid rib_writer::MakeCubeFaceEnvironmentV(RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz,
                                            RtString tex, RtFloat fov, RtFilterFunc filter, RtFloat swidth,
                                            RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    const char *f = filter_word(filter, "MakeCubeFaceEnvironment");
    if (!f) return;
    Request r;
    r.text("MakeCubeFaceEnvironment \"%s\" \"%s\" \"%s\" \"%s\" \"%s\" \"%s\" \"%s\" %g \"%s\" %g %g",
           str(px).c_str(), str(nx).c_str(), str(py).c_str(), str(ny).c_str(), str(pz).c_str(), str(nz).c_str(),
           str(tex).c_str(), d(fov), f, d(swidth), d(twidth));
    r.params(nullptr, 0, n, tokens, params);
}

RtVoid rib_writer::MakeShadowV(RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("MakeShadow \"%s\" \"%s\"", str(pic).c_str(), str(tex).c_str());
    r.params(nullptr, 0, n, tokens, params);
}

