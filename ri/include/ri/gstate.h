// The attribute state: everything AttributeBegin saves and AttributeEnd
// restores. Records are pooled, reference counted and copied on write: the
// first change after a record became shared makes a private copy.
#pragma once
#include <cstdint>
#include <cstdio>

#include "ri/counters.h"
#include "ri/refcount.h"
#include "ri_common/vecmath.h"

class Renderer;
class Transformation;
class ShaderInstance;

// Records of later modules the attribute state holds without looking into
// them: the ray tracer's trim curve sets and the shading module's lights
// derive from these.
class TrimLoops : public RefCounted {};
struct LightHandle {};

using GStateRef = Ref<class GState>;
using TransformationRef = Ref<Transformation>;
using ShaderInstanceRef = Ref<ShaderInstance>;
using TrimLoopsRef = Ref<TrimLoops>;

// Bits of GState::flags.
enum GStateFlag : uint32_t {
    GS_INSTANCE = 0x1,              // made by ObjectInstance
    GS_TWOSIDED = 0x2,
    GS_MATTE = 0x4,
    GS_SMOOTH = 0x8,                // smooth shading interpolation
    GS_RAD_CAUSTICS = 0x10,         // "radiosity" "has_caustics"
    GS_TEXCOORDS = 0x20,            // TextureCoordinates given
    GS_RAD_SPECULAR = 0x40,         // radiosity specular colour above 0.001
    GS_RAD_REFRACTION = 0x80,       // radiosity refraction colour above 0.001
    GS_RAD_EMITTER = 0x100,         // radiosity emission colour above 0.001
    GS_RAD_SHADOWS = 0x200,         // "radiosity" "has_shadows"
    GS_AVERAGECOLOR_GIVEN = 0x800,  // Color leaves the radiosity average colour alone
    GS_LIGHT_SHADOWS = 0x1000,      // the light casts shadows
    GS_DETAIL_RANGE = 0x2000,       // DetailRange given: detail_range chooses the model
    GS_TRIM_OUTSIDE = 0x100000,     // "trimcurve" "sense" "outside"
    GS_DICE_BINARY = 0x200000,
    GS_TRUEDISPLACEMENT = 0x400000,
    GS_INVISIBLE_PRIMARY = 0x800000,
    GS_INVISIBLE_SECONDARY = 0x1000000,
    GS_USE_SHADINGRATE = 0x2000000,
};

const uint32_t GS_DEFAULT_FLAGS = GS_TWOSIDED | GS_RAD_SHADOWS | GS_USE_SHADINGRATE;

// Shader slots of a GState.
enum { SHADER_SLOTS = 5 };

// Geometric representations.
enum { GEOREP_PRIMITIVE = 0, GEOREP_LINES = 1, GEOREP_POINTS = 2, GEOREP_SKETCH = 3 };

class GState : public RefCounted {
public:
    GState() { init_defaults(); }
    // A copy with a count of 0 that takes its own references on shared members.
    GState(const GState &o);
    GState &operator=(const GState &o);
    ~GState() override { release_members(); }

    // Every field to its default.
    void init_defaults();
    // Lets go of the shader instances, shader spaces and trim loops.
    void release_members();

    // Pooled allocation (blocks of 57 records).
    static void *operator new(size_t size);
    static void operator delete(void *p);

    uint32_t flags;
    uint32_t orientation;          // bit 0: inside-out
    Color color;
    Color opacity;
    float texture_coords[8];       // s1 t1 s2 t2 s3 t3 s4 t4
    uint32_t light_set[4];         // bit per light source id: the lights on here
    ShaderInstanceRef shaders[SHADER_SLOTS];
    TransformationRef shader_spaces[SHADER_SLOTS];
    float shading_rate;
    float shading_rate_root;
    float detail_values[3];        // 5e37, 0, 1
    float detail;                  // raster area of the Detail bound; infinite when none or not known
    float detail_range[4];         // DetailRange: minimum visible, transitions, maximum visible
    const float *ubasis;           // 16 floats
    const float *vbasis;
    uint8_t ustep, vstep;
    TrimLoopsRef trim_loops;
    float displacement_bound;
    const char *displacement_space;   // interned; null means object space
    const char *identifier;           // interned "identifier" "name"
    float rad_patchsize, rad_elemsize, rad_minsize;
    uint8_t zonal;                 // 0 none, 1 receives, 2 shoots, 3 fully zonal
    uint8_t casts_shadows;         // 0 none, 1 opaque, 2 Os, 3 shade
    uint16_t light_samples;
    int light_photons;
    uint16_t light_strategy;
    uint16_t patch_maxlevel, patch_minlevel, patch_splitdepth;
    float patch_multiplier;
    Color rad_averagecolor;
    Color rad_emissioncolor;
    Color rad_specularcolor;
    Color rad_refractioncolor;
    float refraction_index;
    uint16_t udivisions, vdivisions;
    int representation;
    LightHandle *area_light;       // the area light being defined (its surfaces follow), or null

private:
    void copy_fields(const GState &o);
};

// Makes the renderer's current GState private before a change: a record held
// by more than one handle is replaced by a copy.
void unshare_gstate(Renderer *r);

// Stores a shading rate: below 0.125 (and NaN) becomes 0.125; keeps its square root.
void set_shading_rate(GState *g, float rate);

// Records taken from the pool.
StatCounter &gstate_counter();
// "GStates allocated: ..." line.
void print_gstate_stats(FILE *out);

// Bit id of a 128-bit light set kept in four words; ids of 128 and more are members.
inline bool light_set_contains(const uint32_t set[4], int id)
{
    if (id < 0) return false;
    if (id >= 128) return true;
    return (set[id / 32] >> (id % 32)) & 1u;
}
