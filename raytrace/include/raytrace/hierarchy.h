// Bounding hierarchies over the scene's objects: nodes of up to four children
// whose boxes sit side by side in the node, so that a ray tests all four at
// once. Trees are built top-down by the surface-area heuristic; a single
// object can also be inserted where the growth of surface area costs least.
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
    // A node over the objects (shuffled first, drawing from the random generator).
    static GHierBound *build_over(std::vector<GPrimitive *> picked);
    // Whether two kinds pick the same objects of a list (one tree serves both).
    static bool same_selection(int kind_a, int kind_b, GPrimitive *objects);
    // Whether camera rays see every object of a list as secondary rays do
    // (then the secondary tree serves them).
    static bool camera_sees_as_secondary(GPrimitive *objects);
    // Draws from the random generator what shuffling the objects of a list
    // for a kind would, for a tree that is shared instead of built.
    static void skip_shuffle(int kind, GPrimitive *objects);
    // Puts the object into the first free slot (false when full).
    bool add_child(GPrimitive *object);
    int child_count() const;
    // Sets world_bound and the side-by-side boxes from the children.
    void recompute();
    // Inserts an object with box q where it costs least.
    void insert(GPrimitive *object, const Bound &q);
    // Copies a box into lane i of the side-by-side boxes.
    void set_lane(int i, const Bound &b);

    GPrimitive *children[4] = {nullptr, nullptr, nullptr, nullptr};
    // The children's boxes, lane i for child i: lo[axis][i] and hi[axis][i].
    alignas(16) float lo[3][4];
    alignas(16) float hi[3][4];
    // Lanes whose child may change its box after the tree is built
    // (containers and displaced surfaces): their box is read from the child.
    uint8_t live = 0;
    // Slots holding a child, bit i for slot i (always the first few).
    uint8_t used = 0;
};

// 2 (dx dy + dz (dx + dy)).
float bbox_area(const Bound &b);
// Per axis the smaller minimum and the larger maximum.
Bound bbox_union(const Bound &a, const Bound &b);

// Whether an object's box may change while a tree holds it.
bool has_live_bound(const GPrimitive *o);

// Nodes taken from the pool ("Hier bounds" statistics).
StatCounter &hier_bound_counter();
