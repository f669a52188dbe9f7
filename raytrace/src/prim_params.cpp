#include "raytrace/prim_params.h"

#include <cstring>

#include "ri_common/rierror.h"
#include "ri_common/vecmath.h"

PrimParams::PrimParams(RtInt n, RtToken tokens[], RtPointer values[], const char *unknown_format)
{
    for (RtInt i = 0; i < n; i++) {
        Declaration *d = tokens[i] ? declarations().lookup(tokens[i]) : nullptr;
        if (!d) {
            ri_error(RIE_BADTOKEN, RIE_ERROR, unknown_format, tokens[i] ? tokens[i] : "(null)");
            continue;
        }
        int bytes = d->size();
        if (bytes <= 0 || !values[i]) continue;
        params.push_back(PrimParam{tokens[i], d->name(), d, static_cast<const char *>(values[i]), bytes});
    }
}

const PrimParam *PrimParams::find(RtToken name) const
{
    for (const PrimParam &p : params)
        if (p.name == name) return &p;
    return nullptr;
}

char *PieceParams::block(size_t bytes)
{
    // Whole doubles: every block starts 8-byte aligned.
    size_t n = (bytes + sizeof(double) - 1) / sizeof(double);
    blocks_.emplace_back(new double[n ? n : 1]());
    return reinterpret_cast<char *>(blocks_.back().get());
}

void PieceParams::add_range(const PrimParam &p, int first, int count)
{
    char *b = block((size_t)p.value_bytes * count);
    std::memcpy(b, p.data + (size_t)first * p.value_bytes, (size_t)p.value_bytes * count);
    tokens_.push_back(p.token);
    values_.push_back(b);
}

void PieceParams::add_indexed(const PrimParam &p, const int *indices, int count)
{
    char *b = block((size_t)p.value_bytes * count);
    for (int k = 0; k < count; k++)
        std::memcpy(b + (size_t)k * p.value_bytes, p.data + (size_t)indices[k] * p.value_bytes, p.value_bytes);
    tokens_.push_back(p.token);
    values_.push_back(b);
}

std::vector<std::vector<int>> polygon_fan(int nvertices, bool quads)
{
    std::vector<std::vector<int>> pieces;
    if (nvertices <= 4) {
        // One piece (every face of a triangle mesh comes here).
        pieces.emplace_back(nvertices > 0 ? nvertices : 0);
        for (int i = 0; i < nvertices; i++) pieces[0][i] = i;
        return pieces;
    }
    int extra = quads ? 2 : 1;   // new vertices per piece after the first edge
    for (int start = 1; start < nvertices - 1; start += extra) {
        std::vector<int> piece{0};
        for (int k = start; k <= start + extra && k < nvertices; k++) piece.push_back(k);
        pieces.push_back(piece);
    }
    return pieces;
}

std::vector<int> mesh_patch_vertices(bool bicubic, int i, int j, int nu, int nv, int ustep, int vstep)
{
    std::vector<int> idx;
    if (!bicubic) {
        int i1 = (i + 1) % nu, j1 = (j + 1) % nv;
        idx = {i + j * nu, i1 + j * nu, i + j1 * nu, i1 + j1 * nu};
        return idx;
    }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) idx.push_back((i * ustep + c) % nu + ((j * vstep + r) % nv) * nu);
    return idx;
}

std::vector<int> mesh_patch_corners(int i, int j, int nup, int nvp, bool uperiodic, bool vperiodic)
{
    int cu = uperiodic ? nup : nup + 1, cv = vperiodic ? nvp : nvp + 1;
    int i1 = (i + 1) % cu, j1 = (j + 1) % cv;
    return {i + j * cu, i1 + j * cu, i + j1 * cu, i1 + j1 * cu};
}

std::vector<float> mesh_vertex_normals(const float *P, int npoints, int nfaces, const int *nvertices,
                                       const int *vertices, bool inside_out)
{
    std::vector<float> normals(3 * (size_t)npoints, 0.0f);
    const int *face = vertices;
    for (int f = 0; f < nfaces; f++) {
        int count = nvertices[f] > 0 ? nvertices[f] : 0;
        if (count >= 3) {
            Point p0 = Point::from(P + 3 * face[0]), p1 = Point::from(P + 3 * face[1]),
                  p2 = Point::from(P + 3 * face[2]);
            Point fn = normalize(inside_out ? cross(p2 - p1, p1 - p0) : cross(p1 - p0, p2 - p1));
            for (int k = 0; k < count; k++)
                for (int a = 0; a < 3; a++) normals[3 * (size_t)face[k] + a] += fn[a];
        }
        face += count;
    }
    for (int v = 0; v < npoints; v++) {
        Point s = normalize(Point::from(&normals[3 * (size_t)v]));
        for (int a = 0; a < 3; a++) normals[3 * (size_t)v + a] = s[a];
    }
    return normals;
}
