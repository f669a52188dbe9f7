// Meshes of triangles and quadrilaterals kept as one array of positions:
// each face is a small leaf of the scene's hierarchies that names its
// vertices, and a hit on it is handed on as a triangle or polygon made for
// the face from the array (a view, recycled once no ray of the last camera
// rays used it). Hints kept from ray to ray (likely hits, last blockers,
// exclusions) name the leaf, so that a face stays one object however its
// views come and go.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/polygon.h"
#include "raytrace/prim_params.h"
#include "raytrace/triangle.h"

class GMesh;
struct MeshView;

// Meshes by id: a face names its mesh in four bytes.
extern std::vector<GMesh *> &mesh_table;

// A face of three vertices (64 bytes).
class GMeshFace : public GPrimitive {
public:
    GMeshFace(GMesh *mesh, const uint32_t v[3]);
    ~GMeshFace() override;

    // Faces come from a pool.
    static void *operator new(size_t size);
    static void operator delete(void *p);

    void bound(Bound &b) override { b = world_bound; }
    // The face's hit for an object-space ray, as its view's.
    IntersectionList intersect(const Ray &ray) override;
    int screen_bound(int box[4]) override;
    GPrimitive *copy() override;

    GMesh *mesh() const { return mesh_table[mesh_id]; }
    bool quad() const { return (flags & GPF_MESH_QUAD) != 0; }
    // Vertex k of the face's own (0 to 3 for a quadrilateral).
    uint32_t vertex(int k) const;
    // The unit normal, oriented (the plane constant is N . P0): taken when
    // needed, which keeps a face small.
    Point normal() const;

    uint32_t v[3];      // vertex indices
    uint32_t mesh_id;   // the mesh's place in the table of meshes
};

// A face of four vertices, tested as a polygon of its own would be (80 bytes).
class GMeshQuad : public GMeshFace {
public:
    GMeshQuad(GMesh *mesh, const uint32_t v[4], const Point &N);

    static void *operator new(size_t size);
    static void operator delete(void *p);

    IntersectionList intersect(const Ray &ray) override;
    GPrimitive *copy() override;

    uint32_t v3;
    Point N;   // unit normal, oriented: a quadrilateral's takes more to find
};

class GMesh {
public:
    // A mesh of the renderer's current attributes and transformation over
    // npoints vertices: the values of the parameters are copied ("P" among
    // them, the others constant, vertex or varying).
    GMesh(const std::vector<PrimParam> &params, int npoints);
    ~GMesh();
    GMesh(const GMesh &) = delete;
    GMesh &operator=(const GMesh &) = delete;

    // Whether the current attributes and transformation allow the mesh
    // (no motion, displacement, area light or radiosity).
    static bool allowed();
    // Whether a parameter can be shared by the faces of a mesh.
    static bool shareable(const PrimParam &p);
    // A face over three or four vertex indices (in range), with the world
    // bound a triangle or polygon would have; null after its warning when
    // degenerate.
    GMeshFace *make_face(const int *corners, int count);

    Point point(uint32_t i) const { return Point::from(&points_[3 * size_t(i)]); }
    // What every face shares: attributes, transformation and flags.
    GTriangle *shared() const { return proto_; }
    // The surface standing for a face now (N: the face's normal).
    GSurface *view_of(GMeshFace *f, const Point &N);
    // A surface for a face while a walk over the scene's surfaces looks at
    // it, made again for the next face.
    GSurface *passing_view(GMeshFace *f);

    long faces = 0;   // faces alive; the last one frees the mesh
    uint32_t id;      // place in the table of meshes
    bool reversed;    // normals reversed

private:
    // A parameter other than "P" as the faces' surfaces take it.
    struct Var {
        std::string token;
        int detail;
        int value_bytes;
        std::vector<char> data;
    };

    MeshView *new_view(bool quad);
    void fill(MeshView *v, GMeshFace *f, const Point &N) const;
    void unlink(MeshView *v);
    void push_back(MeshView *v);

    std::vector<float> points_;
    std::vector<Var> vars_;
    int position_ = 0;   // where "P" comes among the parameters
    GTriangle *proto_;
    GPolygon *quad_proto_ = nullptr;   // made with the first quadrilateral
    std::unordered_map<const GMeshFace *, MeshView *> views_;
    MeshView *oldest_[2] = {nullptr, nullptr}, *newest_[2] = {nullptr, nullptr};   // by kind, by last use
    MeshView *scratch_[2] = {nullptr, nullptr};
};

// One more camera ray: views unused for a while may serve other faces.
void mesh_views_tick();
// The leaf a face's view stands for; any other object unchanged.
GPrimitive *mesh_hint(GPrimitive *o);
// The surface whose attributes and transformation an object has: a face's
// mesh's shared triangle, a surface itself, else null.
GSurface *surface_of_object(GPrimitive *o);
