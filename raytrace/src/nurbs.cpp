#include "raytrace/nurbs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "raytrace/dice.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/trimcurve.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

// ---- shared knots and points ---------------------------------------------

StatCounter &nurbs_memory()
{
    static StatCounter c;
    return c;
}

NurbsData::NurbsData(int nu_, int uo, const float *uk, int nv_, int vo, const float *vk, const float *pts, int kind)
    : nu((int16_t)nu_), uorder((int16_t)uo), nv((int16_t)nv_), vorder((int16_t)vo)
{
    int n = nu * nv;
    bool rational = false;
    if (kind == 4)
        for (int i = 0; i < n && !rational; i++) rational = pts[4 * i + 3] != 1;
    block.resize((size_t)(nu + uorder) + (nv + vorder) + 3 * n + (rational ? n : 0));
    place(rational, false);
    std::copy(uk, uk + nu + uorder, uknot);
    std::copy(vk, vk + nv + vorder, vknot);
    for (int i = 0; i < n; i++) {
        float *p = points + 3 * i;
        if (kind == 4) {
            p[0] = pts[4 * i], p[1] = pts[4 * i + 1], p[2] = pts[4 * i + 2];
            if (rational) weights[i] = pts[4 * i + 3];
        } else if (kind == 1) {
            int j = i % nu, r = i / nu;
            p[0] = nu > 1 ? (float)j / (nu - 1) : 0;
            p[1] = nv > 1 ? (float)r / (nv - 1) : 0;
            p[2] = pts[i];
        } else {
            p[0] = pts[3 * i], p[1] = pts[3 * i + 1], p[2] = pts[3 * i + 2];
        }
    }
    charged_ = 4 * (int64_t)block.size() + 36;
    nurbs_memory().add(charged_);
}

NurbsData::~NurbsData()
{
    nurbs_memory().subtract(charged_);
}

void NurbsData::place(bool rational, bool moving)
{
    int n = nu * nv;
    float *b = block.data();
    uknot = b;
    vknot = uknot + nu + uorder;
    points = vknot + nv + vorder;
    weights = rational ? points + 3 * n : nullptr;
    points2 = moving ? points + 3 * n + (rational ? n : 0) : nullptr;
}

void NurbsData::add_key(const NurbsData &other)
{
    int n = nu * nv;
    bool rational = weights != nullptr;
    block.resize((size_t)(nu + uorder) + (nv + vorder) + 3 * n + (rational ? n : 0) + 3 * n);
    place(rational, true);
    std::copy(other.points, other.points + 3 * n, points2);
    nurbs_memory().add(12 * (int64_t)n);
    charged_ += 12 * (int64_t)n;
}

namespace {

// Spans and basis values of one direction at a knot-space parameter.
struct Basis1 {
    int first;   // index of the first control point with weight
    float b[MAX_SPLINE_ORDER];
    float d[MAX_SPLINE_ORDER];
};

void basis_at(float t, const float *knots, int n, int order, bool derivs, Basis1 &out)
{
    int span = find_knot_span(t, knots, n - 1, order - 1);
    out.first = span - order + 1;
    bspline_basis(t, span, knots, order, out.b);
    if (derivs) bspline_basis_derivs(t, span, knots, order, out.d);
}

} // namespace

void NurbsData::eval(float s, float t, const float *data, int width, bool rational, float *out) const
{
    Basis1 bu, bv;
    basis_at(s, uknot, nu, uorder, false, bu);
    basis_at(t, vknot, nv, vorder, false, bv);
    float sum[64] = {};
    float wsum = 0;
    width = std::min(width, 64);
    for (int r = 0; r < vorder; r++)
        for (int c = 0; c < uorder; c++) {
            int i = (bv.first + r) * nu + bu.first + c;
            float f = bv.b[r] * bu.b[c];
            float w = weights ? weights[i] : 1;
            wsum += f * w;
            if (rational) f *= w;
            for (int k = 0; k < width; k++) sum[k] += f * data[width * i + k];
        }
    for (int k = 0; k < width; k++) out[k] = wsum != 0 ? sum[k] / wsum : sum[k];
}

void NurbsData::eval_derivs(float s, float t, const float *key, float sum[4], float ds[4], float dt[4]) const
{
    Basis1 bu, bv;
    basis_at(s, uknot, nu, uorder, true, bu);
    basis_at(t, vknot, nv, vorder, true, bv);
    for (int k = 0; k < 4; k++) sum[k] = ds[k] = dt[k] = 0;
    for (int r = 0; r < vorder; r++)
        for (int c = 0; c < uorder; c++) {
            int i = (bv.first + r) * nu + bu.first + c;
            float p[4] = {key[3 * i], key[3 * i + 1], key[3 * i + 2], weights ? weights[i] : 1};
            float f = bv.b[r] * bu.b[c], fs = bv.b[r] * bu.d[c], ft = bv.d[r] * bu.b[c];
            for (int k = 0; k < 4; k++) {
                sum[k] += f * p[k];
                ds[k] += fs * p[k];
                dt[k] += ft * p[k];
            }
        }
}

// ---- the patch -----------------------------------------------------------

GNurbPatch::GNurbPatch(int nu, int uorder, const float *uknot, float u0, float u1, int nv, int vorder,
                       const float *vknot, float v0, float v1, const float *points, int kind)
    : GSurface(GP_NURB), umin(u0), umax(u1), vmin(v0), vmax(v1)
{
    data.set(new NurbsData(nu, uorder, uknot, nv, vorder, vknot, points, kind));
    bool corrected = false;
    auto clamp = [&](float &lo, float &hi, float first, float last) {
        if (lo < first) lo = first, corrected = true;
        if (hi > last) hi = last, corrected = true;
    };
    clamp(umin, umax, uknot[uorder - 1], uknot[nu]);
    clamp(vmin, vmax, vknot[vorder - 1], vknot[nv]);
    if (corrected) ri_error(RIE_CONSISTENCY, RIE_WARNING, "NuPatch min/max bad range (corrected)");
    urange = umax - umin;
    vrange = vmax - vmin;
    whole_[0] = umin, whole_[1] = urange, whole_[2] = vmin, whole_[3] = vrange;
    bound(object_bound);
}

GNurbPatch::GNurbPatch(const GNurbPatch &o)
    : GSurface(o), data(o.data), umin(o.umin), umax(o.umax), vmin(o.vmin), vmax(o.vmax), urange(o.urange),
      vrange(o.vrange)
{
    std::memcpy(whole_, o.whole_, sizeof whole_);
    object_bound = o.object_bound;
}

bool GNurbPatch::set_motion_key(const GNurbPatch &other)
{
    const NurbsData &a = *data, &b = *other.data;
    if (a.nu != b.nu || a.nv != b.nv || a.uorder != b.uorder || a.vorder != b.vorder || a.points2) {
        ri_error(RIE_CONSISTENCY, RIE_ERROR, "NURBS in motion block don't match");
        return false;
    }
    data->add_key(b);
    flags |= GPF_MOVING_CVS;
    bound(object_bound);
    return true;
}

void GNurbPatch::set_range(float u0, float u1, float v0, float v1)
{
    umin = u0, umax = u1, vmin = v0, vmax = v1;
    urange = umax - umin;
    vrange = vmax - vmin;
    bound(object_bound);
}

float GNurbPatch::knot_u(float u) const
{
    float s = umin + u * urange;
    return s < umax ? (s > umin ? s : umin) : umax;
}

float GNurbPatch::knot_v(float v) const
{
    float t = vmin + v * vrange;
    return t < vmax ? (t > vmin ? t : vmin) : vmax;
}

int GNurbPatch::dice_lattice() const
{
    return std::max(data->nu / data->uorder, data->nv / data->vorder) / 2 + 6;
}

namespace {

// The key of a moving patch at a time: the second from shutter close on.
const float *key_at(const NurbsData &d, float time)
{
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    if (d.points2 && o && time >= o->shutter_close) return d.points2;
    return d.points;
}

} // namespace

void GNurbPatch::eval_point(float u, float v, float time, Point &P)
{
    data->eval(knot_u(u), knot_v(v), key_at(*data, time), 3, false, P.data());
}

void GNurbPatch::eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv)
{
    float sum[4], ds[4], dt[4];
    data->eval_derivs(knot_u(u), knot_v(v), key_at(*data, time), sum, ds, dt);
    Point a, au, av;
    float w = sum[3];
    for (int k = 0; k < 3; k++) {
        // Quotient rule on the homogeneous sums.
        au[k] = w != 0 ? (w * ds[k] - ds[3] * sum[k]) / (w * w) : 0;
        av[k] = w != 0 ? (w * dt[k] - dt[3] * sum[k]) / (w * w) : 0;
    }
    Point fu, fv;
    GSurface::eval_derivs(u, v, time, fu, fv);
    float lu = au.length(), lv = av.length();
    dPdu = lu > 0.001f ? au * (fu.length() / lu) : fu;
    dPdv = lv > 0.001f ? av * (fv.length() / lv) : fv;
}

void GNurbPatch::bound(Bound &b)
{
    if (subpatch_grid && subpatch_grid->built()) {
        b = subpatch_grid->bound;
        return;
    }
    const NurbsData &d = *data;
    auto influence = [](float lo, float hi, const float *knots, int n, int order, int &first, int &last) {
        first = std::max(0, find_knot_span(lo, knots, n - 1, order - 1) - order + 1);
        last = std::min(n - 1, find_knot_span(hi, knots, n - 1, order - 1));
        if (last - first + 1 < order) printf("Aha!  Too small a segment!\n");
    };
    int c0, c1, r0, r1;
    influence(umin, umax, d.uknot, d.nu, d.uorder, c0, c1);
    influence(vmin, vmax, d.vknot, d.nv, d.vorder, r0, r1);
    b = EMPTY_BOUND;
    Point first;
    float reach = 0;
    for (const float *key : {(const float *)d.points, (const float *)d.points2}) {
        if (!key) continue;
        for (int r = r0; r <= r1; r++)
            for (int c = c0; c <= c1; c++) {
                int i = r * d.nu + c;
                Point p(key[3 * i], key[3 * i + 1], key[3 * i + 2]);
                if (d.weights && d.weights[i] != 0) p = p / d.weights[i];
                b.extend(p);
                if (key != d.points) continue;
                if (r == r0 && c == c0) first = p;
                reach = std::max(reach, (p - first).length());
            }
    }
    b.expand(0.01f * reach);
}

IntersectionList GNurbPatch::intersect(const Ray &ray)
{
    IntersectionList l = intersect_grid(this, ray, dice_lattice());
    GState *g = attributes();
    if (!g || !g->trim_loops.is_set() || !l.count) return l;
    // A hit answering like the sense flag lies on the trimmed side.
    int sense = (g->flags & GS_TRIM_OUTSIDE) ? 1 : 0;
    IntersectionList kept;
    while (Intersection *h = l.dequeue()) {
        if (trim_curve_set(g->trim_loops)->inside(knot_u(h->gu), knot_v(h->gv), 0.1f) == sense) h->release();
        else kept.add(h);
    }
    return kept;
}

void GNurbPatch::fill_hit(Intersection *sv)
{
    float gu = sv->gu, gv = sv->gv;
    sv->u = knot_u(gu);
    sv->v = knot_v(gv);
    eval_normal(gu, gv, sv->time, sv->Ng);
    GSurface::fill_hit(sv);
    // The generic fill blends four corner values; the patch's own data
    // follows its storage class over the whole control net.
    bool grid_normal = false;
    Point unused;
    if (sv->whichpiece) grid_normal = grid_normal_at(this, gu, gv, unused);
    for (VVData *vv = vertex_vars.head; vv; vv = vv->next) {
        if (vv->token == tok::Cs) {
            vertex_var_value(vv, 3, gu, gv, sv->Cs.data());
        } else if (vv->token == tok::Os) {
            vertex_var_value(vv, 3, gu, gv, sv->Os.data());
        } else if (vv->token == tok::N && !grid_normal) {
            Point n;
            vertex_var_value(vv, 3, gu, gv, n.data());
            if (xform.is_set()) xform->normal_to_world(n.data(), sv->Ns.data(), sv->time);
            else sv->Ns = n;
        } else if ((vv->token == tok::s || vv->token == tok::t) && (sv->vars_used & VU_TEXCOORDS)) {
            vertex_var_value(vv, 1, gu, gv, vv->token == tok::s ? &sv->s : &sv->t);
        } else if (vv->token == tok::st && (sv->vars_used & VU_TEXCOORDS)) {
            float st[2];
            vertex_var_value(vv, 2, gu, gv, st);
            sv->s = st[0], sv->t = st[1];
        }
    }
}

void GNurbPatch::vertex_var_value(const VVData *vv, int words, float u, float v, float *out)
{
    const NurbsData &d = *data;
    const float *in = static_cast<const float *>(vv->data);
    int have = vv->size / (int)sizeof(float);
    // Fractions of the whole patch (a split piece covers part of it).
    float fu = whole_[1] > 0 ? (knot_u(u) - whole_[0]) / whole_[1] : 0;
    float fv = whole_[3] > 0 ? (knot_v(v) - whole_[2]) / whole_[3] : 0;
    int su = d.nu - d.uorder + 1, sv = d.nv - d.vorder + 1;
    auto cell = [](float f, int n, float &local) {
        float x = f * n;
        if (!(x >= 0)) x = 0;
        int i = std::min((int)x, n - 1);
        local = std::min(1.0f, x - i);
        return i;
    };
    if (vv->detail == DETAIL_VERTEX && have >= d.nu * d.nv * words && words <= 64) {
        d.eval(knot_u(u), knot_v(v), in, words, true, out);
        return;
    }
    if (vv->detail == DETAIL_UNIFORM && have >= su * sv * words) {
        float a;
        int i = cell(fu, su, a), j = cell(fv, sv, a);
        std::memcpy(out, in + (size_t)(j * su + i) * words, words * sizeof(float));
        return;
    }
    if (vv->detail == DETAIL_VARYING && have >= (su + 1) * (sv + 1) * words) {
        float a, b;
        int i = cell(fu, su, a), j = cell(fv, sv, b);
        const float *c00 = in + (size_t)(j * (su + 1) + i) * words, *c01 = c00 + (size_t)(su + 1) * words;
        bilerp_vertex_data(out, words, c00, c00 + words, c01, c01 + words, a, b);
        return;
    }
    GSurface::vertex_var_value(vv, words, u, v, out);
}

// ---- construction through the interface -----------------------------------

namespace {

bool knots_usable(const float *k, int n, int order)
{
    for (int i = 0; i < n + order; i++) {
        if (!std::isfinite(k[i])) return false;
        if (i > 0 && k[i] < k[i - 1]) return false;
    }
    return k[order - 1] < k[n];
}

// Counts, knots, ranges and points that the patch can be evaluated from.
bool nurb_input_usable(int nu, int uorder, const float *uknot, float umin, float umax, int nv, int vorder,
                       const float *vknot, float vmin, float vmax, const float *points, int kind)
{
    if (uorder < 1 || vorder < 1 || uorder > MAX_SPLINE_ORDER || vorder > MAX_SPLINE_ORDER) return false;
    if (nu < uorder || nv < vorder || nu > INT16_MAX || nv > INT16_MAX) return false;
    if (!uknot || !vknot || !points) return false;
    if (!knots_usable(uknot, nu, uorder) || !knots_usable(vknot, nv, vorder)) return false;
    // The range left after clamping to the knots must be open.
    float u0 = std::max(umin, uknot[uorder - 1]), u1 = std::min(umax, uknot[nu]);
    float v0 = std::max(vmin, vknot[vorder - 1]), v1 = std::min(vmax, vknot[nv]);
    if (!(u0 < u1) || !(v0 < v1)) return false;
    int64_t n = (int64_t)nu * nv * kind;
    for (int64_t i = 0; i < n; i++) {
        if (!std::isfinite(points[i])) return false;
        if (kind == 4 && i % 4 == 3 && points[i] == 0) return false;
    }
    return true;
}

} // namespace

GPrimitive *make_nurb_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv,
                            RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, const RtFloat *points,
                            int kind, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (kind != 1 && kind != 3 && kind != 4) return nullptr;
    if (!nurb_input_usable(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax, points, kind)) {
        ri_error(RIE_RANGE, RIE_WARNING, "Degenerate NURBS primitive ignored");
        return nullptr;
    }
    GNurbPatch *p = new GNurbPatch(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax, points, kind);
    int su = nu - uorder + 1, sv = nv - vorder + 1;
    build_vertex_var_list(p->vertex_vars, nu * nv, (su + 1) * (sv + 1), su * sv, POSITION_ANY, n, tokens, values);
    // The points are the patch's own now.
    for (RtToken name : {tok::P, tok::Pw, tok::Pz})
        if (p->vertex_vars.find_entry(name)) free(p->vertex_vars.take(name));
    return p;
}

bool split_nurb_patch(GPrimitive *patch, bool in_v, GPrimitive *&a, GPrimitive *&b)
{
    a = b = nullptr;
    if (!patch || patch->type != GP_NURB) return false;
    GNurbPatch *p = static_cast<GNurbPatch *>(patch);
    GNurbPatch *lo = new GNurbPatch(*p), *hi = new GNurbPatch(*p);
    if (in_v) {
        float mid = p->vmin + 0.5f * p->vrange;
        lo->set_range(p->umin, p->umax, p->vmin, mid);
        hi->set_range(p->umin, p->umax, mid, p->vmax);
    } else {
        float mid = p->umin + 0.5f * p->urange;
        lo->set_range(p->umin, mid, p->vmin, p->vmax);
        hi->set_range(mid, p->umax, p->vmin, p->vmax);
    }
    a = lo;
    b = hi;
    return true;
}

bool set_nurb_motion_key(GPrimitive *patch, GPrimitive *second)
{
    return static_cast<GNurbPatch *>(patch)->set_motion_key(*static_cast<GNurbPatch *>(second));
}
