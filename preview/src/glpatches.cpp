// Bilinear and bicubic patches, patch meshes, NURBS patches and curves:
// each is evaluated on a grid (or along a line) and drawn.
#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "glparams.h"
#include "preview/glrenderer.h"
#include "preview/tessellate.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"

namespace {

// A homogeneous control point.
struct HPoint {
    float x = 0, y = 0, z = 0, w = 1;
};

void accumulate(HPoint &sum, const HPoint &p, float s)
{
    sum.x += p.x * s;
    sum.y += p.y * s;
    sum.z += p.z * s;
    sum.w += p.w * s;
}

Point projected(const HPoint &p)
{
    float w = p.w != 0 ? p.w : 1;
    return Point(p.x / w, p.y / w, p.z / w);
}

// The positions of a call of cols x rows control points: "P", "Pw" (divided
// by w when evaluated) or "Pz" (heights over a regular lattice spanning the
// unit square, one column or row more when periodic). False when none is given.
bool gather_positions(RtInt n, RtToken tokens[], RtPointer values[], int cols, int rows, bool uperiodic,
                      bool vperiodic, std::vector<HPoint> &out)
{
    out.assign(size_t(cols) * rows, HPoint());
    if (const float *p = find_param(n, tokens, values, "P").floats()) {
        for (size_t k = 0; k < out.size(); k++) out[k] = HPoint{p[3 * k], p[3 * k + 1], p[3 * k + 2], 1};
        return true;
    }
    if (const float *p = find_param(n, tokens, values, "Pw").floats()) {
        for (size_t k = 0; k < out.size(); k++) out[k] = HPoint{p[4 * k], p[4 * k + 1], p[4 * k + 2], p[4 * k + 3]};
        return true;
    }
    if (const float *p = find_param(n, tokens, values, "Pz").floats()) {
        int xdiv = uperiodic ? cols : cols - 1, ydiv = vperiodic ? rows : rows - 1;
        for (int j = 0; j < rows; j++)
            for (int i = 0; i < cols; i++)
                out[size_t(j) * cols + i] = HPoint{xdiv > 0 ? float(i) / xdiv : 0, ydiv > 0 ? float(j) / ydiv : 0,
                                                   p[j * cols + i], 1};
        return true;
    }
    return false;
}

// Per-vertex normals of the call, or null.
const float *vertex_normals(RtInt n, RtToken tokens[], RtPointer values[])
{
    GlParam N = find_param(n, tokens, values, "N");
    if (!N.floats() || N.decl->words() != 3) return nullptr;
    if (N.decl->detail != DETAIL_VARYING && N.decl->detail != DETAIL_VERTEX) return nullptr;
    return N.floats();
}

// One bilinear patch of corners c (u fastest) as a 1 x 1 grid.
void draw_bilinear(GlRenderer &r, const HPoint c[4], const Point *normals)
{
    r.grid[0][0] = projected(c[0]);
    r.grid[0][1] = projected(c[1]);
    r.grid[1][0] = projected(c[2]);
    r.grid[1][1] = projected(c[3]);
    if (normals) {
        r.normals[0][0] = normals[0];
        r.normals[0][1] = normals[1];
        r.normals[1][0] = normals[2];
        r.normals[1][1] = normals[3];
        // Normals given are drawn as they are.
        r.draw_grid(1, 1, (r.attributes->orientation & 1) != 0, false);
    } else {
        r.draw_grid(1, 1, false, true);
    }
}

// Point and dPdu x dPdv of a bicubic patch of control points g (u fastest).
void bicubic_at(const GlRenderer &r, const HPoint g[16], float u, float v, Point &P, Point &N)
{
    float wu[4], wv[4], du[4], dv[4];
    basis_weights(r.attributes->ubasis, u, false, wu);
    basis_weights(r.attributes->vbasis, v, false, wv);
    basis_weights(r.attributes->ubasis, u, true, du);
    basis_weights(r.attributes->vbasis, v, true, dv);
    HPoint s, su, sv;
    s.w = su.w = sv.w = 0;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++) {
            const HPoint &c = g[j * 4 + i];
            accumulate(s, c, wu[i] * wv[j]);
            accumulate(su, c, du[i] * wv[j]);
            accumulate(sv, c, wu[i] * dv[j]);
        }
    P = projected(s);
    float w = s.w != 0 ? s.w : 1;
    // The derivatives of the projected point (quotient rule).
    Point dPdu = (Point(su.x, su.y, su.z) - P * su.w) / w;
    Point dPdv = (Point(sv.x, sv.y, sv.z) - P * sv.w) / w;
    N = cross(dPdu, dPdv);
}

// One bicubic patch as an n x n grid.
void draw_bicubic(GlRenderer &r, const HPoint g[16], int n)
{
    for (int i = 0; i <= n; i++) {
        for (int j = 0; j <= n; j++) {
            float u = float(j) / n, v = float(i) / n;
            bicubic_at(r, g, u, v, r.grid[i][j], r.normals[i][j]);
            // A collapsed edge has no normal: take it from just inside.
            if (dot(r.normals[i][j], r.normals[i][j]) < 1e-24f) {
                Point unused;
                bicubic_at(r, g, u < 0.5f ? u + 1e-3f : u - 1e-3f, v < 0.5f ? v + 1e-3f : v - 1e-3f, unused,
                           r.normals[i][j]);
            }
        }
    }
    r.draw_grid(n, n, false, false);
}

int bicubic_steps(const GlRenderer &r)
{
    int n = r.attributes->udivisions ? r.attributes->udivisions : r.tessellation / 2;
    return n < 1 ? 1 : n > GRID_MAX_QUADS ? GRID_MAX_QUADS : n;
}

} // namespace

void GlRenderer::add_bilinear_patch(RtFloat, RtFloat, RtFloat, RtFloat, RtInt n, RtToken tokens[], RtPointer values[])
{
    std::vector<HPoint> c;
    if (skip_primitive() || !gather_positions(n, tokens, values, 2, 2, false, false, c)) return;
    if (!begin_drawing(n, tokens, values)) return;
    const float *N = vertex_normals(n, tokens, values);
    Point normals[4];
    for (int k = 0; N && k < 4; k++) normals[k] = Point::from(N + 3 * k);
    draw_bilinear(*this, c.data(), N ? normals : nullptr);
    end_primitive();
}

void GlRenderer::add_bicubic_patch(RtFloat, RtFloat, RtFloat, RtFloat, RtInt n, RtToken tokens[], RtPointer values[])
{
    std::vector<HPoint> g;
    if (skip_primitive() || !gather_positions(n, tokens, values, 4, 4, false, false, g)) return;
    if (!begin_drawing(n, tokens, values)) return;
    draw_bicubic(*this, g.data(), bicubic_steps(*this));
    end_primitive();
}

void GlRenderer::add_patch_mesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n,
                                RtToken tokens[], RtPointer values[])
{
    bool bicubic = is(type, "bicubic");
    if (!bicubic && !is(type, "bilinear")) return;
    bool uper = is(uwrap, "periodic"), vper = is(vwrap, "periodic");
    if (nu < 1 || nv < 1) return;
    std::vector<HPoint> ctrl;
    if (skip_primitive() || !gather_positions(n, tokens, values, nu, nv, uper, vper, ctrl)) return;
    int ustep = attributes->ustep, vstep = attributes->vstep;
    int nup = mesh_patch_count(bicubic, uper, nu, ustep), nvp = mesh_patch_count(bicubic, vper, nv, vstep);
    if (nup < 1 || nvp < 1) return;
    if (!begin_drawing(n, tokens, values)) return;
    const float *N = bicubic ? nullptr : vertex_normals(n, tokens, values);
    int steps = bicubic_steps(*this);
    for (int pj = 0; pj < nvp; pj++) {
        for (int pi = 0; pi < nup; pi++) {
            if (bicubic) {
                HPoint g[16];
                for (int j = 0; j < 4; j++)
                    for (int i = 0; i < 4; i++)
                        g[j * 4 + i] = ctrl[size_t((pj * vstep + j) % nv) * nu + (pi * ustep + i) % nu];
                draw_bicubic(*this, g, steps);
            } else {
                HPoint c[4];
                Point normals[4];
                for (int k = 0; k < 4; k++) {
                    size_t index = size_t((pj + k / 2) % nv) * nu + (pi + k % 2) % nu;
                    c[k] = ctrl[index];
                    if (N) normals[k] = Point::from(N + 3 * index);
                }
                draw_bilinear(*this, c, N ? normals : nullptr);
            }
        }
    }
    end_primitive();
}

void GlRenderer::add_nu_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv,
                              RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                              RtPointer values[])
{
    if (nu < 1 || nv < 1 || uorder < 1 || vorder < 1 || uorder > nu || vorder > nv || !uknot || !vknot) return;
    std::vector<HPoint> ctrl;
    if (skip_primitive() || !gather_positions(n, tokens, values, nu, nv, false, false, ctrl)) return;
    bool corrected = false;
    auto clamp_range = [&](float &lo, float &hi, const float *knots, int order, int count) {
        if (lo < knots[order - 1]) lo = knots[order - 1], corrected = true;
        if (hi > knots[count]) hi = knots[count], corrected = true;
    };
    clamp_range(umin, umax, uknot, uorder, nu);
    clamp_range(vmin, vmax, vknot, vorder, nv);
    if (corrected) ri_error(RIE_CONSISTENCY, RIE_WARNING, "NuPatch min/max bad range (corrected)");
    if (!begin_drawing(n, tokens, values)) return;

    int ku, kv;
    if (attributes->udivisions) {
        grid_size(1, 1, ku, kv);
    } else {
        ku = nurbs_steps(nurbs_span_count(uorder, uknot, nu, umin, umax), options.relative_detail);
        kv = nurbs_steps(nurbs_span_count(vorder, vknot, nv, vmin, vmax), options.relative_detail);
    }
    std::vector<double> bu(size_t(nu) * (ku + 1)), bv(nv);
    for (int j = 0; j <= ku; j++) nurbs_basis(uorder, uknot, nu, umin + (umax - umin) * j / ku, &bu[size_t(j) * nu]);
    for (int i = 0; i <= kv; i++) {
        nurbs_basis(vorder, vknot, nv, vmin + (vmax - vmin) * i / kv, bv.data());
        for (int j = 0; j <= ku; j++) {
            const double *wu = &bu[size_t(j) * nu];
            double x = 0, y = 0, z = 0, w = 0;
            for (int b = 0; b < nv; b++) {
                if (bv[b] == 0) continue;
                for (int a = 0; a < nu; a++) {
                    double s = wu[a] * bv[b];
                    if (s == 0) continue;
                    const HPoint &c = ctrl[size_t(b) * nu + a];
                    x += c.x * s;
                    y += c.y * s;
                    z += c.z * s;
                    w += c.w * s;
                }
            }
            if (w == 0) w = 1;
            grid[i][j] = Point(float(x / w), float(y / w), float(z / w));
        }
    }
    draw_grid(ku, kv, false, true);
    end_primitive();
}

void GlRenderer::add_curves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n, RtToken tokens[],
                            RtPointer values[])
{
    bool cubic = is(type, "cubic");
    if (!cubic && !is(type, "linear")) {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Curves expects \"linear\" or \"cubic\" degree, not \"%s\"", type ? type : "");
        return;
    }
    bool periodic = is(wrap, "periodic");
    if (!periodic && !is(wrap, "nonperiodic")) {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Curves expects \"periodic\" or \"nonperiodic\" wrap, not \"%s\"",
                 wrap ? wrap : "");
        return;
    }
    if (ncurves < 1 || !nvertices) return;
    int total = 0;
    for (RtInt c = 0; c < ncurves; c++) total += nvertices[c] > 0 ? nvertices[c] : 0;
    std::vector<HPoint> pts;
    if (skip_primitive() || !gather_positions(n, tokens, values, total, 1, false, false, pts)) return;
    if (!begin_drawing(n, tokens, values)) return;

    int every = 1;
    if (ncurves > options.curvethinthreshold && options.curvethinning >= 2) every = options.curvethinning;
    int steps = attributes->vdivisions ? attributes->vdivisions : tessellation;
    steps = steps < 1 ? 1 : steps > 32 ? 32 : steps;
    int vstep = attributes->vstep;
    // Lines are drawn in their colour: they have no normals to light them by.
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    int base = 0;
    for (RtInt c = 0; c < ncurves; base += nvertices[c] > 0 ? nvertices[c] : 0, c++) {
        int count = nvertices[c];
        if (c % every != 0 || count < 1) continue;
        const HPoint *v = pts.data() + base;
        if (!cubic) {
            glBegin(periodic ? GL_LINE_LOOP : GL_LINE_STRIP);
            for (int k = 0; k < count; k++) glVertex3fv(projected(v[k]).data());
            glEnd();
            continue;
        }
        int spans = cubic_curve_spans(periodic, count, vstep);
        for (int s = 0; s < spans; s++) {
            glBegin(GL_LINE_STRIP);
            for (int k = 0; k <= steps; k++) {
                float w[4];
                basis_weights(attributes->vbasis, float(k) / steps, false, w);
                HPoint sum;
                sum.w = 0;
                for (int q = 0; q < 4; q++) accumulate(sum, v[(s * vstep + q) % count], w[q]);
                glVertex3fv(projected(sum).data());
            }
            glEnd();
        }
    }
    glPopAttrib();
    end_primitive();
}
