// The shared behaviour of parametric surfaces: construction under the current
// attributes, bounds, the generic shading-point fill, vertex-variable binding,
// finite-difference derivatives and area-light sampling.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "raytrace/dice.h"
#include "raytrace/gprim.h"
#include "raytrace/ray.h"
#include "raytrace/surface_hooks.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"
#include "sampling/random.h"
#include "sampling/sampling.h"
#include "shading/stringids.h"

GSurface::GSurface(uint16_t t)
{
    type = t;
    if (Renderer *r = current_renderer) {
        attrs = r->attributes;
        xform = r->transformation;
        xform2 = r->transformation;
    }
    if (attrs.is_set()) add_area_light_geometry(attrs.get(), this);
    if (type == GP_BICUBIC || type == GP_NURB) dicing_stats().diceable++;
    set_attribute_flags();
    if (is_surface_type(type)) geometry_memory().add(GPRIM_TYPE_SIZES[type]);
}

GSurface::GSurface(const GSurface &o)
    : GPrimitive(o), attrs(o.attrs), xform(o.xform), xform2(o.xform2), object_bound(o.object_bound)
{
    next = nullptr;
    copy_vertex_var_list(vertex_vars, o.vertex_vars);
    if (is_surface_type(type)) geometry_memory().add(GPRIM_TYPE_SIZES[type]);
}

GSurface::~GSurface()
{
    if (is_surface_type(type)) geometry_memory().subtract(GPRIM_TYPE_SIZES[type]);
    release_surface_data(this);
}

void GSurface::set_attribute_flags()
{
    flags &= ~(GPF_REVERSED | GPF_DICEABLE | GPF_DISPLACED | GPF_SAMPLE_LIMITS | GPF_AREA_LIT |
               GPF_SHADING_REUSE);
    if (type == GP_BICUBIC || type == GP_NURB) flags |= GPF_DICEABLE;
    GState *g = attrs.get();
    if (!g) return;
    if (g->orientation & 1) flags |= GPF_REVERSED;
    if ((g->flags & GS_TRUEDISPLACEMENT) && g->shaders[USE_DISPLACEMENT].is_set())
        flags |= GPF_DICEABLE | GPF_DISPLACED;
    if (g->flags & GS_SAMPLE_LIMITS) flags |= GPF_SAMPLE_LIMITS;
    if (light_set_has_area_light(g)) flags |= GPF_AREA_LIT;
    if ((g->flags & GS_USE_SHADINGRATE) && !(xform.is_set() && xform->moving())) flags |= GPF_SHADING_REUSE;
}

void GSurface::recompute_bounds()
{
    bound(object_bound);
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    float open = o ? o->shutter_open : 0, close = o ? o->shutter_close : 0;
    world_bound = xform.is_set() ? xform->motion_bound_to_world(object_bound, open, close) : object_bound;
}

void GSurface::link(GPrimitive **list, int recompute)
{
    if (recompute) recompute_bounds();
    GPrimitive::link(list, recompute);
}

void GSurface::link_counted(GPrimitive **list, int recompute)
{
    if (recompute) recompute_bounds();
    GPrimitive::link_counted(list, recompute);
}

void GSurface::mesh_radiosity()
{
    RI_ASSERT(attrs.is_set(), "geom");
    Point lo(object_bound[0], object_bound[2], object_bound[4]);
    Point hi(object_bound[1], object_bound[3], object_bound[5]);
    float p = xform.is_set() ? xform->length_from_world(attrs->rad_patchsize) : attrs->rad_patchsize;
    int n = p > 0 ? (int)std::ceil(((hi - lo).length() - 0.01f) / p) : 1;
    if (n < 1) n = 1;
    mesh_radiosity_grid(this, n, n);
}

// ---- displacement bounds -------------------------------------------------

namespace {

// What the displacement bound's space is: the transformation and its kind
// (1 from the space to world, -1 from world to the space, 0 world).
const Transformation *disp_bound_space(const char *name, GSurface *s, int &kind)
{
    kind = 0;
    GState *g = s->attributes();
    if (!name) return nullptr;   // no space named: the bound as given
    if (!std::strcmp(name, "object")) {
        kind = 1;
        return s->xform.get();
    }
    if (!std::strcmp(name, "shader")) {
        kind = 1;
        return g ? g->shader_spaces[USE_DISPLACEMENT].get() : nullptr;
    }
    if (!std::strcmp(name, "world") || !std::strcmp(name, "current")) return nullptr;
    if (!std::strcmp(name, "camera") || !std::strcmp(name, "eye")) {
        kind = -1;
        return current_renderer ? current_renderer->options.camera.get() : nullptr;
    }
    if (!std::strcmp(name, "screen") || !std::strcmp(name, "raster")) {
        kind = -1;
        return nullptr;
    }
    if (Transformation *t = coordinate_systems().find(name)) {
        kind = 1;
        return t;
    }
    ri_error(RIE_BADTOKEN, RIE_ERROR, "unknown space for disp bounds: %s", name);
    return nullptr;
}

float longest_axis(const Transformation *t, bool from_world, float time)
{
    float longest = 0;
    for (int a = 0; a < 3; a++) {
        float axis[3] = {0, 0, 0}, out[3];
        axis[a] = 1;
        if (from_world) t->vector_from_world(axis, out, time);
        else t->vector_to_world(axis, out, time);
        float l = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
        if (l > longest) longest = l;
    }
    return longest;
}

} // namespace

void GSurface::displacement_bound()
{
    GState *g = attributes();
    if (!g) return;
    float amount = g->displacement_bound;
    float open = current_renderer ? current_renderer->options.shutter_open : 0;
    int kind;
    const Transformation *t = disp_bound_space(g->displacement_space, this, kind);
    if (t && kind == -1) amount *= longest_axis(t, true, open);
    else if (t && kind == 1) amount *= longest_axis(t, false, open);
    world_bound.expand(amount);
    if ((flags & GPF_BOUND_TEST) && xform.is_set()) object_bound.expand(amount * longest_axis(xform.get(), true, open));
}

int GSurface::screen_bound(int box[4])
{
    world_bound = xform.is_set() ? xform->motion_bound_to_world(object_bound, current_renderer ? current_renderer->options.shutter_open : 0,
                                                                current_renderer ? current_renderer->options.shutter_close : 0)
                                 : object_bound;
    if ((flags & GPF_DISPLACED) && !subpatch_grid && attrs.is_set() && attrs->displacement_bound > 0)
        displacement_bound();
    return GPrimitive::screen_bound(box);
}

// ---- the shading-point fill ----------------------------------------------

namespace {

// The value of a vertex variable at (u, v): constant and uniform data as
// stored, other data bilinear over its four corners.
void corner_value(const VVData *vv, int n, float u, float v, float *out)
{
    const float *d = static_cast<const float *>(vv->data);
    int have = vv->size / (int)sizeof(float);
    if (vv->detail == DETAIL_CONSTANT || vv->detail == DETAIL_UNIFORM || have < 4 * n) {
        for (int i = 0; i < n; i++) out[i] = i < have ? d[i] : 0;
        return;
    }
    bilerp_vertex_data(out, n, d, d + n, d + 2 * n, d + 3 * n, u, v);
}

// The four corner values of a float or the first float of a pair.
void corners(const VVData *vv, int stride, int which, float out[4])
{
    const float *d = static_cast<const float *>(vv->data);
    int have = vv->size / (int)sizeof(float);
    for (int c = 0; c < 4; c++) {
        int i = (have >= 4 * stride ? c * stride : 0) + which;
        out[c] = i < have ? d[i] : 0;
    }
}

} // namespace

void GSurface::fill_hit(Intersection *sv)
{
    bool normal_given = false;
    // A displaced grid hit takes the normal the displacement left at the cell.
    Point grid_normal;
    if (sv->whichpiece && grid_normal_at(this, sv->gu, sv->gv, grid_normal)) {
        sv->Ng = sv->Ns = grid_normal;
        normal_given = true;
    } else if (flags & GPF_REVERSED) {
        sv->Ng = -sv->Ng;
    }
    float time = sv->time;
    if (xform.is_set()) {
        Point n;
        xform->normal_to_world(sv->Ng.data(), n.data(), time);
        sv->Ng = n;
    }
    sv->s = sv->u;
    sv->t = sv->v;
    sv->has_user_verts = 0;

    bool cs_given = false, os_given = false, st_given = false;
    float sc[4] = {0, 1, 0, 1}, tc[4] = {0, 0, 1, 1};
    for (VVData *vv = vertex_vars.head; vv; vv = vv->next) {
        if (vv->token == tok::N) {
            if (!normal_given) corner_value(vv, 3, sv->gu, sv->gv, sv->Ns.data());
            normal_given = true;
        } else if (vv->token == tok::Cs) {
            corner_value(vv, 3, sv->gu, sv->gv, sv->Cs.data());
            cs_given = true;
        } else if (vv->token == tok::Os) {
            corner_value(vv, 3, sv->gu, sv->gv, sv->Os.data());
            os_given = true;
        } else if (vv->token == tok::st) {
            corners(vv, 2, 0, sc);
            corners(vv, 2, 1, tc);
            st_given = true;
        } else if (vv->token == tok::s) {
            corners(vv, 1, 0, sc);
            st_given = true;
        } else if (vv->token == tok::t) {
            corners(vv, 1, 0, tc);
            st_given = true;
        } else {
            sv->has_user_verts = 1;
        }
    }
    GState *g = attributes();
    if (!cs_given) sv->Cs = g ? g->color : Color(1, 1, 1);
    if (!os_given) sv->Os = g ? g->opacity : Color(1, 1, 1);
    if (normal_given && xform.is_set()) {
        Point n;
        xform->normal_to_world(sv->Ns.data(), n.data(), time);
        sv->Ns = n;
    } else if (!normal_given) {
        sv->Ns = sv->Ng;
    }
    if (sv->vars_used & (VU_TEXCOORDS | VU_NEIGHBOURS)) {
        float a, b;
        if (!st_given && g) {
            const float *tcs = g->texture_coords;
            for (int c = 0; c < 4; c++) sc[c] = tcs[2 * c], tc[c] = tcs[2 * c + 1];
            a = sv->u, b = sv->v;
        } else {
            a = sv->gu, b = sv->gv;
        }
        sv->s = (1 - a) * (1 - b) * sc[0] + a * (1 - b) * sc[1] + (1 - a) * b * sc[2] + a * b * sc[3];
        sv->t = (1 - a) * (1 - b) * tc[0] + a * (1 - b) * tc[1] + (1 - a) * b * tc[2] + a * b * tc[3];
        sv->dsdu = (1 - b) * (sc[1] - sc[0]) + b * (sc[3] - sc[2]);
        sv->dsdv = (1 - a) * (sc[2] - sc[0]) + a * (sc[3] - sc[1]);
        sv->dtdu = (1 - b) * (tc[1] - tc[0]) + b * (tc[3] - tc[2]);
        sv->dtdv = (1 - a) * (tc[2] - tc[0]) + a * (tc[3] - tc[1]);
    }
    sv->finished = 1;
}

// ---- vertex-variable binding ---------------------------------------------

void GSurface::bind_vertex_vars(const ShaderParamLookup &params, char *block, float time, float u, float v)
{
    for (VVData *vv = vertex_vars.head; vv; vv = vv->next) {
        RtToken name = vv->token;
        if (name == tok::N || name == tok::Cs || name == tok::Os || name == tok::st || name == tok::s ||
            name == tok::t)
            continue;
        int ptype, howmany, offset;
        if (!params.find(name, ptype, howmany, offset)) continue;
        bool type_ok = ptype == vv->type || (ptype == DECL_POINT && vv->type == DECL_HPOINT);
        if (!type_ok || howmany != vv->count) {
            ri_error(RIE_CONSISTENCY, RIE_ERROR, "vertex and shader types don't match: %s %s", params.shader_name(),
                     name);
            continue;
        }
        char *dst = block + offset;
        int count = vv->count > 0 ? vv->count : 1;
        if (vv->type == DECL_STRING) {
            // Parameter blocks hold strings as 32-bit ids.
            const RtString *in = static_cast<const RtString *>(vv->data);
            for (int e = 0; e < count && e * (int)sizeof(RtString) < vv->size; e++) {
                uint32_t id = string_id(in[e]);
                std::memcpy(dst + 4 * e, &id, 4);
            }
            continue;
        }
        if (vv->type == DECL_INTEGER || vv->type == DECL_UNKNOWN) continue;
        int words = decl_type_words(vv->type) * count;
        float value[16 * 64];
        if (words > (int)(sizeof value / sizeof value[0])) continue;
        vertex_var_value(vv, words, u, v, value);
        int per = decl_type_words(vv->type);
        float *out = reinterpret_cast<float *>(dst);
        for (int e = 0; e < count; e++) {
            float *in = value + e * per;
            const Transformation *x = xform.get();
            switch (vv->type) {
            case DECL_HPOINT: {
                float w = in[3] != 0 ? in[3] : 1;
                float p[3] = {in[0] / w, in[1] / w, in[2] / w};
                if (x) x->point_to_world(p, out + 3 * e, time);
                else std::memcpy(out + 3 * e, p, sizeof p);
                break;
            }
            case DECL_MATRIX:
                if (x) x->matrix_from_world_left(in, out + 16 * e, time);
                else std::memcpy(out + 16 * e, in, 16 * sizeof(float));
                break;
            case DECL_POINT:
                if (x) x->point_to_world(in, out + 3 * e, time);
                else std::memcpy(out + 3 * e, in, 3 * sizeof(float));
                break;
            case DECL_VECTOR:
                if (x) x->vector_to_world(in, out + 3 * e, time);
                else std::memcpy(out + 3 * e, in, 3 * sizeof(float));
                break;
            case DECL_NORMAL:
                if (x) x->normal_to_world(in, out + 3 * e, time);
                else std::memcpy(out + 3 * e, in, 3 * sizeof(float));
                break;
            default:   // floats and colours as they are
                std::memcpy(out + per * e, in, per * sizeof(float));
                break;
            }
        }
    }
}

void GSurface::vertex_var_value(const VVData *vv, int words, float u, float v, float *out)
{
    corner_value(vv, words, u, v, out);
}

// ---- parametric evaluation -----------------------------------------------

void GSurface::eval_point(float, float, float, Point &P)
{
    P = Point();
}

void GSurface::eval_grid(int nu, int nv, float time, Point *out)
{
    for (int i = 0; i <= nv; i++)
        for (int j = 0; j <= nu; j++) eval_point((float)j / nu, (float)i / nv, time, out[j + (nu + 1) * i]);
}

void GSurface::eval_normal(float u, float v, float time, Point &N)
{
    Point du, dv;
    eval_derivs(u, v, time, du, dv);
    N = cross(du, dv);
}

void GSurface::eval_derivs(float u, float v, float time, Point &dPdu, Point &dPdv)
{
    Point p, pu, pv;
    eval_point(u, v, time, p);
    float hu = u >= 0.995f ? -0.005f : 0.005f;
    float hv = v >= 0.995f ? -0.005f : 0.005f;
    eval_point(u + hu, v, time, pu);
    eval_point(u, v + hv, time, pv);
    dPdu = (pu - p) / hu;
    dPdv = (pv - p) / hv;
}

float GSurface::area_sample(const Point &Q, int i, int n, float time, ShaderVars *sv)
{
    int32_t base = area_sample_seed();
    float u, v;
    if (attrs.is_set() && attrs->light_strategy == 1) {
        poisson_disk_sample(i, n, base + 8103, u, v);
    } else {
        float nn = n > 0 ? (float)n : 1.0f;
        u = ((float)sample_permutation(i, n, base + 8103) + random_uniform()) / nn;
        v = ((float)sample_permutation(i, n, base + 4219) + random_uniform()) / nn;
    }
    const bool by_area = reparam(u, v);
    float w = area_sample_at(Q, u, v, time, sv);
    // Uniform (u, v) are not uniform by area (a disk's centre gets as many
    // samples as its rim): each sample is weighted by its area element.
    if (!by_area) {
        const float mean = mean_area_element(time), here = area_element(u, v, time);
        if (mean > 0 && here >= 0) w *= here / mean;
    }
    return w;
}

float GSurface::area_element(float u, float v, float time)
{
    // Differences of eval_point, so that the element belongs to the very
    // map the samples are placed by.
    const float h = 1e-3f;
    const float u0 = std::max(0.0f, u - h), u1 = std::min(1.0f, u + h);
    const float v0 = std::max(0.0f, v - h), v1 = std::min(1.0f, v + h);
    Point a, b, c, d;
    eval_point(u0, v, time, a);
    eval_point(u1, v, time, b);
    eval_point(u, v0, time, c);
    eval_point(u, v1, time, d);
    const float J = cross(b - a, d - c).length() / ((u1 - u0) * (v1 - v0));
    return J == J ? J : -1;
}

float GSurface::mean_area_element(float time)
{
    if (mean_area >= 0) return mean_area;
    const int k = 32;
    double sum = 0;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) {
            const float J = area_element((i + 0.5f) / k, (j + 0.5f) / k, time);
            if (J > 0) sum += J;
        }
    mean_area = float(sum / (k * k));
    return mean_area;
}

float GSurface::world_area(float time)
{
    if (world_area_ >= 0) return world_area_;
    const int k = 32;
    std::vector<Point> grid((k + 1) * (k + 1));
    eval_grid(k, k, time, grid.data());
    if (xform.is_set())
        for (Point &p : grid) {
            Point w;
            xform->point_to_world(p.data(), w.data(), time);
            p = w;
        }
    double sum = 0;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) {
            const Point &a = grid[j + (k + 1) * i], &b = grid[j + 1 + (k + 1) * i];
            const Point &c = grid[j + (k + 1) * (i + 1)], &d = grid[j + 1 + (k + 1) * (i + 1)];
            const float q = 0.5f * (cross(b - a, d - a).length() + cross(d - a, c - a).length());
            if (q == q) sum += q;
        }
    world_area_ = float(sum);
    return world_area_;
}

float GSurface::area_sample_at(const Point &Q, float u, float v, float time, ShaderVars *sv)
{
    Intersection *c = new Intersection(*sv);
    c->obj = this;
    c->time = time;
    c->finished = 0;
    Point P;
    eval_point(u, v, time, P);
    c->Pobj = P;
    if (xform.is_set()) xform->point_to_world(P.data(), c->Ps.data(), time);
    else c->Ps = P;
    c->gu = c->u = u;
    c->gv = c->v = v;
    fill_hit(c);
    sv->Pl = c->Ps;
    sv->Nl = c->Ns;
    sv->Ngl = normalize(c->Ng);
    sv->gul = sv->gu, sv->gvl = sv->gv, sv->ul = sv->u, sv->vl = sv->v, sv->sl = sv->s, sv->tl = sv->t;
    c->release();
    return std::fabs(dot(sv->Ngl, normalize(sv->Pl - Q)));
}
