#include "raytrace/csg.h"

#include <cstdlib>

#include "raytrace/primitive_makers.h"
#include "ri/renderer.h"

namespace {

// Whether a hit that moves the walk from (a0, b0) to (a1, b1), inside or
// outside the accumulated and the new operand, is on the solid's surface.
bool keeps(int type, bool a0, bool b0, bool a1, bool b1)
{
    switch (type) {
    case GP_UNION: return (!a1 && !b1) || (!a0 && !b0);
    case GP_INTERSECTION: return (a1 && b1) || (a0 && b0);
    case GP_DIFFERENCE: return (a1 && !b1) || (a0 && !b0);
    default: return true;
    }
}

// Lists are built by putting each new object in front unless objects are
// appended: the block order, either way.
GPrimitive *in_block_order(GPrimitive *list)
{
    if (link_appends) return list;
    GPrimitive *out = nullptr;
    while (list) {
        GPrimitive *n = list->next;
        list->next = out;
        out = list;
        list = n;
    }
    return out;
}

} // namespace

GSolid::GSolid(int t, GPrimitive *list) : children(list), first(list)
{
    type = (uint16_t)t;
    bound(world_bound);
    if (type == GP_COMPOSITE && std::getenv("RAYLUME_CSG_ACCEL")) build_accel();
}

GSolid::~GSolid()
{
    delete accel;
    free_object_list(children);
}

void GSolid::build_accel()
{
    delete accel;
    accel = GHierBound::build(HIER_SECONDARY, children, 0, 0, 0, 0);
}

void GSolid::bound(Bound &b)
{
    b = EMPTY_BOUND;
    for (GPrimitive *c = children; c; c = c->next) b.merge(c->world_bound);
}

IntersectionList GSolid::intersect(const Ray &ray)
{
    IntersectionList a;
    if (!children) return a;
    Ray r(ray);
    if (type == GP_COMPOSITE && accel) {
        a = r.closest_hit(accel);
    } else {
        a = r.intersect_object(first);
        for (GPrimitive *c = first->next; c; c = c->next) {
            // Nothing is left to intersect or to cut from.
            if (a.count == 0 && (type == GP_INTERSECTION || type == GP_DIFFERENCE)) break;
            IntersectionList b = r.intersect_object(c);
            merge_hits(a, b);
        }
    }
    for (Intersection *h = a.first; h; h = h->next) h->incsg = 1;
    return a;
}

void GSolid::merge_hits(IntersectionList &a, IntersectionList &b)
{
    if (type == GP_DIFFERENCE && b.count == 0) return;
    if ((type == GP_INTERSECTION && (a.count == 0 || b.count == 0)) || (type == GP_DIFFERENCE && a.count == 0)) {
        a.free_list();
        b.free_list();
        return;
    }
    IntersectionList kept;
    bool in_a = false, in_b = false;
    while (a.first || b.first) {
        // On equal distances the new operand's hit goes first.
        bool from_b = b.first && (!a.first || !(a.first->linet < b.first->linet));
        Intersection *h = from_b ? b.dequeue() : a.dequeue();
        bool a0 = in_a, b0 = in_b;
        if (from_b) in_b = !in_b;
        else in_a = !in_a;
        if (keeps(type, a0, b0, in_a, in_b)) kept.add(h);
        else h->release();
    }
    a = kept;
}

void GSolid::mesh_radiosity()
{
    mesh_radiosity_list(children);
}

GPrimitive *GSolid::copy()
{
    GPrimitive *list = nullptr;
    for (GPrimitive *c = children; c; c = c->next) {
        GPrimitive *k = c->copy();
        if (!k) continue;
        if (is_surface_type(k->type)) adopt_instance_state(static_cast<GSurface *>(k));
        k->next = nullptr;
        k->link(&list, 1);
    }
    GSolid *s = new GSolid(GP_NONE, in_block_order(list));
    s->type = type;
    if (type == GP_COMPOSITE) s->build_accel();
    return s;
}

GPrimitive *make_solid(int type, GPrimitive *children)
{
    return new GSolid(type, in_block_order(children));
}

GPrimitive *solid_children(GPrimitive *solid)
{
    return solid && is_csg_type(solid->type) ? static_cast<GSolid *>(solid)->children : nullptr;
}
