// Light that reaches a point over one mirror or one refracting surface. For
// a receiver, each radiosity patch of a reflecting or refracting surface is
// searched for the point that joins a light to the receiver; the light's
// wavefront (a pencil with two principal curvatures) is carried through that
// point to scale its intensity by the focusing of the surface. Useful light
// and patch pairs are recorded while radiosity runs and replayed in shading.
#include <cmath>
#include <cstdio>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "shading/illum.h"
#include "shading/lightsource.h"
#include "shading/minimise.h"
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

bool inside(float u, float v)
{
    const RadPatch *p = ctx.patch;
    return u > p->umin && u < p->umax && v > p->vmin && v < p->vmax;
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

float mirror_objective(const float *uv)
{
    if (!inside(uv[0], uv[1])) return 1;
    Point P, N;
    rad_surface_point(ctx.surface, uv[0], uv[1], P, N);
    N = facing_normal(N, P);
    Point in = normalize(P - ctx.source), out = normalize(ctx.receiver - P);
    if (!ctx.refract) return -dot(normalize(mirror(in, N)), out);
    float c1 = dot(in, N), c2 = dot(out, N);
    float a = 1 - c1 * c1;
    // The ratio of the sines holds on a whole curve of the surface; the
    // refracted ray also keeps to the plane of incidence.
    float off_plane = std::fabs(dot(cross(in, N), out));
    if (!(a > 1e-12f)) return std::fabs(ctx.eta) + off_plane;
    return std::fabs(ctx.eta - std::sqrt(std::max(0.0f, 1 - c2 * c2) / a)) + off_plane;
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

// The principal curvatures of the surface at (u, v) with their axes (world
// space), from finite differences of the derivatives.
static void surface_curvature(GSurface *s, float u, float v, float &k1, float &k2, Point &a1, Point &a2)
{
    const float h = 0.005f;
    const float hu = u >= 0.995f ? -h : h, hv = v >= 0.995f ? -h : h;
    Point P, N, Pu, Pv, Puu, Puv, Pvv;
    rad_surface_point(s, u, v, P, N);
    auto world = [s](float uu, float vv) {
        Point p, n;
        rad_surface_point(s, uu, vv, p, n);
        return p;
    };
    Point p00 = P, p10 = world(u + hu, v), p01 = world(u, v + hv), p20 = world(u + 2 * hu, v),
          p02 = world(u, v + 2 * hv), p11 = world(u + hu, v + hv);
    Pu = (p10 - p00) / hu;
    Pv = (p01 - p00) / hv;
    Puu = (p20 - p10 * 2 + p00) / (hu * hu);
    Pvv = (p02 - p01 * 2 + p00) / (hv * hv);
    Puv = (p11 - p10 - p01 + p00) / (hu * hv);
    Point e1 = normalize(Pu), e2 = normalize(cross(N, e1));
    // First and second fundamental forms in (u, v), then the shape operator
    // in the orthonormal tangent frame (e1, e2).
    float E = dot(Pu, Pu), F = dot(Pu, Pv), G = dot(Pv, Pv);
    float L = dot(Puu, N), M = dot(Puv, N), Nn = dot(Pvv, N);
    float det = E * G - F * F;
    if (!(det > 1e-20f)) {
        k1 = k2 = 0, a1 = e1, a2 = e2;
        return;
    }
    // Tangent frame coordinates of Pu and Pv.
    float pu1 = dot(Pu, e1), pv1 = dot(Pv, e1), pv2 = dot(Pv, e2);
    if (std::fabs(pv2) < 1e-12f) {
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
}

struct Found {
    float u, v;
    Point P, N, in, out;
    Color T;
    int iterations;
};

bool find_reflection_point(PathRecord *rec, Found &f)
{
    const RadPatch *p = ctx.patch;
    float start[2] = {0.5f * (p->umin + p->umax), 0.5f * (p->vmin + p->vmax)};
    if (rec && rec->solved) start[0] = rec->u, start[1] = rec->v;
    float steps[2] = {(p->umax - p->umin) / 16, (p->vmax - p->vmin) / 16};
    float uv[2];
    set_objective(mirror_objective, uv_penalty);
    pattern_search(start, steps, uv, 2, 200, 0.0001f, &f.iterations);
    if (rec) rec->u = uv[0], rec->v = uv[1], rec->solved = true;
    if (!inside(uv[0], uv[1])) return false;
    rad_surface_point(ctx.surface, uv[0], uv[1], f.P, f.N);
    if ((f.P - ctx.receiver).length() < 0.01f) return false;
    f.in = f.P - ctx.source;
    f.N = facing_normal(f.N, f.P);
    Point d = normalize(f.in);
    f.out = ctx.refract ? refracted(d, f.N, ctx.eta) : mirror(d, f.N);
    if (f.out.length() < 0.0001f) return false;
    f.out = normalize(f.out);
    Point R = ctx.receiver - f.P;
    float len = R.length();
    float cosine = dot(R, f.out) / len;
    // A search that ends pressed against the patch's edge found the nearest
    // point of this patch, not a reflection point (that lies in a neighbour,
    // which finds it itself): only a true reflection counts there.
    const float mu = 0.01f * (p->umax - p->umin), mv = 0.01f * (p->vmax - p->vmin);
    const bool at_edge = uv[0] - p->umin < mu || p->umax - uv[0] < mu || uv[1] - p->vmin < mv || p->vmax - uv[1] < mv;
    if (at_edge && cosine < 0.9999f) return false;
    if (!(cosine >= 0.9925f && cosine <= 1.0075f)) {
        if (radiosity_running() && render_debug_level >= 2) {
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

// The light over one path, averaged over samples.
Color specular_path_transfer(LightSource *light, PathRecord *rec, int samples)
{
    if (light->kind != LIGHT_ORDINARY && light->kind != LIGHT_AREA) return Color();
    Color total;
    Intersection sv;
    sv.obj = ctx.surface;
    sv.surf = ctx.surface->attrs;
    sv.doillum = 1;
    for (int k = 0; k < samples; ++k) {
        sv.shade_index = next_shade_index();
        light->run(ctx.receiver, ctx.receiver_N, 0, 0, k, samples, &sv);
        ctx.source = sv.Pl;
        Found f;
        if (!find_reflection_point(rec, f)) continue;
        sv.shade_index = next_shade_index();
        light->run(f.P, f.N, 0, 0, k, samples, &sv);
        Color Cl = sv.Cl;
        Point out = ctx.receiver - f.P;
        if (!(dot(ctx.receiver_N, out) < 0)) continue;
        float din = f.in.length(), dout = out.length();
        if (!(din > 0) || !(dout > 0)) continue;
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
        rad_surface_point(ctx.surface, f.u, f.v, Praw, Nraw);
        if (dot(Nraw, f.out) < 0) s1 = -s1, s2 = -s2;
        carry(p, f.N, s1, s2, sa1, sa2, f.out);
        float k1 = p.k1 / (1 - p.k1 * dout), k2 = p.k2 / (1 - p.k2 * dout);
        float scale = -dot(ctx.receiver_N, out) / dout * std::fabs(k1 * k2) * p.factor;
        total += Cl * f.T * scale;
    }
    return total * (1.0f / float(samples));
}

void set_surface(GSurface *s, RadPatch *p)
{
    ctx.surface = s;
    ctx.patch = p;
    const GState *g = s->attributes();
    ctx.refract = !(g->flags & GS_RAD_SPECULAR) && (g->flags & GS_RAD_REFRACTION);
    ctx.eta = g->refraction_index != 0 ? 1 / g->refraction_index : 1;
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

} // namespace

void clear_specular_paths()
{
    paths().clear();
}

Color specular_path_light(const Point &P, const Point &axis, GPrimitive *)
{
    RayTracer *rt = RayTracer::current();
    if (!rt) return Color();
    ctx.receiver = P;
    ctx.receiver_N = axis;
    Color result;
    if (radiosity_running()) {
        struct Walk {
            Color *result;
        } w{&result};
        for_each_surface(
            rt->frame_objects,
            [](GSurface *s, void *arg) {
                const GState *g = s->attributes();
                if (!g || !(g->flags & (GS_RAD_SPECULAR | GS_RAD_REFRACTION))) return;
                Color sum;
                for (RadPatch *p = s->rad_patches; p; p = p->next) {
                    set_surface(s, p);
                    for (LightSource *l = light_list().head; l; l = l->prev) {
                        if (l->kind == LIGHT_BOUNCER) continue;
                        Color c = specular_path_transfer(l, nullptr, path_samples());
                        float cs = channel_sum(c);
                        if (!(cs > 1e-6f)) continue;
                        if (cs < 100) sum += c;
                        bool known = false;
                        for (const PathRecord &r : paths()) known |= r.light == l && r.patch == p;
                        if (!known) paths().push_back(PathRecord{l, p, 0, 0, false});
                        if (render_debug_level >= 2)
                            fprintf(stderr,
                                    "Recording path: lt %p -> patch %p -> obj %p\n\t Receiver at %g %g %g,  path "
                                    "color = %.4g\n",
                                    (void *)l, (void *)p, (void *)s, ctx.receiver.x, ctx.receiver.y, ctx.receiver.z,
                                    cs);
                    }
                }
                *static_cast<Walk *>(arg)->result += sum * path_colour(s);
            },
            &w, 1);
        return result;
    }
    for (PathRecord &r : paths()) {
        set_surface(r.patch->owner, r.patch);
        ctx.receiver = P;
        ctx.receiver_N = axis;
        result += specular_path_transfer(r.light, &r, path_samples()) * path_colour(r.patch->owner);
    }
    return result;
}
