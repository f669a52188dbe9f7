// The RI shader procedures: they check the state and hand the shader name,
// its use and the parameter list to the renderer's shader operation.
#include "ri/front_end.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"

namespace {

void bind(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[])
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_WARNING);
    if (!first_motion_spec(r)) return;
    r->shader(name, use, n, tokens, values);
}

RtLightHandle bind_light(RtToken name, int use, const char *request, RtInt n, RtToken tokens[],
                         RtPointer values[])
{
    Renderer *r = renderer_or_report();
    if (!r) return nullptr;
    if (r->level == 0) {
        ri_error(RIE_NOTATTRIBS, RIE_WARNING, "Bad scoping for %s", request);
        return nullptr;
    }
    if (!first_motion_spec(r)) return nullptr;
    RtLightHandle h = r->shader(name, use, n, tokens, values);
    r->note_light(h);
    return h;
}

} // namespace

RtVoid ri_front::SurfaceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_SURFACE, n, tokens, values);
}

RtVoid ri_front::InteriorV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_INTERIOR, n, tokens, values);
}

RtVoid ri_front::ExteriorV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_EXTERIOR, n, tokens, values);
}

RtVoid ri_front::AtmosphereV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_ATMOSPHERE, n, tokens, values);
}

RtVoid ri_front::DisplacementV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_DISPLACEMENT, n, tokens, values);
}

RtVoid ri_front::DeformationV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_DEFORMATION, n, tokens, values);
}

RtVoid ri_front::ImagerV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    bind(name, USE_IMAGER, n, tokens, values);
}

RtLightHandle ri_front::LightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    return bind_light(name, USE_LIGHT, "LightSource", n, tokens, values);
}

RtLightHandle ri_front::AreaLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[])
{
    return bind_light(name, USE_AREALIGHT, "AreaLightSource", n, tokens, values);
}

RtVoid ri_front::Illuminate(RtLightHandle light, RtBoolean onoff)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) ri_error(RIE_NOTATTRIBS, RIE_WARNING, "Bad scoping for RiIlluminate()");
    // A handle whose frame or world has ended names no light any more.
    if (light && !r->light_is_live(light)) light = nullptr;
    r->illuminate(light, static_cast<int16_t>(onoff));
}
