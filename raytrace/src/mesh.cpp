#include "mesh.h"

#include <cmath>
#include <cstdlib>

#include "raytrace/planar.h"
#include "raytrace/ray.h"
#include "ri/recordpool.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

// What a surface lent to one face at a time keeps of its face.
struct MeshView {
    explicit MeshView(GSurface *s, bool q) : surface(s), quad(q) {}
    GSurface *surface;   // the view itself
    bool quad;
    GMeshFace *face = nullptr;
    MeshView *older = nullptr, *newer = nullptr;
    uint32_t used = 0;   // camera ray of the last use
};

namespace {

class TriangleView : public GTriangle, public MeshView {
public:
    explicit TriangleView(const GTriangle &shared) : GTriangle(shared), MeshView(this, false)
    {
        flags |= GPF_MESH_VIEW;
    }
};

class QuadView : public GPolygon, public MeshView {
public:
    explicit QuadView(const GPolygon &shared) : GPolygon(shared), MeshView(this, true) { flags |= GPF_MESH_VIEW; }

    void place(const Point V[4], const Point &n)
    {
        for (int k = 0; k < 4; k++) verts[k] = V[k];
        N = n;
        d = dot(N, verts[0]);
        projection_axes(N, axis_a, axis_b);
        object_bound = polygon_bound(V, 4);
    }
};

RecordPool &face_pool()
{
    // A face in one cache line.
    static RecordPool pool(sizeof(GMeshFace), 256, "out of core memory", 64);
    return pool;
}

RecordPool &quad_pool()
{
    static RecordPool pool(sizeof(GMeshQuad), 256, "out of core memory");
    return pool;
}

// Places of the table freed by meshes gone.
std::vector<uint32_t> &free_ids()
{
    static std::vector<uint32_t> ids;
    return ids;
}

uint32_t camera_rays = 0;
// Camera rays a view stays with its face after its last use: the hits in
// flight belong to the current ray and the one before.
const uint32_t IDLE_RAYS = 2;

// A quadrilateral's unit normal as a polygon of its own takes it.
Point quad_normal(const Point V[4], bool reversed)
{
    Point N = polygon_face_normal(V, 4);
    N = N / N.length();
    return reversed ? -N : N;
}

// The world box of an object-space box under a mesh's transformation.
Bound world_box(const GSurface *shared, const Bound &b)
{
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
    return shared->xform.is_set() ? shared->xform->motion_bound_to_world(b, open, close) : b;
}

} // namespace

// Never destroyed: a mesh may go after the statics do.
std::vector<GMesh *> &mesh_table = *new std::vector<GMesh *>;

void mesh_views_tick() { camera_rays++; }

GPrimitive *mesh_hint(GPrimitive *o)
{
    if (!o || !(o->flags & GPF_MESH_VIEW)) return o;
    if (o->type == GP_TRIANGLE) return static_cast<TriangleView *>(o)->face;
    return static_cast<QuadView *>(o)->face;
}

GSurface *surface_of_object(GPrimitive *o)
{
    if (!o) return nullptr;
    if (o->type == GP_MESHFACE) return static_cast<GMeshFace *>(o)->mesh()->shared();
    return is_surface_type(o->type) ? static_cast<GSurface *>(o) : nullptr;
}

// ---- faces ---------------------------------------------------------------

static_assert(sizeof(GMeshFace) <= 64, "a face keeps to 64 bytes");

GMeshFace::GMeshFace(GMesh *m, const uint32_t vi[3]) : mesh_id(m->id)
{
    type = GP_MESHFACE;
    flags = m->shared()->flags & uint16_t(~GPF_MESH_VIEW);
    for (int k = 0; k < 3; k++) v[k] = vi[k];
    m->faces++;
    geometry_memory().add(GPRIM_TYPE_SIZES[GP_TRIANGLE]);
}

GMeshFace::~GMeshFace()
{
    geometry_memory().subtract(GPRIM_TYPE_SIZES[quad() ? GP_POLYGON : GP_TRIANGLE]);
    GMesh *m = mesh();
    if (--m->faces == 0) delete m;
}

void *GMeshFace::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(GMeshFace), "mesh");
    return face_pool().take();
}

void GMeshFace::operator delete(void *p) { face_pool().give_back(p); }

uint32_t GMeshFace::vertex(int k) const
{
    return k < 3 ? v[k] : static_cast<const GMeshQuad *>(this)->v3;
}

Point GMeshFace::normal() const
{
    const GMesh *m = mesh();
    if (quad()) return static_cast<const GMeshQuad *>(this)->N;
    return triangle_normal(m->point(v[0]), m->point(v[1]), m->point(v[2]), m->reversed);
}

IntersectionList GMeshFace::intersect(const Ray &ray)
{
    // As a triangle of these vertices tests it.
    IntersectionList l;
    float t;
    Point P;
    GMesh *m = mesh();
    const Point P0 = m->point(v[0]), P1 = m->point(v[1]), P2 = m->point(v[2]);
    const Point N = triangle_normal(P0, P1, P2, m->reversed);
    if (!plane_hit(N, dot(N, P0), ray, t, P)) return l;
    // The box test after the crossing test: most points it drops are outside.
    Crossings c;
    if (!triangle_crossings(N, P0, P1, P2, P, c) || !inside_box(triangle_bound(P0, P1, P2), P)) return l;
    l.add(planar_hit(m->view_of(this, N), ray, t, P, c, 0, 3));
    return l;
}

int GMeshFace::screen_bound(int box[4])
{
    return GPrimitive::screen_bound(box);
}

GPrimitive *GMeshFace::copy()
{
    GMeshFace *f = new GMeshFace(mesh(), v);
    f->world_bound = world_bound;
    return f;
}

GMeshQuad::GMeshQuad(GMesh *m, const uint32_t vi[4], const Point &n) : GMeshFace(m, vi), v3(vi[3]), N(n)
{
    flags |= GPF_MESH_QUAD;
    geometry_memory().subtract(GPRIM_TYPE_SIZES[GP_TRIANGLE]);
    geometry_memory().add(GPRIM_TYPE_SIZES[GP_POLYGON]);
}

void *GMeshQuad::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(GMeshQuad), "mesh");
    return quad_pool().take();
}

void GMeshQuad::operator delete(void *p) { quad_pool().give_back(p); }

IntersectionList GMeshQuad::intersect(const Ray &ray)
{
    // As a polygon of these vertices tests it.
    IntersectionList l;
    float t;
    Point P;
    GMesh *m = mesh();
    const Point V[4] = {m->point(v[0]), m->point(v[1]), m->point(v[2]), m->point(v3)};
    if (!plane_hit(N, dot(N, V[0]), ray, t, P)) return l;
    int a, b;
    projection_axes(N, a, b);
    const double p[2] = {P[a], P[b]};
    // The box test after the crossing test, as for a triangle.
    Crossings c;
    if (!polygon_crossings(4, p, V, a, b, &c) || !inside_box(polygon_bound(V, 4), P)) return l;
    l.add(planar_hit(m->view_of(this, N), ray, t, P, c, 0, 4));
    return l;
}

GPrimitive *GMeshQuad::copy()
{
    const uint32_t vi[4] = {v[0], v[1], v[2], v3};
    GMeshQuad *f = new GMeshQuad(mesh(), vi, N);
    f->world_bound = world_bound;
    return f;
}

// ---- the mesh ------------------------------------------------------------

GMesh::GMesh(const std::vector<PrimParam> &params, int npoints)
{
    for (const PrimParam &p : params) {
        if (p.name == tok::P) {
            const float *P = reinterpret_cast<const float *>(p.data);
            points_.assign(P, P + 3 * size_t(npoints));
            position_ = int(vars_.size());
            continue;
        }
        size_t count = p.decl->detail == DETAIL_CONSTANT ? 1 : size_t(npoints);
        vars_.push_back(Var{p.token, p.decl->detail, p.value_bytes,
                            std::vector<char>(p.data, p.data + count * size_t(p.value_bytes))});
    }
    // Any triangle made now carries the state every face shares.
    float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    RtToken tokens[1] = {tok::P};
    RtPointer values[1] = {corners};
    proto_ = new GTriangle(1, tokens, values);
    reversed = (proto_->flags & GPF_REVERSED) != 0;
    std::vector<GMesh *> &table = mesh_table;
    if (free_ids().empty()) {
        id = uint32_t(table.size());
        table.push_back(this);
    } else {
        id = free_ids().back();
        free_ids().pop_back();
        table[id] = this;
    }
}

GMesh::~GMesh()
{
    for (auto &e : views_) delete e.second->surface;
    for (MeshView *s : scratch_)
        if (s) delete s->surface;
    delete quad_proto_;
    delete proto_;
    mesh_table[id] = nullptr;
    free_ids().push_back(id);
}

bool GMesh::shareable(const PrimParam &p)
{
    const int detail = p.decl->detail;
    if (p.name == tok::P)
        return (detail == DETAIL_VERTEX || detail == DETAIL_VARYING) && p.decl->words() == 3 &&
               p.value_bytes == 3 * (int)sizeof(float);
    // Strings point into the caller's data; other positions are refused by each face.
    return p.name != tok::Pw && p.name != tok::Pz && p.decl->type != DECL_STRING &&
           (detail == DETAIL_CONSTANT || detail == DETAIL_VERTEX || detail == DETAIL_VARYING);
}

bool GMesh::allowed()
{
    Renderer *r = current_renderer;
    if (!r || r->procedural_depth > 0 || r->options.radiosity_steps > 0) return false;
    if (r->transformation.is_set() && r->transformation->moving()) return false;
    const GState *g = r->attributes.get();
    if (!g || g->area_light) return false;
    return !((g->flags & GS_TRUEDISPLACEMENT) && g->shaders[USE_DISPLACEMENT].is_set());
}

GMeshFace *GMesh::make_face(const int *corners, int count)
{
    uint32_t vi[4];
    Point V[4];
    for (int k = 0; k < count; k++) vi[k] = uint32_t(corners[k]), V[k] = point(vi[k]);
    if (count == 3) {
        Point N;
        float d;
        if (!triangle_plane(V[0], V[1], V[2], reversed, N, d)) return nullptr;
        GMeshFace *f = new GMeshFace(this, vi);
        // The world box a triangle of its own would take.
        f->world_bound = world_box(proto_, triangle_bound(V[0], V[1], V[2]));
        return f;
    }
    float len = polygon_face_normal(V, 4).length();
    if (!(len > 0) || !std::isfinite(len)) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate polygon primitive");
        return nullptr;
    }
    if (!quad_proto_) {
        float square[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        RtToken tokens[1] = {tok::P};
        RtPointer values[1] = {square};
        quad_proto_ = new GPolygon(4, 1, tokens, values);
    }
    GMeshQuad *f = new GMeshQuad(this, vi, quad_normal(V, reversed));
    f->world_bound = world_box(proto_, polygon_bound(V, 4));
    return f;
}

void GMesh::unlink(MeshView *v)
{
    (v->older ? v->older->newer : oldest_[v->quad]) = v->newer;
    (v->newer ? v->newer->older : newest_[v->quad]) = v->older;
    v->older = v->newer = nullptr;
}

void GMesh::push_back(MeshView *v)
{
    v->older = newest_[v->quad];
    v->newer = nullptr;
    (newest_[v->quad] ? newest_[v->quad]->newer : oldest_[v->quad]) = v;
    newest_[v->quad] = v;
}

MeshView *GMesh::new_view(bool quad)
{
    if (quad) return new QuadView(*quad_proto_);
    return new TriangleView(*proto_);
}

void GMesh::fill(MeshView *v, GMeshFace *f, const Point &N) const
{
    v->face = f;
    const int count = f->quad() ? 4 : 3;
    Point V[4];
    for (int k = 0; k < count; k++) V[k] = point(f->vertex(k));
    if (count == 4) {
        static_cast<QuadView *>(v)->place(V, N);
    } else {
        TriangleView *t = static_cast<TriangleView *>(v);
        t->P0 = V[0], t->P1 = V[1], t->P2 = V[2];
        t->N = N;
        t->d = dot(N, V[0]);
        t->object_bound = triangle_bound(V[0], V[1], V[2]);
    }
    GSurface *s = v->surface;
    s->world_bound = f->world_bound;
    s->mean_area = -1;
    if (vars_.empty()) return;
    // The vertex variables a surface of the face's own would hold.
    s->vertex_vars.clear();
    PieceParams piece;
    int corners[4];
    for (int k = 0; k < count; k++) corners[k] = int(f->vertex(k));
    for (size_t i = 0; i <= vars_.size(); i++) {
        if (int(i) == position_) {
            PrimParam P{tok::P, tok::P, nullptr, reinterpret_cast<const char *>(points_.data()),
                        3 * (int)sizeof(float)};
            piece.add_indexed(P, corners, count);
        }
        if (i == vars_.size()) break;
        const Var &var = vars_[i];
        PrimParam p{var.token.c_str(), nullptr, nullptr, var.data.data(), var.value_bytes};
        if (var.detail == DETAIL_CONSTANT) piece.add_range(p, 0, 1);
        else piece.add_indexed(p, corners, count);
    }
    build_vertex_var_list(s->vertex_vars, count, count, 1, POSITION_P, piece.n(), piece.tokens(), piece.values());
    std::free(s->vertex_vars.take(tok::P));
    const int order3[4] = {0, 1, 2, 2}, order4[4] = {0, 1, 3, 2};
    order_vertex_data(s->vertex_vars, count, count == 4 ? order4 : order3);
}

GSurface *GMesh::passing_view(GMeshFace *f)
{
    MeshView *&s = scratch_[f->quad()];
    if (!s) s = new_view(f->quad());
    fill(s, f, f->normal());
    return s->surface;
}

GSurface *GMesh::view_of(GMeshFace *f, const Point &N)
{
    auto it = views_.find(f);
    MeshView *v;
    if (it != views_.end()) {
        v = it->second;
        if (v->used != camera_rays) {
            unlink(v);
            push_back(v);
            v->used = camera_rays;
        }
        return v->surface;
    }
    const bool quad = f->quad();
    MeshView *oldest = oldest_[quad];
    if (oldest && camera_rays - oldest->used >= IDLE_RAYS) {
        v = oldest;
        unlink(v);
        views_.erase(v->face);
    } else {
        v = new_view(quad);
    }
    v->used = camera_rays;
    fill(v, f, N);
    views_.emplace(f, v);
    push_back(v);
    return v->surface;
}
