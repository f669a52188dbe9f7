#include "ri/option_rows.h"

#include "ri/attribute_rows.h"
#include "ri/declvalue.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"
#include "ri/tokens.h"

namespace {

template <auto M> constexpr Field opt() { return field<Options, M>(); }

int power_of_two_at_least(int v)
{
    int p = 16;
    while (p < v && p < (1 << 30)) p <<= 1;
    return p;
}

// "radiosity" sizes: the sizes given as options are the defaults of the
// attribute state from here on; an attribute still overrides them.
int radiosity_size(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    const float v = decl_float(d, value);
    if (!(v > 0) || !(v < 1e30f)) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiOption: \"%s\" \"%s\" %g out of range", row.name, row.token, v);
        return 0;
    }
    unshare_gstate(&r);
    store_number(row.field, &r.options, v);
    store_number(attribute_rows().find(row.name, row.token)->field, r.attributes.get(), v);
    return 0;
}

// At most 256, at least 4 and never below the minimum.
int max_samples(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    Options &o = r.options;
    int n = decl_int(d, value);
    if (n < o.minsamples) n = o.minsamples;
    else if (n <= 3) n = 4;
    else if (n > 256) n = 256;
    o.maxsamples = n;
    return 0;
}

// 1 the object hierarchy, 2 also the golden-section splits, 3 all three.
int use_hierarchy(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    const int n = decl_int(d, value);
    r.options.hierarchy[0] = n > 0;
    r.options.hierarchy[1] = n == 2 || n == 3;
    r.options.hierarchy[2] = n == 3;
    return 0;
}

// "resource" sets every kind of search path.
int resource_path(Renderer &r, const KeywordRow &row, const Declaration *, RtPointer value)
{
    static const char *const kinds[] = {"texture", "shader", "archive", "procedural", "display"};
    for (const char *kind : kinds) r.option(row.name, NewToken(kind), value);
    return 0;
}

// A verbosity word; a ray server or a forced silence stays silent.
int verbosity(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    Options &o = r.options;
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
        ri_error(RIE_BADTOKEN, RIE_WARNING, "Unknown %s %s option \"%s\"", row.name, row.token, w ? w : "");
    }
    if (o.rayserver || o.force_silence) {
        o.verbosity = 0;
        o.stats_level = 0;
    }
    return 0;
}

// Square buckets of a power of two, at least 16 pixels.
int bucket_size(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    const int w = decl_int(d, value, 0), h = decl_count(d) > 1 ? decl_int(d, value, 1) : w;
    r.options.bucketsize[0] = r.options.bucketsize[1] = power_of_two_at_least(w > h ? w : h);
    return 0;
}

// The statistics level also switches the statistics verbosity bit.
int end_of_frame(Renderer &r, const KeywordRow &, const Declaration *d, RtPointer value)
{
    Options &o = r.options;
    o.stats_level = decl_int(d, value);
    if (o.stats_level) o.verbosity |= VERBOSE_STATS;
    else o.verbosity &= ~VERBOSE_STATS;
    return 0;
}

// The region as a list of four, and a note that one was given.
int pick_region(Renderer &r, const KeywordRow &row, const Declaration *d, RtPointer value)
{
    KeywordRow list = row;
    list.type = ROW_LIST;
    apply_row(r, list, &r.options, d, value);
    r.options.pickregion_given = 1;
    return 0;
}

const KeywordRow ROWS[] = {
    {"radiosity", "steps", ROW_CHECKED, opt<&Options::radiosity_steps>(), range(0, MAX_RADIOSITY_STEPS)},
    {"radiosity", "minpatchsamples", ROW_CHECKED, opt<&Options::minpatchsamples>(), range(0, MAX_PATCH_SAMPLES)},
    {"radiosity", "patchsize", ROW_PROC, opt<&Options::rad_patchsize>(), &radiosity_size},
    {"radiosity", "elemsize", ROW_PROC, opt<&Options::rad_elemsize>(), &radiosity_size},
    {"radiosity", "minsize", ROW_PROC, opt<&Options::rad_minsize>(), &radiosity_size},

    {"render", "look_behind", ROW_INT, opt<&Options::look_behind>()},
    {"render", "safetyfile", ROW_INT, global_field<&safety_file>()},
    {"render", "verbose", ROW_INT, global_field<&render_debug_level>()},
    {"render", "debug", ROW_INT, global_field<&render_debug_level>()},
    {"render", "use_hierarchy", ROW_PROC, {}, &use_hierarchy},
    {"render", "goldsal", ROW_BOOL, element_field<Options, &Options::hierarchy, 1>()},
    {"render", "max_raylevel", ROW_INT, opt<&Options::max_raylevel>(), above(15, 15)},
    {"render", "minsamples", ROW_INT, opt<&Options::minsamples>(), below(4, 4)},
    {"render", "maxsamples", ROW_PROC, opt<&Options::maxsamples>(), &max_samples},
    {"render", "branch_ratio", ROW_FLOAT, opt<&Options::branch_ratio>()},
    {"render", "max_branch_ratio", ROW_FLOAT, opt<&Options::max_branch_ratio>()},
    {"render", "minshadowbias", ROW_FLOAT, opt<&Options::minshadowbias>()},
    {"render", "maxshadowbias", ROW_FLOAT, opt<&Options::maxshadowbias>()},
    {"render", "prmanspecular", ROW_INT, opt<&Options::specular_model>()},
    {"render", "cooktorrancespecular", ROW_INT, opt<&Options::specular_model>()},
    {"render", "useprmandspy", ROW_BOOL, opt<&Options::useprmandspy>()},
    {"render", "useprmannoise", ROW_BOOL, opt<&Options::useprmannoise>()},

    {"indirect", "maxerror", ROW_FLOAT, opt<&Options::indirect_maxerror>(), range(1e-8f, 100)},
    {"indirect", "maxpixeldist", ROW_FLOAT, opt<&Options::indirect_maxpixeldist>(), range(0, 10000)},
    {"indirect", "nsamples", ROW_INT, opt<&Options::indirect_nsamples>(), below(0, 0)},
    {"indirect", "minvalid", ROW_INT, opt<&Options::indirect_minvalid>(), range(1, 200)},
    {"indirect", "interpolate", ROW_INT, opt<&Options::indirect_interpolate>()},
    {"indirect", "seedfile", ROW_STRING, opt<&Options::indirect_seedfile>()},
    {"indirect", "savefile", ROW_STRING, opt<&Options::indirect_savefile>()},
    {"indirect", "preseed", ROW_INT, opt<&Options::indirect_preseed>()},

    {"searchpath", "include", ROW_PATH, opt<&Options::archive_path>()},
    {"searchpath", "archive", ROW_PATH, opt<&Options::archive_path>()},
    {"searchpath", "texture", ROW_PATH, opt<&Options::texture_path>()},
    {"searchpath", "servertexture", ROW_PATH, opt<&Options::texture_path>()},
    {"searchpath", "shader", ROW_PATH, opt<&Options::shader_path>()},
    {"searchpath", "servershader", ROW_PATH, opt<&Options::shader_path>()},
    {"searchpath", "procedural", ROW_PATH, opt<&Options::procedural_path>()},
    {"searchpath", "display", ROW_PATH, opt<&Options::display_path>()},
    {"searchpath", "resource", ROW_PROC, {}, &resource_path},
    {"searchpath", "serverresource", ROW_PROC, {}, &resource_path},
    {"searchpath", "vfxmaster"},
    {"searchpath", "vfxinstance"},

    {"runtime", "verbosity", ROW_PROC, {}, &verbosity},

    {"shadow", "bias0", ROW_FLOAT, opt<&Options::minshadowbias>()},
    {"shadow", "bias1", ROW_FLOAT, opt<&Options::maxshadowbias>()},
    {"shadow", "zlerp"},
    {"shadow", "jitter"},
    {"shadow", "epsilon"},
    {"shadow", "epsilon1"},
    {"shadow", "epsilon2"},

    {"limits", "texturememory", ROW_KBYTES, opt<&Options::texturememory>(), range(500, 100000)},
    {"limits", "geommemory", ROW_KBYTES, opt<&Options::geommemory>(), range(10000, 1048576)},
    {"limits", "bucketsize", ROW_PROC, {}, &bucket_size},
    {"limits", "derivmemory", ROW_KBYTES, opt<&Options::derivmemory>(), range(2, 1024)},
    {"limits", "othreshold", ROW_COLOR, opt<&Options::othreshold>(), range(0, 1)},
    {"limits", "curvethinning", ROW_INT, opt<&Options::curvethinning>(), below(2, 0)},
    {"limits", "curvethinthreshold", ROW_INT, opt<&Options::curvethinthreshold>(), below(1, 0)},
    {"limits", "programtime", ROW_INT, opt<&Options::program_seconds>(), range(1, 86400)},
    {"limits", "programanswer", ROW_KBYTES, opt<&Options::program_bytes>(), range(1, 2097151)},
    {"limits", "expansions", ROW_INT, opt<&Options::max_expansions>(), range(1, 2147483647)},
    {"limits", "gridsize"},
    {"limits", "gridarea"},
    {"limits", "eyesplits"},
    {"limits", "zthreshold"},
    {"limits", "extremedisplacement"},
    {"limits", "ysplits"},
    {"limits", "nearhither"},
    {"limits", "deepshadowerror"},

    {"statistics", "endofframe", ROW_PROC, {}, &end_of_frame},
    {"statistics", "filename", ROW_STRING, opt<&Options::stats_file>()},
    {"statistics", "timer", ROW_BOOL, opt<&Options::timer>()},
    {"statistics", "profile_shaders"},

    {"window", "windowid", ROW_INT, opt<&Options::windowid>()},
    {"window", "windowdpy", ROW_INT, opt<&Options::windowdpy>()},
    {"window", "windowrc", ROW_INT, opt<&Options::windowrc>()},
    {"window", "windowstyle", ROW_INT, opt<&Options::windowstyle>()},
    {"window", "windowvi", ROW_INT, opt<&Options::windowvi>()},
    {"window", "windowcmap", ROW_INT, opt<&Options::windowcmap>()},
    {"window", "waitforlastframe", ROW_INT, opt<&Options::waitforlastframe>()},
    {"window", "pickregion", ROW_PROC, opt<&Options::pickregion>(), &pick_region},
    {"window", "windowlocation", ROW_LIST, opt<&Options::windowlocation>()},
    {"window", "clearcolor", ROW_LIST, opt<&Options::clearcolor>()},
    {"window", "clearfb", ROW_BOOL, opt<&Options::clearfb>()},
    {"window", "dumpimage", ROW_INT, opt<&Options::dumpimage>()},
    {"window", "offscreen", ROW_BOOL, opt<&Options::offscreen>()},
    {"window", "doublebuffer", ROW_BOOL, opt<&Options::doublebuffer>()},

    // Names whose every token is accepted without effect.
    {"parallel", nullptr},
    {"shadebuffer", nullptr},
    {"texture", nullptr},
    {"motion", nullptr},
    {"zdice", nullptr},
    {"hair", nullptr},
    {"camera", nullptr},
    {"profile", nullptr},
    {"tinygrids", nullptr},
    {"rib", nullptr},
};

} // namespace

RowTable option_rows()
{
    return {ROWS, sizeof ROWS / sizeof ROWS[0]};
}

int Renderer::option(RtToken name, RtToken token, RtPointer value)
{
    Declaration *d = declarations().lookup(token);
    if (!d) {
        ri_error(RIE_BADTOKEN, RIE_WARNING, "RiOption: Token \"%s\" not declared", token ? token : "");
        return -1;
    }
    const KeywordRow *row = option_rows().find(name, d->name());
    return row ? apply_row(*this, *row, &options, d, value) : -1;
}
