// The shading point: the record every shader runs on, with the globals it
// sees and the state of its runs. The renderer fills it; its own objects
// appear here only as opaque handles. Compiled shaders address its fields
// through the table of shading globals below; native shaders are built
// against its exact layout, so the record is standard-layout with its fields
// in a fixed order, and its size is what they must report.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "ri/gstate.h"
#include "ri/transformation.h"
#include "ri_common/vecmath.h"
#include "shading_shaderfile/varsused.h"

class LightSource;
class Shader;
struct ShadingPoint;
using ShaderVars = ShadingPoint;

// What shading holds of the renderer's own records: handles it passes back
// to the scene and never looks into. The renderer's objects and grid cells
// derive from these.
struct SceneObject {};
struct SceneCell {};

// The run routine of a shader (interpreter or native library): runs on one
// shading point with a parameter block. Light shaders answer whether the light
// reaches the point; other shaders' answers are not used.
using ShaderRunFunc = int (*)(ShaderVars *sv, char *params);

// Values of ShadingPoint::shade_task.
enum { SHADE_TASK_NORMAL = 0, SHADE_TASK_SHADOW = 2 };

// Values of ShadingPoint::whichdisp: the main run and the two neighbour runs.
enum { DISP_MAIN = 0, DISP_DU = 1, DISP_DV = 2 };

// What a derivative operation answers in a neighbour run, or when
// derivatives are off for the run.
const float DERIV_PLACEHOLDER = 0.001f;

// The light walk of a shading point. Its operations belong to the light
// module; the record fixes only the fields.
struct LightSourceListWalker {
    LightSource *current = nullptr;   // light being visited; null at the end
    ShaderVars *sv = nullptr;         // point the walk belongs to
    int32_t ambientlist = 0;          // 1: ambient lights only; 0: the others
    int32_t sample = 0;               // area-light sample, counting down
    int32_t nsamples = 0;
    float sampweight = 0;             // 1 / nsamples

    bool end() const { return current == nullptr; }
    LightSource *operator()() const { return current; }

    // Positions on the first light of the list of the walk's kind (amblist:
    // ambient lights only, else the others), at its last sample.
    void start(class LightSourceList &list, ShaderVars *point, int amblist);
    // The next sample of the light, else the first of the next light of the kind.
    void step();
    // Runs the current light at its sample for the surface point Ps; the
    // spawner's Cl is scaled by the sample weight. Answers 1 when the light
    // reached the point (LightSource::run).
    int call_shader(const Point &Ps, const Point &axis, float cosangle,
                    int ps_is_surface, ShaderVars *spawner);
    // The weight of one sample (1 / nsamples).
    float weight() const { return sampweight; }
};

struct ShadingPoint {
    ShadingPoint() = default;
    // A point on object o at shutter time tm.
    ShadingPoint(SceneObject *o, float tm) : obj(o), time(tm) {}
    // Copies every field; the handles gain references.
    ShadingPoint(const ShadingPoint &) = default;
    ShadingPoint &operator=(const ShadingPoint &) = default;
    // Releases ssx, then surf.
    ~ShadingPoint()
    {
        ssx.clear();
        surf.clear();
    }

    // Reserves `count` x 2 derivative scratch slots for one derivative
    // operation whose values are `count` floats; slots past the end of the
    // area are kept beside it. In a neighbour run the value is stored into
    // the run's group and null is answered; null is also the answer when
    // derivatives are off for the run (or past 2^24 slots, reported once):
    // the caller then answers its placeholder. In the main run the answer is the
    // stored neighbour values, the +du group first, then the +dv group.
    const float *deriv_exchange(const float *value, int count);

    SceneObject *obj = nullptr;       // object shaded
    GStateRef surf;                   // attribute state of the object
    Point Ng;                         // geometric normal
    float gu = 0, gv = 0;             // global parametric coordinates
    float u = 0, v = 0;               // surface parameters
    Point Ps;                         // shading position P
    Point Ns;                         // shading normal N
    Point dPdu, dPdv;
    Point shade_dPdu, shade_dPdv;     // as shaders see them
    float du = 0, dv = 0;
    float shade_du = 0, shade_dv = 0; // as shaders see them (derivative divisors)
    float s = 0, t = 0;
    Point E, I;                       // eye position, incident direction
    float time = 0, dtime = 0;
    Point dPdtime;
    float ncomps = 0;                 // colour components
    Color Cs, Os;
    Point L;                          // light direction
    Point Pl, Nl, Ngl;                // what a light shader sees as P, N, Ng
    float gul = 0, gvl = 0, ul = 0, vl = 0, sl = 0, tl = 0;
    Color Ci, Oi;                     // output colour and opacity
    float dist = 0;
    Color Cl, Ol;                     // light colour and opacity
    float alpha = 0;
    int32_t ismatte = 0;
    TransformationRef ssx;            // current shader space
    LightSource *ls = nullptr;        // light being evaluated
    int32_t sampnum = 0, totsamples = 0;   // area-light sample and count
    float weight = 0;                 // ray weight
    int32_t level = 0, indirectlevel = 0;
    float detail = 0;
    float dsdu = 0, dsdv = 0, dtdu = 0, dtdv = 0;
    Point Pnorm, Pnormu, Pnormv;      // displaced-point bookkeeping of the neighbours
    int32_t whichdisp = DISP_MAIN;    // derivative-neighbour run index
    int32_t shadetype = 0;            // SHADER_USES slot of the running shader
    int32_t doareaops = 0;            // 1: derivative neighbours are computed this run
    int32_t doillum = 0;              // 0: shaders may not trace rays here
    Point illum_axis, gather_axis;    // axes of the illuminate / illuminance cones
    float cos_gather_angle = 0;
    Color shadowfilter;               // transmission filter of shadow rays
    float illum_angle = 0;
    Shader *thisshader = nullptr;     // shader being run
    int32_t shade_index = 0;          // shading sequence number
    uint32_t vars_used = 0;           // VarsUsed bits of the point's shaders
    int32_t shade_task = SHADE_TASK_NORMAL;
    int32_t finished = 0, has_user_verts = 0, shaded = 0;
    SceneCell *whichpiece = nullptr;  // grid cell hit
    char *paramblock[5] = {};         // parameter blocks by use
    float *scratch = nullptr;         // derivative scratch of the current run
    int32_t highestscratch = 0;       // next free scratch slot, in floats
    LightSourceListWalker lsw;
    LightSource *clight = nullptr;    // light of the current illuminance step
};

static_assert(std::is_standard_layout<ShadingPoint>::value, "field offsets must be fixed");

// ---- shading globals -----------------------------------------------------

// One global variable as compiled shaders name it.
struct ShadingGlobal {
    const char *name;
    uint32_t offset;   // field offset in the shading point
    int type;          // shader parameter type (DECL_FLOAT, DECL_POINT, ...)
    uint32_t bits;     // VarsUsed bits a shader naming it takes
};

// The 37 globals in table order.
const ShadingGlobal *shading_globals();
const int SHADING_GLOBAL_COUNT = 37;
// The global named name (text compare), seen by a light shader when
// light_view is set (P is then Pl, N Nl, Ng Ngl, u ul, v vl, s sl, t tl, and
// Ps the surface point); null when the name is not a global.
const ShadingGlobal *find_shading_global(const char *name, bool light_view = false);
// The field of a global in a record.
inline float *global_field(ShadingGlobal const &g, ShaderVars *sv)
{
    return reinterpret_cast<float *>(reinterpret_cast<char *>(sv) + g.offset);
}

// ---- running shaders -----------------------------------------------------

// A derivative scratch area of the option "derivmemory" bytes given to a
// point for as long as this object lives; the point's previous area and
// mark come back afterwards. All runs of one point share one area.
class DerivScratch {
public:
    explicit DerivScratch(ShaderVars *sv);
    ~DerivScratch();
    DerivScratch(const DerivScratch &) = delete;
    DerivScratch &operator=(const DerivScratch &) = delete;

private:
    ShaderVars *sv_;
    float *saved_;
    int32_t saved_mark_;
};

// Floats in a derivative scratch area ("derivmemory" / 4).
int deriv_scratch_floats();
// Forgets the slots kept past the end of an area that is made or freed.
void deriv_scratch_fresh(const float *area);
// An area whose floats read as zero without being cleared: each is cleared
// when a derivative operation first reserves it (most runs reserve none).
// Areas nest; the last one begun ends first.
void deriv_scratch_lazy_begin(float *area);
void deriv_scratch_lazy_end(float *area);

// Runs shader on sv for a use (SHADER_USES) with a parameter block: sets
// shadetype, thisshader and the use's shader space, gives the run a fresh
// scratch area and restores the previous one afterwards. Defined by the
// shader module, which owns the Shader record.
int run_shader_on_point(Shader *shader, ShaderVars *sv, int use, char *params);
