// The micro-quad grids: the cells and their intersection, building a grid and
// its cell tree, tracing through it, and reclaiming grid memory.
#include "raytrace/dice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>

#include "raytrace/bilinear_inverse.h"
#include "raytrace/box4.h"
#include "raytrace/hierarchy.h"
#include "raytrace/raytracer.h"
#include "raytrace/surface_hooks.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "shading/shadehit.h"

namespace {

// Bytes charged per cell and per vertex of each vertex or normal array.
const int CELL_BYTES = 48;
const int VERTEX_BYTES = 12;

const Options *frame_options()
{
    return current_renderer ? &current_renderer->options : nullptr;
}

bool debugging()
{
    const Options *o = frame_options();
    return o && (o->verbosity & VERBOSE_DEBUG);
}

// The frame's object list, whose surfaces' grids may be reclaimed.
GPrimitive *primary_objects()
{
    RayTracer *rt = RayTracer::current();
    if (!rt) return nullptr;
    return rt->frame_objects ? rt->frame_objects : rt->world_objects;
}

} // namespace

// ---- small functions -----------------------------------------------------

int next_power_of_two(int x)
{
    int p = 1;
    while (p < x && p < (1 << 30)) p <<= 1;
    return p;
}

float clamped_acos(float x)
{
    if (x >= 1) return 0;
    if (x <= -1) return 3.14159265f;
    if (std::isnan(x)) return 0;
    return std::acos(x);
}

int ratio_at_least_one(int a, int b)
{
    if (a <= 0) return b > 1 ? b : 1;
    int r = b / a;
    return r < 1 ? 1 : r;
}

GridStats &grid_stats()
{
    static GridStats stats;
    return stats;
}

uint32_t grid_clock()
{
    return (uint32_t)shade_index_counter();
}

// ---- cells ---------------------------------------------------------------

void Glitequad::bound(Bound &b, size_t second) const
{
    const Point *upper = this->upper();
    b = Bound(lower[0]);
    b.extend(lower[1]);
    b.extend(upper[0]);
    b.extend(upper[1]);
    // A sliver thrown far out by a distant vertex keeps its padding to the
    // scale of its width: padded by its length in every axis it would be met
    // by every ray of the frame.
    float e[3] = {b[1] - b[0], b[3] - b[2], b[5] - b[4]};
    float width = e[0] + e[1] + e[2] - std::max(e[0], std::max(e[1], e[2]));
    float grow = 0.01f * std::min(b.diagonal(), 100 * width);
    // A tiny cell far from the origin may be met further out at the border.
    if (border) {
        const Point *corner[4] = {&lower[0], &lower[1], &upper[0], &upper[1]};
        grow = std::max(grow, loose_side_reach(loose_sides_extent(corner, border)));
    }
    b.expand(grow);
    if (second) {
        b.extend(lower[second]);
        b.extend(lower[second + 1]);
        b.extend(upper[second]);
        b.extend(upper[second + 1]);
    }
}

Point Glitequad::interpolate(float u, float v) const
{
    const Point *upper = this->upper();
    return bilerp_points(lower[0], lower[1], upper[0], upper[1], u, v);
}

// ---- grids ---------------------------------------------------------------

DicedGrid::DicedGrid(GSurface *surface, int nu_, int nv_, std::vector<Point> verts, std::vector<Point> norms)
{
    build(surface, nu_, nv_, std::move(verts), std::move(norms));
}

int64_t DicedGrid::memory() const
{
    return (int64_t)CELL_BYTES * cell_count() + (int64_t)VERTEX_BYTES * (int64_t)(vertices.size() + normals.size());
}

namespace {

// Nodes the tree over a w x h block of cells takes (see build_cell_tree).
size_t cell_tree_nodes(int w, int h)
{
    if (w * h == 1) return 0;
    if (w * h <= 4) return 1;
    int wl = w / 2, hl = h / 2;
    if (w >= 2 && h >= 2)
        return 1 + cell_tree_nodes(wl, hl) + cell_tree_nodes(w - wl, hl) + cell_tree_nodes(wl, h - hl) +
               cell_tree_nodes(w - wl, h - hl);
    if (h < w) return 1 + cell_tree_nodes(wl, h) + cell_tree_nodes(w - wl, h);
    return 1 + cell_tree_nodes(w, hl) + cell_tree_nodes(w, h - hl);
}

size_t second_set(const DicedGrid &g)
{
    return g.moving ? (size_t)(g.nu + 1) * (g.nv + 1) : 0;
}

void set_lane(GridNode &node, int i, int32_t child, const Bound &b)
{
    node.child[i] = child;
    for (int a = 0; a < 3; a++) {
        node.lo[a][i] = b[2 * a];
        node.hi[a][i] = b[2 * a + 1];
    }
}

Bound lane_bound(const GridNode &node, int i)
{
    return Bound(node.lo[0][i], node.hi[0][i], node.lo[1][i], node.hi[1][i], node.lo[2][i], node.hi[2][i]);
}

} // namespace

void DicedGrid::build(GSurface *surface, int nu_, int nv_, std::vector<Point> verts, std::vector<Point> norms)
{
    release();
    RI_ASSERT(nu_ >= 1 && nv_ >= 1 && nu_ <= 32767 && nv_ <= 32767, "dice");
    size_t set = (size_t)(nu_ + 1) * (nv_ + 1);
    RI_ASSERT(verts.size() == set || verts.size() == 2 * set, "dice");
    nu = (int16_t)nu_;
    nv = (int16_t)nv_;
    vertices = std::move(verts);
    normals = std::move(norms);
    moving = vertices.size() == 2 * set;
    int n = nu_ * nv_, w = nu_ + 1;
    cells_.reset(new Glitequad[n]);
    for (int i = 0; i < nv_; i++)
        for (int j = 0; j < nu_; j++) {
            Glitequad *c = cell(j + nu_ * i);
            c->lower = &vertices[j + w * i];
            c->row_stride = (uint16_t)w;
            c->col = (int16_t)j;
            c->row = (int16_t)i;
            c->border = (uint8_t)((i == 0 ? SIDE_V0 : 0) | (i == nv_ - 1 ? SIDE_V1 : 0) | (j == 0 ? SIDE_U0 : 0) |
                                  (j == nu_ - 1 ? SIDE_U1 : 0));
        }
    if (n > 4) {
        nodes.reserve(cell_tree_nodes(nu_, nv_));
        build_cell_tree(*this, 0, nu_, 0, nv_, bound);
    } else {
        // The cells are tested one by one, each on its own box.
        nodes.resize(1);
        bound = EMPTY_BOUND;
        for (int k = 0; k < 4; k++) {
            Bound b = EMPTY_BOUND;
            if (k < n) cell(k)->bound(b, second_set(*this));
            set_lane(nodes[0], k, k < n ? ~k : GRID_NO_CHILD, b);
            if (k < n) bound.merge(b);
        }
    }
    surface->object_bound = bound;
    state = 1;
    int box[4];
    surface->screen_bound(box);
    GridStats &st = grid_stats();
    st.memory.add(memory());
    st.grids.add(1);
    st.built++;
    st.total_cells += n;
    if (n > st.max_cells) st.max_cells = n;
    DicingStats &d = dicing_stats();
    d.pieces.add(n);
    d.piece_size = CELL_BYTES;
    d.diced_peak = st.grids.peak;
    last_use = grid_clock();
}

void DicedGrid::release()
{
    if (state == 1) {
        GridStats &st = grid_stats();
        st.memory.subtract(memory());
        st.grids.subtract(1);
        dicing_stats().pieces.subtract(cell_count());
    }
    std::vector<GridNode>().swap(nodes);
    cells_.reset();
    std::vector<Point>().swap(vertices);
    std::vector<Point>().swap(normals);
    state = 0;
}

int32_t build_cell_tree(DicedGrid &g, int c0, int c1, int r0, int r1, Bound &b)
{
    if (!(c1 > c0 && r1 > r0)) ri_assert_failed("dice", 306);
    int w = c1 - c0, h = r1 - r0;
    size_t second = second_set(g);
    if (w * h == 1) {
        int k = c0 + g.nu * r0;
        g.cell(k)->bound(b, second);
        return ~k;
    }
    int32_t index = (int32_t)g.nodes.size();
    g.nodes.emplace_back();
    int32_t kids[4];
    Bound boxes[4];
    int n = 0;
    if (w * h > 4) {
        int cm = (c0 + c1) / 2, rm = (r0 + r1) / 2;
        if (w >= 2 && h >= 2) {
            kids[n] = build_cell_tree(g, c0, cm, r0, rm, boxes[n]), n++;
            kids[n] = build_cell_tree(g, cm, c1, r0, rm, boxes[n]), n++;
            kids[n] = build_cell_tree(g, c0, cm, rm, r1, boxes[n]), n++;
            kids[n] = build_cell_tree(g, cm, c1, rm, r1, boxes[n]), n++;
        } else if (h < w) {
            kids[n] = build_cell_tree(g, c0, cm, r0, r1, boxes[n]), n++;
            kids[n] = build_cell_tree(g, cm, c1, r0, r1, boxes[n]), n++;
        } else {
            kids[n] = build_cell_tree(g, c0, c1, r0, rm, boxes[n]), n++;
            kids[n] = build_cell_tree(g, c0, c1, rm, r1, boxes[n]), n++;
        }
    } else {
        for (int r = r0; r < r1; r++)
            for (int c = c0; c < c1; c++) {
                int k = c + g.nu * r;
                g.cell(k)->bound(boxes[n], second);
                kids[n++] = ~k;
            }
    }
    // The recursion may have moved the nodes.
    GridNode &node = g.nodes[index];
    b = EMPTY_BOUND;
    for (int i = 0; i < 4; i++) {
        set_lane(node, i, i < n ? kids[i] : GRID_NO_CHILD, i < n ? boxes[i] : EMPTY_BOUND);
        if (i < n) b = bbox_union(b, boxes[i]);
    }
    return index;
}

// ---- tracing -------------------------------------------------------------

namespace {

// Set bits of a four-bit mask, read from a table of nibbles (the target
// has no population-count instruction; the library's is a call).
inline unsigned bits4(unsigned mask4) { return unsigned(0x4332322132212110ull >> (4 * (mask4 & 15))) & 7; }

} // namespace

IntersectionList DicedGrid::hits(GSurface *surface, const Ray &ray) const
{
    IntersectionList all;
    if (!built()) return all;
    RayStats &st = ray_stats();
    size_t second = second_set(*this);
    float m = 0;
    if (second) {
        const Options *o = frame_options();
        float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
        m = close != open ? (ray.time - open) / (close - open) : ray.time - open;
    }
    auto at = [m](const Point &a, const Point &b) { return a * (1 - m) + b * m; };
    auto test_cell = [&](int k) {
        st.isect_tests++;
        const Glitequad *c = cell(k);
        const Point *upper = c->upper();
        Intersection *h =
            second ? quad_ray_hit(ray, at(c->lower[0], c->lower[second]), at(c->lower[1], c->lower[second + 1]),
                                  at(upper[0], upper[second]), at(upper[1], upper[second + 1]), surface,
                                  c->border)
                   : quad_ray_hit(ray, c->lower[0], c->lower[1], upper[0], upper[1], surface, c->border);
        if (!h) return;
        st.isect_hits++;
        if (!(h->linet >= ray.tmin && h->linet <= ray.tmax)) {
            h->release();
            return;
        }
        h->whichpiece = cell(k);
        all.add(h);
    };
    auto in_range = [&ray](float entry, float exit) { return exit >= ray.tmin && entry <= ray.tmax; };
    if (cell_count() <= 4) {
        for (int i = 0; i < 4 && nodes[0].child[i] != GRID_NO_CHILD; i++) {
            float entry, exit;
            if (ray.box_range(lane_bound(nodes[0], i), entry, exit) && in_range(entry, exit))
                test_cell(~nodes[0].child[i]);
        }
    } else {
        // Every hit in range is kept, so the order of the walk does not matter.
        RaySlabs slabs(ray.origin, ray.dir);
        int32_t stack[256];
        int top = 0;
        stack[top++] = 0;
        unsigned long tests = 0, passed = 0;
        while (top > 0) {
            const GridNode &node = nodes[stack[--top]];
            unsigned valid = 0;
            for (int i = 0; i < 4 && node.child[i] != GRID_NO_CHILD; i++) valid |= 1u << i;
            __m128 near, far;
            unsigned hit = (unsigned)slab4(slabs, node.lo, node.hi, near, far) & valid;
            tests += bits4(valid);
            passed += bits4(hit);
            // Boxes wholly outside the ray's range are passed over.
            hit &= (unsigned)_mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(far, _mm_set1_ps(ray.tmin)),
                                                        _mm_cmple_ps(near, _mm_set1_ps(ray.tmax))));
            for (; hit; hit &= hit - 1) {
                int i = __builtin_ctz(hit);
                int32_t child = node.child[i];
                if (child >= 0) stack[top++] = child;
                else test_cell(~child);
            }
        }
        st.box_tests += tests;
        st.box_hits += passed;
    }
    all.sort();
    return all;
}

IntersectionList intersect_grid(GSurface *surface, const Ray &ray, int lattice)
{
    Ray r(ray);
    r.weight = 1;
    if (!surface->subpatch_grid || !surface->subpatch_grid->built()) surface->choose_dice_rates(lattice);
    DicedGrid *g = surface->subpatch_grid;
    if (!g || !g->built()) return IntersectionList();
    g->last_use = grid_clock();
    IntersectionList l = g->hits(surface, r);
    for (Intersection *h = l.first; h; h = h->next) {
        const Glitequad *c = grid_cell(h->whichpiece);
        h->gu = h->u = (c->col + h->gu) / (float)g->nu;
        h->gv = h->v = (c->row + h->gv) / (float)g->nv;
    }
    return l;
}

IntersectionList intersect_grid(GSurface *surface, const Ray &ray)
{
    return intersect_grid(surface, ray, 1);
}

bool grid_normal_at(const GSurface *surface, float gu, float gv, Point &N)
{
    const DicedGrid *g = surface->subpatch_grid;
    if (!g || !g->built() || g->normals.empty()) return false;
    auto place = [](float t, int n, int &cell, float &local) {
        float x = t * n;
        if (!(x >= 0)) x = 0;   // NaN too
        if (x > n) x = (float)n;
        cell = std::min((int)x, n - 1);
        local = x - cell;
    };
    int col, row;
    float a, b;
    place(gu, g->nu, col, a);
    place(gv, g->nv, row, b);
    int w = g->nu + 1;
    const Point *n = g->normals.data();
    N = bilerp_points(n[col + w * row], n[col + 1 + w * row], n[col + w * (row + 1)], n[col + 1 + w * (row + 1)], a, b);
    return true;
}

namespace {

// The smooth normal (world space) at the shadow rays' start, and how far
// from it a cell may be met from behind.
struct ShadowOrigin {
    bool active = false;
    Point N;
    float reach = 0;
};
thread_local ShadowOrigin shadow_origin;

bool undisplaced_grid(const GPrimitive *o)
{
    if (!o || !is_surface_type(o->type)) return false;
    const DicedGrid *g = static_cast<const GSurface *>(o)->subpatch_grid;
    return g && g->built() && g->normals.empty();
}

} // namespace

void set_shadow_origin(const ShadingPoint *hit)
{
    shadow_origin.active = false;
    if (!hit || !hit->whichpiece || !undisplaced_grid(gprim(hit->obj))) return;
    GSurface *s = static_cast<GSurface *>(hit->obj);
    const Glitequad *c = grid_cell(hit->whichpiece);
    Point n, N;
    s->eval_normal(hit->gu, hit->gv, hit->time, n);
    if (s->xform.is_set()) s->xform->normal_to_world(n.data(), N.data(), hit->time);
    else N = n;
    float diag = (c->upper()[1] - c->lower[0]).length();
    if (s->xform.is_set()) diag = s->xform->length_to_world(diag, hit->time);
    if (!(diag > 0) || !std::isfinite(diag)) return;
    shadow_origin.N = N;
    shadow_origin.reach = 3 * diag;
    shadow_origin.active = true;
}

bool shadow_self_hit(const Intersection *h, const Point &dir)
{
    if (!shadow_origin.active || !h->whichpiece || !(h->linet < shadow_origin.reach) ||
        !undisplaced_grid(gprim(h->obj)))
        return false;
    const GSurface *s = static_cast<const GSurface *>(h->obj);
    const Glitequad *c = grid_cell(h->whichpiece);
    Point f = cross(c->upper()[1] - c->lower[0], c->upper()[0] - c->lower[1]), F = f;
    if (s->xform.is_set()) s->xform->normal_to_world(f.data(), F.data(), h->time);
    return dot(shadow_origin.N, dir) * dot(F, dir) > 0;
}

void release_surface_data(GSurface *surface)
{
    delete surface->subpatch_grid;
    surface->subpatch_grid = nullptr;
}

// ---- reclaiming ----------------------------------------------------------

namespace {

struct ReclaimPass {
    int64_t old_mark;
    GSurface *oldest = nullptr;
    GSurface *largest = nullptr;
};

void consider(GSurface *s, void *arg)
{
    ReclaimPass &p = *static_cast<ReclaimPass *>(arg);
    DicedGrid *g = s->subpatch_grid;
    if (!g || !g->built() || !((int64_t)g->last_use < p.old_mark)) return;
    if (!p.oldest || g->last_use < p.oldest->subpatch_grid->last_use) p.oldest = s;
    if (!p.largest || g->cell_count() > p.largest->subpatch_grid->cell_count()) p.largest = s;
}

} // namespace

void reclaim_grid_memory(GPrimitive *list, int repeat)
{
    const Options *o = frame_options();
    if (!o) return;
    int64_t S = grid_clock();
    int64_t old_mark, very_old;
    if (o->rayserver) {
        int64_t B = o->bucketsize[0];
        old_mark = S - 2 * B * B;
        very_old = S - 4 * B * B;
    } else {
        int64_t W = (int64_t)o->xres * o->xsamples * o->ysamples;
        old_mark = S - 8 * W;
        very_old = S - 16 * W;
    }
    bool debug = debugging();
    if (debug) printf("Reclaiming grid memory...");
    GridStats &st = grid_stats();
    while (st.memory.current > o->geommemory) {
        ReclaimPass pass{old_mark};
        for_each_surface(list, consider, &pass, 1);
        if (!pass.oldest) break;
        GSurface *victim = (int64_t)pass.oldest->subpatch_grid->last_use < very_old ? pass.oldest : pass.largest;
        victim->subpatch_grid->release();
        if (debug) printf("%ldKB...", (long)(st.memory.current / 1024));
        if (!repeat) break;
    }
    if (debug) printf("\n");
}

// ---- dicing --------------------------------------------------------------

int edge_dice_rate(const GSurface *s, float measure, float raster_length, int n, bool binary)
{
    const GState *g = s->attributes();
    float m = g ? g->patch_multiplier : 1;
    float r = g ? g->shading_rate : 1;
    int maxlevel = g ? g->patch_maxlevel : 256, minlevel = g ? g->patch_minlevel : 1;
    float root = r > 0 ? std::sqrt(r) : 1;
    // Rates beyond this are cut below anyway; the cap keeps the sums finite.
    auto whole = [](double x) -> double {
        if (!(x >= 0)) return 0;
        return std::floor(std::min(x, 1e9));
    };
    double len = raster_length;
    double f;
    double a = measure;
    if (s->flags & GPF_DISPLACED) {
        f = std::max(2.0, whole(len * m / root));
    } else {
        a = std::min(4.0, (n + 1) * (double)measure / 3.14159265358979);
        if (!(a >= 0)) a = 0;
        double w = std::min(whole(len * m / root), whole(len * std::sqrt(a) * m / root));
        f = a >= 0.0001 ? std::max(2.0, w) : 1;
    }
    if (a > 2 && f <= 3) f = 4;
    else if (a > 0.2 && f < 2) f = 2;
    if (f > maxlevel) f = maxlevel;
    else if (f < minlevel) f = minlevel;
    if (f > 32767) f = 32767;
    if (f < 1) f = 1;
    int rate = (int)f;
    if (binary) rate = std::min(next_power_of_two(rate), 16384);
    return rate;
}

namespace {

const int MAX_LATTICE = 16;
// The lattice of the border edges.
const int EDGE_LATTICE = MAX_LATTICE;

struct LineMeasure {
    float curvature = 0;
    float raster_length = 0;
};

// The bend and raster length of one lattice line of n + 1 points.
LineMeasure measure_line(const Point *W, const Point *R, const bool *V, int n, float seg)
{
    LineMeasure m;
    Point e1 = W[1] - W[0];
    // Every segment takes the factor alike, so that only the bends and the
    // changes of length count (a surface off the screen is not diced finer
    // for being off the screen).
    float L1 = seg * e1.length();
    if (!(L1 > 0)) {
        L1 = 0.01f;
        e1 = Point(0.01f, 0.01f, 0.01f);
    } else {
        e1 = normalize(e1);
    }
    for (int k = 2; k <= n; k++) {
        Point e2 = W[k] - W[k - 1];
        float len = e2.length();
        float L2 = seg * len;
        e2 = normalize(e2);
        if (!(L2 > 0)) L2 = 0.01f;
        float c = clamped_acos(dot(e1, e2)) + 10 * (1 - std::min(L1, L2) / std::max(L1, L2));
        if (c > m.curvature) m.curvature = c;
        e1 = e2;
        L1 = L2;
    }
    for (int k = 1; k <= n; k++)
        if (V[k - 1] && V[k]) {
            float dx = R[k].x - R[k - 1].x, dy = R[k].y - R[k - 1].y;
            float d = std::sqrt(dx * dx + dy * dy);
            if (d >= 0) m.raster_length += d;
        }
    return m;
}

// Puts one border edge of count segments (stride apart) onto the polyline of
// the k segments of the edge's own rate, so that a neighbour diced at any rate
// meets the same polyline: corner m (the edge's point at m / k, at(m / k))
// lands on the vertex nearest to it, the vertices between on the straight
// line between corners. A corner that falls on a vertex is that vertex as it
// stands (displaced grids, of binary rates, have all their corners so).
void close_edge(Point *V, int stride, int count, int k, const std::function<Point(float)> &at)
{
    if (k < 1 || k >= count) return;
    int prev = 0;
    Point last = V[0];
    for (int m = 1; m <= k; m++) {
        long s = (long)m * count;
        int j = (int)((2 * s + k) / (2L * k));
        Point corner = s % k == 0 ? V[(s / k) * stride] : at((float)m / (float)k);
        for (int i = prev + 1; i < j; i++) {
            float f = (float)(i - prev) / (float)(j - prev);
            V[i * stride] = last * (1 - f) + corner * f;
        }
        V[j * stride] = corner;
        prev = j;
        last = corner;
    }
}

} // namespace

void GSurface::choose_dice_rates(int n)
{
    if (subpatch_grid && subpatch_grid->built()) return;
    n = std::min(std::max(n, 6), MAX_LATTICE);
    const Options *o = frame_options();
    int box[4];
    float seg = screen_bound(box) ? 1.0f : 0.5f;
    if (o && grid_stats().memory.current > o->geommemory) reclaim_grid_memory(primary_objects(), 1);
    bool binary = (attrs.is_set() && (attrs->flags & GS_DICE_BINARY)) || (flags & GPF_DISPLACED);
    float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
    float near = o ? o->near_clip : 0.1f;

    // One probe point: its world position, its raster position and whether
    // it projects.
    auto project = [&](const Point &P, Point &W, Point &R) {
        W = P;
        if (xform.is_set()) xform->point_to_world(P.data(), W.data(), open);
        Point C = W;
        if (o && o->camera.is_set()) o->camera->point_to_world(W.data(), C.data(), open);
        float dist = C.length();
        // A point in the eye's plane counts as in front whatever the rounding
        // of its z, so that neighbours evaluating it apart see it alike.
        if (C.z < -1e-4f * dist) dist = -dist;
        if (std::fabs(dist) < near) dist = near > 0.1f ? near : 0.1f;
        C.z = dist;
        return raster_project(C, R) == 0;
    };
    auto probe = [&](float u, float v, Point &W, Point &R) {
        Point P;
        eval_point(u, v, open, P);
        return project(P, W, R);
    };

    // The probe lattice: world points and their raster positions.
    Point world[MAX_LATTICE + 1][MAX_LATTICE + 1];
    Point raster[MAX_LATTICE + 1][MAX_LATTICE + 1];
    bool visible[MAX_LATTICE + 1][MAX_LATTICE + 1];
    Point lattice[(MAX_LATTICE + 1) * (MAX_LATTICE + 1)];
    eval_grid(n, n, open, lattice);
    for (int j = 0; j <= n; j++)
        for (int i = 0; i <= n; i++) visible[j][i] = project(lattice[i + (n + 1) * j], world[j][i], raster[j][i]);

    int nu = 1, nv = 1;
    Point W[MAX_LATTICE + 1], R[MAX_LATTICE + 1];
    bool V[MAX_LATTICE + 1];
    for (int j = 0; j <= n; j++) {
        for (int i = 0; i <= n; i++) W[i] = world[j][i], R[i] = raster[j][i], V[i] = visible[j][i];
        LineMeasure m = measure_line(W, R, V, n, seg);
        nu = std::max(nu, edge_dice_rate(this, m.curvature, m.raster_length, n, binary));
    }
    for (int i = 0; i <= n; i++) {
        for (int j = 0; j <= n; j++) W[j] = world[j][i], R[j] = raster[j][i], V[j] = visible[j][i];
        LineMeasure m = measure_line(W, R, V, n, seg);
        nv = std::max(nv, edge_dice_rate(this, m.curvature, m.raster_length, n, binary));
    }
    // The border edges (rows v = 0, v = 1, columns u = 0, u = 1) are measured
    // on a lattice of their own, the same for every surface, so that two
    // surfaces sharing an edge give it one rate whatever their own lattices.
    int edge_rate[4];
    for (int e = 0; e < 4; e++) {
        for (int k = 0; k <= EDGE_LATTICE; k++) {
            float t = (float)k / EDGE_LATTICE, side = (float)(e & 1);
            V[k] = e < 2 ? probe(t, side, W[k], R[k]) : probe(side, t, W[k], R[k]);
        }
        LineMeasure m = measure_line(W, R, V, EDGE_LATTICE, seg);
        edge_rate[e] = edge_dice_rate(this, m.curvature, m.raster_length, EDGE_LATTICE, binary);
    }
    nu = std::max(nu, std::max(edge_rate[0], edge_rate[1]));
    nv = std::max(nv, std::max(edge_rate[2], edge_rate[3]));

    bool moving = (flags & GPF_MOVING_CVS) != 0;
    bool displaced = (flags & GPF_DISPLACED) != 0;
    // One grid never takes more than the whole grid memory: halve the longer
    // side until it fits (halves of powers of two stay powers of two).
    double limit = o ? (double)o->geommemory : 1073741824.0;
    auto bytes = [&](double a, double b) {
        return CELL_BYTES * a * b + VERTEX_BYTES * (a + 1) * (b + 1) * ((moving ? 2 : 1) + (displaced ? 1 : 0));
    };
    while (bytes(nu, nv) > limit && (nu > 1 || nv > 1)) {
        if (nu >= nv) nu = (nu + 1) / 2;
        else nv = (nv + 1) / 2;
    }
    for (int e = 0; e < 4; e++) edge_rate[e] = std::min(edge_rate[e], e < 2 ? nu : nv);

    if (debugging()) {
        printf("   final nu,nv = %d %d,   edge nu %d %d, nv %d %d\n", nu, nv, edge_rate[0], edge_rate[1], edge_rate[2],
               edge_rate[3]);
        printf("\tsquash factors %d %d %d %d\n\n", ratio_at_least_one(edge_rate[0], nu),
               ratio_at_least_one(edge_rate[1], nu), ratio_at_least_one(edge_rate[2], nv),
               ratio_at_least_one(edge_rate[3], nv));
    }
    if (nu < edge_rate[0] || nu < edge_rate[1]) ri_assert_failed("dice", 1026);
    if (nv < edge_rate[2] || nv < edge_rate[3]) ri_assert_failed("dice", 1027);

    int w = nu + 1;
    size_t count = (size_t)w * (nv + 1);
    std::vector<Point> verts(moving ? 2 * count : count);
    for (int set = 0; set < (moving ? 2 : 1); set++) {
        eval_grid(nu, nv, set ? close : open, &verts[set * count]);
    }
    std::vector<Point> normals;
    if (displaced) {
        normals.resize(count);
        displace_grid(this, nu, nv, verts, normals, moving);
    }
    // Every border edge becomes the polyline of its own rate, which a
    // neighbour sharing the edge makes alike.
    for (int set = 0; set < (moving ? 2 : 1); set++) {
        Point *P = &verts[set * count];
        float time = set ? close : open;
        auto edge = [this, time](int e) {
            return [this, e, time](float t) {
                Point E;
                float side = (float)(e & 1);
                if (e < 2) eval_point(t, side, time, E);
                else eval_point(side, t, time, E);
                return E;
            };
        };
        close_edge(P, 1, nu, edge_rate[0], edge(0));
        close_edge(P + (size_t)w * nv, 1, nu, edge_rate[1], edge(1));
        close_edge(P, w, nv, edge_rate[2], edge(2));
        close_edge(P + nu, w, nv, edge_rate[3], edge(3));
    }
    if (!subpatch_grid) subpatch_grid = new DicedGrid(this, nu, nv, std::move(verts), std::move(normals));
    else subpatch_grid->build(this, nu, nv, std::move(verts), std::move(normals));
}
