#include "shading/shadingpoint.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"

// ---- shading globals -----------------------------------------------------

#define GLOBAL(name, field, type, bits) {name, (uint32_t)offsetof(ShadingPoint, field), type, bits}

const ShadingGlobal *shading_globals()
{
    static const ShadingGlobal table[SHADING_GLOBAL_COUNT] = {
        GLOBAL("Ci", Ci, DECL_COLOR, 0),
        GLOBAL("Oi", Oi, DECL_COLOR, 0),
        GLOBAL("Cs", Cs, DECL_COLOR, 0),
        GLOBAL("Os", Os, DECL_COLOR, 0),
        GLOBAL("Ps", Ps, DECL_POINT, 0),
        GLOBAL("P", Ps, DECL_POINT, 0),
        GLOBAL("dPdu", shade_dPdu, DECL_POINT, VU_DPDU_DPDV),
        GLOBAL("dPdv", shade_dPdv, DECL_POINT, VU_DPDU_DPDV),
        GLOBAL("N", Ns, DECL_POINT, 0),
        GLOBAL("Ng", Ng, DECL_POINT, 0),
        GLOBAL("u", u, DECL_FLOAT, 0),
        GLOBAL("v", v, DECL_FLOAT, 0),
        GLOBAL("du", shade_du, DECL_FLOAT, VU_DU_DV),
        GLOBAL("dv", shade_dv, DECL_FLOAT, VU_DU_DV),
        GLOBAL("s", s, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("t", t, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("L", L, DECL_POINT, 0),
        GLOBAL("Cl", Cl, DECL_COLOR, 0),
        GLOBAL("Ol", Ol, DECL_COLOR, 0),
        GLOBAL("E", E, DECL_POINT, 0),
        GLOBAL("I", I, DECL_POINT, 0),
        GLOBAL("time", time, DECL_FLOAT, 0),
        GLOBAL("alpha", alpha, DECL_FLOAT, 0),
        GLOBAL("dsdu", dsdu, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("dsdv", dsdv, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("dtdu", dtdu, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("dtdv", dtdv, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("ncomps", ncomps, DECL_FLOAT, 0),
        GLOBAL("dtime", dtime, DECL_FLOAT, 0),
        GLOBAL("dPdtime", dPdtime, DECL_POINT, VU_DPDTIME),
        GLOBAL("Pl", Pl, DECL_POINT, 0),
        GLOBAL("Nl", Nl, DECL_NORMAL, 0),
        GLOBAL("Ngl", Ngl, DECL_NORMAL, 0),
        GLOBAL("ul", ul, DECL_FLOAT, 0),
        GLOBAL("vl", vl, DECL_FLOAT, 0),
        GLOBAL("sl", sl, DECL_FLOAT, VU_TEXCOORDS),
        GLOBAL("tl", tl, DECL_FLOAT, VU_TEXCOORDS),
    };
    return table;
}

#undef GLOBAL

const ShadingGlobal *find_shading_global(const char *name, bool light_view)
{
    if (!name) return nullptr;
    if (light_view) {
        // A light shader's own point is Pl; Ps stays the lit surface point.
        static const char *const renamed[][2] = {
            {"P", "Pl"}, {"N", "Nl"}, {"Ng", "Ngl"}, {"u", "ul"},
            {"v", "vl"}, {"s", "sl"}, {"t", "tl"},
        };
        for (auto &r : renamed)
            if (std::strcmp(name, r[0]) == 0) {
                name = r[1];
                break;
            }
    }
    const ShadingGlobal *g = shading_globals();
    for (int i = 0; i < SHADING_GLOBAL_COUNT; i++)
        if (std::strcmp(g[i].name, name) == 0) return &g[i];
    return nullptr;
}

// ---- derivative scratch --------------------------------------------------

int deriv_scratch_floats()
{
    int bytes = current_renderer ? current_renderer->options.derivmemory : 2048;
    if (bytes < 8) bytes = 8;
    return bytes / (int)sizeof(float);
}

namespace {

// Slots past the end of a scratch area, by area: a shader that outgrows
// "derivmemory" (a derivative call in a long loop) still gets its
// derivatives. Indexed like the area itself; an area made anew at an address
// drops what an earlier one left there.
std::unordered_map<const float *, std::vector<float>> &overflow_slots()
{
    static std::unordered_map<const float *, std::vector<float>> slots;
    return slots;
}

// Past this many slots (64 MB) derivatives give their placeholders.
const int MAX_SCRATCH_FLOATS = 1 << 24;

} // namespace

void deriv_scratch_fresh(const float *area)
{
    overflow_slots().erase(area);
}

namespace {

// The lazily cleared areas in use, innermost last, with the floats cleared so far.
struct LazyArea {
    float *area;
    int cleared;
};
std::vector<LazyArea> &lazy_areas()
{
    static std::vector<LazyArea> areas;
    return areas;
}

// Clears what of area is reserved below mark and not cleared yet.
void clear_reserved(float *area, int mark)
{
    std::vector<LazyArea> &areas = lazy_areas();
    for (size_t i = areas.size(); i-- > 0;) {
        if (areas[i].area != area) continue;
        if (mark > areas[i].cleared) {
            std::memset(area + areas[i].cleared, 0, size_t(mark - areas[i].cleared) * sizeof(float));
            areas[i].cleared = mark;
        }
        return;
    }
}

} // namespace

void deriv_scratch_lazy_begin(float *area)
{
    lazy_areas().push_back({area, 0});
}

void deriv_scratch_lazy_end(float *area)
{
    std::vector<LazyArea> &areas = lazy_areas();
    if (!areas.empty() && areas.back().area == area) areas.pop_back();
}

DerivScratch::DerivScratch(ShaderVars *sv) : sv_(sv), saved_(sv->scratch), saved_mark_(sv->highestscratch)
{
    sv->scratch = new float[deriv_scratch_floats()]();
    deriv_scratch_fresh(sv->scratch);
    sv->highestscratch = 0;
}

DerivScratch::~DerivScratch()
{
    deriv_scratch_fresh(sv_->scratch);
    delete[] sv_->scratch;
    sv_->scratch = saved_;
    sv_->highestscratch = saved_mark_;
}

const float *ShadingPoint::deriv_exchange(const float *value, int count)
{
    int base = highestscratch;
    // The slot numbers advance in every run, so the n-th derivative operation
    // meets the same slots in the neighbour runs and the main run.
    if (base <= MAX_SCRATCH_FLOATS) highestscratch += 2 * count;
    if (!doareaops || !scratch || base < 0) return nullptr;
    float *slots;
    if (highestscratch <= deriv_scratch_floats()) {
        clear_reserved(scratch, highestscratch);
        slots = scratch + base;
    } else if (highestscratch <= MAX_SCRATCH_FLOATS) {
        std::vector<float> &more = overflow_slots()[scratch];
        if (more.size() < size_t(highestscratch)) more.resize(size_t(highestscratch), 0.0f);
        slots = more.data() + base;
    } else {
        ri_error_once(RIE_NOMEM, RIE_ERROR,
                      "Out of deriv scratch space: derivatives past %d calls in one shading are 0.001",
                      MAX_SCRATCH_FLOATS / 2);
        return nullptr;
    }
    if (whichdisp == DISP_DU || whichdisp == DISP_DV) {
        std::memcpy(slots + count * (whichdisp - 1), value, count * sizeof(float));
        return nullptr;
    }
    return slots;
}

// Layout facts native shaders rely on.
static_assert(sizeof(Point) == 3 * sizeof(float), "points are three packed floats");
static_assert(offsetof(ShadingPoint, obj) == 0 && offsetof(ShadingPoint, Ps) < offsetof(ShadingPoint, Ci) &&
                  offsetof(ShadingPoint, paramblock) < offsetof(ShadingPoint, lsw) &&
                  offsetof(ShadingPoint, clight) + sizeof(void *) == sizeof(ShadingPoint),
              "fields keep their order");
