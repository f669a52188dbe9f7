#include "shading/bindshader.h"

#include <cstring>

#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/interp.h"
#include "shading/lightsource.h"
#include "shading/loader.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "shading/shadingpoint.h"
#include "shading/stringids.h"

namespace {

bool is_triple(int type)
{
    return type == PtPOINT || type == PtVECTOR || type == PtNORMAL || type == PtCOLOR;
}

// Whether a declared value can fill a parameter: same count of the same
// kind of value (points, vectors, normals and colours are one kind; an
// integer fills a float).
bool value_fits(const Declaration *d, const PARAM_INFO *p)
{
    if (d->length != p->howmany) return false;
    if (is_triple(d->type) && is_triple(p->type)) return true;
    if (d->type == DECL_INTEGER && p->type == PtFLOAT) return true;
    return d->type == p->type;
}

// Stores one token's values into the row's place in block.
void store_values(Renderer *r, const Declaration *d, const PARAM_INFO *p, char *block,
                  RtPointer value)
{
    char *at = block + p->offset;
    float time = r->options.shutter_open;
    const Transformation *t = r->transformation.get();
    if (p->type == PtSTRING) {
        const RtString *s = static_cast<const RtString *>(value);
        for (int i = 0; i < p->howmany; ++i) {
            uint32_t sid = string_id(s[i] ? NewToken(s[i]) : nullptr);
            std::memcpy(at + 4 * i, &sid, 4);
        }
        return;
    }
    if (d->type == DECL_INTEGER) {
        const RtInt *v = static_cast<const RtInt *>(value);
        for (int i = 0; i < p->howmany; ++i) {
            float f = static_cast<float>(v[i]);
            std::memcpy(at + 4 * i, &f, 4);
        }
        return;
    }
    std::memcpy(at, value, p->size);
    if (t) convert_param_values(t, p, reinterpret_cast<float *>(at), time, true);
}

// One token/value pair into the block.
void bind_parameter(Renderer *r, Shader *s, char *block, RtToken token, RtPointer value)
{
    Declaration *d = declarations().lookup(token);
    if (!d) {
        ri_error(RIE_BADTOKEN, RIE_WARNING, "Token \"%s\" not declared", token);
        return;
    }
    int sum = 0;
    for (const PARAM_INFO *p = s->params; p && p->name; ++p) {
        if (p->offset != sum) ri_assert_failed("bindshader", 288);
        if (p->size != shader_type_size(p->type) * p->howmany) ri_assert_failed("bindshader", 324);
        sum += p->size;
        if (std::strcmp(p->name, d->name()) != 0) continue;
        if (!value_fits(d, p)) {
            ri_error(RIE_BADTOKEN, RIE_WARNING,
                     "Parameter \"%s\" of shader \"%s\" does not take the declared value", token,
                     s->name);
            return;
        }
        if (block && value) store_values(r, d, p, block, value);
        return;
    }
    if (s->params && s->params->name)
        ri_error(RIE_BADTOKEN, RIE_WARNING, "Unrecognized parameter \"%s\" in shader \"%s\"\n", token,
                 s->name);
}

// The request of each use and the kind of shader it takes (SHADER_USES order).
struct UseKind {
    const char *request;
    int kind;
};
const UseKind USE_KINDS[] = {
    {"Surface", SH_SURFACE},  {"Interior", SH_VOLUME},          {"Exterior", SH_VOLUME},
    {"Atmosphere", SH_VOLUME}, {"Displacement", SH_DISPLACEMENT}, {"Deformation", SH_TRANSFORMATION},
    {"Imager", SH_IMAGER},    {"LightSource", SH_LIGHT},         {"AreaLightSource", SH_LIGHT},
};

const char *kind_word(int kind)
{
    return kind >= 0 && kind < shaderfile::KIND_COUNT ? shaderfile::KIND_WORDS[kind] : "unknown";
}

// A shader of another kind would run in the wrong place (a surface shader
// as a light calls the lights back, without end): reported, and false.
bool kind_fits(const Shader *s, int use)
{
    if (use < 0 || use >= int(sizeof USE_KINDS / sizeof USE_KINDS[0])) return false;
    const UseKind &u = USE_KINDS[use];
    if (s->kind == u.kind) return true;
    ri_error(RIE_CONSISTENCY, RIE_ERROR, "Shader \"%s\" is of kind %s; %s takes %s shaders; request ignored",
             s->name, kind_word(s->kind), u.request, kind_word(u.kind));
    return false;
}

} // namespace

void convert_param_values(const Transformation *t, const PARAM_INFO *p, float *v, float time, bool to_world)
{
    for (int i = 0; i < p->howmany; ++i) {
        float *x = v + 3 * i;
        switch (p->type) {
        case PtPOINT: to_world ? t->point_to_world(x, x, time) : t->point_from_world(x, x, time); break;
        case PtVECTOR: to_world ? t->vector_to_world(x, x, time) : t->vector_from_world(x, x, time); break;
        case PtNORMAL: to_world ? t->normal_to_world(x, x, time) : t->normal_from_world(x, x, time); break;
        case PtMATRIX: {
            float m[16];
            float *a = v + 16 * i;
            to_world ? t->matrix_to_world(a, m, time) : t->matrix_from_world(a, m, time);
            std::memcpy(a, m, sizeof m);
            break;
        }
        default: return;
        }
    }
}

void run_shader_init(Shader *shader, int use, char *block)
{
    Renderer *r = current_renderer;
    ShadingPoint sv;
    if (r) {
        sv.surf = r->attributes;
        sv.time = r->options.shutter_open;
        sv.ssx = r->transformation;
    }
    sv.vars_used = static_cast<uint32_t>(shader->flags);
    if (sv.vars_used & VU_NEIGHBOURS) sv.vars_used |= VU_DPDU_DPDV;
    sv.weight = 1;
    sv.level = 0;
    sv.ncomps = 3;
    sv.thisshader = shader;
    sv.shadetype = use;
    sv.shade_index = 0;
    DerivScratch scratch(&sv);
    if (shader->init) shader->init(&sv, block);
    else run_shader_code(shader, shader->init_code.data(), shader->init_code.size(), &sv, block);
}

RtPointer bind_shader(Renderer *r, RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (use == USE_DEFORMATION) {
        ri_error(RIE_INCAPABLE, RIE_WARNING, "Deformations not supported");
        return nullptr;
    }
    // Shaders not yet registered load from the shader path.
    set_shader_loader(load_compiled_shader);
    Shader *s = find_shader(name);
    if (!s) {
        // One report per missing name.
        ri_error_once(RIE_NOSHADER, RIE_ERROR, "%s", name ? name : "");
        return nullptr;
    }
    if (!kind_fits(s, use)) return nullptr;
    LightSource *light = nullptr;
    ShaderInstance *instance = nullptr;
    if (use == USE_LIGHT || use == USE_AREALIGHT) {
        int area = use == USE_AREALIGHT ? LIGHT_AREA : -1;
        if (std::strcmp(s->name, "bouncer") == 0) area = LIGHT_BOUNCER;
        light = new LightSource(s, area);
        if (use == USE_AREALIGHT) r->attributes->area_light = light;   // unshared by the light
        if (!(r->level & LEVEL_WORLD)) light->outside_world = 1;
        instance = light->instance.get();
    } else {
        instance = new ShaderInstance(s);
        if (use == USE_IMAGER) {
            r->options.imager = s;
            r->options.imager_instance.set(instance);
        } else {
            unshare_gstate(r);
            GState *g = r->attributes.get();
            g->shaders[use].set(instance);
            g->shader_spaces[use] = r->transformation;
        }
    }
    char *block = instance->params();
    if (!s->init_code.empty() || s->init) run_shader_init(s, use, block);
    for (int i = 0; i < n; ++i)
        if (tokens && tokens[i]) bind_parameter(r, s, block, tokens[i], values ? values[i] : nullptr);
    return light;
}

void illuminate_light(Renderer *r, RtLightHandle handle, int on)
{
    LightSource *light = static_cast<LightSource *>(handle);
    if (!light) {
        ri_error(RIE_BADHANDLE, RIE_ERROR, "Bad handle for RiIlluminate()");
        return;
    }
    unshare_gstate(r);
    if (on) light_mask_set(r->attributes->light_set, light->id);
    else light_mask_clear(r->attributes->light_set, light->id);
}
