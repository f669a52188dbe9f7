// The abstract back end behind the RI procedures. One object is current at a
// time; the RI procedures check the nesting level kept in it, keep the
// attribute and transformation stacks in it and call its 47 operations (their
// declaration order below is their slot order).
#pragma once
#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "ri/gstate.h"
#include "ri/matrixstore.h"
#include "ri/options.h"
#include "ri_common/ri.h"
#include "ri/transformation.h"

// Nesting level bits.
enum RendererLevel : uint32_t {
    LEVEL_GLOBAL = 1, LEVEL_FRAME = 2, LEVEL_WORLD = 4, LEVEL_MOTION = 8, LEVEL_OBJECT = 0x10
};

// Shader uses passed to Renderer::shader.
enum SHADER_USES {
    USE_SURFACE = 0, USE_INTERIOR = 1, USE_EXTERIOR = 2, USE_ATMOSPHERE = 3, USE_DISPLACEMENT = 4,
    USE_DEFORMATION = 5, USE_IMAGER = 6, USE_LIGHT = 7, USE_AREALIGHT = 8
};

// Depth of the attribute and transformation stacks.
const int RENDERER_STACK_DEPTH = 128;

class Renderer {
public:
    // Global level, default options and attributes, an identity transformation,
    // the standard tokens declared.
    Renderer();
    Renderer(const Renderer &) = delete;
    Renderer &operator=(const Renderer &) = delete;

    // 0: releases the handles, both stacks and the options.
    virtual ~Renderer();
    // 1: renders the finished world.
    virtual void render_world() {}
    // 2: binds a shader of a use (SHADER_USES); returns the light handle for lights.
    virtual RtPointer shader(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[]);
    // 3: turns a light on or off for the current attributes.
    virtual void illuminate(RtLightHandle light, int on);
    // 4: this object became current.
    virtual void make_current() {}
    // 5: sets the frame bit, the frame number, and saves the options.
    virtual void frame_begin(int n);
    // 6: clears the frame bit, restores the options, frees the frame's matrices.
    virtual void frame_end();
    // 7: derives the camera from the options and sets the world bit.
    virtual void world_begin();
    // 8: clears the world bit.
    virtual void world_end();
    // 9: saves the current attributes and makes a copy current.
    virtual void push_attributes();
    // 10: restores the saved attributes.
    virtual void pop_attributes();
    // 11-13: notifications of attribute changes.
    virtual void color_changed(const float *color);
    virtual void sides_changed() {}
    virtual void representation_changed() {}

    // 14-33: primitives, with the arguments of their RI procedures.
    virtual void add_cone(RtFloat height, RtFloat radius, RtFloat thetamax,
                          RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_cylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                              RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_disk(RtFloat height, RtFloat radius, RtFloat thetamax,
                          RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_hyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax,
                                 RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_paraboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                                RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_sphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                            RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_torus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax,
                           RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_polygon(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_general_polygon(RtInt nloops, RtInt nverts[],
                                     RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_points_polygons(RtInt npolys, RtInt nverts[], RtInt verts[],
                                     RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_points_general_polygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[],
                                             RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_bilinear_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax,
                                    RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_bicubic_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax,
                                   RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_patch_mesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap,
                                RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_nu_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax,
                              RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax,
                              RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_curves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap,
                            RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_points(RtInt npoints, RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_subdivision_mesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                                      RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[],
                                      RtFloat floatargs[], RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_blobby(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[],
                            RtInt nstr, RtToken str[], RtInt n, RtToken tokens[], RtPointer values[]) = 0;
    virtual void add_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc,
                                RtProcFreeFunc freefunc) = 0;
    // 34-38: solids and retained objects.
    virtual void solid_begin(RtToken operation) = 0;
    virtual void solid_end() = 0;
    virtual RtObjectHandle object_begin() = 0;
    virtual void object_end() = 0;
    virtual void object_instance(RtObjectHandle handle) = 0;
    // 39: how many motion keys a transformation may hold.
    virtual int max_motion_times() { return 2; }
    // 40: clears the statistics counter and notes the time.
    virtual void reset_timer();
    // 41: run-time statistics, then flush.
    virtual void print_stats(FILE *out);
    // 42: "Runtime stats:" with the real time since reset_timer.
    virtual void print_runtime_stats(FILE *out);
    // 43
    virtual void flush_stats(FILE *out) { fflush(out); }
    // 44: one RiOption pair; 0 when taken, -1 when unknown.
    virtual int option(RtToken name, RtToken token, RtPointer value);
    // 45: one RiAttribute pair; 0 when taken, -1 when unknown.
    virtual int attribute(RtToken name, RtToken token, RtPointer value);
    // 46: RiDisplay.
    virtual int display(RtToken name, RtToken type, RtToken mode,
                        RtInt n, RtToken tokens[], RtPointer values[]);

    // The matrix taking points from one named space to another ("raster",
    // "NDC", "screen", "camera", "world", "object", "current", "shader" or a
    // coordinate system) at a time; with vector the translation is dropped.
    // 0 when a space is unknown or a matrix is singular.
    int space_to_space(RtToken from, RtToken to, Transformation *shader_space,
                       Transformation *object_space, int vector, float out[16], float time = 0);
    // A store slot holding a copy of m, tagged with the current level.
    float *new_matrix(const float *m);

    // Object and light handles that are alive: noted when made, forgotten when
    // the frame or world they were made in ends (their back-end records go
    // with it), so a stale handle is refused instead of being followed.
    void note_object(RtObjectHandle h) { note_handle(h, HANDLE_OBJECT); }
    bool object_is_live(RtObjectHandle h) const { return handle_is_live(h, HANDLE_OBJECT); }
    void note_light(RtLightHandle h) { note_handle(h, HANDLE_LIGHT); }
    bool light_is_live(RtLightHandle h) const { return handle_is_live(h, HANDLE_LIGHT); }
    // Forgets the handles made at any of the level bits.
    void retire_handles(uint32_t level_bits);
    void free_matrices(uint8_t level_bits) { matrices.free_matrices(level_bits); }

    uint32_t level = LEVEL_GLOBAL;
    int32_t solid_depth = 0;
    int32_t object_solid_depth = 0;       // solid_depth when the open object definition began
    int procedural_depth = 0;             // procedurals being subdivided (no frame or world requests)
    long expansions = 0;                  // archives read and procedurals expanded in this world block
    // Counts one more archive read or procedural expansion; false past the
    // options' bound for a world block (reported once), so that archives and
    // procedurals that copy themselves end.
    bool may_expand();
    Options options;
    Options *options_stack = nullptr;     // saved at frame begin
    GStateRef attributes;
    GStateRef attribute_stack[RENDERER_STACK_DEPTH];
    int attribute_depth = 0;
    TransformationRef transformation;
    TransformationRef transformation_stack[RENDERER_STACK_DEPTH];
    int transformation_depth = 0;
    int motion_specs = 0;                 // specifications seen in the open motion block
    int motion_times = 0;                 // times of the open block; 0 outside
    float motion_time_values[2] = {0, 0};
    int stats_counter = 0;
    double start_time = 0;
    MatrixStore matrices;
    int need_photons = 0;                 // a light asked for photons
    // RiCoordinateSystem before the world: the space is relative to the camera.
    void note_camera_space(RtToken name);

private:
    enum HandleKind { HANDLE_OBJECT, HANDLE_LIGHT };
    struct LiveHandle {
        HandleKind kind;
        uint32_t level;
    };
    void note_handle(void *h, HandleKind kind);
    bool handle_is_live(const void *h, HandleKind kind) const;
    std::unordered_map<const void *, LiveHandle> live_handles_;
    std::vector<RtToken> camera_spaces_;   // named before the world, rebased at world begin
};

// The current renderer (null before RiBegin and after RiEnd).
extern Renderer *current_renderer;

// Process-wide: existing image files are not overwritten ("render" "safetyfile").
extern int safety_file;

// Reports an RI error through the installed handler without a message.
void ri_report(int code, int severity);

// The current renderer; without one, "RiBegin not called" is reported (severe)
// and null is returned, so the calling procedure returns.
Renderer *renderer_or_report();

// Inside a motion block, counts one specification; true when it is the first
// of the block (or outside a block): only the first one takes effect.
bool first_motion_spec(Renderer *r);

// The key that the next specification of the open motion block fills: 0 for
// the first, 1 for the last of a block of two or more times, -1 for one
// between them or beyond the block's times.
int motion_spec_key(const Renderer *r);

// The search path with every "$ARCH" or "%ARCH" replaced by the architecture code, interned.
RtToken expand_arch_path(const char *path);

// The matrix from one named space to another at a time, with the current
// transformation as object space; 1 when both spaces are known.
int find_space_matrix(RtToken from, RtToken to, float time, float out[16]);

// Builds the trim-loop set of RiTrimCurve; installed by the module that owns
// trim curves. While null, trim curves are not kept.
extern TrimLoopsRef (*build_trim_loops)(RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[],
                                        RtFloat amin[], RtFloat amax[], RtInt n[], RtFloat u[],
                                        RtFloat v[], RtFloat w[]);
