// Polygons, polygon meshes, points, subdivision control meshes and blobbies.
#include <GL/gl.h>

#include <vector>

#include "glparams.h"
#include "preview/glrenderer.h"
#include "ri_common/rierror.h"

namespace {

// Per-vertex values of three floats (varying or vertex storage), or null.
const float *vertex_values(RtInt n, RtToken tokens[], RtPointer values[], const char *name)
{
    GlParam p = find_param(n, tokens, values, name);
    if (!p.floats() || p.decl->words() != 3) return nullptr;
    if (p.decl->detail != DETAIL_VARYING && p.decl->detail != DETAIL_VERTEX) return nullptr;
    return p.floats();
}

const float *positions(RtInt n, RtToken tokens[], RtPointer values[])
{
    GlParam p = find_param(n, tokens, values, "P");
    return p.decl && p.decl->words() == 3 ? p.floats() : nullptr;
}

void report_no_p()
{
    ri_error(RIE_MISSINGDATA, RIE_ERROR, "No \"P\" list found");
}

// The outer loop of every polygon of a general mesh: its vertex count and
// indices. Loops past the first are skipped.
void outer_loops(RtInt npolys, const RtInt nloops[], const RtInt nverts[], const RtInt verts[],
                 std::vector<int> &counts, std::vector<int> &indices)
{
    int loop = 0, base = 0;
    for (RtInt p = 0; p < npolys; p++) {
        int loops = nloops[p] > 0 ? nloops[p] : 0;
        for (int l = 0; l < loops; l++, loop++) {
            int count = nverts[loop] > 0 ? nverts[loop] : 0;
            if (l == 0) {
                counts.push_back(count);
                indices.insert(indices.end(), verts + base, verts + base + count);
            }
            base += count;
        }
    }
}

} // namespace

void GlRenderer::add_polygon(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (skip_primitive()) return;
    const float *P = positions(n, tokens, values);
    if (!P) return report_no_p();
    if (nvertices < 1 || !begin_drawing(n, tokens, values)) return;
    std::vector<int> verts(nvertices);
    for (int k = 0; k < nvertices; k++) verts[k] = k;
    int count = nvertices;
    draw_polygons(1, &count, verts.data(), P, vertex_values(n, tokens, values, "N"),
                  vertex_values(n, tokens, values, "Cs"));
    end_primitive();
}

void GlRenderer::add_general_polygon(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer values[])
{
    if (skip_primitive()) return;
    const float *P = positions(n, tokens, values);
    if (!P) return report_no_p();
    if (nloops < 1 || !nverts || nverts[0] < 1 || !begin_drawing(n, tokens, values)) return;
    int count = nverts[0];
    std::vector<int> verts(count);
    for (int k = 0; k < count; k++) verts[k] = k;
    draw_polygons(1, &count, verts.data(), P, vertex_values(n, tokens, values, "N"),
                  vertex_values(n, tokens, values, "Cs"));
    end_primitive();
}

void GlRenderer::add_points_polygons(RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[],
                                     RtPointer values[])
{
    if (skip_primitive()) return;
    const float *P = positions(n, tokens, values);
    if (!P) return report_no_p();
    if (npolys < 1 || !nverts || !verts || !begin_drawing(n, tokens, values)) return;
    draw_polygons(npolys, nverts, verts, P, vertex_values(n, tokens, values, "N"),
                  vertex_values(n, tokens, values, "Cs"));
    end_primitive();
}

void GlRenderer::add_points_general_polygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], RtInt n,
                                             RtToken tokens[], RtPointer values[])
{
    if (skip_primitive()) return;
    const float *P = positions(n, tokens, values);
    if (!P) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "\"P\" parameter needed.");
        return;
    }
    if (npolys < 1 || !nloops || !nverts || !verts) return;
    std::vector<int> counts, indices;
    outer_loops(npolys, nloops, nverts, verts, counts, indices);
    if (counts.empty() || !begin_drawing(n, tokens, values)) return;
    draw_polygons(int(counts.size()), counts.data(), indices.data(), P, vertex_values(n, tokens, values, "N"),
                  vertex_values(n, tokens, values, "Cs"));
    end_primitive();
}

void GlRenderer::add_points(RtInt npoints, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (skip_primitive()) return;
    const float *P = positions(n, tokens, values);
    if (!P) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "No \"P\" list found in RiPoints");
        return;
    }
    if (npoints < 1 || !begin_drawing(n, tokens, values)) return;
    GlParam width = find_param(n, tokens, values, "width");
    GlParam constant = find_param(n, tokens, values, "constantwidth");
    const float *widths = width.floats();
    // One width per point only when the width varies.
    if (widths && width.decl->detail != DETAIL_VARYING && width.decl->detail != DETAIL_VERTEX) {
        if (!constant) constant = width;
        widths = nullptr;
    }
    float size = constant ? constant.f() : 1;
    auto point_size = [](float s) { return s > 0 ? s : 1.0f; };
    // Points are drawn in their colour: they have no normals to light them by.
    glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT);
    glDisable(GL_LIGHTING);
    if (widths) {
        for (RtInt k = 0; k < npoints; k++) {
            glPointSize(point_size(widths[k]));
            glBegin(GL_POINTS);
            glVertex3fv(P + 3 * k);
            glEnd();
        }
    } else {
        glPointSize(point_size(size));
        glBegin(GL_POINTS);
        for (RtInt k = 0; k < npoints; k++) glVertex3fv(P + 3 * k);
        glEnd();
    }
    glPopAttrib();
    end_primitive();
}

void GlRenderer::add_subdivision_mesh(RtToken, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt, RtToken[],
                                      RtInt[], RtInt[], RtFloat[], RtInt n, RtToken tokens[], RtPointer values[])
{
    if (skip_primitive()) return;
    const float *P = positions(n, tokens, values);
    if (!P) return report_no_p();
    if (nfaces < 1 || !nvertices || !vertices || !begin_drawing(n, tokens, values)) return;
    draw_polygons(nfaces, nvertices, vertices, P, nullptr, vertex_values(n, tokens, values, "Cs"));
    end_primitive();
}

void GlRenderer::add_blobby(RtInt, RtInt, RtInt[], RtInt, RtFloat[], RtInt, RtToken[], RtInt, RtToken[], RtPointer[])
{
    if (!skip_primitive()) ri_error_once(RIE_INCAPABLE, RIE_INFO, "Blobby primitive not currently supported");
}
