// Light sources: a light shader bound with its own parameter block, attribute
// state and transformation, kept in one global list (newest first) for the
// frame. Shading points walk the list with a LightSourceListWalker, which also
// steps through the samples of an area light; each visit runs the light
// shader through LightSource::run, which caches results per ray level.
#pragma once
#include <cstdint>
#include <vector>

#include "ri/gstate.h"
#include "ri/shader.h"
#include "ri/transformation.h"
#include "shading/shadingpoint.h"

struct SceneObject;

// Light kinds.
enum { LIGHT_AMBIENT = 0, LIGHT_ORDINARY = 1, LIGHT_AREA = 2, LIGHT_BOUNCER = 5 };
// Ray levels with a cache entry.
const int LIGHT_CACHE_LEVELS = 16;
// Surfaces an area light keeps.
const int AREA_LIGHT_PIECES = 16;

// Bits of the 128-bit light set of an attribute state (ids of 128 and more are
// never set or cleared).
void light_mask_set(uint32_t set[4], int id);
void light_mask_clear(uint32_t set[4], int id);

class LightSource : public LightHandle {
public:
    // Binds shader under the renderer's current attribute state and
    // transformation; kind = area_flag, or with -1 ordinary when the shader
    // uses illuminate or solar, else ambient. Becomes the head of the list
    // and is switched on in the (unshared) current attribute state.
    LightSource(Shader *shader, int area_flag);
    ~LightSource();
    LightSource(const LightSource &) = delete;
    LightSource &operator=(const LightSource &) = delete;

    // The parameter block of the instance.
    char *params() { return instance.is_set() ? instance->params() : nullptr; }
    // Runs the light on sv for the surface point Ps (cached per ray level when
    // ps_is_surface): Pl, L and Cl of sv are set; Cl is weighted. Answers 1
    // when the light reached the point: a text shader's illuminate or solar
    // statement ran its body (ambient lights reach everywhere), a native
    // shader answered non-zero; otherwise Cl is black.
    int run(const Point &Ps, const Point &axis, float cosangle, int ps_is_surface, int sample,
            int samples, ShaderVars *sv);
    // Sets Pl and Nl of sv: the origin and z axis of the light's shader space.
    void place_origin(ShaderVars *sv);
    // Picks one of the area pieces at random and samples it as seen from look:
    // sets Pl (and Nl, Ngl) of sv and the weight; 0 when there is no piece.
    int random_area_sample(ShaderVars *sv, int sample, int samples, const Point &look, float *weight);
    // Whether the light's "__category" answers a category request ("-"
    // negates, "*" matches any category, items split at commas).
    bool category_matches(const char *request);
    // Adds an area surface (at most AREA_LIGHT_PIECES).
    void add_piece(SceneObject *surface);

    LightSource *prev;               // the light declared before this one
    int kind;
    int id;
    ShaderEntry run_function;
    Shader *shader;
    ShaderInstanceRef instance;
    GStateRef gstate;                // attribute state at declaration
    TransformationRef xform;         // the light's shader space
    // The origin and z axis of a still shader space in the world, kept with
    // the matrix they came from.
    struct Placement {
        float m[16];
        Point origin, axis;
        bool set = false;
    } placement;
    struct LevelCache {
        Point P, axis;
        float cosangle;
        int32_t tag;                 // shading sequence number the entry holds; -1 empty
    } cache[LIGHT_CACHE_LEVELS];
    std::vector<float> samples;      // LIGHT_CACHE_LEVELS x nsamples entries of Pl, L, Cl, reached
    int npieces = 0;
    SceneObject *pieces[AREA_LIGHT_PIECES] = {};
    int outside_world = 0;           // declared before the world block
    int nsamples;
    const char *category = nullptr;
    int category_looked_up = 0;
    ShaderVars *running_on = nullptr;   // the point the light's shader is running on, or null
    int lit = 0;                     // a light statement ran its body in the current run
    // While set, an area light's runs reuse the last sample position drawn
    // (the light seen over a mirror comes from the position the search used).
    bool hold_area_sample = false;
    struct HeldSample {
        Point Pl, Nl, Ngl;
        float density = 0;           // the sample's weight less its emitter cosine
        bool set = false;
    } held;
    // The object that last blocked one of the light's shadow rays, valid in
    // the world of blocker_epoch (light_blocker).
    mutable SceneObject *last_blocker = nullptr;
    mutable unsigned blocker_epoch = 0;
    // Where float parameters of the shader lie in its instance's block,
    // looked up once per name: -1 when it has no such float.
    int float_param_offset(RtToken name);
    // A text shader that reads nothing of the point and changes nothing but
    // its light gives every point the same light: the result of its first
    // run serves the others. 0: not looked at yet; 1: such a shader; -1: not.
    int constant_code = 0;
    struct ConstantRun {
        Color Cl, Ol;
        int answer = 0;
        bool set = false;
    } constant;

private:
    // run past the cache: the shader (or the constant result) on sv.
    [[gnu::noinline]] int run_uncached(const Point &Ps, const Point &axis, float cosangle, int sample, int nsamp,
                                       ShaderVars *sv);
    struct ParamOffset {
        RtToken name = nullptr;
        int offset = -1;
    } param_offsets_[2];
};

// Whether compiled code only computes from its parameters, locals and
// constants into Cl and Ol: the same result on every point, and no effect
// beyond it.
bool light_code_is_constant(const Shader *shader);

// Words of one sample-cache entry.
const int LIGHT_CACHE_ENTRY = 10;

class LightSourceList {
public:
    // Marks the head (world begin) and converts the lights declared before the world.
    void prepare();
    // Deletes the lights declared after the mark (frame end).
    void clear();
    // Deletes lights from the head until stop (stop stays).
    void free_to(LightSource *stop);

    LightSource *head = nullptr;
    LightSource *mark = nullptr;
};

// The one list of the program.
LightSourceList &light_list();
