#include "raytrace/mesh.h"

#include <cstdlib>

#include "raytrace/planar.h"
#include "raytrace/ray.h"
#include "ri/recordpool.h"
#include "ri/renderer.h"
#include "ri/stdtokens.h"

// A triangle lent to one face at a time.
class GMeshView : public GTriangle {
public:
    explicit GMeshView(const GTriangle &shared) : GTriangle(shared) { flags |= GPF_MESH_VIEW; }

    GMeshFace *face = nullptr;
    GMeshView *older = nullptr, *newer = nullptr;
    uint32_t used = 0;   // camera ray of the last use
};

// Never destroyed: a mesh may go after the statics do.
std::vector<GMesh *> &mesh_table = *new std::vector<GMesh *>;

namespace {

RecordPool &face_pool()
{
    static RecordPool pool(sizeof(GMeshFace), 256, "out of core memory");
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

} // namespace

void mesh_views_tick() { camera_rays++; }

GPrimitive *mesh_hint(GPrimitive *o)
{
    if (o && (o->flags & GPF_MESH_VIEW)) return static_cast<GMeshView *>(o)->face;
    return o;
}

GSurface *surface_of_object(GPrimitive *o)
{
    if (!o) return nullptr;
    if (o->type == GP_MESHFACE) return static_cast<GMeshFace *>(o)->mesh()->shared();
    return is_surface_type(o->type) ? static_cast<GSurface *>(o) : nullptr;
}

// ---- faces ---------------------------------------------------------------

static_assert(sizeof(GMeshFace) <= 64, "a face keeps to 64 bytes");

Point GMeshFace::normal() const
{
    const GMesh *m = mesh();
    return triangle_normal(m->point(v[0]), m->point(v[1]), m->point(v[2]), m->reversed);
}

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
    geometry_memory().subtract(GPRIM_TYPE_SIZES[GP_TRIANGLE]);
    GMesh *m = mesh();
    if (--m->faces == 0) delete m;
}

void *GMeshFace::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(GMeshFace), "mesh");
    return face_pool().take();
}

void GMeshFace::operator delete(void *p) { face_pool().give_back(p); }

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
    if (!inside_box(triangle_bound(P0, P1, P2), P)) return l;
    Crossings c;
    if (!triangle_crossings(N, P0, P1, P2, P, c)) return l;
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
    static const RtToken token = tok::P;
    float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    RtToken tokens[1] = {token};
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
    for (auto &e : views_) delete e.second;
    delete scratch_;
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

GMeshFace *GMesh::make_face(int a, int b, int c)
{
    const uint32_t vi[3] = {uint32_t(a), uint32_t(b), uint32_t(c)};
    const Point P0 = point(vi[0]), P1 = point(vi[1]), P2 = point(vi[2]);
    Point N;
    float d;
    if (!triangle_plane(P0, P1, P2, reversed, N, d)) return nullptr;
    GMeshFace *f = new GMeshFace(this, vi);
    // The world box a triangle of its own would take.
    const Bound ob = triangle_bound(P0, P1, P2);
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
    f->world_bound = proto_->xform.is_set() ? proto_->xform->motion_bound_to_world(ob, open, close) : ob;
    return f;
}

void GMesh::unlink(GMeshView *v)
{
    (v->older ? v->older->newer : oldest_) = v->newer;
    (v->newer ? v->newer->older : newest_) = v->older;
    v->older = v->newer = nullptr;
}

void GMesh::push_back(GMeshView *v)
{
    v->older = newest_;
    v->newer = nullptr;
    (newest_ ? newest_->newer : oldest_) = v;
    newest_ = v;
}

void GMesh::fill(GMeshView *v, GMeshFace *f, const Point &N) const
{
    v->face = f;
    v->P0 = point(f->v[0]), v->P1 = point(f->v[1]), v->P2 = point(f->v[2]);
    v->N = N;
    v->d = dot(N, v->P0);
    v->object_bound = triangle_bound(v->P0, v->P1, v->P2);
    v->world_bound = f->world_bound;
    v->mean_area = -1;
    if (vars_.empty()) return;
    // The vertex variables a triangle of the face's own would hold.
    v->vertex_vars.clear();
    PieceParams piece;
    const int corners[3] = {int(f->v[0]), int(f->v[1]), int(f->v[2])};
    for (size_t i = 0; i <= vars_.size(); i++) {
        if (int(i) == position_) {
            PrimParam P{tok::P, tok::P, nullptr, reinterpret_cast<const char *>(points_.data()),
                        3 * (int)sizeof(float)};
            piece.add_indexed(P, corners, 3);
        }
        if (i == vars_.size()) break;
        const Var &var = vars_[i];
        PrimParam p{var.token.c_str(), nullptr, nullptr, var.data.data(), var.value_bytes};
        if (var.detail == DETAIL_CONSTANT) piece.add_range(p, 0, 1);
        else piece.add_indexed(p, corners, 3);
    }
    build_vertex_var_list(v->vertex_vars, 3, 3, 1, POSITION_P, piece.n(), piece.tokens(), piece.values());
    std::free(v->vertex_vars.take(tok::P));
    const int order[4] = {0, 1, 2, 2};
    order_vertex_data(v->vertex_vars, 3, order);
}

GTriangle *GMesh::passing_view(GMeshFace *f)
{
    if (!scratch_) scratch_ = new GMeshView(*proto_);
    fill(scratch_, f, f->normal());
    return scratch_;
}

GTriangle *GMesh::view_of(GMeshFace *f, const Point &N)
{
    auto it = views_.find(f);
    GMeshView *v;
    if (it != views_.end()) {
        v = it->second;
        if (v->used != camera_rays) {
            unlink(v);
            push_back(v);
            v->used = camera_rays;
        }
        return v;
    }
    if (oldest_ && camera_rays - oldest_->used >= IDLE_RAYS) {
        v = oldest_;
        unlink(v);
        views_.erase(v->face);
    } else {
        v = new GMeshView(*proto_);
    }
    v->used = camera_rays;
    fill(v, f, N);
    views_.emplace(f, v);
    push_back(v);
    return v;
}
