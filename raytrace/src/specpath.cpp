// Light that reaches a point over one mirror or one refracting surface. For
// a receiver, each radiosity patch of a reflecting or refracting surface
// that may turn a light towards it is searched for the points that join the
// light to the receiver; the light's wavefront (a pencil with two principal
// curvatures) is carried through each point to scale its intensity by the
// focusing of the surface.
#include "raytrace/specpath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "shading/illum.h"
#include "shading/lightsource.h"
#include "shading/minimise.h"
#include "shading/shadehit.h"

namespace {

// What one search works on.
struct SearchContext {
    RayTracer *scene = nullptr;
    GSurface *surface = nullptr;
    RadPatch *patch = nullptr;
    Point source, receiver, receiver_N;
    // A distant light arrives along dir everywhere, from no point.
    bool distant = false;
    Point dir;
    bool refract = false;
    float eta = 1;
    float bias = 0.001f;   // shadow-ray offsets, from the scene's size
} ctx;

// The unit direction light travels in when it arrives at P.
Point incoming(const Point &P)
{
    return ctx.distant ? ctx.dir : normalize(P - ctx.source);
}

// A wavefront at a point: direction, principal curvatures with their axes
// (0 for a plane wave), and the factor its irradiance changed by at the
// surface.
struct Pencil {
    Point P, d;
    float k1 = 0, k2 = 0;
    Point a1, a2;
    float factor = 1;
};

float channel_sum(const Color &c) { return c.x + c.y + c.z; }

// Inside or on the edge of the patch: a specular point on the seam of two
// patches belongs to both (and is counted once by the caller).
bool on_patch(float u, float v)
{
    const RadPatch *p = ctx.patch;
    return u >= p->umin && u <= p->umax && v >= p->vmin && v <= p->vmax;
}

// The unit normal at P turned against the incoming light.
Point facing_normal(const Point &N, const Point &P)
{
    return dot(N, incoming(P)) > 0 ? -N : N;
}

Point mirror(const Point &in, const Point &N)
{
    return in - N * (2 * dot(in, N));
}

// The refracted unit direction of unit d through N (facing against d), or
// a short vector for total internal reflection.
Point refracted(const Point &d, const Point &N, float eta)
{
    float c1 = -dot(d, N);
    float k = 1 - eta * eta * (1 - c1 * c1);
    if (k < 0) return Point();
    return d * eta + N * (eta * c1 - std::sqrt(k));
}

// The direction light leaves the surface at P (unit normal N facing the
// incoming side) for unit incoming d: mirror or refracted; false for total
// internal reflection.
bool leaving(const Point &d, const Point &N, Point &out)
{
    out = ctx.refract ? refracted(d, N, ctx.eta) : mirror(d, N);
    if (!(out.length() >= 0.0001f)) return false;
    out = normalize(out);
    return true;
}

// 1 - the cosine between the direction light leaves the surface point at
// (u, v) and the direction to the receiver: 0 exactly at a specular point,
// smooth (quadratic in the angle) around it, at any incidence, for
// reflection and refraction alike.
float mirror_objective(const float *uv)
{
    if (!on_patch(uv[0], uv[1])) return 1;
    Point P, N;
    ctx.scene->surface_point(ctx.surface, uv[0], uv[1], P, N);
    N = facing_normal(N, P);
    Point in = incoming(P), out;
    if (!leaving(in, N, out)) return 2;
    return 1 - dot(out, normalize(ctx.receiver - P));
}

float uv_penalty(const float *uv)
{
    const RadPatch *p = ctx.patch;
    float s = 0;
    if (uv[0] < p->umin) s += p->umin - uv[0];
    if (uv[0] > p->umax) s += uv[0] - p->umax;
    if (uv[1] < p->vmin) s += p->vmin - uv[1];
    if (uv[1] > p->vmax) s += uv[1] - p->vmax;
    if (s < 0) {
        fprintf(stderr, "Oops -- penalty == %g\n", s);
        fprintf(stderr, "\tp = %g %g\n", uv[0], uv[1]);
        fprintf(stderr, "\tuv1 = %g %g\n", p->umin, p->vmin);
        fprintf(stderr, "\tuv2 = %g %g\n", p->umax, p->vmax);
    }
    return s;
}

// Diagonalises the symmetric matrix (A, B; B, C) in the frame (e1, e2):
// principal curvatures and their axes.
void diagonalise(float A, float B, float C, const Point &e1, const Point &e2, float &k1, float &k2, Point &a1,
                 Point &a2)
{
    if (std::fabs(B) < 0.0001f) {
        k1 = A, k2 = C, a1 = e1, a2 = e2;
        return;
    }
    float mean = 0.5f * (A + C), half = std::sqrt(0.25f * (A - C) * (A - C) + B * B);
    k1 = mean + half;
    k2 = mean - half;
    float angle = 0.5f * std::atan2(2 * B, A - C);
    a1 = e1 * std::cos(angle) + e2 * std::sin(angle);
    a2 = e2 * std::cos(angle) - e1 * std::sin(angle);
}

// The curvatures (k1, k2) along axes (a1, a2) as a symmetric matrix in the
// frame (e1, e2).
void in_frame(float k1, float k2, const Point &a1, const Point &a2, const Point &e1, float &A, float &B, float &C)
{
    float c = std::max(-0.9999f, std::min(1.0f, dot(a1, e1)));
    float angle = std::acos(c);
    if (dot(a2, e1) > 0) angle = -angle;
    float cs = std::cos(angle), sn = std::sin(angle);
    A = k1 * cs * cs + k2 * sn * sn;
    C = k1 * sn * sn + k2 * cs * cs;
    B = (k1 - k2) * cs * sn;
}

} // namespace

// The world-space derivatives of the surface at (u, v).
static void world_derivs(GSurface *s, float u, float v, Point &Pu, Point &Pv)
{
    const float t = current_renderer ? current_renderer->options.shutter_open : 0;
    Point du, dv;
    s->eval_derivs(u, v, t, du, dv);
    if (s->xform.is_set()) {
        s->xform->vector_to_world(du.data(), Pu.data(), t);
        s->xform->vector_to_world(dv.data(), Pv.data(), t);
    } else {
        Pu = du, Pv = dv;
    }
}

// The derivative of the world unit normal along one parameter at (u, v), by
// central differences (one-sided at the parameter's ends). Unit normals are
// well scaled, so float differences keep their precision, unlike second
// differences of positions.
static Point normal_derivative(GSurface *s, float u, float v, bool along_u)
{
    const float h = 0.001f;
    float x = along_u ? u : v;
    float lo = std::max(0.0f, x - h), hi = std::min(1.0f, x + h);
    Point P, N0, N1;
    if (along_u) {
        ctx.scene->surface_point(s, lo, v, P, N0);
        ctx.scene->surface_point(s, hi, v, P, N1);
    } else {
        ctx.scene->surface_point(s, u, lo, P, N0);
        ctx.scene->surface_point(s, u, hi, P, N1);
    }
    return hi > lo ? (N1 - N0) / (hi - lo) : Point();
}

// The principal curvatures of the surface at (u, v) with their axes (world
// space), positive where the surface bends towards its front normal: the
// second fundamental form from the analytic first derivatives and the
// derivatives of the normal (Weingarten), in an orthonormal tangent frame.
// Where the parameters are degenerate (the pole of a sphere) the curvature
// is taken at a point next to it, curvature being continuous.
static void surface_curvature(GSurface *s, float u, float v, float &k1, float &k2, Point &a1, Point &a2)
{
    Point P, N, Pu, Pv;
    ctx.scene->surface_point(s, u, v, P, N);
    for (int attempt = 0; attempt < 4; ++attempt) {
        world_derivs(s, u, v, Pu, Pv);
        const float area = cross(Pu, Pv).length(), scale = Pu.length() * Pv.length();
        if (area > 1e-4f * scale && scale > 0) break;
        // Step towards the middle of the parameter square.
        const float step = 0.002f * float(1 << attempt);
        u += u < 0.5f ? step : -step;
        v += v < 0.5f ? step : -step;
    }
    Point e1 = normalize(Pu), e2 = normalize(cross(N, e1));
    const Point Nu = normal_derivative(s, u, v, true), Nv = normal_derivative(s, u, v, false);
    const float L = -dot(Pu, Nu), M = -0.5f * (dot(Pu, Nv) + dot(Pv, Nu)), Nn = -dot(Pv, Nv);
    // Tangent frame coordinates of Pu and Pv.
    float pu1 = dot(Pu, e1), pv1 = dot(Pv, e1), pv2 = dot(Pv, e2);
    if (!(std::fabs(pu1) > 1e-12f) || !(std::fabs(pv2) > 1e-12f)) {
        k1 = k2 = 0, a1 = e1, a2 = e2;
        return;
    }
    // II in the frame: J^-T II J^-1 with J = [[pu1, pv1], [0, pv2]].
    float i11 = 1 / pu1, i12 = -pv1 / (pu1 * pv2), i22 = 1 / pv2;
    float A = i11 * i11 * L;
    float B = i11 * (i12 * L + i22 * M);
    float C = i12 * i12 * L + 2 * i12 * i22 * M + i22 * i22 * Nn;
    diagonalise(A, B, C, e1, e2, k1, k2, a1, a2);
}

namespace {

// Carries a pencil through the surface (curvatures S along s1, s2) at
// normal N: reflection or refraction into direction out.
void carry(Pencil &p, const Point &N, float s1, float s2, const Point &sa1, const Point &sa2, const Point &out)
{
    float ci = std::fabs(dot(p.d, N));
    Point e1;
    bool straight = ctx.refract ? !(std::acos(std::min(ci, 1.0f)) > 0.00001f) : ci >= 0.9999f;
    e1 = straight ? p.a1 : normalize(cross(p.d, N));
    float A, B, C, SA, SB, SC;
    in_frame(p.k1, p.k2, p.a1, p.a2, e1, A, B, C);
    in_frame(s1, s2, sa1, sa2, e1, SA, SB, SC);
    float nA, nB, nC;
    if (!ctx.refract) {
        nA = A + 2 * ci * SA;
        nB = -B - 2 * SB;
        nC = C + (ci > 0 ? (2 / ci) * SC : 0);
    } else {
        const float eta = ctx.eta;
        float ct = std::fabs(dot(out, N));
        float l = ct - ci * eta;
        nA = eta * A + l * SA;
        nB = ct > 0 ? (ci * eta / ct) * B + (l / ct) * SB : 0;
        nC = ct > 0 ? (ci * ci * eta / (ct * ct)) * C + (l / (ct * ct)) * SC : 0;
    }
    Point e2 = normalize(cross(out, e1));
    p.d = out;
    diagonalise(nA, nB, nC, e1, e2, p.k1, p.k2, p.a1, p.a2);
    // A mirror turns the beam without changing its cross-section; through a
    // refraction the cross-section changes with the cosines on either side
    // (the flux stays): ci / ct.
    if (ctx.refract) {
        float ct = std::fabs(dot(out, N));
        if (ct > 0) p.factor *= ci / ct;
    }
}

struct Found {
    float u, v;
    Point P, N, in, out;
    Color T;
    int iterations;
};

// The direction from P to the receiver less the direction light leaves P,
// at (u, v); false where no light leaves towards the receiver side.
bool residual(const float *uv, Point &r)
{
    Point P, N, out;
    ctx.scene->surface_point(ctx.surface, uv[0], uv[1], P, N);
    N = facing_normal(N, P);
    if (!leaving(incoming(P), N, out)) return false;
    r = normalize(ctx.receiver - P) - out;
    return r.x == r.x && r.y == r.y && r.z == r.z;
}

// The Gauss-Newton step towards the specular point from (u, v), on the
// direction residual with a finite-difference Jacobian; false where it
// cannot be taken.
bool newton_step(const float *uv, const Point &r, float *step)
{
    const RadPatch *p = ctx.patch;
    // Steps no finer than the float parameters resolve, on a small patch.
    const float hu = std::max(1e-4f * (p->umax - p->umin), 2e-5f), hv = std::max(1e-4f * (p->vmax - p->vmin), 2e-5f);
    // Differences taken towards the inside of the patch.
    const float su = uv[0] + hu > p->umax ? -hu : hu, sv = uv[1] + hv > p->vmax ? -hv : hv;
    float a[2] = {uv[0] + su, uv[1]}, b[2] = {uv[0], uv[1] + sv};
    Point ru, rv;
    if (!residual(a, ru) || !residual(b, rv)) return false;
    Point Ju = (ru - r) / su, Jv = (rv - r) / sv;
    // Normal equations of the 3x2 least-squares step.
    float guu = dot(Ju, Ju), guv = dot(Ju, Jv), gvv = dot(Jv, Jv);
    float bu = -dot(Ju, r), bv = -dot(Jv, r);
    float det = guu * gvv - guv * guv;
    if (!(std::fabs(det) > 0)) return false;
    step[0] = (gvv * bu - guv * bv) / det;
    step[1] = (guu * bv - guv * bu) / det;
    return std::isfinite(step[0]) && std::isfinite(step[1]);
}

// The largest direction residual (about the angle in radians between the
// light leaving the point and the way to the receiver) of a point taken as
// specular; float directions reach about 1e-6.
const float CONVERGED_RESIDUAL = 1e-4f;

// What a Newton descent on the patch ended with.
enum Descent { CONVERGED, ELSEWHERE, STUCK };

// Gauss-Newton descent of the direction residual from uv, kept on the patch
// (steps halved until the residual drops). A point pressed against an edge
// whose next step leads out of the patch is the nearest point of this patch
// to a specular point of a neighbour, which finds it itself: ELSEWHERE.
Descent newton_descent(float *uv)
{
    const RadPatch *p = ctx.patch;
    const float eu = 1e-3f * (p->umax - p->umin), ev = 1e-3f * (p->vmax - p->vmin);
    Point r;
    if (!residual(uv, r)) return STUCK;
    float step[2] = {0, 0};
    for (int it = 0; it < 12 && r.length() > 1e-6f; ++it) {
        if (!newton_step(uv, r, step)) return STUCK;
        bool moved = false;
        for (float scale = 1; scale > 0.06f && !moved; scale *= 0.5f) {
            float next[2] = {std::min(std::max(uv[0] + scale * step[0], p->umin), p->umax),
                             std::min(std::max(uv[1] + scale * step[1], p->vmin), p->vmax)};
            Point rn;
            if (residual(next, rn) && rn.length() < r.length()) {
                uv[0] = next[0], uv[1] = next[1], r = rn;
                moved = true;
            }
        }
        if (!moved) break;
    }
    // A point whose residual is small is a specular point here, wherever
    // an ill-conditioned next step would go (a nearly focusing mirror).
    if (r.length() < CONVERGED_RESIDUAL) return CONVERGED;
    if (!newton_step(uv, r, step)) return STUCK;
    if (!(uv[0] + step[0] >= p->umin - eu && uv[0] + step[0] <= p->umax + eu && uv[1] + step[1] >= p->vmin - ev &&
          uv[1] + step[1] <= p->vmax + ev))
        return ELSEWHERE;
    return r.length() < CONVERGED_RESIDUAL ? CONVERGED : STUCK;
}

// A converged specular point of the patch from one start: Newton's method
// converges in a few steps from anywhere near a point; the pattern search is
// the slow, sure way when it gets stuck. Only the patch's middle start falls
// back on it, so that a patch without a point costs little.
bool search_from(const float *start, bool sure, float *uv, int &iterations)
{
    copy_floats(uv, start, 2);
    iterations = 0;
    Descent d = newton_descent(uv);
    if (d == STUCK && sure) {
        const RadPatch *p = ctx.patch;
        float steps[2] = {(p->umax - p->umin) / 16, (p->vmax - p->vmin) / 16};
        set_objective(mirror_objective, uv_penalty);
        pattern_search(start, steps, uv, 2, 200, 0.0001f, &iterations);
        d = on_patch(uv[0], uv[1]) ? newton_descent(uv) : STUCK;
    }
    return d == CONVERGED;
}

// Whether the light crosses the surface itself on its way to the point
// found: the far side of a ball is no mirror or lens for a light on this
// side, whatever the light's own shadows.
bool reaches_through_itself(const Found &f)
{
    const float far = ctx.distant ? 1e30f : f.in.length() - ctx.bias;
    if (!(far > ctx.bias)) return false;
    Ray ray(f.P, -normalize(f.in), current_renderer->options.shutter_open, 1, 1, 0);
    ray.set_range(ctx.bias, far);
    IntersectionList hits = ctx.scene->closest_hit(ray);
    bool crosses = false;
    for (Intersection *h = hits.first; h; h = h->next) crosses |= h->obj == ctx.surface;
    hits.free_list();
    return crosses;
}

// Whether the converged point at uv joins light and receiver: in front of
// the receiver, leaving towards it, and not shadowed on the way.
bool accept(const float *uv, int iterations, Found &f)
{
    ctx.scene->surface_point(ctx.surface, uv[0], uv[1], f.P, f.N);
    if (!((f.P - ctx.receiver).length() >= ctx.bias)) return false;
    f.in = ctx.distant ? ctx.dir : f.P - ctx.source;
    f.N = facing_normal(f.N, f.P);
    if (!leaving(normalize(f.in), f.N, f.out)) return false;
    if (reaches_through_itself(f)) return false;
    Point R = ctx.receiver - f.P;
    float len = R.length();
    float cosine = dot(R, f.out) / len;
    if (!(cosine >= 0.9925f && cosine <= 1.0075f)) {
        if (ctx.scene->radiosity_running() && render_debug_level >= 2) {
            fprintf(stderr, "%s%g %g    %d iters\n", cosine < 0.9925f ? "Not a true reflection " :
                    "Huh?  Not a true reflection ", uv[0], uv[1], iterations);
            fprintf(stderr, "\tsourceP = %g %g %g, receiverP = %g %g %g\n", ctx.source.x, ctx.source.y,
                    ctx.source.z, ctx.receiver.x, ctx.receiver.y, ctx.receiver.z);
            fprintf(stderr, "\tR = %g %g %g, Ref = %g %g %g, dot = %g\n", R.x, R.y, R.z, f.out.x, f.out.y, f.out.z,
                    cosine);
        }
        return false;
    }
    // The shadow ray runs from the receiver back to the point, stopping as
    // short of both ends as the scene's size asks: geometry near either end
    // still shadows.
    transmission(-R / len, ctx.receiver, current_renderer->options.shutter_open, ctx.bias, f.T, len - ctx.bias,
                 nullptr);
    if (!(channel_sum(f.T) > 0.005f)) return false;
    f.u = uv[0], f.v = uv[1];
    f.iterations = iterations;
    return true;
}

// Two specular points of one surface closer than this (relative to the size
// of the patch) are one point: found from two starts, by the two patches of
// a seam, or by every patch that meets at a pole.
const float SAME_POINT = 0.002f;

// Every specular point of the current patch for the current light position
// and receiver: searched from the middle of the patch and of its quarters,
// since a patch may hold more than one (the fold of a cylindrical mirror,
// the rim of a lens). Each search starts afresh, so that one that failed
// leaves nothing behind for the next.
void find_reflection_points(std::vector<Found> &found)
{
    const RadPatch *p = ctx.patch;
    const float du = p->umax - p->umin, dv = p->vmax - p->vmin;
    // The residual is smooth over a patch: where one Newton step from its
    // middle lands beyond the patch's own extent around it, the patch holds
    // no point (a singular step, as at a fold, proves nothing).
    {
        const float mid[2] = {p->umin + 0.5f * du, p->vmin + 0.5f * dv};
        Point r;
        float step[2];
        if (residual(mid, r) && newton_step(mid, r, step) && !(std::fabs(step[0]) <= du && std::fabs(step[1]) <= dv))
            return;
    }
    const float starts[5][2] = {{0.5f, 0.5f}, {0.25f, 0.25f}, {0.75f, 0.25f}, {0.25f, 0.75f}, {0.75f, 0.75f}};
    std::vector<std::pair<float, float>> solved;
    for (int i = 0; i < 5; ++i) {
        const float start[2] = {p->umin + starts[i][0] * du, p->vmin + starts[i][1] * dv};
        float uv[2];
        int iterations = 0;
        if (!search_from(start, i == 0, uv, iterations)) continue;
        bool known = false;
        for (const auto &q : solved)
            known |= std::fabs(q.first - uv[0]) <= SAME_POINT * du && std::fabs(q.second - uv[1]) <= SAME_POINT * dv;
        if (known) continue;
        solved.emplace_back(uv[0], uv[1]);
        Found f;
        if (accept(uv, iterations, f)) found.push_back(f);
    }
}

// The light of one found path at the receiver: the light's colour at the
// point carried as a pencil through the surface and on to the receiver. The
// pencil starts spherical about a light position, plane for a distant light;
// the beam's irradiance falls with the spread of its cross-section,
// |(1 - k1 d)(1 - k2 d)| after d.
Color path_light(LightSource *light, const Found &f, int k, int samples, Intersection &sv)
{
    sv.shade_index = next_shade_index();
    // An area light is evaluated at the light position the search used.
    light->hold_area_sample = true;
    light->run(f.P, f.N, 0, 0, k, samples, &sv);
    light->hold_area_sample = false;
    Color Cl = sv.Cl;
    Point out = ctx.receiver - f.P;
    if (!(dot(ctx.receiver_N, out) < 0)) return Color();
    float dout = out.length();
    if (!(dout > 0)) return Color();
    Pencil p;
    p.P = f.P;
    p.d = normalize(f.in);
    Point t = normalize(Point(p.d.z - p.d.y, p.d.x - p.d.z, p.d.y - p.d.x));
    p.a1 = t;
    p.a2 = normalize(cross(p.d, t));
    if (!ctx.distant) {
        float din = f.in.length();
        if (!(din > 0)) return Color();
        p.k1 = p.k2 = -1 / din;
    }
    p.factor = 1;
    float s1, s2;
    Point sa1, sa2;
    surface_curvature(ctx.surface, f.u, f.v, s1, s2, sa1, sa2);
    Point Nraw, Praw;
    ctx.scene->surface_point(ctx.surface, f.u, f.v, Praw, Nraw);
    if (dot(Nraw, f.out) < 0) s1 = -s1, s2 = -s2;
    carry(p, f.N, s1, s2, sa1, sa2, f.out);
    float spread = std::fabs((1 - p.k1 * dout) * (1 - p.k2 * dout));
    if (!(spread > 0)) return Color();
    float scale = -dot(ctx.receiver_N, out) / dout * p.factor / spread;
    Color c = Cl * f.T * scale;
    return c.x == c.x && c.y == c.y && c.z == c.z ? c : Color();
}

void set_surface(GSurface *s, RadPatch *p)
{
    ctx.surface = s;
    ctx.patch = p;
    const GState *g = s->attributes();
    ctx.refract = !(g->flags & GS_RAD_SPECULAR) && (g->flags & GS_RAD_REFRACTION);
    ctx.eta = g->refraction_index != 0 ? 1 / g->refraction_index : 1;
}

// Where a patch lies and which way it faces: a ball about its points and a
// cone about its normals, each widened by the spacing of the samples taken.
struct Reach {
    GSurface *surface;
    float umin, vmin, umax, vmax;
    Point centre, axis;
    float radius, spread;   // spread: the half-angle of the normals (pi: any)
};

std::unordered_map<const RadPatch *, Reach> &reaches()
{
    static std::unordered_map<const RadPatch *, Reach> r;
    return r;
}

float angle_between(const Point &a, const Point &b)
{
    return std::acos(std::max(-1.0f, std::min(1.0f, dot(a, b))));
}

const Reach &reach_of(GSurface *s, const RadPatch *p)
{
    auto it = reaches().find(p);
    if (it != reaches().end() && it->second.surface == s && it->second.umin == p->umin &&
        it->second.vmin == p->vmin && it->second.umax == p->umax && it->second.vmax == p->vmax)
        return it->second;
    const int K = 4;
    Point P[K + 1][K + 1], N[K + 1][K + 1], sum, nsum;
    for (int i = 0; i <= K; ++i)
        for (int j = 0; j <= K; ++j) {
            ctx.scene->surface_point(s, p->umin + (p->umax - p->umin) * i / K, p->vmin + (p->vmax - p->vmin) * j / K,
                                     P[i][j], N[i][j]);
            sum += P[i][j];
            nsum += N[i][j];
        }
    Reach r{s, p->umin, p->vmin, p->umax, p->vmax, sum / float((K + 1) * (K + 1)), Point(), 0, 0};
    float gap = 0, turn = 0, far = 0, wide = 0;
    const bool cone = nsum.length() > 0.5f * (K + 1) * (K + 1);
    if (cone) r.axis = normalize(nsum);
    for (int i = 0; i <= K; ++i)
        for (int j = 0; j <= K; ++j) {
            far = std::max(far, (P[i][j] - r.centre).length());
            if (cone) wide = std::max(wide, angle_between(N[i][j], r.axis));
            if (i < K) {
                gap = std::max(gap, (P[i + 1][j] - P[i][j]).length());
                turn = std::max(turn, angle_between(N[i + 1][j], N[i][j]));
            }
            if (j < K) {
                gap = std::max(gap, (P[i][j + 1] - P[i][j]).length());
                turn = std::max(turn, angle_between(N[i][j + 1], N[i][j]));
            }
        }
    r.radius = far + gap;
    r.spread = cone && far == far && wide == wide && turn == turn ? wide + turn : 4;
    if (!(r.radius == r.radius)) r.radius = 1e30f;
    return reaches()[p] = r;
}

// Whether the patch may hold a point that turns the light towards the
// receiver: such a point's normal lies along eta a + b (a towards the light,
// b towards the receiver, eta 1 for a mirror), and seen from the light and
// the receiver the patch's ball bounds how far a and b, so that sum, turn
// from their values at its centre.
bool may_reach(const Reach &q)
{
    if (q.spread >= 3) return true;
    const Point to_r = ctx.receiver - q.centre;
    const float dr = to_r.length();
    if (!(dr > q.radius)) return true;
    Point a0;
    float alpha = 0;
    if (ctx.distant) {
        a0 = -ctx.dir;
    } else {
        const Point to_s = ctx.source - q.centre;
        const float ds = to_s.length();
        if (!(ds > q.radius)) return true;
        a0 = to_s / ds;
        alpha = std::asin(q.radius / ds);
    }
    const float beta = std::asin(q.radius / dr), eta = ctx.refract ? ctx.eta : 1;
    const Point h0 = a0 * eta + to_r / dr;
    const float m = h0.length();
    const float e = eta * 2 * std::sin(0.5f * alpha) + 2 * std::sin(0.5f * beta);
    if (!(e < m)) return true;
    const float off = std::acos(std::min(1.0f, std::fabs(dot(h0, q.axis)) / m));
    return !(off > q.spread + std::asin(e / m) + 0.001f);
}

// The patches of one surface in a tree of bounds (each node's ball and
// normal cone hold its children's), so that a search visits only the
// patches that may reach the receiver, however many there are.
struct ReachTree {
    struct Node {
        Reach bound;
        int left = -1, right = -1;   // children, or -1 for a leaf
        RadPatch *patch = nullptr;
    };
    std::vector<Node> nodes;
    size_t patches = 0;
};

std::unordered_map<const GSurface *, ReachTree> &trees()
{
    static std::unordered_map<const GSurface *, ReachTree> t;
    return t;
}

int build_reach(ReachTree &t, std::vector<std::pair<RadPatch *, Reach>> &leaves, size_t lo, size_t hi)
{
    const int at = int(t.nodes.size());
    t.nodes.emplace_back();
    if (hi - lo == 1) {
        t.nodes[at].bound = leaves[lo].second;
        t.nodes[at].patch = leaves[lo].first;
        return at;
    }
    Bound box = EMPTY_BOUND;
    Point axes;
    for (size_t i = lo; i < hi; ++i) {
        box.extend(leaves[i].second.centre);
        axes += leaves[i].second.axis;
    }
    Reach r = leaves[lo].second;
    r.centre = Point(0.5f * (box[0] + box[1]), 0.5f * (box[2] + box[3]), 0.5f * (box[4] + box[5]));
    r.radius = 0;
    r.spread = 0;
    r.axis = axes.length() > 0 ? normalize(axes) : Point(0, 0, 1);
    for (size_t i = lo; i < hi; ++i) {
        const Reach &q = leaves[i].second;
        r.radius = std::max(r.radius, (q.centre - r.centre).length() + q.radius);
        r.spread = q.spread >= 3 || !(axes.length() > 0) ? 4 : std::max(r.spread, angle_between(q.axis, r.axis) + q.spread);
    }
    t.nodes[at].bound = r;
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (box[2 * i + 1] - box[2 * i] > box[2 * k + 1] - box[2 * k]) k = i;
    const size_t mid = lo + (hi - lo) / 2;
    auto first = leaves.begin();
    std::nth_element(first + std::ptrdiff_t(lo), first + std::ptrdiff_t(mid), first + std::ptrdiff_t(hi),
                     [k](const auto &x, const auto &y) { return x.second.centre[k] < y.second.centre[k]; });
    const int left = build_reach(t, leaves, lo, mid), right = build_reach(t, leaves, mid, hi);
    t.nodes[at].left = left;
    t.nodes[at].right = right;
    return at;
}

const ReachTree &reach_tree(GSurface *s)
{
    size_t n = 0;
    for (RadPatch *p = s->rad_patches; p; p = p->next) ++n;
    ReachTree &t = trees()[s];
    if (t.patches == n && !t.nodes.empty()) return t;
    t = ReachTree();
    t.patches = n;
    std::vector<std::pair<RadPatch *, Reach>> leaves;
    for (RadPatch *p = s->rad_patches; p; p = p->next) leaves.emplace_back(p, reach_of(s, p));
    if (n > 0) build_reach(t, leaves, 0, n);
    return t;
}

// The patches of the tree that may reach the receiver from the current
// light position, in the tree's order.
void reaching(const ReachTree &t, std::vector<RadPatch *> &out)
{
    out.clear();
    if (t.nodes.empty()) return;
    std::vector<int> stack{0};
    while (!stack.empty()) {
        const ReachTree::Node &n = t.nodes[size_t(stack.back())];
        stack.pop_back();
        if (!may_reach(n.bound)) continue;
        if (n.patch) {
            out.push_back(n.patch);
        } else {
            stack.push_back(n.right);
            stack.push_back(n.left);
        }
    }
}

// Whether two points found on the surface are one: closer than tol, or
// joined by a valley of the residual (where the light nearly focuses the
// point is ill determined, and the patches meeting there find it apart).
bool same_point(const Found &a, const Found &b, float tol)
{
    if ((a.P - b.P).length() <= tol) return true;
    if (std::fabs(a.u - b.u) > 0.5f) return false;   // across a seam: no midpoint between
    const float mid[2] = {0.5f * (a.u + b.u), 0.5f * (a.v + b.v)};
    Point r;
    return residual(mid, r) && r.length() < CONVERGED_RESIDUAL;
}

// The light of one light over the patches of a surface, averaged over
// samples, into light_of (per patch that passed light, in the order first
// met). A specular point found through several patches (a seam, a pole)
// counts once, for the first. Samples whose light position repeats the
// previous one (every sample of a point light) reuse its result instead of
// searching again.
void specular_path_transfer(LightSource *light, GSurface *surface, int samples,
                            std::vector<std::pair<RadPatch *, Color>> &light_of)
{
    light_of.clear();
    if (light->kind != LIGHT_ORDINARY && light->kind != LIGHT_AREA) return;
    const ReachTree &tree = reach_tree(surface);
    if (tree.nodes.empty()) return;
    const Point receiver = ctx.receiver;
    Intersection sv;
    sv.obj = surface;
    sv.surf = surface->attrs;
    sv.doillum = 1;
    std::vector<std::pair<RadPatch *, Color>> sample;
    std::vector<Found> seen;
    std::vector<Found> found;
    std::vector<RadPatch *> near;
    Point last_source, last_dir;
    bool repeatable = false;
    for (int k = 0; k < samples; ++k) {
        sv.shade_index = next_shade_index();
        light->run(receiver, ctx.receiver_N, 0, 0, k, samples, &sv);
        const Point source = sv.Pl, L = sv.L, from = receiver - source;
        // A light statement from a position gives L = Ps - Pl; a distant
        // light's L is its direction, whatever Pl is.
        const bool distant = L.length() > 0 && !((from - L).length() <= 1e-4f * std::max(L.length(), from.length()));
        if (!(repeatable && source == last_source && L == last_dir)) {
            seen.clear();
            sample.clear();
            set_surface(surface, surface->rad_patches);
            ctx.source = source;
            ctx.distant = distant;
            ctx.dir = distant ? normalize(L) : Point();
            reaching(tree, near);
            for (RadPatch *p : near) {
                set_surface(surface, p);
                found.clear();
                find_reflection_points(found);
                Point c0, c1, nn;
                ctx.scene->surface_point(surface, p->umin, p->vmin, c0, nn);
                ctx.scene->surface_point(surface, p->umax, p->vmax, c1, nn);
                const float tol = SAME_POINT * (c1 - c0).length();
                Color c;
                for (const Found &f : found) {
                    bool counted = false;
                    for (const Found &q : seen) counted = counted || same_point(q, f, tol);
                    if (counted) continue;
                    seen.push_back(f);
                    c += path_light(light, f, k, samples, sv);
                }
                if (c != Color()) sample.emplace_back(p, c);
            }
            last_source = source;
            last_dir = L;
            repeatable = light->kind != LIGHT_AREA;
        }
        for (const auto &q : sample) {
            auto it = std::find_if(light_of.begin(), light_of.end(), [&q](const auto &x) { return x.first == q.first; });
            if (it == light_of.end()) light_of.push_back(q);
            else it->second += q.second;
        }
    }
    for (auto &q : light_of) q.second = q.second * (1.0f / float(samples));
}

Color path_colour(const GSurface *s)
{
    const GState *g = s->attributes();
    return (g->flags & GS_RAD_SPECULAR) ? g->rad_specularcolor : g->rad_refractioncolor;
}

int path_samples()
{
    int n = current_renderer ? current_renderer->options.minpatchsamples : 1;
    return std::max(16, n * n);
}

// Shadow rays of the paths leave and stop this far from their ends: a
// ten-thousandth of the frame's size (of the surfaces with finite bounds).
float &frame_bias()
{
    static float bias = -1;
    return bias;
}

float scene_bias(RayTracer *scene)
{
    float &bias = frame_bias();
    if (bias > 0) return bias;
    Bound all = EMPTY_BOUND;
    scene->for_each_frame_surface(
        [](GSurface *s, void *arg) {
            const Bound &b = s->world_bound;
            for (int i = 0; i < 6; ++i)
                if (!(std::fabs(b[i]) < 1e9f)) return;
            static_cast<Bound *>(arg)->merge(b);
        },
        &all);
    const float size = all[1] >= all[0] ? all.diagonal() : 0;
    bias = size > 0 ? std::max(1e-4f * size, 1e-6f) : 0.001f;
    return bias;
}

// The last answer, for the same point asked again.
struct Memo {
    Point P, axis;
    Color result;
    bool recording = false, set = false;
};

Memo &memo()
{
    static Memo m;
    return m;
}

} // namespace

void clear_specular_paths()
{
    reaches().clear();
    trees().clear();
    memo() = Memo();
    frame_bias() = -1;
}

Color specular_path_light(const Point &P, const Point &axis, GPrimitive *)
{
    RayTracer *scene = RayTracer::current();
    if (!scene) return Color();
    ctx.scene = scene;
    ctx.bias = scene_bias(scene);
    // The paths are searched for the point being shaded, whatever the mesh
    // of the surface it lies on: every patch of every specular surface that
    // may reach it.
    std::vector<GSurface *> mirrors;
    scene->for_each_frame_surface(
        [](GSurface *s, void *arg) {
            const GState *g = s->attributes();
            if (g && (g->flags & (GS_RAD_SPECULAR | GS_RAD_REFRACTION)) && s->rad_patches)
                static_cast<std::vector<GSurface *> *>(arg)->push_back(s);
        },
        &mirrors);
    const bool recording = scene->radiosity_running();
    // Without area lights the answer for a point depends on nothing else:
    // a vertex's samples of the diffuse light ask for it again and again.
    Memo &m = memo();
    bool fixed = true;
    for (LightSource *l = light_list().head; l; l = l->prev) fixed &= l->kind != LIGHT_AREA;
    if (fixed && m.set && m.P == P && m.axis == axis && m.recording == recording) return m.result;
    Color result;
    std::vector<std::pair<RadPatch *, Color>> light_of;
    for (GSurface *s : mirrors) {
        Color sum;
        for (LightSource *l = light_list().head; l; l = l->prev) {
            if (l->kind == LIGHT_BOUNCER) continue;
            ctx.receiver = P;
            ctx.receiver_N = axis;
            specular_path_transfer(l, s, path_samples(), light_of);
            for (const auto &q : light_of) {
                float cs = channel_sum(q.second);
                if (!(cs > 1e-6f)) continue;
                // At the mesh vertices a caustic's singular values would
                // flood the radiosity solution.
                if (!recording || cs < 100) sum += q.second;
                if (recording && render_debug_level >= 2)
                    fprintf(stderr,
                            "Recording path: lt %p -> patch %p -> obj %p\n\t Receiver at %g %g %g,  path "
                            "color = %.4g\n",
                            (void *)l, (void *)q.first, (void *)s, P.x, P.y, P.z, cs);
            }
        }
        result += sum * path_colour(s);
    }
    m = Memo{P, axis, result, recording, fixed};
    return result;
}
