// The scene objects of the ray tracer: one class tree under GPrimitive for
// surfaces, CSG nodes, hierarchy nodes, retained-object masters, procedurals
// and grid cells, with the virtual operations every geometry module overrides
// (their declaration order is their slot order), the object type ids, the
// object flag bits, linking into object lists, screen bounds, and the shared
// surface behaviour: shading-point fill, vertex-variable binding, derivatives,
// area-light sampling, radiosity meshing hooks and geometry statistics.
#pragma once
#include <cstdint>
#include <cstdio>

#include "ri/counters.h"
#include "ri/gstate.h"
#include "ri/primvars.h"
#include "ri/transformation.h"
#include "ri_common/vecmath.h"
#include "raytrace/hit.h"

class Ray;
struct IntersectionList;
struct RadiosityPatch;     // radiosity module
struct RadiosityElement;   // radiosity module
class DicedGrid;          // dicing module
class GHierBound;         // hierarchy module
struct PlacedSurfaces;    // instance module

// Object type ids.
enum GPrimType : uint16_t {
    GP_NONE = 0, GP_SPHERE = 1, GP_CONE = 2, GP_DISK = 3, GP_CYLINDER = 4, GP_HYPERBOLOID = 5,
    GP_PARABOLOID = 6, GP_TORUS = 7, GP_POLYGON = 8, GP_GENERALPOLYGON = 9, GP_BILINEAR = 10,
    GP_BICUBIC = 11, GP_NURB = 12, GP_BLOBBY = 13, GP_TRIANGLE = 14, GP_CONTAINER = 15,
    GP_SUBPATCH = 16, GP_LAST_SURFACE = 17, GP_OBJINSTANCE = 18, GP_COMPOSITE = 19, GP_UNION = 20,
    GP_INTERSECTION = 21, GP_DIFFERENCE = 22, GP_HIERBOUND = 23, GP_LITEQUAD = 24, GP_PROCEDURAL = 25,
    GP_INSTANCE = 26, GP_MESHFACE = 27,
};
const int GPRIM_TYPE_COUNT = 28;

// Name of each type in the statistics, and the bytes charged for one object.
extern const char *const GPRIM_TYPE_NAMES[GPRIM_TYPE_COUNT];
extern const int GPRIM_TYPE_SIZES[GPRIM_TYPE_COUNT];

inline bool is_surface_type(int type) { return type <= GP_LAST_SURFACE; }
inline bool is_csg_type(int type) { return type >= GP_COMPOSITE && type <= GP_DIFFERENCE; }

// Object flag bits.
enum GPrimFlag : uint16_t {
    GPF_SHADING_REUSE = 0x0001,   // shading-rate reuse allowed (not moving)
    GPF_AREA_LIT = 0x0002,        // an area light is in the attribute state's light set
    GPF_DICEABLE = 0x0004,
    GPF_DISPLACED = 0x0008,
    GPF_REVERSED = 0x0010,        // orientation inside-out: normals reversed
    GPF_NEGATED = 0x0020,         // a quadric's negative sweep or reversed z: normal negated
    GPF_BOUND_TEST = 0x0040,      // test the object-space box before intersecting
    GPF_SAMPLE_LIMITS = 0x0080,   // answers only rays within the sample limits
    GPF_PLACED = 0x0100,          // an instance's copy of a definition's surface
    GPF_MOVING_CVS = 0x0200,      // second set of control points
    GPF_MESH_VIEW = 0x0400,       // a mesh face's triangle or polygon for the time being
    GPF_MESH_QUAD = 0x0800,       // a mesh face of four vertices
    GPF_UNLINKED = 0x4000,        // never enters an object list
};

// Attribute-state flag bits read here (beyond those gstate.h names).
const uint32_t GS_SAMPLE_LIMITS = 0x4000000;

// Shading holds an object as a SceneObject handle; gprim() turns it back.
class GPrimitive : public SceneObject {
public:
    GPrimitive() = default;
    GPrimitive(const GPrimitive &o) : type(o.type), flags(o.flags), world_bound(o.world_bound) {}
    GPrimitive &operator=(const GPrimitive &) = delete;

    // 0
    virtual ~GPrimitive() = default;
    // 1: the box in object space; the base form is +-1e6 on every axis.
    virtual void bound(Bound &b);
    // 2: the hits of a ray (object space for surfaces) in distance order.
    virtual IntersectionList intersect(const Ray &ray);
    // 3: completes a hit into a shading point.
    virtual void fill_hit(Intersection *sv) { (void)sv; }
    // 4: the raster box x0 x1 y0 y1; 1 when it meets the crop window.
    virtual int screen_bound(int box[4]);
    // 5: links into the list (head in *list); recompute: bounds first.
    virtual void link(GPrimitive **list, int recompute);
    // 6: the same, always at the head.
    virtual void link_counted(GPrimitive **list, int recompute);
    // 7: builds radiosity patches.
    virtual void mesh_radiosity() {}
    // 8: a new copy, or null.
    virtual GPrimitive *copy() { return nullptr; }

    bool reversed() const { return (flags & GPF_REVERSED) != 0; }
    bool has_object_bound_test() const { return (flags & GPF_BOUND_TEST) != 0; }

    uint16_t type = GP_NONE;
    uint16_t flags = 0;
    GPrimitive *next = nullptr;   // link of the list holding the object
    Bound world_bound;            // set when linked

protected:
    // Puts the object (with any chain hanging from it) into the list, unless
    // flagged unlinked; counts it under its type.
    void link_into(GPrimitive **list, bool at_head);
};

// The object behind a shading point's handle.
inline GPrimitive *gprim(SceneObject *o) { return static_cast<GPrimitive *>(o); }
inline const GPrimitive *gprim(const SceneObject *o) { return static_cast<const GPrimitive *>(o); }

// One shader parameter as vertex-variable binding looks it up.
class ShaderParamLookup {
public:
    virtual ~ShaderParamLookup() = default;
    // Name of the shader (for messages).
    virtual const char *shader_name() const = 0;
    // The parameter named by the interned token: its type, array length and
    // byte offset in the parameter block. False when there is none.
    virtual bool find(RtToken name, int &type, int &howmany, int &offset) const = 0;
};

class GSurface : public GPrimitive {
public:
    // Takes the current attribute state and transformation of the renderer.
    explicit GSurface(uint16_t type);
    // A copy shares the handles, copies the vertex variables deeply and owns
    // no radiosity or dicing data.
    GSurface(const GSurface &o);
    ~GSurface() override;

    void fill_hit(Intersection *sv) override;
    int screen_bound(int box[4]) override;
    void link(GPrimitive **list, int recompute) override;
    void link_counted(GPrimitive **list, int recompute) override;
    void mesh_radiosity() override;

    // 9: the object-space point at (u, v); the base form is the origin.
    virtual void eval_point(float u, float v, float time, Point &P);
    // The points at (j / nu, i / nv) for j in 0..nu, i in 0..nv, point (j, i)
    // at out[j + (nu + 1) i]: eval_point's values, computed as a whole.
    virtual void eval_grid(int nu, int nv, float time, Point *out);
    // 10: the normal at (u, v): dPdu x dPdv.
    virtual void eval_normal(float u, float v, float time, Point &N);
    // 11: dPdu and dPdv by finite differences of eval_point.
    virtual void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv);
    // 13: fills the light-side fields of sv (Pl, Nl, Ngl ...) with sample i
    // of n on the surface as seen from Q; answers |Ngl . (Pl - Q)/|Pl - Q||.
    virtual float area_sample(const Point &Q, int i, int n, float time, ShaderVars *sv);
    // The light-side fields of sv for the surface point at (u, v) (the second
    // half of area_sample).
    float area_sample_at(const Point &Q, float u, float v, float time, ShaderVars *sv);
    // 14: maps a sampled (u, v) in place; true when uniform (u, v) come out
    // uniform over the surface's area.
    virtual bool reparam(float &u, float &v) { return (void)u, (void)v, false; }
    // The area element |dP/du x dP/dv| at (u, v) in the surface's own space,
    // and its mean over the parameter square (kept once taken).
    float area_element(float u, float v, float time);
    float mean_area_element(float time);
    // The surface's area in world space (kept once taken).
    float world_area(float time);
    // 15: fills the block places of the shader parameters named like the
    // surface's vertex variables, interpolated at (u, v).
    virtual void bind_vertex_vars(const ShaderParamLookup &params, char *block, float time, float u, float v);
    // The value (words floats) of a vertex variable at (u, v) as binding
    // takes it: constant and uniform data as stored, other data blended
    // bilinearly over its four corners; patches blend vertex data their own way.
    virtual void vertex_var_value(const VVData *vv, int words, float u, float v, float *out);

    // Recomputes the object and world bounds (object bound through xform over the shutter).
    void recompute_bounds();
    // Applies the attribute state's flags to the object (orientation, dicing,
    // displacement, sample limits, area lights, shading reuse).
    void set_attribute_flags();
    // The object's attribute state.
    GState *attributes() const { return attrs.get(); }
    // Pulls the world bound (and with a tight object box, the object bound)
    // out by the displacement bound.
    void displacement_bound();
    // Makes or rebuilds the micro-quad grid from a probe lattice of n x n
    // segments (6 to 16); nothing when the grid is built.
    void choose_dice_rates(int n);

    GStateRef attrs;
    TransformationRef xform;
    TransformationRef xform2;
    Bound object_bound;
    RadiosityPatch *rad_patches = nullptr;
    RadiosityElement *rad_elements = nullptr;
    void *rad_blocks = nullptr;
    DicedGrid *subpatch_grid = nullptr;   // the micro-quad grid once diced (owned)
    VertexVarList vertex_vars;
    float mean_area = -1;                 // mean_area_element once taken
    float world_area_ = -1;               // world_area once taken
};

// A retained object: the objects collected between ObjectBegin and ObjectEnd.
class GObjInstance : public GPrimitive {
public:
    GObjInstance();
    ~GObjInstance() override;
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    void mesh_radiosity() override;
    // Without copy: list becomes the master list (ObjectEnd). With copy: each
    // object of list is copied under the current transformation and
    // attributes and linked into the scene (ObjectInstance).
    void instantiate(GPrimitive *list, int copy);

    GPrimitive *first = nullptr;    // always empty
    GPrimitive *master = nullptr;   // the definition's objects (owned)
    // A tree over the master list in the definition's space, made at the
    // first instance when every object can be shared by reference.
    GHierBound *tree = nullptr;
    bool shareable = false;
    PlacedSurfaces *placed = nullptr;   // the instances' copies of the surfaces
};

// A surface copied from a definition for an instance: its transformation,
// relative to the definition, is placed inside the one current at the
// instance, and it takes the instance's attributes.
void adopt_instance_state(GSurface *s);

// ---- lists and walks -----------------------------------------------------

// Destroys every object of a list, following next.
void free_object_list(GPrimitive *list);
// Runs mesh_radiosity on every object of a list.
void mesh_radiosity_list(GPrimitive *list);
// Calls f(surface, arg) on every surface reachable from object: instances
// descend into their master list, CSG nodes into their children, hierarchy
// nodes into their children; with follow the walk continues along next.
void for_each_surface(GPrimitive *object, void (*f)(GSurface *, void *), void *arg, int follow);
// The children of a CSG node (its own module answers).
GPrimitive *solid_children(GPrimitive *solid);
// The list that new objects of the scene are linked into (the renderer's
// current target list); null outside a renderer that keeps one.
GPrimitive **scene_object_list();
// Objects are added after the last of a list (on) or before the first (off, the default).
extern bool link_appends;

// ---- camera projections --------------------------------------------------

// Camera-space point to raster x, y and depth z in [0, 1] from near to far;
// -1 when the point lies at z below 1e-10, else 0.
int raster_project(const Point &camera, Point &raster);

// ---- statistics ----------------------------------------------------------

// Objects made of each type (for the statistics), and the bytes charged.
extern long gprim_type_counts[GPRIM_TYPE_COUNT];
StatCounter &geometry_memory();
// Counts of the dicing module, printed with the geometry.
struct DicingStats {
    long diceable = 0;        // diceable patches made
    long diced_peak = 0;
    StatCounter pieces;       // grid pieces
    long piece_size = 0;      // bytes charged per piece
};
DicingStats &dicing_stats();
// Trim-curve statistics (the NURBS module writes them).
void print_trim_stats(FILE *out);
// "Geometry:" block with the hierarchy-node counts.
void print_geometry_stats(FILE *out);
