// Light that reaches a point over one mirror or one refracting surface. For
// a receiver, each radiosity patch of a reflecting or refracting surface is
// searched for the point that joins a light to the receiver; the light's
// wavefront (a pencil with two principal curvatures) is carried through that
// point to scale its intensity by the focusing of the surface. Useful light
// and patch pairs are recorded while radiosity runs and replayed in shading.
#include "shading/specpath.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "shading/illum.h"
#include "shading/lightsource.h"
#include "shading/minimise.h"
#include "shading/scene_access.h"
#include "shading/shadehit.h"

namespace {

struct PathRecord {
    LightSource *light;
    RadPatch *patch;
    float u, v;
    bool solved;
};

// The paths of the frame.
std::vector<PathRecord> &paths()
{
    static std::vector<PathRecord> p;
    return p;
}

// What one search works on.
struct SearchContext {
    SceneAccess *scene = nullptr;
    GSurface *surface = nullptr;
    RadPatch *patch = nullptr;
    Point source, receiver, receiver_N;
    bool refract = false;
    float eta = 1;
} ctx;

// A wavefront at a point: direction, principal curvatures with their axes,
// and the intensity factor carried along.
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

// The unit normal at P turned against the incoming direction (P - source).
Point facing_normal(const Point &N, const Point &P)
{
    return dot(N, P - ctx.source) > 0 ? -N : N;
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
    Point in = normalize(P - ctx.source), out;
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
    float before = std::fabs(p.k1 * p.k2);
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
    float after = std::fabs(p.k1 * p.k2);
    if (after > 0) p.factor *= before / after;
    // Through a refraction the beam's cross-section changes with the
    // cosines on either side (the flux stays): ci / ct.
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
    if (!leaving(normalize(P - ctx.source), N, out)) return false;
    r = normalize(ctx.receiver - P) - out;
    return r.x == r.x && r.y == r.y && r.z == r.z;
}

// The Gauss-Newton step towards the specular point from (u, v), on the
// direction residual with a finite-difference Jacobian; false where it
// cannot be taken.
bool newton_step(const float *uv, const Point &r, float *step)
{
    const RadPatch *p = ctx.patch;
    const float hu = 1e-4f * (p->umax - p->umin), hv = 1e-4f * (p->vmax - p->vmin);
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
    if (!newton_step(uv, r, step)) return STUCK;
    if (!(uv[0] + step[0] >= p->umin - eu && uv[0] + step[0] <= p->umax + eu && uv[1] + step[1] >= p->vmin - ev &&
          uv[1] + step[1] <= p->vmax + ev))
        return ELSEWHERE;
    return r.length() < CONVERGED_RESIDUAL ? CONVERGED : STUCK;
}

bool find_reflection_point(PathRecord *rec, Found &f)
{
    const RadPatch *p = ctx.patch;
    float start[2] = {0.5f * (p->umin + p->umax), 0.5f * (p->vmin + p->vmax)};
    if (rec && rec->solved) start[0] = rec->u, start[1] = rec->v;
    float steps[2] = {(p->umax - p->umin) / 16, (p->vmax - p->vmin) / 16};
    float uv[2];
    // Newton's method converges in a few steps from anywhere near the point;
    // the pattern search is the slow, sure way when it gets stuck.
    copy_floats(uv, start, 2);
    f.iterations = 0;
    Descent d = newton_descent(uv);
    if (d == STUCK) {
        set_objective(mirror_objective, uv_penalty);
        pattern_search(start, steps, uv, 2, 200, 0.0001f, &f.iterations);
        d = on_patch(uv[0], uv[1]) ? newton_descent(uv) : STUCK;
    }
    const bool here = d == CONVERGED;
    if (rec) rec->u = uv[0], rec->v = uv[1], rec->solved = true;
    if (!here) return false;
    ctx.scene->surface_point(ctx.surface, uv[0], uv[1], f.P, f.N);
    if ((f.P - ctx.receiver).length() < 0.01f) return false;
    f.in = f.P - ctx.source;
    f.N = facing_normal(f.N, f.P);
    if (!leaving(normalize(f.in), f.N, f.out)) return false;
    Point R = ctx.receiver - f.P;
    float len = R.length();
    float cosine = dot(R, f.out) / len;
    if (!(cosine >= 0.9925f && cosine <= 1.0075f)) {
        if (ctx.scene->radiosity_running() && render_debug_level >= 2) {
            fprintf(stderr, "%s%g %g    %d iters\n", cosine < 0.9925f ? "Not a true reflection " :
                    "Huh?  Not a true reflection ", uv[0], uv[1], f.iterations);
            fprintf(stderr, "\tsourceP = %g %g %g, receiverP = %g %g %g\n", ctx.source.x, ctx.source.y,
                    ctx.source.z, ctx.receiver.x, ctx.receiver.y, ctx.receiver.z);
            fprintf(stderr, "\tR = %g %g %g, Ref = %g %g %g, dot = %g\n", R.x, R.y, R.z, f.out.x, f.out.y, f.out.z,
                    cosine);
        }
        return false;
    }
    // The shadow ray runs from the receiver back to the point.
    transmission(-R / len, ctx.receiver, current_renderer->options.shutter_open, 0.5f, f.T, len - 0.01f, nullptr);
    if (!(channel_sum(f.T) > 0.005f)) return false;
    f.u = uv[0], f.v = uv[1];
    return true;
}

// The light of one found path at the receiver: the light's colour at the
// point carried as a pencil through the surface and on to the receiver.
Color path_light(LightSource *light, const Found &f, int k, int samples, Intersection &sv)
{
    sv.shade_index = next_shade_index();
    light->run(f.P, f.N, 0, 0, k, samples, &sv);
    Color Cl = sv.Cl;
    Point out = ctx.receiver - f.P;
    if (!(dot(ctx.receiver_N, out) < 0)) return Color();
    float din = f.in.length(), dout = out.length();
    if (!(din > 0) || !(dout > 0)) return Color();
    Pencil p;
    p.P = f.P;
    p.d = normalize(f.in);
    Point t = normalize(Point(p.d.z - p.d.y, p.d.x - p.d.z, p.d.y - p.d.x));
    p.a1 = t;
    p.a2 = normalize(cross(p.d, t));
    p.k1 = p.k2 = -1 / din;
    p.factor = din * din;
    float s1, s2;
    Point sa1, sa2;
    surface_curvature(ctx.surface, f.u, f.v, s1, s2, sa1, sa2);
    Point Nraw, Praw;
    ctx.scene->surface_point(ctx.surface, f.u, f.v, Praw, Nraw);
    if (dot(Nraw, f.out) < 0) s1 = -s1, s2 = -s2;
    carry(p, f.N, s1, s2, sa1, sa2, f.out);
    float k1 = p.k1 / (1 - p.k1 * dout), k2 = p.k2 / (1 - p.k2 * dout);
    float scale = -dot(ctx.receiver_N, out) / dout * std::fabs(k1 * k2) * p.factor;
    Color c = Cl * f.T * scale;
    return c.x == c.x && c.y == c.y && c.z == c.z ? c : Color();
}

// One surface patch a light may reach the receiver over, with its path
// record when there is one.
struct Target {
    GSurface *surface;
    RadPatch *patch;
    PathRecord *rec;
};

void set_surface(GSurface *s, RadPatch *p)
{
    ctx.surface = s;
    ctx.patch = p;
    const GState *g = s->attributes();
    ctx.refract = !(g->flags & GS_RAD_SPECULAR) && (g->flags & GS_RAD_REFRACTION);
    ctx.eta = g->refraction_index != 0 ? 1 / g->refraction_index : 1;
}

// Two specular points of one surface closer than this (relative to the size
// of the patch) are one point: found by the two patches of a seam, or by
// every patch that meets at a pole.
const float SAME_POINT = 0.01f;

// The light of one light over each target, averaged over samples, into
// light_of (one per target). A specular point found by several targets of
// one surface counts once, for the first. Samples whose light position
// repeats the previous one (every sample of a point light) reuse its
// result instead of searching again.
void specular_path_transfer(LightSource *light, std::vector<Target> &targets, int samples,
                            std::vector<Color> &light_of)
{
    const size_t n = targets.size();
    light_of.assign(n, Color());
    if (light->kind != LIGHT_ORDINARY && light->kind != LIGHT_AREA) return;
    if (n == 0) return;
    const Point receiver = ctx.receiver;
    Intersection sv;
    sv.obj = targets[0].surface;
    sv.surf = targets[0].surface->attrs;
    sv.doillum = 1;
    std::vector<Color> sample(n);
    std::vector<std::pair<GSurface *, Point>> seen;
    Point last_source;
    bool repeatable = false;
    for (int k = 0; k < samples; ++k) {
        sv.shade_index = next_shade_index();
        light->run(receiver, ctx.receiver_N, 0, 0, k, samples, &sv);
        const Point source = sv.Pl;
        if (!(repeatable && source == last_source)) {
            seen.clear();
            for (size_t i = 0; i < n; ++i) {
                sample[i] = Color();
                set_surface(targets[i].surface, targets[i].patch);
                sv.obj = ctx.surface;
                sv.surf = ctx.surface->attrs;
                ctx.source = source;
                Found f;
                if (!find_reflection_point(targets[i].rec, f)) continue;
                const RadPatch *p = ctx.patch;
                Point c0, c1, n;
                ctx.scene->surface_point(ctx.surface, p->umin, p->vmin, c0, n);
                ctx.scene->surface_point(ctx.surface, p->umax, p->vmax, c1, n);
                const float tol = SAME_POINT * (c1 - c0).length();
                bool counted = false;
                for (const auto &q : seen) counted |= q.first == ctx.surface && (q.second - f.P).length() < tol;
                if (counted) continue;
                seen.emplace_back(ctx.surface, f.P);
                sample[i] = path_light(light, f, k, samples, sv);
            }
            last_source = source;
            repeatable = true;
        }
        for (size_t i = 0; i < n; ++i) light_of[i] += sample[i];
    }
    for (Color &c : light_of) c = c * (1.0f / float(samples));
}

Color path_colour(const GSurface *s)
{
    const GState *g = s->attributes();
    return (g->flags & GS_RAD_SPECULAR) ? g->rad_specularcolor : g->rad_refractioncolor;
}

// Records the paths of the light over every patch of the surface, once.
void record_surface(LightSource *l, GSurface *s)
{
    for (RadPatch *p = s->rad_patches; p; p = p->next) {
        bool known = false;
        for (const PathRecord &r : paths()) known |= r.light == l && r.patch == p;
        if (!known) paths().push_back(PathRecord{l, p, 0, 0, false});
    }
}

int path_samples()
{
    int n = current_renderer ? current_renderer->options.minpatchsamples : 1;
    return std::max(16, n * n);
}

} // namespace

void clear_specular_paths()
{
    paths().clear();
}

Color specular_path_light(const Point &P, const Point &axis, GPrimitive *)
{
    SceneAccess *scene = current_scene();
    if (!scene) return Color();
    ctx.scene = scene;
    ctx.receiver = P;
    ctx.receiver_N = axis;
    Color result;
    if (scene->radiosity_running()) {
        struct Walk {
            Color *result;
        } w{&result};
        scene->for_each_frame_surface(
            [](GSurface *s, void *arg) {
                const GState *g = s->attributes();
                if (!g || !(g->flags & (GS_RAD_SPECULAR | GS_RAD_REFRACTION))) return;
                std::vector<Target> targets;
                for (RadPatch *p = s->rad_patches; p; p = p->next) targets.push_back(Target{s, p, nullptr});
                Color sum;
                std::vector<Color> light_of;
                for (LightSource *l = light_list().head; l; l = l->prev) {
                    if (l->kind == LIGHT_BOUNCER) continue;
                    specular_path_transfer(l, targets, path_samples(), light_of);
                    bool any = false;
                    for (size_t i = 0; i < targets.size(); ++i) {
                        RadPatch *p = targets[i].patch;
                        float cs = channel_sum(light_of[i]);
                        if (!(cs > 1e-6f)) continue;
                        if (cs < 100) sum += light_of[i];
                        any = true;
                        if (render_debug_level >= 2)
                            fprintf(stderr,
                                    "Recording path: lt %p -> patch %p -> obj %p\n\t Receiver at %g %g %g,  path "
                                    "color = %.4g\n",
                                    (void *)l, (void *)p, (void *)s, ctx.receiver.x, ctx.receiver.y, ctx.receiver.z,
                                    cs);
                    }
                    // The mesh vertices are far apart next to the patches of
                    // a curved mirror: receivers between them are reached
                    // through patches no vertex was reached through. Once the
                    // light reaches any receiver over the surface, all its
                    // patches are searched for it.
                    if (any) record_surface(l, s);
                }
                *static_cast<Walk *>(arg)->result += sum * path_colour(s);
            },
            &w);
        return result;
    }
    // The recorded paths, a light at a time, so that a point on a seam is
    // counted once.
    std::vector<PathRecord> &all = paths();
    std::vector<bool> done(all.size(), false);
    std::vector<Target> targets;
    std::vector<Color> light_of;
    for (size_t i = 0; i < all.size(); ++i) {
        if (done[i]) continue;
        LightSource *l = all[i].light;
        targets.clear();
        for (size_t j = i; j < all.size(); ++j)
            if (!done[j] && all[j].light == l) {
                done[j] = true;
                targets.push_back(Target{all[j].patch->owner, all[j].patch, &all[j]});
            }
        ctx.receiver = P;
        ctx.receiver_N = axis;
        specular_path_transfer(l, targets, path_samples(), light_of);
        for (size_t j = 0; j < targets.size(); ++j) result += light_of[j] * path_colour(targets[j].surface);
    }
    return result;
}
