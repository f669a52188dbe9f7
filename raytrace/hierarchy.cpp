#include "raytrace/hierarchy.h"

#include <utility>
#include <vector>

#include "raytrace/random.h"
#include "raytrace/ray.h"
#include "raytrace/screen_boxes.h"
#include "ri/recordpool.h"
#include "ri/rierror.h"

namespace {

RecordPool &node_pool()
{
    static RecordPool pool(sizeof(GHierBound), 64, "out of core memory");
    return pool;
}

bool is_node(const GPrimitive *o) { return o && o->type == GP_HIERBOUND; }

// Whether an object belongs in a hierarchy of a kind other than the camera's.
bool selected(GPrimitive *o, int kind)
{
    if (!is_surface_type(o->type) || kind == HIER_ALL) return true;
    GState *g = static_cast<GSurface *>(o)->attributes();
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

GHierBound *alloc_hier_node() { return new GHierBound; }
void free_hier_node(GHierBound *node) { delete node; }

GHierBound::GHierBound()
{
    type = GP_HIERBOUND;
    world_bound = EMPTY_BOUND;
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
    h->world_bound = world_bound;
    return h;
}

bool GHierBound::add_child(GPrimitive *object)
{
    for (GPrimitive *&c : children)
        if (!c) {
            c = object;
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

void GHierBound::insert(GPrimitive *object, const Bound &q)
{
    GHierBound *n = this;
    for (;;) {
        int k = n->child_count();
        if (k == 0) {
            n->children[0] = object;
            n->world_bound = q;
            return;
        }
        if (k == 1 && !is_node(n->children[0])) {
            n->children[1] = object;
            n->recompute();
            return;
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
            n->children[k] = object;
            n->world_bound = grown;
            return;
        }
        if (new_level > cand_cost) {
            RI_ASSERT(cand >= 0, "hier");
            GPrimitive *ch = n->children[cand];
            n->world_bound = grown;
            if (is_node(ch)) {
                n = static_cast<GHierBound *>(ch);
                continue;
            }
            GHierBound *m = new GHierBound;
            m->children[0] = object;
            m->children[1] = ch;
            m->recompute();
            n->children[cand] = m;
            return;
        }
        // A new level: the present children move down one node.
        GHierBound *m = new GHierBound;
        for (int i = 0; i < 4; i++) {
            m->children[i] = n->children[i];
            n->children[i] = nullptr;
        }
        m->recompute();
        n->children[0] = object;
        n->children[1] = m;
        n->world_bound = grown;
        return;
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
    for (size_t n = picked.size(); n >= 2; n--) {
        size_t j = (size_t)(random_uniform() * (float)n);
        if (j >= n) j = n - 1;
        std::swap(picked[j], picked[n - 1]);
    }
    GHierBound *root = new GHierBound;
    for (size_t i = picked.size(); i-- > 0;) root->insert(picked[i], picked[i]->world_bound);
    root->recompute();
    return root;
}
