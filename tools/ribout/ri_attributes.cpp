// Attributes, shaders and lights.
#include <cstdint>

#include "tools/ribout/request.h"

using ribout::Request;
using ribout::str;

namespace {

double d(RtFloat v) { return static_cast<double>(v); }

void shader(const char *request, RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("%s", request);
    r.params(name, 0, n, tokens, params);
}

// A light gets the next light number of the output, written and answered as its handle.
RtLightHandle light(const char *request, RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    if (!r.context()) return nullptr;
    int id = r.context()->next_light++;
    r.text("%s", request);
    r.params(name, id, n, tokens, params);
    return reinterpret_cast<RtLightHandle>(static_cast<intptr_t>(id));
}

} // namespace

extern "C" {

RtVoid RiColor(RtColor color)
{
    Request r;
    r.text("Color ");
    r.floats(3, color);
    r.text("\n");
}

RtVoid RiOpacity(RtColor color)
{
    Request r;
    r.text("Opacity ");
    r.floats(3, color);
    r.text("\n");
}

RtVoid RiTextureCoordinates(RtFloat s1, RtFloat t1, RtFloat s2, RtFloat t2, RtFloat s3, RtFloat t3, RtFloat s4,
                            RtFloat t4)
{
    Request().text("TextureCoordinates [ %g %g %g %g %g %g %g %g ]\n", d(s1), d(t1), d(s2), d(t2), d(s3), d(t3),
                   d(s4), d(t4));
}

RtVoid RiShadingRate(RtFloat size) { Request().text("ShadingRate %g\n", d(size)); }
RtVoid RiShadingInterpolation(RtToken type) { Request().text("ShadingInterpolation \"%s\"\n", str(type)); }
RtVoid RiMatte(RtBoolean onoff) { Request().text("Matte %d\n", onoff); }

RtVoid RiBound(RtBound bound)
{
    Request r;
    r.text("Bound ");
    r.floats(6, bound);
    r.text("\n");
}

RtVoid RiDetail(RtBound bound)
{
    Request r;
    r.text("Detail ");
    r.floats(6, bound);
    r.text("\n");
}

RtVoid RiDetailRange(RtFloat minvis, RtFloat lowtran, RtFloat uptran, RtFloat maxvis)
{
    Request().text("DetailRange %g %g %g %g\n", d(minvis), d(lowtran), d(uptran), d(maxvis));
}

RtVoid RiGeometricApproximation(RtToken type, RtFloat value)
{
    Request().text("GeometricApproximation \"%s\" %g\n", str(type), d(value));
}

RtVoid RiGeometricRepresentation(RtToken type) { Request().text("GeometricRepresentation \"%s\"\n", str(type)); }
RtVoid RiReverseOrientation(void) { Request().text("ReverseOrientation\n"); }
RtVoid RiOrientation(RtToken orientation) { Request().text("Orientation \"%s\"\n", str(orientation)); }
RtVoid RiSides(RtInt sides) { Request().text("Sides %d\n", sides); }

RtVoid RiAttributeV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Attribute", name, n, tokens, params);
}

RtVoid RiSurfaceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Surface", name, n, tokens, params);
}

RtVoid RiAtmosphereV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Atmosphere", name, n, tokens, params);
}

RtVoid RiInteriorV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Interior", name, n, tokens, params);
}

RtVoid RiExteriorV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Exterior", name, n, tokens, params);
}

RtVoid RiDeformationV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Deformation", name, n, tokens, params);
}

RtVoid RiDisplacementV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    shader("Displacement", name, n, tokens, params);
}

RtLightHandle RiLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    return light("LightSource", name, n, tokens, params);
}

RtLightHandle RiAreaLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    return light("AreaLightSource", name, n, tokens, params);
}

RtVoid RiIlluminate(RtLightHandle handle, RtBoolean onoff)
{
    Request().text("Illuminate %ld %d\n", static_cast<long>(reinterpret_cast<intptr_t>(handle)), onoff);
}

} // extern "C"
