// Bilinear patches: RiPatch "bilinear" and the pieces of bilinear patch
// meshes. A ray meets the patch where the inverse of the bilinear map of the
// corners, projected onto a plane across the ray, reaches the ray.
#pragma once
#include "raytrace/gprim.h"
#include "raytrace/ray.h"

class GBilinearPatch : public GSurface {
public:
    // The piece at column ucol of nu and row vrow of nv of its mesh; the
    // corners come from "P", "Pw" or "Pz" (taken off the variable list).
    GBilinearPatch(RtInt n, RtToken tokens[], RtPointer values[], int ucol, int nu, int vrow, int nv);
    GBilinearPatch(const GBilinearPatch &o) = default;

    // The grid's box once diced, else the corners' box grown by 0.01 of its diagonal.
    void bound(Bound &b) override;
    IntersectionList intersect(const Ray &ray) override;
    // u and v over the whole mesh, the blended corner normal, then the surface fill.
    void fill_hit(Intersection *sv) override;
    void mesh_radiosity() override;
    GPrimitive *copy() override { return new GBilinearPatch(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    void eval_normal(float u, float v, float time, Point &N) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;

    // True when the corners were given, are finite and span an area.
    bool well_formed() const;

    Point P00, P10, P01, P11;   // corners, u varying fastest
    Point N00, N10, N01, N11;   // unit corner normals, dPdu x dPdv
    int16_t ucol = 0, nu = 1, vrow = 0, nv = 1;
    bool has_corners = false;
};

// The values of a position variable ("P", "Pw", "Pz") of a patch, taken off
// its variable list, when it holds at least `floats` values; null otherwise.
// The caller frees the block.
float *take_position_values(VertexVarList &list, RtToken name, int floats);
