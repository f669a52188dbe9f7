// Attributes, shaders and lights.
#include <cstdint>

#include "request.h"

using ribout::Request;
using ribout::str;

namespace {

double d(RtFloat v) { return static_cast<double>(v); }

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


RIBOUT_LIST_REQUEST(Attribute)
RIBOUT_LIST_REQUEST(Surface)
RIBOUT_LIST_REQUEST(Atmosphere)
RIBOUT_LIST_REQUEST(Interior)
RIBOUT_LIST_REQUEST(Exterior)
RIBOUT_LIST_REQUEST(Deformation)
RIBOUT_LIST_REQUEST(Displacement)

RtVoid rib_writer::Color(RtColor color) { ribout::float_array_request("Color", 3, color); }

RtVoid rib_writer::Opacity(RtColor color) { ribout::float_array_request("Opacity", 3, color); }

RtVoid rib_writer::TextureCoordinates(RtFloat s1, RtFloat t1, RtFloat s2, RtFloat t2, RtFloat s3, RtFloat t3, RtFloat s4,
                                      RtFloat t4)
{
    Request().text("TextureCoordinates [ %g %g %g %g %g %g %g %g ]\n", d(s1), d(t1), d(s2), d(t2), d(s3), d(t3),
                   d(s4), d(t4));
}

RtVoid rib_writer::ShadingRate(RtFloat size) { Request().text("ShadingRate %g\n", d(size)); }
RtVoid rib_writer::ShadingInterpolation(RtToken type) { Request().text("ShadingInterpolation \"%s\"\n", str(type).c_str()); }
RtVoid rib_writer::Matte(RtBoolean onoff) { Request().text("Matte %d\n", onoff); }

RtVoid rib_writer::Bound(RtBound bound) { ribout::float_array_request("Bound", 6, bound); }

RtVoid rib_writer::Detail(RtBound bound) { ribout::float_array_request("Detail", 6, bound); }

RtVoid rib_writer::DetailRange(RtFloat minvis, RtFloat lowtran, RtFloat uptran, RtFloat maxvis)
{
    Request().text("DetailRange %g %g %g %g\n", d(minvis), d(lowtran), d(uptran), d(maxvis));
}

RtVoid rib_writer::GeometricApproximation(RtToken type, RtFloat value)
{
    Request().text("GeometricApproximation \"%s\" %g\n", str(type).c_str(), d(value));
}

RtVoid rib_writer::GeometricRepresentation(RtToken type)
{
    Request().text("GeometricRepresentation \"%s\"\n", str(type).c_str());
}
RtVoid rib_writer::ReverseOrientation(void) { Request().text("ReverseOrientation\n"); }
RtVoid rib_writer::Orientation(RtToken orientation) { Request().text("Orientation \"%s\"\n", str(orientation).c_str()); }
RtVoid rib_writer::Sides(RtInt sides) { Request().text("Sides %d\n", sides); }

RtLightHandle rib_writer::LightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    return light("LightSource", name, n, tokens, params);
}

RtLightHandle rib_writer::AreaLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    return light("AreaLightSource", name, n, tokens, params);
}

RtVoid rib_writer::Illuminate(RtLightHandle handle, RtBoolean onoff)
{
    Request().text("Illuminate %ld %d\n", static_cast<long>(reinterpret_cast<intptr_t>(handle)), onoff);
}

