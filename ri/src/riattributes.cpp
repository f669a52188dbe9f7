// The RI attribute procedures: colour, opacity, texture coordinates, shading
// rate and interpolation, matte, detail, representation, sides, RiAttribute.
#include <cstring>

#include "ri/front_end.h"
#include "level_of_detail.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"

namespace {

// No renderer: reported, null. Outside any level: reported, and the call goes on.
Renderer *attribute_check()
{
    Renderer *r = renderer_or_report();
    if (r && r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_WARNING);
    return r;
}

void set_flag(Renderer *r, uint32_t bit, bool on)
{
    uint32_t flags = r->attributes->flags;
    uint32_t want = on ? (flags | bit) : (flags & ~bit);
    if (want == flags) return;
    unshare_gstate(r);
    r->attributes->flags = want;
}

} // namespace

RtVoid ri_front::Color(RtColor color)
{
    Renderer *r = attribute_check();
    if (!r || !first_motion_spec(r)) return;
    ::Color c(color[0], color[1], color[2]);
    if (c == r->attributes->color) return;
    unshare_gstate(r);
    GState *g = r->attributes.get();
    g->color = c;
    if (!(g->flags & GS_AVERAGECOLOR_GIVEN)) g->rad_averagecolor = c;
    r->color_changed(color);
}

RtVoid ri_front::Opacity(RtColor color)
{
    Renderer *r = attribute_check();
    if (!r || !first_motion_spec(r)) return;
    ::Color c(color[0], color[1], color[2]);
    if (c == r->attributes->opacity) return;
    unshare_gstate(r);
    r->attributes->opacity = c;
}

RtVoid ri_front::TextureCoordinates(RtFloat s1, RtFloat t1, RtFloat s2, RtFloat t2,
                                    RtFloat s3, RtFloat t3, RtFloat s4, RtFloat t4)
{
    Renderer *r = attribute_check();
    if (!r) return;
    float st[8] = {s1, t1, s2, t2, s3, t3, s4, t4};
    GState *g = r->attributes.get();
    if (!memcmp(st, g->texture_coords, sizeof st) && (g->flags & GS_TEXCOORDS)) return;
    unshare_gstate(r);
    g = r->attributes.get();
    memcpy(g->texture_coords, st, sizeof st);
    g->flags |= GS_TEXCOORDS;
}

RtVoid ri_front::ShadingRate(RtFloat size)
{
    Renderer *r = attribute_check();
    if (!r) return;
    float rate = size >= 0.125f ? size : 0.125f;
    if (rate == r->attributes->shading_rate) return;
    unshare_gstate(r);
    set_shading_rate(r->attributes.get(), rate);
}

RtVoid ri_front::ShadingInterpolation(RtToken type)
{
    Renderer *r = attribute_check();
    if (!r) return;
    if (is(type, "constant")) set_flag(r, GS_SMOOTH, false);
    else if (is(type, "smooth")) set_flag(r, GS_SMOOTH, true);
    else ri_error(RIE_BADTOKEN, RIE_WARNING, "RiShadingInterpolation(): bad type");
}

RtVoid ri_front::Matte(RtBoolean onoff)
{
    Renderer *r = attribute_check();
    if (!r) return;
    set_flag(r, GS_MATTE, onoff != 0);
}

RtVoid ri_front::Bound(RtBound)
{
    attribute_check();
}

RtVoid ri_front::Detail(RtBound bound)
{
    Renderer *r = attribute_check();
    if (!r) return;
    float detail = raster_detail(*r, bound);
    if (detail == r->attributes->detail) return;
    unshare_gstate(r);
    r->attributes->detail = detail;
}

RtVoid ri_front::DetailRange(RtFloat minvisible, RtFloat lowertransition, RtFloat uppertransition, RtFloat maxvisible)
{
    Renderer *r = attribute_check();
    if (!r) return;
    float range[4] = {minvisible, lowertransition, uppertransition, maxvisible};
    if (!(0 <= range[0] && range[0] <= range[1] && range[1] <= range[2] && range[2] <= range[3])) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "RiDetailRange: %g %g %g %g is not an increasing range", range[0],
                 range[1], range[2], range[3]);
        return;
    }
    unshare_gstate(r);
    memcpy(r->attributes->detail_range, range, sizeof range);
    r->attributes->flags |= GS_DETAIL_RANGE;
}

RtVoid ri_front::GeometricApproximation(RtToken, RtFloat)
{
    attribute_check();
}

RtVoid ri_front::GeometricRepresentation(RtToken type)
{
    Renderer *r = attribute_check();
    if (!r) return;
    static const char *const names[] = {"primitive", "lines", "points", "sketch"};
    for (int i = 0; i < 4; i++) {
        if (!is(type, names[i])) continue;
        if (r->attributes->representation != i) {
            unshare_gstate(r);
            r->attributes->representation = i;
        }
        r->representation_changed();
        return;
    }
    ri_error(RIE_BADTOKEN, RIE_ERROR, "Bad GeometricRepresentation: \"%s\"", type ? type : "");
}

RtVoid ri_front::Sides(RtInt sides)
{
    Renderer *r = attribute_check();
    if (!r) return;
    set_flag(r, GS_TWOSIDED, sides != 1);
    r->sides_changed();
}

RtVoid ri_front::AttributeV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[])
{
    Renderer *r = attribute_check();
    if (!r) return;
    for (int i = 0; i < n; i++) {
        if (r->attribute(name, tokens[i], params[i]) < 0)
            ri_error(RIE_BADTOKEN, RIE_WARNING, "Unknown Attribute type: \"%s\" \"%s\"",
                     name ? name : "", tokens[i] ? tokens[i] : "");
    }
}
