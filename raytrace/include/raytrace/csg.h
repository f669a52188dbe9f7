// Constructive solid geometry: a node over the objects of a SolidBegin block
// that combines their distance-ordered hits by an inside/outside walk. A
// composite ("primitive") solid may trace its children through a hierarchy
// of its own, switched on by the environment variable RAYLUME_CSG_ACCEL.
#pragma once
#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/ray.h"

class GSolid : public GPrimitive {
public:
    // A node of type GP_COMPOSITE, GP_UNION, GP_INTERSECTION or GP_DIFFERENCE
    // over a list of children in block order (the first is the minuend of a
    // difference); a composite builds its hierarchy when the environment asks.
    GSolid(int type, GPrimitive *children);
    // Destroys the hierarchy and the children.
    ~GSolid() override;

    // The merge of the children's world bounds.
    void bound(Bound &b) override;
    // The hits of the world ray under the node's operation, marked as CSG hits.
    IntersectionList intersect(const Ray &ray) override;
    void mesh_radiosity() override;
    // A node over copies of the children (a composite always with a hierarchy).
    GPrimitive *copy() override;

    // Replaces a by its combination with b under the node's operation; b is consumed.
    void merge_hits(IntersectionList &a, IntersectionList &b);
    // Builds the hierarchy over the children.
    void build_accel();

    GPrimitive *children = nullptr;
    GPrimitive *first = nullptr;
    GHierBound *accel = nullptr;
};
