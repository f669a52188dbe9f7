// The radiosity mesh: patches over a surface's parameters, elements split
// from them, and the vertices at the elements' corners, welded per object.
// Records come from pools that live until the meshes are freed at the end
// of the frame.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <unordered_map>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/surface_hooks.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"

namespace {

// Vertices closer than this in world space are one.
const float WELD_DISTANCE = 0.001f;
// The most patches, and elements, of one surface: the mesh of a size too
// small for the scene would fill the memory.
const long MAX_SURFACE_PATCHES = 65536, MAX_SURFACE_ELEMENTS = 262144;

// A cell of the welding grid: the surface and the cell of a world position,
// cells as wide as the weld distance.
struct WeldCell {
    const GSurface *surface;
    int64_t x, y, z;
    bool operator==(const WeldCell &o) const
    {
        return surface == o.surface && x == o.x && y == o.y && z == o.z;
    }
};

struct WeldCellHash {
    size_t operator()(const WeldCell &c) const
    {
        uint64_t h = uint64_t(reinterpret_cast<uintptr_t>(c.surface));
        for (int64_t k : {c.x, c.y, c.z}) h = (h ^ uint64_t(k)) * 0x100000001b3ull + (h >> 29);
        return size_t(h);
    }
};

struct RadPools {
    std::deque<RadPatch> patches;
    std::deque<RadElement> elements;
    std::deque<RadVertex> vertices;
    // Every vertex by the cell of its world position, so that welding looks
    // at the neighbouring cells only instead of the whole vertex list.
    std::unordered_multimap<WeldCell, RadVertex *, WeldCellHash> cells;
    RadMeshCounts counts;
};

RadPools &pools()
{
    static RadPools p;
    return p;
}

// The cell coordinate of a world coordinate (clamped, so that huge values
// share the outermost cells; NaN goes to cell 0 and never welds).
int64_t cell_of(float x)
{
    double c = std::floor(double(x) / WELD_DISTANCE);
    if (!(c > -1e15)) return c != c ? 0 : int64_t(-1e15);
    return c < 1e15 ? int64_t(c) : int64_t(1e15);
}

WeldCell weld_cell(const GSurface *s, const Point &P, int dx, int dy, int dz)
{
    return WeldCell{s, cell_of(P.x) + dx, cell_of(P.y) + dy, cell_of(P.z) + dz};
}

// A vertex of the surface within the weld distance of P, or null.
RadVertex *weld_partner(const GSurface *s, const Point &P)
{
    const auto &cells = pools().cells;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz) {
                auto range = cells.equal_range(weld_cell(s, P, dx, dy, dz));
                for (auto it = range.first; it != range.second; ++it)
                    if ((it->second->P - P).length() < WELD_DISTANCE) return it->second;
            }
    return nullptr;
}

float shutter_open()
{
    return current_renderer ? current_renderer->options.shutter_open : 0;
}

RadPatch *new_patch()
{
    pools().patches.emplace_back();
    pools().counts.patches++;
    RadPatch *p = &pools().patches.back();
    *p = RadPatch{};
    return p;
}

RadElement *new_element(RadPatch *patch, float u0, float v0, float u1, float v1)
{
    pools().elements.emplace_back();
    pools().counts.elements++;
    RadElement *e = &pools().elements.back();
    *e = RadElement{};
    e->patch = patch;
    e->umin = u0, e->vmin = v0, e->umax = u1, e->vmax = v1;
    GSurface *s = patch->owner;
    e->corner[0] = rad_vertex_at(s, u0, v0);
    e->corner[1] = rad_vertex_at(s, u1, v0);
    e->corner[2] = rad_vertex_at(s, u1, v1);
    e->corner[3] = rad_vertex_at(s, u0, v1);
    e->corners = 4;
    const Point &a = e->corner[0]->P, &b = e->corner[1]->P, &c = e->corner[2]->P, &d = e->corner[3]->P;
    e->area = 0.5f * (cross(b - a, c - a).length() + cross(c - a, d - a).length());
    return e;
}

// The world length of the element's edges from corner 0 to 1 and 1 to 2.
void edge_lengths(const RadElement *e, float &a, float &b)
{
    a = (e->corner[1]->P - e->corner[0]->P).length();
    b = (e->corner[2]->P - e->corner[1]->P).length();
}

template <class F>
void walk_surfaces(GPrimitive *list, int follow, F f)
{
    for_each_surface(
        list, [](GSurface *s, void *arg) { (*static_cast<F *>(arg))(s); }, &f, follow);
}

template <class F>
void both_sides(GSurface *s, F f)
{
    f(0);
    const GState *g = s->attributes();
    if (g && (g->flags & GS_TWOSIDED)) f(1);
}

} // namespace

void rad_surface_point(GSurface *s, float u, float v, Point &P, Point &N)
{
    const float t = shutter_open();
    Point p, n;
    s->eval_point(u, v, t, p);
    s->eval_normal(u, v, t, n);
    if (s->reversed()) n = -n;
    if (s->xform.is_set()) {
        s->xform->point_to_world(p.data(), P.data(), t);
        s->xform->normal_to_world(n.data(), N.data(), t);
    } else {
        P = p;
        N = n;
    }
    N = normalize(N);
}

RadVertex *rad_vertices(const GSurface *s)
{
    return static_cast<RadVertex *>(s->rad_blocks);
}

RadVertex *rad_vertex_at(GSurface *s, float u, float v)
{
    const float t = shutter_open();
    Point Pobj, Nobj, P, N;
    s->eval_point(u, v, t, Pobj);
    s->eval_normal(u, v, t, Nobj);
    if (s->reversed()) Nobj = -Nobj;
    if (s->xform.is_set()) {
        s->xform->point_to_world(Pobj.data(), P.data(), t);
        s->xform->normal_to_world(Nobj.data(), N.data(), t);
    } else {
        P = Pobj;
        N = Nobj;
    }
    if (RadVertex *w = weld_partner(s, P)) return w;

    pools().vertices.emplace_back();
    pools().counts.vertices++;
    RadVertex *w = &pools().vertices.back();
    *w = RadVertex{};
    w->u = u, w->v = v;
    w->Pobj = Pobj;
    w->P = P;
    w->Nobj = normalize(Nobj);
    float len = N.length();
    if (len < 0.01f && current_renderer && (current_renderer->options.verbosity & 2)) {
        Point n = normalize(N);
        printf("Normalizing... %g %g %g -> %g %g %g\n", N.x, N.y, N.z, n.x, n.y, n.z);
        printf("Had trouble when uv = %g %g\n", u, v);
    }
    w->N = normalize(N);
    w->next = rad_vertices(s);
    s->rad_blocks = w;
    pools().cells.emplace(weld_cell(s, P, 0, 0, 0), w);
    return w;
}

void RadiosityElement::subdivide(bool recurse)
{
    GSurface *s = patch->owner;
    const float um = 0.5f * (umin + umax), vm = 0.5f * (vmin + vmax);
    const float u0 = umin, v0 = vmin, u1 = umax, v1 = vmax;
    RadElement *q[3] = {new_element(patch, um, v0, u1, vm), new_element(patch, um, vm, u1, v1),
                        new_element(patch, u0, vm, um, v1)};
    umax = um, vmax = vm;
    corner[1] = rad_vertex_at(s, um, v0);
    corner[2] = rad_vertex_at(s, um, vm);
    corner[3] = rad_vertex_at(s, u0, vm);
    const Point &a = corner[0]->P, &b = corner[1]->P, &c = corner[2]->P, &d = corner[3]->P;
    area = 0.5f * (cross(b - a, c - a).length() + cross(c - a, d - a).length());
    // Kept in order after this one, so a walk of the list meets them next.
    q[2]->next = next;
    q[1]->next = q[2];
    q[0]->next = q[1];
    next = q[0];
    if (!recurse) return;
    const GState *g = s->attributes();
    const float size = g ? g->rad_elemsize : 0;
    RadElement *quad[4] = {this, q[0], q[1], q[2]};
    for (RadElement *e : quad) {
        float ea, eb;
        edge_lengths(e, ea, eb);
        // NaN sizes stop the splitting.
        if (ea >= size && eb >= size && size > 0 && e->may_split()) e->subdivide(true);
    }
}

bool RadiosityElement::may_split() const
{
    // Quarters of quarters of the patch, down to the depth the surface's
    // patch count leaves room for.
    const float pu = patch->umax - patch->umin;
    return (umax - umin) * float(1 << patch->max_split) > 1.5f * pu;
}

void mesh_radiosity_grid(GSurface *s, int nu, int nv)
{
    const GState *g = s->attributes();
    if (!g || g->zonal == 0 || nu < 1 || nv < 1) return;
    if (double(nu) * double(nv) > double(MAX_SURFACE_PATCHES)) {
        // Both counts shrink alike: the smallest patches the bound allows.
        const double f = std::sqrt(double(MAX_SURFACE_PATCHES) / (double(nu) * double(nv)));
        ri_error_once(RIE_LIMIT, RIE_WARNING,
                      "Radiosity patch size %g would make %.0f patches of one surface; using patches %.3g times as large",
                      double(g->rad_patchsize), double(nu) * double(nv), 1 / f);
        nu = std::max(1, int(nu * f));
        nv = std::max(1, int(nv * f));
    }
    int split_depth = 0;
    while (split_depth < 20 && double(nu) * double(nv) * std::ldexp(1.0, 2 * (split_depth + 1)) <= MAX_SURFACE_ELEMENTS)
        ++split_depth;
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j) {
            RadPatch *p = new_patch();
            p->owner = s;
            p->umin = float(i) / nu, p->umax = float(i + 1) / nu;
            p->vmin = float(j) / nv, p->vmax = float(j + 1) / nv;
            p->max_split = split_depth;
            p->elements = new_element(p, p->umin, p->vmin, p->umax, p->vmax);
            if (p->elements->may_split()) p->elements->subdivide(true);
            p->area = 0;
            for (RadElement *e = p->elements; e; e = e->next) p->area += e->area;
            p->next = s->rad_patches;
            s->rad_patches = p;
        }
}

void for_each_rad_vertex(GPrimitive *list, void (*f)(GSurface *, RadVertex *, int, void *), void *arg,
                         int follow)
{
    walk_surfaces(list, follow, [&](GSurface *s) {
        for (RadVertex *v = rad_vertices(s); v; v = v->next) both_sides(s, [&](int side) { f(s, v, side, arg); });
    });
}

void for_each_rad_patch(GPrimitive *list, void (*f)(GSurface *, RadPatch *, int, void *), void *arg, int follow)
{
    walk_surfaces(list, follow, [&](GSurface *s) {
        for (RadPatch *p = s->rad_patches; p; p = p->next) both_sides(s, [&](int side) { f(s, p, side, arg); });
    });
}

const RadMeshCounts &rad_mesh_counts()
{
    return pools().counts;
}

void reset_rad_mesh_counts()
{
    pools().counts = RadMeshCounts();
}

void free_radiosity_meshes(GPrimitive *list)
{
    walk_surfaces(list, 1, [](GSurface *s) {
        s->rad_patches = nullptr;
        s->rad_elements = nullptr;
        s->rad_blocks = nullptr;
    });
    RadPools &p = pools();
    p.patches.clear();
    p.elements.clear();
    p.vertices.clear();
    p.cells.clear();
}
