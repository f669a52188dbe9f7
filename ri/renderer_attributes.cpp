// The attribute keywords every renderer understands (RiAttribute).
#include <cmath>

#include "ri/declvalue.h"
#include "ri/renderer.h"
#include "ri/rierror.h"
#include "ri/same_string.h"
#include "ri/tokens.h"

namespace {

void set_flag(GState *g, uint32_t bit, bool on)
{
    if (on) g->flags |= bit;
    else g->flags &= ~bit;
}

Color decl_color(const Declaration *d, const void *v)
{
    Color c;
    int n = decl_count(d);
    for (int i = 0; i < 3; i++) c[i] = decl_float(d, v, i < n ? i : 0);
    return c;
}

bool above_threshold(const Color &c)
{
    return c.x + c.y + c.z > 0.001f;
}

// A word that picks one of several values; -1 for any other word.
int word_index(const char *word, std::initializer_list<const char *> words)
{
    int i = 0;
    for (const char *w : words) {
        if (is(word, w)) return i;
        i++;
    }
    return -1;
}

void unknown_word(const char *name, const char *token, const char *word)
{
    ri_error(RIE_BADTOKEN, RIE_WARNING, "Unknown %s %s attribute: \"%s\"", name, token, word ? word : "");
}

// A displacement bound must be a finite distance: an infinite one would put
// the object's box everywhere. Reported and ignored otherwise.
bool finite_bound(const char *name, const char *token, float v)
{
    if (std::isfinite(v)) return true;
    ri_error(RIE_RANGE, RIE_ERROR, "Attribute \"%s\" \"%s\": bound %g is not finite; ignored", name, token, double(v));
    return false;
}

} // namespace

int Renderer::attribute(RtToken name, RtToken token, RtPointer value)
{
    Declaration *d = declarations().lookup(token);
    if (!d) {
        ri_error(RIE_BADTOKEN, RIE_WARNING, "RiAttribute: Token \"%s\" not declared", token ? token : "");
        return -1;
    }
    unshare_gstate(this);
    GState *g = attributes.get();
    const char *t = d->name();

    if (is(name, "light") || is(name, "lightsource")) {
        if (is(t, "shadows")) {
            const char *w = decl_string(d, value);
            if (is(w, "on")) g->flags |= GS_LIGHT_SHADOWS;
            else if (is(w, "off")) g->flags &= ~GS_LIGHT_SHADOWS;
            else unknown_word(name, t, w);
        } else if (is(t, "shadowrays") || is(t, "nsamples")) {
            int n = decl_int(d, value);
            g->light_samples = (uint16_t)(n <= 0 ? 1 : n > 255 ? 255 : n);
        } else if (is(t, "nphotons")) {
            g->light_photons = decl_int(d, value);
            need_photons = 1;
        } else if (is(t, "samplingstrategy")) g->light_strategy = (uint16_t)decl_int(d, value);
        else return -1;
        return 0;
    }
    if (is(name, "shadow") || is(name, "tinygrids")) return 0;
    if (is(name, "invisible")) {
        if (is(t, "primary")) set_flag(g, GS_INVISIBLE_PRIMARY, decl_int(d, value) != 0);
        else if (is(t, "secondary") || is(t, "reflection"))
            set_flag(g, GS_INVISIBLE_SECONDARY, decl_int(d, value) != 0);
        else if (is(t, "shadow")) g->casts_shadows = decl_int(d, value) == 1 ? 0 : 2;
        else return -1;
        return 0;
    }
    if (is(name, "dice")) {
        if (is(t, "binary")) set_flag(g, GS_DICE_BINARY, decl_int(d, value) != 0);
        else if (is(t, "rasterorient") || is(t, "stitch") || is(t, "hair")) {
        } else return -1;
        return 0;
    }
    if (is(name, "identifier")) {
        if (is(t, "name")) g->identifier = NewToken(decl_string(d, value));
        else if (is(t, "shadinggroup") || is(t, "id")) {
        } else return -1;
        return 0;
    }
    if (is(name, "bound")) {
        if (!is(t, "displacement")) return -1;
        if (!finite_bound(name, t, decl_float(d, value))) return 0;
        g->displacement_bound = decl_float(d, value);
        g->displacement_space = nullptr;
        return 0;
    }
    if (is(name, "displacementbound")) {
        if (is(t, "sphere")) {
            if (finite_bound(name, t, decl_float(d, value))) g->displacement_bound = decl_float(d, value);
        }
        else if (is(t, "coordinatesystem")) g->displacement_space = NewToken(decl_string(d, value));
        else if (is(t, "transform")) {
        } else return -1;
        return 0;
    }
    if (is(name, "trimcurve")) {
        if (!is(t, "sense")) return -1;
        const char *w = decl_string(d, value);
        if (is(w, "outside")) g->flags |= GS_TRIM_OUTSIDE;
        else if (is(w, "inside")) g->flags &= ~GS_TRIM_OUTSIDE;
        else unknown_word(name, t, w);
        return 0;
    }
    if (is(name, "limits")) return is(t, "eyesplits") ? 0 : -1;
    if (is(name, "divisions")) {
        if (is(t, "udivisions")) g->udivisions = (uint16_t)decl_int(d, value);
        else if (is(t, "vdivisions")) g->vdivisions = (uint16_t)decl_int(d, value);
        else return -1;
        return 0;
    }
    if (is(name, "sides")) return is(t, "backfacetolerance") || is(t, "doubleshaded") ? 0 : -1;
    if (is(name, "derivatives")) return is(t, "centered") || is(t, "extrapolate") ? 0 : -1;
    if (is(name, "render")) {
        if (is(t, "casts_shadows")) {
            const char *w = decl_string(d, value);
            int mode = word_index(w, {"none", "opaque", "Os", "shade"});
            if (mode < 0) unknown_word(name, t, w);
            else g->casts_shadows = (uint8_t)mode;
        } else if (is(t, "use_shadingrate")) set_flag(g, GS_USE_SHADINGRATE, decl_int(d, value) != 0);
        else if (is(t, "truedisplacement")) set_flag(g, GS_TRUEDISPLACEMENT, decl_int(d, value) != 0);
        else if (is(t, "patch_maxlevel")) g->patch_maxlevel = (uint16_t)decl_int(d, value);
        else if (is(t, "patch_minlevel")) g->patch_minlevel = (uint16_t)decl_int(d, value);
        else if (is(t, "patch_splitdepth")) g->patch_splitdepth = (uint16_t)decl_int(d, value);
        else if (is(t, "patch_multiplier")) g->patch_multiplier = decl_float(d, value);
        else if (is(t, "visibility")) {
            int n = decl_int(d, value);
            set_flag(g, GS_INVISIBLE_PRIMARY, !(n & 1));
            set_flag(g, GS_INVISIBLE_SECONDARY, !(n & 2));
            if (n & 4) {
                if (g->casts_shadows == 0) g->casts_shadows = 2;
            } else {
                g->casts_shadows = 0;
            }
        } else return -1;
        return 0;
    }
    if (is(name, "radiosity")) {
        if (is(t, "averagecolor")) {
            g->rad_averagecolor = decl_color(d, value);
            g->flags |= GS_AVERAGECOLOR_GIVEN;
        } else if (is(t, "emissioncolor")) {
            g->rad_emissioncolor = decl_color(d, value);
            set_flag(g, GS_RAD_EMITTER, above_threshold(g->rad_emissioncolor));
        } else if (is(t, "specularcolor")) {
            g->rad_specularcolor = decl_color(d, value);
            set_flag(g, GS_RAD_SPECULAR, above_threshold(g->rad_specularcolor));
        } else if (is(t, "refractioncolor")) {
            g->rad_refractioncolor = decl_color(d, value);
            set_flag(g, GS_RAD_REFRACTION, above_threshold(g->rad_refractioncolor));
        } else if (is(t, "refractionindex")) g->refraction_index = decl_float(d, value);
        else if (is(t, "patchsize") || is(t, "elemsize") || is(t, "minsize")) {
            float v = decl_float(d, value);
            if ((level & LEVEL_WORLD) && transformation.is_set()) v = transformation->length_to_world(v);
            if (is(t, "patchsize")) g->rad_patchsize = v;
            else if (is(t, "elemsize")) g->rad_elemsize = v;
            else g->rad_minsize = v;
        } else if (is(t, "has_caustics")) set_flag(g, GS_RAD_CAUSTICS, decl_int(d, value) != 0);
        else if (is(t, "has_shadows")) set_flag(g, GS_RAD_SHADOWS, decl_int(d, value) != 0);
        else if (is(t, "zonal")) {
            const char *w = decl_string(d, value);
            int mode = word_index(w, {"none", "zonal_receives", "zonal_shoots", "fully_zonal", "zonal_none"});
            if (mode < 0) unknown_word(name, t, w);
            else g->zonal = (uint8_t)(mode == 4 ? 0 : mode);
        } else return -1;
        return 0;
    }
    return -1;
}
