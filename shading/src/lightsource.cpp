#include "shading/lightsource.h"

#include <cmath>
#include <cstring>
#include <string>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"
#include "shading/bindshader.h"
#include "codescan.h"
#include "shading/interp.h"
#include "shading/scene_access.h"
#include "shading/stringids.h"

void light_mask_set(uint32_t set[4], int id)
{
    if (id >= 0 && id < 128) set[id / 32] |= 1u << (id % 32);
}

void light_mask_clear(uint32_t set[4], int id)
{
    if (id >= 0 && id < 128) set[id / 32] &= ~(1u << (id % 32));
}

LightSourceList &light_list()
{
    static LightSourceList list;
    return list;
}

LightSource::LightSource(Shader *s, int area_flag)
    : shader(s), nsamples(1)
{
    LightSourceList &list = light_list();
    prev = list.head;
    id = prev ? prev->id + 1 : 0;
    list.head = this;
    run_function = s->run;
    kind = area_flag >= 0 ? area_flag : ((s->flags & VU_ILLUMINATE) ? LIGHT_ORDINARY : LIGHT_AMBIENT);
    instance.set(new ShaderInstance(s));
    for (LevelCache &c : cache) c.tag = -1;
    Renderer *r = current_renderer;
    if (r) {
        gstate = r->attributes;
        xform = r->transformation;
        if (r->attributes->light_samples > 0) nsamples = r->attributes->light_samples;
        unshare_gstate(r);
        light_mask_set(r->attributes->light_set, id);
    }
    samples.assign(static_cast<size_t>(LIGHT_CACHE_LEVELS) * nsamples * LIGHT_CACHE_ENTRY, 0.0f);
}

LightSource::~LightSource() = default;

void LightSource::add_piece(SceneObject *surface)
{
    if (npieces < AREA_LIGHT_PIECES) pieces[npieces++] = surface;
}

int LightSource::random_area_sample(ShaderVars *sv, int sample, int nsamp, const Point &look, float *weight)
{
    *weight = 0;
    if (npieces <= 0) return 0;
    if (hold_area_sample && held.set) {
        sv->Pl = held.Pl, sv->Nl = held.Nl, sv->Ngl = held.Ngl;
        *weight = held.density * std::fabs(dot(held.Ngl, normalize(held.Pl - look)));
        return 1;
    }
    // Pieces are the ray tracer's surfaces: only its scene samples them.
    SceneAccess *scene = current_scene();
    if (!scene) return 0;
    *weight = scene->sample_area_light(pieces, npieces, look, sample, nsamp, sv);
    const float cosine = std::fabs(dot(sv->Ngl, normalize(sv->Pl - look)));
    held = HeldSample{sv->Pl, sv->Nl, sv->Ngl, cosine > 0 ? *weight / cosine : 0, true};
    return 1;
}

void LightSource::place_origin(ShaderVars *sv)
{
    float origin[3] = {0, 0, 0}, z[3] = {0, 0, 1};
    if (xform->moving()) {
        xform->point_to_world(origin, sv->Pl.data(), sv->time);
        xform->vector_to_world(z, sv->Nl.data(), sv->time);
        return;
    }
    // Every shaded point asks again: the answer is kept while the matrix stays.
    float tmp[16];
    const float *m = xform->matrix_at(TM_M, sv->time, tmp);
    Placement &pl = placement;
    if (!pl.set || std::memcmp(pl.m, m, sizeof pl.m) != 0) {
        std::memcpy(pl.m, m, sizeof pl.m);
        xform->point_to_world(origin, pl.origin.data(), sv->time);
        xform->vector_to_world(z, pl.axis.data(), sv->time);
        pl.set = true;
    }
    sv->Pl = pl.origin;
    sv->Nl = pl.axis;
}

int LightSource::float_param_offset(RtToken name)
{
    for (ParamOffset &p : param_offsets_) {
        if (p.name == name) return p.offset;
        if (p.name) continue;
        int offset = 0, type = 0;
        p.name = name;
        p.offset = shader && shader->find_param(name, &offset, &type) && type == PtFLOAT ? offset : -1;
        return p.offset;
    }
    int offset = 0, type = 0;
    return shader && shader->find_param(name, &offset, &type) && type == PtFLOAT ? offset : -1;
}

int LightSource::run(const Point &Ps, const Point &axis, float cosangle, int ps_is_surface,
                     int sample, int nsamp, ShaderVars *sv)
{
    // Levels beyond the cache, and samples beyond the light's own count, are not cached.
    int level = sv->level;
    bool cacheable = level >= 0 && level < LIGHT_CACHE_LEVELS && sample >= 0 && nsamp > 0 &&
                     nsamp <= nsamples && sample < nsamp;
    float *entry = cacheable ? &samples[(static_cast<size_t>(level) * nsamp + sample) * LIGHT_CACHE_ENTRY] : nullptr;
    if (cacheable) {
        const LevelCache &c = cache[level];
        if (c.tag == sv->shade_index && c.P == Ps && c.axis == axis && cosangle >= c.cosangle) {
            sv->Pl = Point(entry[0], entry[1], entry[2]);
            sv->L = Point(entry[3], entry[4], entry[5]);
            sv->Cl = Color(entry[6], entry[7], entry[8]);
            return entry[9] != 0;
        }
    }
    const int answer = run_uncached(Ps, axis, cosangle, sample, nsamp, sv);
    // Keeps the light a surface point got for the rest of its shading.
    if (ps_is_surface && cacheable) {
        const float values[LIGHT_CACHE_ENTRY] = {sv->Pl.x, sv->Pl.y, sv->Pl.z, sv->L.x, sv->L.y, sv->L.z,
                                                 sv->Cl.x, sv->Cl.y, sv->Cl.z, float(answer)};
        std::memcpy(entry, values, sizeof values);
        LevelCache &c = cache[level];
        c.P = Ps;
        c.axis = axis;
        c.cosangle = cosangle;
        if (sample == 0) c.tag = sv->shade_index;
    }
    return answer;
}

// Out of line: most runs of a surface point are answered from the cache above
// and should not pay for this one's frame.
int LightSource::run_uncached(const Point &Ps, const Point &axis, float cosangle, int sample, int nsamp,
                              ShaderVars *sv)
{
    // A constant light gives what its first run gave.
    if (constant_code == 0)
        constant_code = kind != LIGHT_AREA && run_function == run_compiled_shader && light_code_is_constant(shader)
                            ? 1 : -1;
    if (constant_code > 0 && constant.set) {
        if (xform.is_set()) place_origin(sv);
        sv->Cl = constant.Cl;
        sv->Ol = constant.Ol;
        sv->L = Point(0, 0, 0);
        sv->shadowfilter = Color(1, 1, 1);
        return constant.answer;
    }

    // The light's space is lent to the point for the run: a swap, no counting.
    TransformationRef saved_ssx = xform;
    sv->ssx.swap(saved_ssx);
    int32_t saved_sampnum = sv->sampnum, saved_totsamples = sv->totsamples;
    Shader *saved_shader = sv->thisshader;
    Point saved_Ps = sv->Ps;
    int32_t saved_shadetype = sv->shadetype, saved_doareaops = sv->doareaops;
    float *saved_scratch = sv->scratch;
    int32_t saved_highest = sv->highestscratch;
    // A light loop inside another light's shader runs this one: that light's
    // own statements still come after it.
    LightSource *saved_ls = sv->ls;
    Point saved_gather_axis = sv->gather_axis;
    float saved_cos_gather = sv->cos_gather_angle;

    sv->ls = this;
    sv->Ps = Ps;
    sv->gather_axis = axis;
    sv->cos_gather_angle = cosangle;
    sv->thisshader = shader;
    sv->sampnum = sample;
    sv->totsamples = nsamp;
    sv->shadetype = USE_LIGHT;
    sv->doareaops = 0;

    float weight = 1;
    bool has_source = true;
    if (kind == LIGHT_AREA) {
        has_source = random_area_sample(sv, sample, nsamp, Ps, &weight) != 0;
    } else if (xform.is_set()) {
        place_origin(sv);
    }
    sv->Cl = Color(0, 0, 0);
    sv->Ol = Color(1, 1, 1);
    sv->L = Point(0, 0, 0);   // no direction until a light statement gives one
    sv->shadowfilter = Color(1, 1, 1);
    // A light loop inside the light's own shader runs on this point too; it
    // must neither call the light again nor move the loop that called it.
    // A text shader reaches the point only through a light statement whose
    // body ran (its colour may be set outside one), or as an ambient light; a
    // native one says so. A light that does not reach the point gives no light.
    ShaderVars *saved_running = running_on;
    LightSourceListWalker saved_walk = sv->lsw;
    LightSource *saved_clight = sv->clight;
    int saved_lit = lit;
    running_on = sv;
    lit = 0;
    int answer = run_function ? run_function(sv, params()) : 0;
    if (run_function == run_compiled_shader) answer = lit || kind == LIGHT_AMBIENT;
    lit = saved_lit;
    running_on = saved_running;
    sv->lsw = saved_walk;
    sv->clight = saved_clight;
    answer = answer && has_source ? 1 : 0;
    sv->Cl = answer ? sv->Cl * sv->shadowfilter * weight : Color(0, 0, 0);
    if (constant_code > 0 && !slstack.failed()) {
        constant.Cl = sv->Cl;
        constant.Ol = sv->Ol;
        constant.answer = answer;
        constant.set = true;
    }

    sv->ssx.swap(saved_ssx);
    sv->sampnum = saved_sampnum;
    sv->totsamples = saved_totsamples;
    sv->thisshader = saved_shader;
    sv->Ps = saved_Ps;
    sv->shadetype = saved_shadetype;
    sv->doareaops = saved_doareaops;
    sv->scratch = saved_scratch;
    sv->highestscratch = saved_highest;
    sv->ls = saved_ls;
    sv->gather_axis = saved_gather_axis;
    sv->cos_gather_angle = saved_cos_gather;
    return answer;
}

bool light_code_is_constant(const Shader *shader)
{
    using shading::OpModule;
    static const int random_op = shading::find_op_name("random")->opcode;
    return shading::walk_code(shader->code, [](int opcode, const shading::OpName *op, const uint32_t *words,
                                               int count) {
        if (op->flags || opcode == random_op) return false;
        const OpModule m = op->module;
        if (m != OpModule::Control && m != OpModule::Stack && m != OpModule::Arith && m != OpModule::Compare &&
            m != OpModule::Math && m != OpModule::Var)
            return false;
        // Parameters are read only by pushes and arithmetic; of the point,
        // only the light's own results are touched.
        const bool reads = shading::op_only_reads(op);
        for (int i = 0; i < count; i++) {
            const uint32_t segment = words[i] >> 24, offset = words[i] & 0xffffffu;
            if (segment == SEG_PARAM && !reads) return false;
            if (segment == SEG_GLOBAL && offset != offsetof(ShadingPoint, Cl) && offset != offsetof(ShadingPoint, Ol))
                return false;
            if (segment > SEG_LOCAL) return false;
        }
        return true;
    });
}

bool LightSource::category_matches(const char *request)
{
    if (!request) return true;
    if (!category_looked_up) {
        category_looked_up = 1;
        int offset = 0, type = 0;
        char *block = params();
        if (block && shader->find_param(NewToken("__category"), &offset, &type) && type == PtSTRING) {
            uint32_t sid;
            std::memcpy(&sid, block + offset, 4);
            const char *text = string_from_id(sid);
            category = text && *text ? NewToken(text) : nullptr;
        }
    }
    bool negate = request[0] == '-';
    if (negate) ++request;
    if (!*request) return !negate;
    bool match;
    if (std::strcmp(request, "*") == 0) {
        match = category != nullptr;
    } else {
        match = false;
        for (const char *p = category; p && *p;) {
            const char *comma = std::strchr(p, ',');
            size_t n = comma ? static_cast<size_t>(comma - p) : std::strlen(p);
            if (std::strlen(request) == n && std::strncmp(p, request, n) == 0) match = true;
            p = comma ? comma + 1 : p + n;
        }
    }
    return negate ? !match : match;
}

// ---- the list ------------------------------------------------------------

void LightSourceList::prepare()
{
    mark = head;
    Renderer *r = current_renderer;
    Transformation *camera = r && r->options.camera.is_set() ? r->options.camera.get() : nullptr;
    float time = r ? r->options.shutter_open : 0;
    for (LightSource *l = head; l; l = l->prev) {
        if (l->kind == LIGHT_AMBIENT || !l->outside_world) continue;
        l->outside_world = 0;
        char *block = l->params();
        if (!camera || !block) continue;
        for (const PARAM_INFO *p = l->shader->params; p && p->name; ++p)
            convert_param_values(camera, p, reinterpret_cast<float *>(block + p->offset), time, false);
    }
}

void LightSourceList::clear()
{
    free_to(mark);
}

void LightSourceList::free_to(LightSource *stop)
{
    while (head && head != stop) {
        LightSource *l = head;
        head = l->prev;
        if (l == mark) mark = head;
        delete l;
    }
}

// ---- the walk ------------------------------------------------------------

namespace {

// A light already running on the walk's point is passed over (once said):
// visiting it again would run its shader without end.
bool visits(const LightSource *l, const LightSourceListWalker &w)
{
    if (w.ambientlist ? l->kind != LIGHT_AMBIENT : l->kind == LIGHT_AMBIENT) return false;
    if (!w.sv || l->running_on != w.sv) return true;
    ri_error_once(RIE_CONSISTENCY, RIE_WARNING,
                  "Light shader \"%s\" asks for the lights while it runs; it does not see itself",
                  l->shader && l->shader->name ? l->shader->name : "");
    return false;
}

void set_samples(LightSourceListWalker &w)
{
    if (!w.current) return;
    w.nsamples = w.current->nsamples;
    if (w.sv && w.sv->indirectlevel > 0) w.nsamples = 1;
    if (w.nsamples < 1) w.nsamples = 1;
    w.sample = w.nsamples - 1;
    // One sample, the common light: its weight needs no division.
    w.sampweight = w.nsamples == 1 ? 1.0f : 1.0f / static_cast<float>(w.nsamples);
}

} // namespace

void LightSourceListWalker::start(LightSourceList &list, ShaderVars *point, int amblist)
{
    sv = point;
    ambientlist = amblist;
    current = list.head;
    while (current && !visits(current, *this)) current = current->prev;
    set_samples(*this);
}

void LightSourceListWalker::step()
{
    if (!current) return;
    if (--sample >= 0) return;
    current = current->prev;
    while (current && !visits(current, *this)) current = current->prev;
    set_samples(*this);
}

int LightSourceListWalker::call_shader(const Point &Ps, const Point &axis, float cosangle,
                                       int ps_is_surface, ShaderVars *spawner)
{
    if (!current) return 0;
    int answer = current->run(Ps, axis, cosangle, ps_is_surface, sample, nsamples, spawner);
    spawner->Cl = spawner->Cl * sampweight;
    return answer;
}
