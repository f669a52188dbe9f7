#include "raytrace/bicubic.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "raytrace/bilinear.h"
#include "raytrace/dice.h"
#include "raytrace/nurbs.h"
#include "raytrace/primitive_makers.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

namespace {

// Bytes the weights and the second key charge to vertex-data memory.
const int WEIGHT_BYTES = 64;
const int KEY_BYTES = 192;

// T x B with T = (t^3, t^2, t, 1), or its derivative (3t^2, 2t, 1, 0).
void basis_row(const float *B, float t, bool derivative, float out[4])
{
    float T[4];
    if (derivative) T[0] = 3 * t * t, T[1] = 2 * t, T[2] = 1, T[3] = 0;
    else T[0] = t * t * t, T[1] = t * t, T[2] = t, T[3] = 1;
    for (int k = 0; k < 4; k++) out[k] = T[0] * B[k] + T[1] * B[4 + k] + T[2] * B[8 + k] + T[3] * B[12 + k];
}

// sum over rows r and columns c of b[r] a[c] m[4r + c].
float blend(const float a[4], const float b[4], const float *m)
{
    float s = 0;
    for (int r = 0; r < 4; r++)
        s += b[r] * (a[0] * m[4 * r] + a[1] * m[4 * r + 1] + a[2] * m[4 * r + 2] + a[3] * m[4 * r + 3]);
    return s;
}

std::atomic<uint64_t> next_serial{1};

// The last normal a thread evaluated on a patch.
struct KeptNormal {
    uint64_t serial = 0;
    float u = 0, v = 0, time = 0;
    float open = 0, close = 0;   // the shutter the keys were blended over
    Point N;
};
thread_local KeptNormal kept_normal;

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

float *copy_floats(const float *src, int n)
{
    if (!src) return nullptr;
    float *d = new float[n];
    std::memcpy(d, src, n * sizeof(float));
    return d;
}

} // namespace

GBicubicPatch::GBicubicPatch(RtInt n, RtToken tokens[], RtPointer values[], int uc, int un, int vr, int vn)
    : GSurface(GP_BICUBIC), ucol((int16_t)uc), nu((int16_t)(un > 0 ? un : 1)), vrow((int16_t)vr),
      nv((int16_t)(vn > 0 ? vn : 1)), serial_(next_serial++)
{
    build_vertex_var_list(vertex_vars, 16, 4, 1, POSITION_ANY, n, tokens, values);
    if (float *p = take_position_values(vertex_vars, tok::P, 48)) {
        for (int i = 0; i < 16; i++)
            for (int k = 0; k < 3; k++) G[k][i] = p[3 * i + k];
        free(p);
        has_points = true;
    } else if (float *pw = take_position_values(vertex_vars, tok::Pw, 64)) {
        w = new float[16];
        vvdata_memory().add(WEIGHT_BYTES);
        for (int i = 0; i < 16; i++) {
            for (int k = 0; k < 3; k++) G[k][i] = pw[4 * i + k];
            w[i] = pw[4 * i + 3];
        }
        free(pw);
        has_points = true;
    } else if (float *pz = take_position_values(vertex_vars, tok::Pz, 16)) {
        int us = attrs.is_set() ? attrs->ustep : 3, vs = attrs.is_set() ? attrs->vstep : 3;
        float ud = (float)(us * (nu - 1) + 3), vd = (float)(vs * (nv - 1) + 3);
        for (int h = 0; h < 4; h++)
            for (int l = 0; l < 4; l++) {
                G[0][4 * h + l] = (l + ucol * us) / ud;
                G[1][4 * h + l] = (h + vrow * vs) / vd;
                G[2][4 * h + l] = pz[4 * h + l];
            }
        free(pz);
        has_points = true;
    }
    flags |= GPF_BOUND_TEST;
    bound(object_bound);
}

GBicubicPatch::GBicubicPatch(const GBicubicPatch &o)
    : GSurface(o), w(copy_floats(o.w, 16)), G2(copy_floats(o.G2, 48)), ucol(o.ucol), nu(o.nu), vrow(o.vrow),
      nv(o.nv), has_points(o.has_points), serial_(next_serial++)
{
    std::memcpy(G, o.G, sizeof G);
    if (w) vvdata_memory().add(WEIGHT_BYTES);
    if (G2) vvdata_memory().add(KEY_BYTES);
}

GBicubicPatch::~GBicubicPatch()
{
    if (w) vvdata_memory().subtract(WEIGHT_BYTES);
    if (G2) vvdata_memory().subtract(KEY_BYTES);
    delete[] w;
    delete[] G2;
}

void GBicubicPatch::set_motion_key(const GBicubicPatch &other)
{
    if (!G2) {
        G2 = new float[48];
        vvdata_memory().add(KEY_BYTES);
    }
    std::memcpy(G2, other.G, sizeof G);
    flags |= GPF_MOVING_CVS;
    serial_ = next_serial++;
}

bool GBicubicPatch::well_formed() const
{
    if (!has_points) return false;
    for (const float *key : {(const float *)&G[0][0], (const float *)G2}) {
        if (!key) continue;
        for (int i = 0; i < 16; i++) {
            float d = w ? w[i] : 1;
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(key[16 * k + i] / d)) return false;
        }
    }
    Bound b = EMPTY_BOUND;
    for (int i = 0; i < 16; i++) b.extend(Point(G[0][i], G[1][i], G[2][i]));
    return b.diagonal() > 0;
}

void GBicubicPatch::points_at(float time, float out[3][16]) const
{
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
    if (!G2 || time <= open) {
        std::memcpy(out, G, sizeof G);
    } else if (time >= close) {
        std::memcpy(out, G2, sizeof G);
    } else {
        float m = (time - open) / (close - open);
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 16; i++) out[k][i] = (1 - m) * G[k][i] + m * G2[16 * k + i];
    }
}

void GBicubicPatch::weights(float u, float v, float a[4], float b[4]) const
{
    const float *ub = attrs.is_set() && attrs->ubasis ? attrs->ubasis : &RiBezierBasis[0][0];
    const float *vb = attrs.is_set() && attrs->vbasis ? attrs->vbasis : &RiBezierBasis[0][0];
    basis_row(ub, u, false, a);
    basis_row(vb, v, false, b);
}

void GBicubicPatch::eval_point(float u, float v, float time, Point &P)
{
    float g[3][16], a[4], b[4];
    points_at(time, g);
    weights(u, v, a, b);
    for (int k = 0; k < 3; k++) P[k] = blend(a, b, g[k]);
    if (w) {
        float d = blend(a, b, w);
        if (d != 0) P = P / d;
    }
}

void GBicubicPatch::eval_grid(int nu, int nv, float time, Point *out)
{
    const float *ub = attrs.is_set() && attrs->ubasis ? attrs->ubasis : &RiBezierBasis[0][0];
    const float *vb = attrs.is_set() && attrs->vbasis ? attrs->vbasis : &RiBezierBasis[0][0];
    float g[3][16];
    points_at(time, g);
    std::vector<float> a(4 * (size_t)(nu + 1));
    for (int j = 0; j <= nu; j++) basis_row(ub, (float)j / nu, false, &a[4 * j]);
    for (int i = 0; i <= nv; i++) {
        float b[4];
        basis_row(vb, (float)i / nv, false, b);
        for (int j = 0; j <= nu; j++) {
            Point &P = out[j + (nu + 1) * i];
            for (int k = 0; k < 3; k++) P[k] = blend(&a[4 * j], b, g[k]);
            if (w) {
                float d = blend(&a[4 * j], b, w);
                if (d != 0) P = P / d;
            }
        }
    }
}

void GBicubicPatch::eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv)
{
    if (!w) {
        const float *ub = attrs.is_set() && attrs->ubasis ? attrs->ubasis : &RiBezierBasis[0][0];
        const float *vb = attrs.is_set() && attrs->vbasis ? attrs->vbasis : &RiBezierBasis[0][0];
        float g[3][16], a[4], b[4], da[4], db[4];
        points_at(time, g);
        basis_row(ub, u, false, a);
        basis_row(vb, v, false, b);
        basis_row(ub, u, true, da);
        basis_row(vb, v, true, db);
        for (int k = 0; k < 3; k++) {
            dPdu[k] = blend(da, b, g[k]);
            dPdv[k] = blend(a, db, g[k]);
        }
        if (dot(dPdu, dPdu) >= 1e-10f && dot(dPdv, dPdv) >= 1e-10f) return;
    }
    GSurface::eval_derivs(u, v, time, dPdu, dPdv);
}

void GBicubicPatch::eval_normal(float u, float v, float time, Point &N)
{
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
    KeptNormal &k = kept_normal;
    if (k.serial == serial_ && same_bits(k.u, u) && same_bits(k.v, v) && same_bits(k.time, time) &&
        same_bits(k.open, open) && same_bits(k.close, close)) {
        N = k.N;
        return;
    }
    GSurface::eval_normal(u, v, time, N);
    k.serial = serial_;
    k.u = u, k.v = v, k.time = time;
    k.open = open, k.close = close;
    k.N = N;
}

void GBicubicPatch::bicubic_eval_var(float u, float v, const float *data, int n, int stride, float *out) const
{
    float a[4], b[4];
    weights(u, v, a, b);
    for (int c = 0; c < n; c++) {
        float s = 0;
        for (int r = 0; r < 4; r++)
            for (int col = 0; col < 4; col++) s += b[r] * a[col] * data[(4 * r + col) * stride + c];
        out[c] = s;
    }
}

void GBicubicPatch::vertex_var_value(const VVData *vv, int words, float u, float v, float *out)
{
    if (vv->detail == DETAIL_VERTEX && vv->size >= 16 * words * (int)sizeof(float)) {
        bicubic_eval_var(u, v, static_cast<const float *>(vv->data), words, words, out);
        return;
    }
    GSurface::vertex_var_value(vv, words, u, v, out);
}

void GBicubicPatch::bound(Bound &b)
{
    if (subpatch_grid && subpatch_grid->built()) {
        b = subpatch_grid->bound;
        return;
    }
    b = EMPTY_BOUND;
    Point first;
    float reach = 0;
    for (const float *key : {(const float *)&G[0][0], (const float *)G2}) {
        if (!key) continue;
        for (int i = 0; i < 16; i++) {
            Point p(key[i], key[16 + i], key[32 + i]);
            if (w && w[i] != 0) p = p / w[i];
            if (key == &G[0][0] && i == 0) first = p;
            b.extend(p);
            reach = std::fmax(reach, (p - first).length());
        }
    }
    b.expand(0.01f * reach);
}

IntersectionList GBicubicPatch::intersect(const Ray &ray)
{
    IntersectionList l = intersect_grid(this, ray);
    RI_ASSERT(subpatch_grid && subpatch_grid->built(), "bicubic");
    return l;
}

void GBicubicPatch::fill_hit(Intersection *sv)
{
    sv->u = (ucol + sv->gu) / nu;
    sv->v = (vrow + sv->gv) / nv;
    eval_normal(sv->gu, sv->gv, sv->time, sv->Ng);
    GSurface::fill_hit(sv);
}

GPrimitive *make_bicubic_patch(RtInt n, RtToken tokens[], RtPointer values[], int ucol, int nu, int vrow, int nv)
{
    GBicubicPatch *p = new GBicubicPatch(n, tokens, values, ucol, nu, vrow, nv);
    if (!p->well_formed()) {
        // A missing position was reported with the parameters.
        if (p->has_points) ri_error(RIE_RANGE, RIE_WARNING, "Degenerate bicubic primitive ignored");
        delete p;
        return nullptr;
    }
    return p;
}

bool set_motion_key(GPrimitive *patch, GPrimitive *second)
{
    if (!patch || !second || patch->type != second->type) return false;
    if (patch->type == GP_BICUBIC) {
        static_cast<GBicubicPatch *>(patch)->set_motion_key(*static_cast<GBicubicPatch *>(second));
        return true;
    }
    if (patch->type == GP_NURB) return set_nurb_motion_key(patch, second);
    return false;
}
