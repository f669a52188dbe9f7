// The ray-tracing back end: the one Renderer that raylume makes at RiBegin and
// keeps until RiEnd. It owns what lives from one world to the next: the
// object lists and the bounding hierarchies of the frame, the stack of open
// solids and object definitions, the pending moving primitive, and the frame
// and world hooks with the end-of-frame statistics.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "raytrace/imgout.h"
#include "raytrace/irradiance.h"
#include "raytrace/photon.h"
#include "raytrace/pixel_sampler.h"
#include "ri/renderer.h"
#include "shading/scene_access.h"
#include "raytrace/specpath.h"

struct PrimParam;
class GPrimitive;
class GHierBound;
class GObjInstance;
class GSurface;
class Ray;
struct IntersectionList;

// Kinds of the object stack's levels.
enum ObjectLevelType {
    OBJ_DEFINITION = 18, OBJ_PRIMITIVE = 19, OBJ_UNION = 20, OBJ_INTERSECTION = 21, OBJ_DIFFERENCE = 22
};
// Levels the object stack holds.
const int OBJECT_STACK_DEPTH = 128;
// Kinds of a pending moving primitive.
enum { MOTION_BICUBIC = 11, MOTION_PATCH_MESH = 111, MOTION_NURB = 12 };

class RayTracer : public Renderer, public SceneAccess {
public:
    RayTracer();
    ~RayTracer() override;
    // The current renderer when it is the ray tracer, else null.
    static RayTracer *current();

    // Renders the finished world into the display (rendrt.cpp).
    void render_world() override;
    // RiDisplay (imgout.cpp).
    int display(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer values[]) override
    {
        return output.display(name, type, mode, n, tokens, values);
    }
    // Shader binding and lights (the shading module's bind_shader).
    RtPointer shader(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void illuminate(RtLightHandle light, int on) override;
    void frame_begin(int n) override;
    void frame_end() override;
    void world_begin() override;
    void world_end() override;

    void add_cone(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                  RtPointer values[]) override;
    void add_cylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                      RtPointer values[]) override;
    void add_disk(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                  RtPointer values[]) override;
    void add_hyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                         RtPointer values[]) override;
    void add_paraboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                        RtPointer values[]) override;
    void add_sphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                    RtPointer values[]) override;
    void add_torus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, RtInt n,
                   RtToken tokens[], RtPointer values[]) override;
    void add_polygon(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_general_polygon(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_points_polygons(RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[],
                             RtPointer values[]) override;
    void add_points_general_polygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], RtInt n,
                                     RtToken tokens[], RtPointer values[]) override;
    void add_bilinear_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                            RtPointer values[]) override;
    void add_bicubic_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                           RtPointer values[]) override;
    void add_patch_mesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n, RtToken tokens[],
                        RtPointer values[]) override;
    void add_nu_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv, RtInt vorder,
                      RtFloat vknot[], RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                      RtPointer values[]) override;
    void add_curves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n, RtToken tokens[],
                    RtPointer values[]) override;
    void add_points(RtInt npoints, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_subdivision_mesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt ntags,
                              RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], RtInt n,
                              RtToken tokens[], RtPointer values[]) override;
    void add_blobby(RtInt, RtInt, RtInt[], RtInt, RtFloat[], RtInt, RtToken[], RtInt, RtToken[],
                    RtPointer[]) override;
    void add_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc) override;
    void solid_begin(RtToken operation) override;
    void solid_end() override;
    RtObjectHandle object_begin() override;
    void object_end() override;
    void object_instance(RtObjectHandle handle) override;

    // The list new objects are linked into: the open level's, else world_objects.
    GPrimitive **target_list();
    // Links a new object into the target list (null is ignored).
    void add_object(GPrimitive *object);
    // Indirect light at P around axis from the irradiance cache or by
    // sampling: the light into Cl, its mean direction into L.
    void indirect_illumination(const Point &P, const Point &axis, float time, float weight, int level,
                               int indirect_level, int algorithm, Point &L, Color &Cl);

    // ---- global illumination (the frame's steps around the pixel loop) ----
    // Forgets what the previous frame left: photons, recorded light paths,
    // the cache statistics (first step of render_world).
    void begin_global_illumination();
    // After the hierarchies: radiosity when steps are asked for, the
    // irradiance seed file, photon shooting when a light asks for photons.
    void prepare_global_illumination();
    // After the pixel work: saves the irradiance cache when asked, empties it.
    void finish_global_illumination();
    // The progressive radiosity solution over the meshed frame objects.
    void radiosity();
    // Emits the photons of every light that asks for them into photon_map.
    void shoot_photons();
    // Whether photons were stored this frame (shading then asks for them).
    bool caustics_on() const override { return !photon_map.empty(); }
    // The photon density around P (normal N, or null) into result.
    void caustic_irradiance(const Point &P, const Point *N, Color &result) override;
    // ---- queries over the frame (scene_queries.cpp) ----
    // A shaded secondary ray: colour, opacity, depth and hit object into ray.
    bool trace(Ray &ray);
    // The nearest hit of a secondary ray at the head (unshaded), likely tried
    // first; the ray is counted. Empty when the scene holds nothing.
    IntersectionList find_hit(Ray &ray, GPrimitive *likely);
    // Every hit of a secondary ray within its range, sorted.
    IntersectionList closest_hit(Ray &ray);
    // What the occluders along a shadow ray let through, into its opacity
    // (first is tested before all others); counted as a shadow ray. False,
    // with the ray untouched, when the scene holds nothing.
    bool occlusion(Ray &ray, GPrimitive *first);
    // Counts one shading of a hit: computed, or reused from the ray's hint.
    void count_shading(bool reused);
    // Whether the radiosity solution is being computed.
    bool radiosity_running();
    // The world position and unit normal of a surface at (u, v).
    void surface_point(GSurface *s, float u, float v, Point &P, Point &N);
    // Calls f(surface, arg) on every surface of the frame.
    void for_each_frame_surface(void (*f)(GSurface *, void *), void *arg);
    // ---- the scene as shading asks for it ----
    void set_shadow_origin(const ShadingPoint *hit) override;
    bool radiosity_light(ShadingPoint *hit, Color &C) override;
    // ---- the rays shaders fire (shader_rays.cpp) ----
    TracedRay trace_from(const Point &P, const Point &R, float time, int level, float weight) override;
    bool hit_test(const Point &P, const Point &R, float time, int level, float weight, float &distance,
                  Point &Phit, Point &Nhit) override;
    bool shade_nearest(const Point &P, const Point &R, float time, int level, float weight, SceneObject **slot,
                       ShadedHit &out) override;
    bool shadow_transmission(const Point &dir, const Point &to, float time, float sample, float distance,
                             SceneObject *first, Color &result, SceneObject *&blocker) override;
    GState *surface_attributes(SceneObject *obj) override;
    const Transformation *object_transformation(const SceneObject *obj) override;
    void bind_vertex_vars(SceneObject *obj, const Shader *shader, char *params, float time, float u,
                          float v) override;
    float sample_area_light(SceneObject *const *pieces, int npieces, const Point &look, int sample, int nsamp,
                            ShadingPoint *sv) override;

    // Answers ray queries on the standard input and output until 'q' or the
    // end of the input (in place of the pixel loop).
    void ray_server();
    // Whether an object definition (ObjectBegin) is open.
    bool defining_object() const { return open_definition_ != nullptr; }

    PhotonMap photon_map;
    IrradianceCache irradiance_cache;

    // The command line's settings for the session (the program hands them over).
    SessionOptions session;
    // The display and the rows of samples of the frame.
    ImageOutput output{options, session};
    PixelSampler sampler;

    GPrimitive *world_objects = nullptr;       // objects added since the world began
    GPrimitive *frame_objects = nullptr;       // the list being rendered
    GHierBound *band_hierarchy = nullptr;      // camera rays (per band, tile or window pass)
    GHierBound *secondary_hierarchy = nullptr;
    GHierBound *shadow_hierarchy = nullptr;
    double render_start_time = 0;              // seconds: rendering began
    double hierarchy_time = 0;                 // the hierarchies were built
    double end_time = 0;
    // Polygons of more than four vertices are split into quadrilaterals (1),
    // or triangles (0, while a subdivision mesh is added).
    int split_quads = 1;

private:
    // The faces of a points mesh as one mesh sharing the parameters' values,
    // when they and the current state allow it (else false, nothing done).
    bool add_mesh_faces(RtInt npolys, const RtInt nverts[], const RtInt verts[],
                        const std::vector<PrimParam> &params, const PrimParam &P);
    // The frame's steps from opening the output to closing it (rendrt.cpp).
    void render_frame();
    struct ObjectLevel {
        GPrimitive *list;   // objects of the open level
        int type;           // ObjectLevelType
    };
    // Opens a level; false (reported) when the stack is full.
    bool push_level(int type);
    // The level's objects, popped.
    GPrimitive *pop_level();
    // Pops the open solid level and links its solid into the level below.
    void close_solid_level();
    // Destroys the three hierarchies.
    void free_hierarchies();
    // Destroys the scene's objects and forgets both lists.
    void free_scene();
    // Destroys the definitions made in blocks of the given level bits.
    void free_definitions(uint32_t level_bits);
    // A moving primitive's key: true when the object was kept pending or
    // merged (the caller does not link it).
    bool motion_key(int kind, GPrimitive *object, std::vector<GPrimitive *> *grid = nullptr);
    // Links a pending primitive left over by a motion block of one key.
    void flush_pending_motion();
    // Builds one bilinear or bicubic patch (not linked).
    GPrimitive *make_patch(bool bicubic, RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n,
                           RtToken tokens[], RtPointer values[]);
    // How often a NURBS patch may be halved for its screen size.
    int nurb_split_depth() const;
    // Links a NURBS patch, split in halves while its raster bound is too large.
    void link_split_nurb(GPrimitive *patch, int depth, int max_depth);
    // Builds and links one quadric after the degenerate check.
    void add_quadric(class GQuadric *q, RtInt n, RtToken tokens[], RtPointer values[]);

    ObjectLevel object_stack_[OBJECT_STACK_DEPTH];
    int object_depth_ = 0;
    GObjInstance *open_definition_ = nullptr;
    // Definitions with the block level they were made in.
    std::vector<std::pair<GObjInstance *, uint32_t>> definitions_;
    // The first key of a moving primitive, waiting for its second.
    int pending_kind_ = 0;
    std::vector<GPrimitive *> pending_;
};

// The built-in light shaders "bouncer" and "indirect".
void register_builtin_lights();

// Statistics of later modules printed at the end of a frame.
void print_radiosity_stats(FILE *out);
void print_irradiance_stats(FILE *out);
void print_texture_stats(FILE *out);

// Linking this (the raytrace library asks the linker for it) makes RiBegin
// make a ray tracer.
extern "C" const int velk_ray_tracer;
