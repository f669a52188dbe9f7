// Bicubic patches: RiPatch "bicubic" and the pieces of bicubic patch meshes in
// the attribute state's bases. They are evaluated exactly but intersected
// through their micro-quad grids; a second set of control points makes them
// move over the shutter interval.
#pragma once
#include "raytrace/gprim.h"
#include "raytrace/ray.h"

class GBicubicPatch : public GSurface {
public:
    // The piece at column ucol of nu and row vrow of nv of its mesh; the 16
    // control points come from "P", "Pw" or "Pz" (taken off the variable list).
    GBicubicPatch(RtInt n, RtToken tokens[], RtPointer values[], int ucol, int nu, int vrow, int nv);
    GBicubicPatch(const GBicubicPatch &o);
    ~GBicubicPatch() override;
    GBicubicPatch &operator=(const GBicubicPatch &) = delete;

    // The grid's box once diced, else the control points' box (both keys).
    void bound(Bound &b) override;
    // Through the grid, dicing the patch on the first ray.
    IntersectionList intersect(const Ray &ray) override;
    void fill_hit(Intersection *sv) override;
    GPrimitive *copy() override { return new GBicubicPatch(*this); }
    void eval_point(float u, float v, float time, Point &P) override;
    // The basis weights of each column and row taken once.
    void eval_grid(int nu, int nv, float time, Point *out) override;
    void eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv) override;
    // The last answer is kept: a hit's normal is asked for again by its shadow rays.
    void eval_normal(float u, float v, float time, Point &N) override;
    // Vertex data (16 values) through the bases, the rest as on any surface.
    void vertex_var_value(const VVData *vv, int words, float u, float v, float *out) override;

    // Makes the other patch's control points this one's shutter-close key.
    void set_motion_key(const GBicubicPatch &other);
    // n components of a vertex variable at (u, v): the 16 values of a
    // component lie stride floats apart, component c starting at data + c.
    void bicubic_eval_var(float u, float v, const float *data, int n, int stride, float *out) const;
    // True when the control points were given and are finite.
    bool well_formed() const;

    float G[3][16] = {};         // x, y, z of the control points: row = v index, column = u index
    float *w = nullptr;          // homogeneous weights of a "Pw" patch
    float *G2 = nullptr;         // the shutter-close key (as G)
    int16_t ucol = 0, nu = 1, vrow = 0, nv = 1;
    bool has_points = false;

private:
    uint64_t serial_;   // names this patch's shape in the kept normal (a new one per key)

    // The control points at a time (one key, or both blended) into out.
    void points_at(float time, float out[3][16]) const;
    // Basis weights along u and v.
    void weights(float u, float v, float a[4], float b[4]) const;
};
