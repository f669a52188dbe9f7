// Texture, environment, shadow, bump and textureinfo operations: the corners
// of the filter region come from explicit corners, from the derivative
// neighbours of the point, or from the point's own s and t; the lookups never
// stop shading (a file that cannot be used gives the fill value).
#include "textureops.h"

#include <cmath>
#include <cstring>

#include "ri_common/rierror.h"
#include "ri_common/same_string.h"
#include "ri/shader.h"
#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/shadingpoint.h"
#include "stackpoints.h"
#include "shading/stringids.h"
#include "shading/texhandles.h"

namespace {

// Names whose one float value is accepted and not used.
bool ignored_float_argument(const char *name)
{
    static const char *const names[] = {"fidelity", "lerp", "gapbias", "gapopt", "refblur", "srefblur", "trefblur"};
    for (const char *n : names)
        if (is(name, n)) return true;
    return false;
}

// The derivative neighbours of one call (count values): past the scratch
// area they go on in the overflow slots, as the derivative operations' do.
const float *exchange(ShaderVars *sv, const float *values, int count)
{
    return sv->deriv_exchange(values, count);
}

bool measuring(const ShaderVars *sv)
{
    return sv->doareaops && sv->whichdisp == DISP_MAIN;
}

// The counts and the name and channel of a lookup, popped; false (the run
// ends) when the counts are not those of the call kind.
struct Call {
    int n = 0, c = 0;
    const char *name = nullptr;
    int first_channel = 0;
};

bool pop_call(ExecFrame *f, Call &call, std::initializer_list<int> counts)
{
    float n = slstack.pop_float(), c = slstack.pop_float();
    call.name = slstack.pop_string();
    float channel = slstack.pop_float();
    call.n = int(n);
    call.c = int(c);
    call.first_channel = channel > 0 ? int(channel) : 0;
    bool ok = false;
    for (int k : counts) ok = ok || (call.c == k && float(k) == c);
    // The optional arguments follow the coordinates: a name and its value each.
    ok = ok && float(call.n) == n && call.n >= call.c && call.n - call.c <= SLStack::STRINGS;
    if (!ok && !slstack.failed()) {
        ri_error(RIE_BUG, RIE_ERROR, "Bad texture call in shader \"%s\"",
                 f->shader && f->shader->name ? f->shader->name : "");
    }
    if (!ok || slstack.failed()) f->done = 1;
    return ok && !slstack.failed();
}

// ftexture (one channel) and ctexture (three).
template <int CHANNELS>
void op_texture(ExecFrame *f, ShaderVars *sv)
{
    Call call;
    if (!pop_call(f, call, {0, 2, 8})) return;
    TextureArgs args;
    args.first_channel = call.first_channel;
    args.channels = CHANNELS;
    float coords[8] = {};
    if (call.c > 0) {
        std::memcpy(coords, slstack.top_ptr(call.c), 4 * size_t(call.c));
        slstack.drop(call.c);
    }
    float ms = 1, mt = 1;
    if (!parse_texture_args(call.n - call.c, ms, mt, args)) {
        f->done = 1;
        return;
    }
    float corners[8];
    if (call.c == 8) {
        std::memcpy(corners, coords, sizeof corners);
        ms = mt = 0;
    } else {
        float s = sv->s, t = sv->t;
        if (call.c == 2) {
            s = coords[0], t = coords[1];
            float st[2] = {s, t};
            const float *nb = exchange(sv, st, 2);
            if (nb) {
                ms = (std::fabs(nb[0] - s) + std::fabs(nb[2] - s)) * ms * 0.5f;
                mt = (std::fabs(nb[1] - t) + std::fabs(nb[3] - t)) * mt * 0.5f;
            }
        } else {
            // Half the extent of the footprint in s and t: both steps count
            // when the texture coordinates turn against u and v.
            ms = (std::fabs(sv->du * sv->dsdu) + std::fabs(sv->dv * sv->dsdv)) * ms * 0.5f;
            mt = (std::fabs(sv->du * sv->dtdu) + std::fabs(sv->dv * sv->dtdv)) * mt * 0.5f;
        }
        for (int i = 0; i < 4; ++i) corners[2 * i] = s, corners[2 * i + 1] = t;
    }
    const float hs = ms + args.sblur * 0.5f, ht = mt + args.tblur * 0.5f;
    corners[0] -= hs, corners[1] -= ht;
    corners[2] += hs, corners[3] -= ht;
    corners[4] -= hs, corners[5] += ht;
    corners[6] += hs, corners[7] += ht;
    args.measure = measuring(sv);
    float result[CHANNELS];
    texture_lookup(call.name, corners, result, args);
    slstack.push_space(CHANNELS);
    std::memcpy(slstack.top_ptr(CHANNELS), result, sizeof result);
}

// The four corner points of an environment or shadow call, from four given
// points or from one point and its derivative neighbours.
void corner_points(ShaderVars *sv, const Point *given, int count, Point corners[4])
{
    if (count == 4) {
        for (int i = 0; i < 4; ++i) corners[i] = given[i];
        return;
    }
    const Point P = given[0];
    for (int i = 0; i < 4; ++i) corners[i] = P;
    const float *nb = exchange(sv, P.data(), 3);
    if (!nb) return;
    Point h1 = (Point::from(nb) - P) * 0.5f, h2 = (Point::from(nb + 3) - P) * 0.5f;
    corners[0] = P - h1 - h2;
    corners[1] = P + h1 - h2;
    corners[2] = P - h1 + h2;
    corners[3] = P + h1 + h2;
}

enum PointCall { ENVIRONMENT, SHADOW };

// fenvironment, cenvironment and shadow.
template <PointCall KIND, int CHANNELS>
void op_point_lookup(ExecFrame *f, ShaderVars *sv)
{
    Call call;
    if (!pop_call(f, call, {1, 4})) return;
    TextureArgs args;
    args.first_channel = KIND == SHADOW ? 0 : call.first_channel;
    args.channels = CHANNELS;
    Point given[4];
    for (int i = 0; i < call.c; ++i) given[i] = pop_point();
    float ms = 1, mt = 1;
    if (!parse_texture_args(call.n - call.c, ms, mt, args)) {
        f->done = 1;
        return;
    }
    Point corners[4];
    corner_points(sv, given, call.c, corners);
    args.measure = measuring(sv);
    float result[CHANNELS];
    if (KIND == SHADOW)
        result[0] = shadow_lookup(call.name, corners, args);
    else
        environment_lookup(call.name, corners, result, args);
    slstack.push_space(CHANNELS);
    std::memcpy(slstack.top_ptr(CHANNELS), result, sizeof result);
}

// bump: its arguments go and the point (0, 0, 0) comes back.
void op_bump(ExecFrame *f, ShaderVars *)
{
    Call call;
    if (!pop_call(f, call, {3, 4, 5})) return;
    for (int i = 0; i < 3; ++i) pop_point();
    slstack.drop(call.c - 3);
    float ms, mt;
    TextureArgs args;
    if (!parse_texture_args(call.n - call.c, ms, mt, args)) {
        f->done = 1;
        return;
    }
    push_point(Point(0, 0, 0));
}

// textureinfo: the destination is the operand; the type code, the texture
// name and the query name come from the stack.
void op_textureinfo(ExecFrame *f, ShaderVars *)
{
    const uint32_t word = next_word(f);
    char *dest = operand_address(word, f);
    int type = int(slstack.pop_float());
    const char *texture = slstack.pop_string();
    const char *param = slstack.pop_string();
    int count = f->shader ? f->shader->array_length(word) : 1;
    int known = slstack.failed() ? 0 : sl_textureinfo(texture, param, type, dest, count);
    slstack.push_float(known ? 1.0f : 0.0f);
}

} // namespace

bool parse_texture_args(int items, float &smult, float &tmult, TextureArgs &args)
{
    smult = tmult = 1.0f;
    while (items > 0 && !slstack.failed()) {
        const char *name = slstack.pop_string();
        --items;
        if (!name) name = "";
        if (is(name, "filter")) {
            slstack.pop_string();
            --items;
        } else if (is(name, "source")) {
            for (int i = 0; i < 4; ++i) pop_point();
            items -= 4;
        } else if (is(name, "swidth") || is(name, "twidth") || is(name, "width") || is(name, "fill") ||
                   is(name, "sblur") || is(name, "tblur") || is(name, "blur") || is(name, "samples") ||
                   is(name, "bias") || ignored_float_argument(name)) {
            float v = slstack.pop_float();
            --items;
            if (is(name, "swidth") || is(name, "width")) smult = args.swidth = v;
            if (is(name, "twidth") || is(name, "width")) tmult = args.twidth = v;
            if (is(name, "fill")) args.fill = v;
            if (is(name, "sblur") || is(name, "blur")) args.sblur = v;
            if (is(name, "tblur") || is(name, "blur")) args.tblur = v;
            if (is(name, "samples")) args.samples = std::isfinite(v) && std::fabs(v) < 1e6f ? int(std::floor(v)) : 1;
            if (is(name, "bias")) args.bias = v;
        } else {
            ri_error(RIE_BADTOKEN, RIE_ERROR, "Unknown texture argument: \"%s\"", name);
            return false;
        }
    }
    return !slstack.failed();
}

int sl_textureinfo(const char *texturename, const char *paramname, int type, void *data, int count)
{
    if (!texturename || !paramname || !data) return 0;
    // What each name answers: a float[2], a float, a matrix or a string.
    const bool resolution = is(paramname, "resolution"), channels = is(paramname, "channels");
    const bool viewing = is(paramname, "viewingmatrix"), projection = is(paramname, "projectionmatrix");
    const bool kind = is(paramname, "type");
    if (!((resolution && type == PtFLOAT && count == 2) || (channels && type == PtFLOAT && count == 1) ||
          ((viewing || projection) && type == PtMATRIX && count == 1) || (kind && type == PtSTRING && count == 1)))
        return 0;
    // Opened as a shadow lookup opens it: the header only, no pixels yet.
    Texture *t = get_texture(texturename, false);
    if (!t) return 0;
    if (resolution) {
        float res[2];
        if (t->tiled && !t->levels.empty()) {
            res[0] = float(t->levels[0]->width);
            res[1] = float(t->levels[0]->height);
        } else {
            res[0] = res[1] = float(t->pyramid_size);
        }
        std::memcpy(data, res, sizeof res);
    } else if (channels) {
        float v = float(t->samples);
        std::memcpy(data, &v, 4);
    } else if (viewing || projection) {
        std::memcpy(data, viewing ? t->world_to_camera : t->world_to_screen, 64);
    } else {
        uint32_t id = string_id(t->shadow ? "shadow" : (t->latlong || t->cubeface) ? "environment" : "texture");
        std::memcpy(data, &id, 4);
    }
    return 1;
}

namespace {

constexpr OpBinding ROWS[] = {
    {"ftexture", op_texture<1>},
    {"ctexture", op_texture<3>},
    {"fenvironment", op_point_lookup<ENVIRONMENT, 1>},
    {"cenvironment", op_point_lookup<ENVIRONMENT, 3>},
    {"shadow", op_point_lookup<SHADOW, 1>},
    {"bump", op_bump},
    {"textureinfoM", op_textureinfo},
};

} // namespace

constexpr OpBindings TEXTURE_OPS = op_bindings(shading::OpModule::Texture, ROWS);
