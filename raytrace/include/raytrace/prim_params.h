// The parameter list of a primitive call taken apart for scene assembly:
// every token with its declaration, and new lists gathered from it for the
// pieces a call is split into (polygon fans, mesh faces, patches of a mesh).
#pragma once
#include <memory>
#include <vector>

#include "ri/declarations.h"
#include "ri_common/ri.h"

// One parameter of a call.
struct PrimParam {
    RtToken token;         // as given (may hold an inline declaration)
    RtToken name;          // the bare name, interned
    Declaration *decl;
    const char *data;
    int value_bytes;       // one value (a string is a pointer)
};

class PrimParams {
public:
    // Looks every token up; an undeclared one is reported with unknown_format
    // (error 41, severity 2, "%s" the token) and dropped.
    PrimParams(RtInt n, RtToken tokens[], RtPointer values[], const char *unknown_format);
    // The parameter of a bare name, or null.
    const PrimParam *find(RtToken name) const;
    std::vector<PrimParam> params;
};

// A parameter list made for one piece; owns its values, each block aligned
// for any value type (strings are pointers).
class PieceParams {
public:
    // Values first .. first + count - 1 of p.
    void add_range(const PrimParam &p, int first, int count);
    // The values of p at the given indices, in order.
    void add_indexed(const PrimParam &p, const int *indices, int count);
    RtInt n() const { return (RtInt)tokens_.size(); }
    RtToken *tokens() { return tokens_.data(); }
    RtPointer *values() { return values_.data(); }

private:
    char *block(size_t bytes);
    std::vector<RtToken> tokens_;
    std::vector<RtPointer> values_;
    std::vector<std::unique_ptr<double[]>> blocks_;
};

// The pieces a polygon of n vertices is split into: a fan around vertex 0 of
// quadrilaterals (0 1 2 3, 0 3 4 5, ...) or, without quads, of triangles; the
// last piece keeps what is left. A polygon of up to four vertices is one piece.
std::vector<std::vector<int>> polygon_fan(int nvertices, bool quads);

// The corner or control-point indices of patch (i, j) of a patch mesh of
// nu x nv vertices: the four corners (i, i + 1 by j, j + 1) for bilinear
// patches, the 4 x 4 control points from column i x ustep and row j x vstep
// for bicubic ones, wrapping modulo nu and nv; u varies fastest.
std::vector<int> mesh_patch_vertices(bool bicubic, int i, int j, int nu, int nv, int ustep, int vstep);
// The four varying (corner) indices of patch (i, j) of a mesh with nup x nvp
// patches; the corner grid is one wider than the patches unless periodic.
std::vector<int> mesh_patch_corners(int i, int j, int nup, int nvp, bool uperiodic, bool vperiodic);

// Vertex normals of a mesh of faces: per vertex the normalised sum of the unit
// normals of the faces around it, each the cross product of the face's first
// two edges (in reverse order for an inside-out orientation). 3 floats each.
std::vector<float> mesh_vertex_normals(const float *P, int npoints, int nfaces, const int *nvertices,
                                       const int *vertices, bool inside_out);
