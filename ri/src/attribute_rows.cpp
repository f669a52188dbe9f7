#include "ri/attribute_rows.h"

#include <cmath>

#include "ri/declvalue.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"

namespace {

template <auto M> constexpr Field attr() { return field<GState, M>(); }
template <uint32_t BIT> constexpr Field flag() { return flag_field<GState, &GState::flags, BIT>(); }

void set_flag(GState *g, uint32_t bit, bool on)
{
    if (on) g->flags |= bit;
    else g->flags &= ~bit;
}

// A displacement bound must be a finite distance: an infinite one would put
// the object's box everywhere. Reported and ignored otherwise.
bool finite_bound(const KeywordRow &row, float v)
{
    if (std::isfinite(v)) return true;
    ri_error(RIE_RANGE, RIE_ERROR, "Attribute \"%s\" \"%s\": bound %g is not finite; ignored", row.name, row.token,
             double(v));
    return false;
}

// "bound" "displacement": a bound in object space.
int object_bound(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    if (!finite_bound(row, decl_float(d, value))) return 0;
    r.attributes->displacement_bound = decl_float(d, value);
    r.attributes->displacement_space = nullptr;
    return 0;
}

// "displacementbound" "sphere": a bound in the space given beside it.
int sphere_bound(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    if (finite_bound(row, decl_float(d, value))) r.attributes->displacement_bound = decl_float(d, value);
    return 0;
}

int light_photons(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    r.attributes->light_photons = decl_int(d, value);
    r.need_photons = 1;
    return 0;
}

// Invisible to shadows (1) casts none; any other value casts them as Os.
int invisible_shadow(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    r.attributes->casts_shadows = decl_int(d, value) == 1 ? 0 : 2;
    return 0;
}

// Bits 1 camera rays, 2 secondary rays, 4 shadows (as Os unless a mode was given).
int visibility(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    GState *g = r.attributes.get();
    const int n = decl_int(d, value);
    set_flag(g, GS_INVISIBLE_PRIMARY, !(n & 1));
    set_flag(g, GS_INVISIBLE_SECONDARY, !(n & 2));
    if (n & 4) {
        if (g->casts_shadows == 0) g->casts_shadows = 2;
    } else {
        g->casts_shadows = 0;
    }
    return 0;
}

// A radiosity colour and the flag that tells it was given (ALWAYS) or is above 0.001.
template <uint32_t BIT, bool ALWAYS>
int radiosity_color(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    KeywordRow color = row;
    color.type = ROW_COLOR;
    color.rule = Clamp();
    GState *g = r.attributes.get();
    apply_row(r, color, g, d, value);
    const Color &c = *static_cast<const Color *>(row.field.at(g));
    set_flag(g, BIT, ALWAYS || c.x + c.y + c.z > 0.001f);
    return 0;
}

// Radiosity lengths given in the world are in the current space.
int radiosity_length(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    float v = decl_float(d, value);
    if ((r.level & LEVEL_WORLD) && r.transformation.is_set()) v = r.transformation->length_to_world(v);
    store_number(row.field, r.attributes.get(), v);
    return 0;
}

const WordValue ON_OFF[] = {{"on", 1}, {"off", 0}, {nullptr, 0}};
const WordValue TRIM_SENSE[] = {{"outside", 1}, {"inside", 0}, {nullptr, 0}};
const WordValue SHADOW_MODES[] = {{"none", 0}, {"opaque", 1}, {"Os", 2}, {"shade", 3}, {nullptr, 0}};
const WordValue ZONAL_MODES[] = {{"none", 0},        {"zonal_receives", 1}, {"zonal_shoots", 2},
                                 {"fully_zonal", 3}, {"zonal_none", 0},     {nullptr, 0}};

const KeywordRow ROWS[] = {
    {"light", "shadows", ROW_WORD, flag<GS_LIGHT_SHADOWS>(), ON_OFF},
    {"light", "shadowrays", ROW_INT, attr<&GState::light_samples>(), range(1, 255)},
    {"light", "nsamples", ROW_INT, attr<&GState::light_samples>(), range(1, 255)},
    {"light", "nphotons", ROW_PROC, attr<&GState::light_photons>(), &light_photons},
    {"light", "samplingstrategy", ROW_INT, attr<&GState::light_strategy>()},
    {"lightsource", "shadows", ROW_WORD, flag<GS_LIGHT_SHADOWS>(), ON_OFF},
    {"lightsource", "shadowrays", ROW_INT, attr<&GState::light_samples>(), range(1, 255)},
    {"lightsource", "nsamples", ROW_INT, attr<&GState::light_samples>(), range(1, 255)},
    {"lightsource", "nphotons", ROW_PROC, attr<&GState::light_photons>(), &light_photons},
    {"lightsource", "samplingstrategy", ROW_INT, attr<&GState::light_strategy>()},

    {"shadow", nullptr},
    {"tinygrids", nullptr},

    {"invisible", "primary", ROW_BOOL, flag<GS_INVISIBLE_PRIMARY>()},
    {"invisible", "secondary", ROW_BOOL, flag<GS_INVISIBLE_SECONDARY>()},
    {"invisible", "reflection", ROW_BOOL, flag<GS_INVISIBLE_SECONDARY>()},
    {"invisible", "shadow", ROW_PROC, attr<&GState::casts_shadows>(), &invisible_shadow},

    {"dice", "binary", ROW_BOOL, flag<GS_DICE_BINARY>()},
    {"dice", "rasterorient"},
    {"dice", "stitch"},
    {"dice", "hair"},

    {"identifier", "name", ROW_STRING, attr<&GState::identifier>(), {}, ""},
    {"identifier", "shadinggroup"},
    {"identifier", "id"},

    {"bound", "displacement", ROW_PROC, attr<&GState::displacement_bound>(), &object_bound},
    {"displacementbound", "sphere", ROW_PROC, attr<&GState::displacement_bound>(), &sphere_bound, ""},
    {"displacementbound", "coordinatesystem", ROW_STRING, attr<&GState::displacement_space>(), {}, "current"},
    {"displacementbound", "transform"},

    {"trimcurve", "sense", ROW_WORD, flag<GS_TRIM_OUTSIDE>(), TRIM_SENSE},
    {"limits", "eyesplits"},
    {"divisions", "udivisions", ROW_INT, attr<&GState::udivisions>()},
    {"divisions", "vdivisions", ROW_INT, attr<&GState::vdivisions>()},
    {"sides", "backfacetolerance"},
    {"sides", "doubleshaded", ROW_NONE, {}, {}, ""},
    {"derivatives", "centered"},
    {"derivatives", "extrapolate"},

    {"render", "casts_shadows", ROW_WORD, attr<&GState::casts_shadows>(), SHADOW_MODES},
    {"render", "use_shadingrate", ROW_BOOL, flag<GS_USE_SHADINGRATE>()},
    {"render", "truedisplacement", ROW_BOOL, flag<GS_TRUEDISPLACEMENT>()},
    {"render", "patch_maxlevel", ROW_INT, attr<&GState::patch_maxlevel>()},
    {"render", "patch_minlevel", ROW_INT, attr<&GState::patch_minlevel>()},
    {"render", "patch_splitdepth", ROW_INT, attr<&GState::patch_splitdepth>()},
    {"render", "patch_multiplier", ROW_FLOAT, attr<&GState::patch_multiplier>()},
    {"render", "visibility", ROW_PROC, {}, &visibility},

    {"radiosity", "averagecolor", ROW_PROC, attr<&GState::rad_averagecolor>(),
     &radiosity_color<GS_AVERAGECOLOR_GIVEN, true>},
    {"radiosity", "emissioncolor", ROW_PROC, attr<&GState::rad_emissioncolor>(),
     &radiosity_color<GS_RAD_EMITTER, false>},
    {"radiosity", "specularcolor", ROW_PROC, attr<&GState::rad_specularcolor>(),
     &radiosity_color<GS_RAD_SPECULAR, false>},
    {"radiosity", "refractioncolor", ROW_PROC, attr<&GState::rad_refractioncolor>(),
     &radiosity_color<GS_RAD_REFRACTION, false>},
    {"radiosity", "refractionindex", ROW_FLOAT, attr<&GState::refraction_index>()},
    {"radiosity", "patchsize", ROW_PROC, attr<&GState::rad_patchsize>(), &radiosity_length},
    {"radiosity", "elemsize", ROW_PROC, attr<&GState::rad_elemsize>(), &radiosity_length},
    {"radiosity", "minsize", ROW_PROC, attr<&GState::rad_minsize>(), &radiosity_length},
    {"radiosity", "has_caustics", ROW_BOOL, flag<GS_RAD_CAUSTICS>()},
    {"radiosity", "has_shadows", ROW_BOOL, flag<GS_RAD_SHADOWS>()},
    {"radiosity", "zonal", ROW_WORD, attr<&GState::zonal>(), ZONAL_MODES},
};

} // namespace

RowTable attribute_rows()
{
    return {ROWS, sizeof ROWS / sizeof ROWS[0]};
}

int Renderer::attribute(RtToken name, RtToken token, RtPointer value)
{
    Declaration *d = declarations().lookup(token);
    if (!d) {
        ri_error(RIE_BADTOKEN, RIE_WARNING, "RiAttribute: Token \"%s\" not declared", token ? token : "");
        return -1;
    }
    // Even a pair that turns out unknown leaves the attribute state private.
    unshare_gstate(this);
    const KeywordRow *row = attribute_rows().find(name, d->name());
    return row ? apply_row(*this, *row, attributes.get(), d, value) : -1;
}
