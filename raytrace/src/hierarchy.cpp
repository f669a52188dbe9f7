#include "raytrace/hierarchy.h"

#include <utility>
#include <vector>

#include "instance.h"
#include "mesh.h"
#include "raytrace/ray.h"
#include "sah_build.h"
#include "raytrace/screen_boxes.h"
#include "ri/recordpool.h"
#include "ri_common/rierror.h"
#include "sampling/random.h"

namespace {

RecordPool &node_pool()
{
    // A node in three cache lines, not four.
    static_assert(sizeof(GHierBound) % 64 == 0, "nodes fill whole cache lines");
    static RecordPool pool(sizeof(GHierBound), 64, "out of core memory", 64);
    return pool;
}

bool is_node(const GPrimitive *o) { return o && o->type == GP_HIERBOUND; }

// Whether an object belongs in a hierarchy of a kind other than the camera's.
bool selected(GPrimitive *o, int kind)
{
    if (kind == HIER_ALL) return true;
    GState *g;
    if (o->type == GP_INSTANCE) g = static_cast<GInstance *>(o)->attributes();
    else if (GSurface *s = surface_of_object(o)) g = s->attributes();
    else return true;
    switch (kind) {
    case HIER_SECONDARY: return !(g && (g->flags & GS_INVISIBLE_SECONDARY));
    case HIER_SHADOW: return !(g && g->casts_shadows == 0);
    default: return true;
    }
}

} // namespace

float bbox_area(const Bound &b)
{
    float dx = b[1] - b[0], dy = b[3] - b[2], dz = b[5] - b[4];
    return 2 * (dx * dy + dz * (dx + dy));
}

Bound bbox_union(const Bound &a, const Bound &b)
{
    Bound r;
    for (int i = 0; i < 6; i += 2) {
        r[i] = a[i] < b[i] ? a[i] : b[i];
        r[i + 1] = a[i + 1] > b[i + 1] ? a[i + 1] : b[i + 1];
    }
    return r;
}

StatCounter &hier_bound_counter() { return node_pool().counter; }

void *GHierBound::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(GHierBound), "hier");
    return node_pool().take();
}

void GHierBound::operator delete(void *p) { node_pool().give_back(p); }

bool has_live_bound(const GPrimitive *o)
{
    // A grid cell's box is fixed while its tree stands (both go together).
    if (o->type == GP_HIERBOUND || o->type == GP_INSTANCE || o->type == GP_LITEQUAD || o->type == GP_MESHFACE)
        return false;
    if (!is_surface_type(o->type)) return true;
    // Dicing replaces a surface's box by its grid's, and may do so again.
    return o->type == GP_BICUBIC || o->type == GP_NURB || o->type == GP_SUBPATCH ||
           (o->flags & (GPF_DICEABLE | GPF_DISPLACED));
}

GHierBound::GHierBound()
{
    type = GP_HIERBOUND;
    world_bound = EMPTY_BOUND;
    for (int i = 0; i < 4; i++) set_lane(i, EMPTY_BOUND);
}

void GHierBound::set_lane(int i, const Bound &b)
{
    for (int a = 0; a < 3; a++) {
        lo[a][i] = b[2 * a];
        hi[a][i] = b[2 * a + 1];
    }
}

void GHierBound::recompute()
{
    bound(world_bound);
    live = 0;
    used = 0;
    for (int i = 0; i < 4; i++) {
        GPrimitive *c = children[i];
        set_lane(i, c ? c->world_bound : EMPTY_BOUND);
        if (c) used |= uint8_t(1u << i);
        if (c && has_live_bound(c)) live |= uint8_t(1u << i);
    }
}

GHierBound::GHierBound(GPrimitive *child) : GHierBound()
{
    children[0] = child;
    recompute();
}

GHierBound::~GHierBound()
{
    for (GPrimitive *c : children)
        if (is_node(c)) delete c;
}

void GHierBound::bound(Bound &b)
{
    b = EMPTY_BOUND;
    for (int i = 0; i < 4 && children[i]; i++) b = bbox_union(b, children[i]->world_bound);
}

IntersectionList GHierBound::intersect(const Ray &ray)
{
    Ray r(ray);
    IntersectionList all;
    for (int i = 0; i < 4 && children[i]; i++) {
        IntersectionList l = r.intersect_object(children[i]);
        all.append(l);
    }
    return all;
}

void GHierBound::mesh_radiosity()
{
    // Each child alone: a child's next belongs to the scene list.
    for (int i = 0; i < 4 && children[i]; i++) children[i]->mesh_radiosity();
}

GPrimitive *GHierBound::copy()
{
    GHierBound *h = new GHierBound;
    int n = 0;
    for (int i = 0; i < 4 && children[i]; i++)
        if (GPrimitive *c = children[i]->copy()) h->children[n++] = c;
    h->recompute();
    h->world_bound = world_bound;
    return h;
}

bool GHierBound::add_child(GPrimitive *object)
{
    for (int i = 0; i < 4; i++)
        if (!children[i]) {
            children[i] = object;
            set_lane(i, object->world_bound);
            // The node's own box is what a parent tests rays against.
            world_bound = bbox_union(world_bound, object->world_bound);
            used |= uint8_t(1u << i);
            if (has_live_bound(object)) live |= uint8_t(1u << i);
            return true;
        }
    return false;
}

int GHierBound::child_count() const
{
    int n = 0;
    while (n < 4 && children[n]) n++;
    return n;
}

namespace {

// Puts an object into slot i of a node, lane and live bit included.
void place(GHierBound *n, int i, GPrimitive *object, const Bound &q)
{
    n->children[i] = object;
    n->set_lane(i, q);
    n->used |= uint8_t(1u << i);
    n->live = uint8_t(n->live & ~(1u << i));
    if (has_live_bound(object)) n->live |= uint8_t(1u << i);
}

} // namespace

void GHierBound::insert(GPrimitive *object, const Bound &q)
{
    // The nodes passed on the way down, to bring their lanes up to date.
    std::vector<std::pair<GHierBound *, int>> path;
    GHierBound *n = this;
    for (;;) {
        int k = n->child_count();
        if (k == 0) {
            place(n, 0, object, q);
            n->world_bound = q;
            break;
        }
        if (k == 1 && !is_node(n->children[0])) {
            n->children[1] = object;
            n->recompute();
            break;
        }
        float a = bbox_area(n->world_bound);
        Bound grown = bbox_union(n->world_bound, q);
        float a2 = bbox_area(grown);
        // What every present child pays for the larger box.
        float c = (a2 - a) * k;
        float here = k == 4 ? 1e38f : a2 + c;
        int cand = -1;
        float cand_cost = 0, cand_area = 0;
        for (int i = 0; i < k; i++) {
            GPrimitive *ch = n->children[i];
            float ai = bbox_area(ch->world_bound);
            float ai2 = bbox_area(bbox_union(ch->world_bound, q));
            int weight = is_node(ch) ? static_cast<GHierBound *>(ch)->child_count() + 1 : 2;
            float cost = weight * (ai2 - ai) + c;
            if (i == 0 || (cost <= cand_cost && ai < cand_area)) {
                cand = i;
                cand_cost = cost;
                cand_area = ai;
            }
        }
        float new_level = 2 * a2;
        if (k < 4 && here <= new_level && here <= cand_cost) {
            place(n, k, object, q);
            n->world_bound = grown;
            break;
        }
        if (new_level > cand_cost) {
            RI_ASSERT(cand >= 0, "hier");
            GPrimitive *ch = n->children[cand];
            n->world_bound = grown;
            if (is_node(ch)) {
                path.emplace_back(n, cand);
                n = static_cast<GHierBound *>(ch);
                continue;
            }
            GHierBound *m = new GHierBound;
            m->children[0] = object;
            m->children[1] = ch;
            m->recompute();
            place(n, cand, m, m->world_bound);
            break;
        }
        // A new level: the present children move down one node.
        GHierBound *m = new GHierBound;
        for (int i = 0; i < 4; i++) {
            m->children[i] = n->children[i];
            n->children[i] = nullptr;
            n->set_lane(i, EMPTY_BOUND);
        }
        m->recompute();
        n->live = 0;
        n->used = 0;
        place(n, 0, object, q);
        place(n, 1, m, m->world_bound);
        n->world_bound = grown;
        break;
    }
    for (size_t i = path.size(); i-- > 0;) {
        GHierBound *p = path[i].first;
        p->set_lane(path[i].second, p->children[path[i].second]->world_bound);
    }
}

GHierBound *GHierBound::build(int kind, GPrimitive *objects, int x0, int x1, int y0, int y1)
{
    if (kind == HIER_CAMERA) {
        ScreenBoxes boxes;
        boxes.fill(objects);
        return build_over(boxes.select(x0, x1, y0, y1));
    }
    std::vector<GPrimitive *> picked;
    for (GPrimitive *o = objects; o; o = o->next)
        if (selected(o, kind)) picked.push_back(o);
    return build_over(std::move(picked));
}

GHierBound *GHierBound::build_over(std::vector<GPrimitive *> picked)
{
    // The shuffle no longer shapes the tree, but its draws keep the random
    // sequence (and so every jittered sample after it) as it always was.
    for (size_t n = picked.size(); n >= 2; n--) {
        size_t j = (size_t)(random_uniform() * (float)n);
        if (j >= n) j = n - 1;
        std::swap(picked[j], picked[n - 1]);
    }
    return build_sah_tree(picked);
}

bool GHierBound::same_selection(int kind_a, int kind_b, GPrimitive *objects)
{
    if (kind_a == HIER_CAMERA || kind_b == HIER_CAMERA) return kind_a == kind_b;
    for (GPrimitive *o = objects; o; o = o->next)
        if (selected(o, kind_a) != selected(o, kind_b)) return false;
    return true;
}

bool GHierBound::camera_sees_as_secondary(GPrimitive *objects)
{
    const uint32_t bits = GS_INVISIBLE_PRIMARY | GS_INVISIBLE_SECONDARY;
    for (GPrimitive *o = objects; o; o = o->next) {
        GState *g = nullptr;
        if (o->type == GP_INSTANCE) g = static_cast<GInstance *>(o)->attributes();
        else if (GSurface *s = surface_of_object(o)) g = s->attributes();
        if (!g) continue;
        uint32_t f = g->flags & bits;
        if (f != 0 && f != bits) return false;
    }
    return true;
}

void GHierBound::skip_shuffle(int kind, GPrimitive *objects)
{
    size_t n = 0;
    for (GPrimitive *o = objects; o; o = o->next)
        if (selected(o, kind)) n++;
    for (; n >= 2; n--) random_uniform();
}
