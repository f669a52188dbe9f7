// The option keywords every renderer understands (RiOption).

#include "ri/declvalue.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "ri/rierror.h"
#include "ri/same_string.h"
#include "ri/searchpath.h"
#include "ri/tokens.h"

namespace {

// Names whose every keyword is accepted without effect.
const char *const IGNORED_OPTIONS[] = {"parallel", "shadebuffer", "texture", "motion", "zdice",
                                       "hair", "camera", "profile", "tinygrids", "rib"};

int power_of_two_at_least(int v)
{
    int p = 16;
    while (p < v && p < (1 << 30)) p <<= 1;
    return p;
}

float clampf(float v, float lo, float hi)
{
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

// Sets a search path: '&' stands for the old path, "$ARCH" for the architecture.
RtToken new_search_path(const char *value, RtToken old)
{
    if (!value) return old;
    std::string joined = substitute_old_path(value, old ? old : "");
    return expand_arch_path(joined.c_str());
}

} // namespace

int Renderer::option(RtToken name, RtToken token, RtPointer value)
{
    Declaration *d = declarations().lookup(token);
    if (!d) {
        ri_error(RIE_BADTOKEN, RIE_WARNING, "RiOption: Token \"%s\" not declared", token ? token : "");
        return -1;
    }
    const char *t = d->name();
    Options &o = options;

    if (is(name, "radiosity")) {
        if (is(t, "steps") || is(t, "minpatchsamples")) {
            // Both live in 16-bit fields; a patch side of n strata costs n*n
            // samples at every vertex, so n is held to what finishes.
            const bool steps = is(t, "steps");
            const int n = decl_int(d, value), most = steps ? MAX_RADIOSITY_STEPS : MAX_PATCH_SAMPLES;
            if (n < 0 || n > most) {
                ri_error(RIE_RANGE, RIE_ERROR, "RiOption: \"radiosity\" \"%s\" %d out of range (0 to %d)", t, n,
                         most);
                return 0;
            }
            if (steps) o.radiosity_steps = (uint16_t)n;
            else o.minpatchsamples = (uint16_t)n;
        } else if (is(t, "patchsize") || is(t, "elemsize") || is(t, "minsize")) {
            const float v = decl_float(d, value);
            if (!(v > 0) || !(v < 1e30f)) {
                ri_error(RIE_RANGE, RIE_ERROR, "RiOption: \"radiosity\" \"%s\" %g out of range", t, v);
                return 0;
            }
            // The sizes given as options are the defaults of the attribute
            // state from here on; an attribute still overrides them.
            unshare_gstate(this);
            GState *g = attributes.get();
            if (is(t, "patchsize")) o.rad_patchsize = g->rad_patchsize = v;
            else if (is(t, "elemsize")) o.rad_elemsize = g->rad_elemsize = v;
            else o.rad_minsize = g->rad_minsize = v;
        } else return -1;
        return 0;
    }
    if (is(name, "render")) {
        if (is(t, "look_behind")) o.look_behind = decl_int(d, value);
        else if (is(t, "safetyfile")) safety_file = decl_int(d, value);
        else if (is(t, "verbose") || is(t, "debug")) render_debug_level = decl_int(d, value);
        else if (is(t, "use_hierarchy")) {
            int n = decl_int(d, value);
            o.hierarchy[0] = n > 0;
            o.hierarchy[1] = n == 2 || n == 3;
            o.hierarchy[2] = n == 3;
        } else if (is(t, "goldsal")) o.hierarchy[1] = decl_int(d, value) != 0;
        else if (is(t, "max_raylevel")) {
            int n = decl_int(d, value);
            o.max_raylevel = n >= 16 ? 15 : n;
        } else if (is(t, "minsamples")) {
            int n = decl_int(d, value);
            o.minsamples = n <= 3 ? 4 : n;
        } else if (is(t, "maxsamples")) {
            int n = decl_int(d, value);
            if (n < o.minsamples) n = o.minsamples;
            else if (n <= 3) n = 4;
            else if (n > 256) n = 256;
            o.maxsamples = n;
        } else if (is(t, "branch_ratio")) o.branch_ratio = decl_float(d, value);
        else if (is(t, "max_branch_ratio")) o.max_branch_ratio = decl_float(d, value);
        else if (is(t, "minshadowbias")) o.minshadowbias = decl_float(d, value);
        else if (is(t, "maxshadowbias")) o.maxshadowbias = decl_float(d, value);
        else if (is(t, "prmanspecular") || is(t, "cooktorrancespecular")) o.specular_model = decl_int(d, value);
        else if (is(t, "useprmandspy")) o.useprmandspy = (uint8_t)(decl_int(d, value) != 0);
        else if (is(t, "useprmannoise")) o.useprmannoise = (uint8_t)(decl_int(d, value) != 0);
        else return -1;
        return 0;
    }
    if (is(name, "indirect")) {
        if (is(t, "maxerror")) o.indirect_maxerror = clampf(decl_float(d, value), 1e-8f, 100);
        else if (is(t, "maxpixeldist")) o.indirect_maxpixeldist = clampf(decl_float(d, value), 0, 10000);
        else if (is(t, "nsamples")) {
            int n = decl_int(d, value);
            o.indirect_nsamples = n < 0 ? 0 : n;
        } else if (is(t, "minvalid")) {
            int n = decl_int(d, value);
            o.indirect_minvalid = n <= 0 ? 1 : n > 200 ? 200 : n;
        } else if (is(t, "interpolate")) o.indirect_interpolate = decl_int(d, value);
        else if (is(t, "seedfile")) o.indirect_seedfile = NewToken(decl_string(d, value));
        else if (is(t, "savefile")) o.indirect_savefile = NewToken(decl_string(d, value));
        else if (is(t, "preseed")) o.indirect_preseed = decl_int(d, value);
        else return -1;
        return 0;
    }
    if (is(name, "searchpath")) {
        const char *v = decl_string(d, value);
        if (is(t, "include") || is(t, "archive")) o.archive_path = new_search_path(v, o.archive_path);
        else if (is(t, "texture") || is(t, "servertexture")) o.texture_path = new_search_path(v, o.texture_path);
        else if (is(t, "shader") || is(t, "servershader")) o.shader_path = new_search_path(v, o.shader_path);
        else if (is(t, "procedural")) o.procedural_path = new_search_path(v, o.procedural_path);
        else if (is(t, "display")) o.display_path = new_search_path(v, o.display_path);
        else if (is(t, "resource") || is(t, "serverresource")) {
            static const char *const kinds[] = {"texture", "shader", "archive", "procedural", "display"};
            for (const char *kind : kinds) option(name, NewToken(kind), value);
        } else if (is(t, "vfxmaster") || is(t, "vfxinstance")) {
        } else return -1;
        return 0;
    }
    if (is(name, "runtime")) {
        if (!is(t, "verbosity")) return -1;
        const char *w = decl_string(d, value);
        if (is(w, "silent")) o.verbosity = 0;
        else if (is(w, "normal")) o.verbosity = VERBOSE_NORMAL;
        else if (is(w, "verbose")) o.verbosity = VERBOSE_NORMAL | VERBOSE_VERBOSE;
        else if (is(w, "stats")) {
            o.verbosity = VERBOSE_NORMAL | VERBOSE_VERBOSE | VERBOSE_STATS;
            o.stats_level = 100;
        } else if (is(w, "debug")) {
            o.verbosity = VERBOSE_NORMAL | VERBOSE_VERBOSE | VERBOSE_DEBUG | VERBOSE_STATS;
            o.stats_level = 100;
            render_debug_level = 2;
        } else {
            ri_error(RIE_BADTOKEN, RIE_WARNING, "Unknown %s %s option \"%s\"", name, t, w ? w : "");
        }
        if (o.rayserver || o.force_silence) {
            o.verbosity = 0;
            o.stats_level = 0;
        }
        return 0;
    }
    if (is(name, "shadow")) {
        if (is(t, "bias0")) o.minshadowbias = decl_float(d, value);
        else if (is(t, "bias1")) o.maxshadowbias = decl_float(d, value);
        else if (is(t, "zlerp") || is(t, "jitter") || is(t, "epsilon") || is(t, "epsilon1") || is(t, "epsilon2")) {
        } else return -1;
        return 0;
    }
    if (is(name, "limits")) {
        if (is(t, "texturememory")) {
            int n = decl_int(d, value);
            o.texturememory = n < 500 ? 512000 : (n > 100000 ? 100000 : n) * 1024;
        } else if (is(t, "geommemory")) {
            int n = decl_int(d, value);
            o.geommemory = n <= 10000 ? 10240000 : n <= 1048576 ? n * 1024 : 1073741824;
        } else if (is(t, "bucketsize")) {
            int w = decl_int(d, value, 0), h = decl_count(d) > 1 ? decl_int(d, value, 1) : w;
            o.bucketsize[0] = o.bucketsize[1] = power_of_two_at_least(w > h ? w : h);
        } else if (is(t, "derivmemory")) {
            int n = decl_int(d, value);
            o.derivmemory = n < 2 ? 2048 : n <= 1024 ? n * 1024 : 1048576;
        } else if (is(t, "othreshold")) {
            for (int i = 0; i < 3; i++) o.othreshold[i] = clampf(decl_float(d, value, i < decl_count(d) ? i : 0), 0, 1);
        } else if (is(t, "curvethinning")) {
            int n = decl_int(d, value);
            o.curvethinning = n < 2 ? 0 : n;
        } else if (is(t, "curvethinthreshold")) {
            int n = decl_int(d, value);
            o.curvethinthreshold = n < 1 ? 0 : n;
        } else if (is(t, "gridsize") || is(t, "gridarea") || is(t, "eyesplits") || is(t, "zthreshold") ||
                   is(t, "extremedisplacement") || is(t, "ysplits") || is(t, "nearhither") ||
                   is(t, "deepshadowerror")) {
        } else return -1;
        return 0;
    }
    if (is(name, "statistics")) {
        if (is(t, "endofframe")) {
            o.stats_level = decl_int(d, value);
            if (o.stats_level) o.verbosity |= VERBOSE_STATS;
            else o.verbosity &= ~VERBOSE_STATS;
        } else if (is(t, "filename")) o.stats_file = NewToken(decl_string(d, value));
        else if (is(t, "timer")) o.timer = (uint8_t)(decl_int(d, value) != 0);
        else if (is(t, "profile_shaders")) {
        } else return -1;
        return 0;
    }
    if (is(name, "window")) {
        if (is(t, "windowid")) o.windowid = decl_int(d, value);
        else if (is(t, "windowdpy")) o.windowdpy = decl_int(d, value);
        else if (is(t, "windowrc")) o.windowrc = decl_int(d, value);
        else if (is(t, "windowstyle")) o.windowstyle = decl_int(d, value);
        else if (is(t, "windowvi")) o.windowvi = decl_int(d, value);
        else if (is(t, "windowcmap")) o.windowcmap = decl_int(d, value);
        else if (is(t, "waitforlastframe")) o.waitforlastframe = decl_int(d, value);
        else if (is(t, "pickregion")) {
            for (int i = 0; i < 4; i++) o.pickregion[i] = i < decl_count(d) ? decl_float(d, value, i) : 0;
            o.pickregion_given = 1;
        } else if (is(t, "windowlocation")) {
            for (int i = 0; i < 2; i++) o.windowlocation[i] = i < decl_count(d) ? decl_int(d, value, i) : 0;
        } else if (is(t, "clearcolor")) {
            for (int i = 0; i < 3; i++) o.clearcolor[i] = i < decl_count(d) ? decl_float(d, value, i) : 0;
        } else if (is(t, "clearfb")) o.clearfb = (uint8_t)(decl_int(d, value) != 0);
        else if (is(t, "dumpimage")) o.dumpimage = (uint8_t)decl_int(d, value);
        else if (is(t, "offscreen")) o.offscreen = (uint8_t)(decl_int(d, value) != 0);
        else if (is(t, "doublebuffer")) o.doublebuffer = (uint8_t)(decl_int(d, value) != 0);
        else return -1;
        return 0;
    }
    for (const char *ignored : IGNORED_OPTIONS)
        if (is(name, ignored)) return 0;
    return -1;
}
