// Bounding hierarchies over the scene's objects: nodes of up to four children,
// built by inserting the objects one at a time, in random order, where the
// growth of bounding-box surface area costs least.
#pragma once
#include <vector>

#include "raytrace/gprim.h"

// What a hierarchy is built for.
enum HierarchyKind { HIER_CAMERA = 0, HIER_SECONDARY = 1, HIER_SHADOW = 2, HIER_ALL = 3 };

class GHierBound : public GPrimitive {
public:
    // An empty node.
    GHierBound();
    // A node with one child, bounded by it.
    explicit GHierBound(GPrimitive *child);
    // Destroys child nodes, never the objects.
    ~GHierBound() override;

    // Nodes come from a pool of blocks of 64.
    static void *operator new(size_t size);
    static void operator delete(void *p);

    // Union of the children's world bounds.
    void bound(Bound &b) override;
    // Every child's hits, appended unsorted.
    IntersectionList intersect(const Ray &ray) override;
    void mesh_radiosity() override;
    // A node whose children are copies of the children.
    GPrimitive *copy() override;

    // A node over the objects of a list chosen by kind; the pixel rectangle
    // [x0, x1] x [y0, y1] selects the camera kind's objects (an empty node when none).
    static GHierBound *build(int kind, GPrimitive *objects, int x0, int x1, int y0, int y1);
    // A node over the objects, inserted in random order.
    static GHierBound *build_over(std::vector<GPrimitive *> picked);
    // Puts the object into the first free slot (false when full).
    bool add_child(GPrimitive *object);
    int child_count() const;
    // Sets world_bound from the children.
    void recompute() { bound(world_bound); }
    // Inserts an object with box q where it costs least.
    void insert(GPrimitive *object, const Bound &q);

    GPrimitive *children[4] = {nullptr, nullptr, nullptr, nullptr};
};

// 2 (dx dy + dz (dx + dy)).
float bbox_area(const Bound &b);
// Per axis the smaller minimum and the larger maximum.
Bound bbox_union(const Bound &a, const Bound &b);

GHierBound *alloc_hier_node();
void free_hier_node(GHierBound *node);
// Nodes taken from the pool ("Hier bounds" statistics).
StatCounter &hier_bound_counter();
