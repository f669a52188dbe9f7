// The progressive radiosity solution: direct light gathered at the mesh
// vertices, then the patch with the most unshot energy shooting to every
// vertex step after step, elements refined where the light changes, and the
// leftover energy spread as an ambient estimate. Shading looks the result up
// per element; the statistics and the RIB dumps come from here too.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/raytracer.h"
#include "ri/raylume_options.h"
#include "sampling/random.h"
#include "shading/illum.h"
#include "shading/reflectance.h"
#include "shading/shadehit.h"

namespace {

const float PI = 3.14159265358979f;
// Vertex light that differs by more than this between neighbouring corners
// splits an element.
const float REFINE_CONTRAST = 0.2f;
// The average reflectivity is capped here so that the interreflectance
// factor 1 / (1 - reflectivity) stays finite for white surfaces.
const float MAX_AVERAGE_REFLECTIVITY = 0.99f;

struct Solution {
    bool running = false, ready = false, ran = false;
    RadPatch *shooter = nullptr;
    int shooter_side = 0;
    Color power;          // the shooter's unshot energy per area
    int strata = 1;       // per axis of a shooter ("minpatchsamples")
    int samples = 16;     // direct-light samples per vertex
    bool stepped = false; // shooting has begun
    float time = 0;
    Color leftover, reflectivity, factor, ambient;
    long lookups = 0, links = 0;
};

Solution &sol()
{
    static Solution s;
    return s;
}

float sum(const Color &c) { return c.x + c.y + c.z; }

// The surface's reflectance for radiosity: its average colour times the
// diffuse reflectance its shader gives.
Color reflectance(GSurface *s)
{
    GState *g = s->attributes();
    return g ? g->rad_averagecolor * surface_reflectance(g, Reflectance::DIFFUSE) : Color(1, 1, 1);
}

Point side_normal(const Point &N, int side) { return side ? -N : N; }

void next_serial() { set_shade_index_counter(shade_index_counter() + 1); }

void gather_direct(GSurface *s, RadVertex *v, int side)
{
    Solution &S = sol();
    Intersection sv;
    sv.obj = s;
    sv.surf = s->attrs;
    sv.doillum = 1;
    sv.time = S.time;
    sv.weight = 1;
    const Point N = side_normal(v->N, side);
    sv.Ps = v->P;
    sv.Ns = sv.Ng = N;
    sv.I = -N;
    Color total;
    for (int k = 0; k < S.samples; ++k) {
        next_serial();
        sv.shade_index = shade_index_counter();
        Color C;
        diffuse(v->P, N, C, &sv);
        total += C;
    }
    Color c = total * reflectance(s) * (1.0f / float(S.samples));
    for (int i = 0; i < 3; ++i) c[i] = std::min(c[i], 100.0f);
    v->gathered[side] = c;
    v->direct[side] += c;
}

// The polygon q clipped to the side of the plane through P that N points to.
std::vector<Point> above_plane(const std::vector<Point> &q, const Point &P, const Point &N)
{
    std::vector<Point> out;
    const size_t n = q.size();
    for (size_t i = 0; i < n; ++i) {
        const Point &a = q[i], &b = q[(i + 1) % n];
        const float da = dot(a - P, N), db = dot(b - P, N);
        if (da >= 0) out.push_back(a);
        if ((da >= 0) != (db >= 0)) out.push_back(a + (b - a) * (da / (da - db)));
    }
    return out;
}

// The form factor from a point (unit normal N) to a polygon above its
// plane: the polygon's projected solid angle over pi, exact by the contour
// integral, however near the polygon lies.
float point_polygon_form_factor(const Point &P, const Point &N, const std::vector<Point> &q)
{
    const std::vector<Point> c = above_plane(q, P, N);
    double total = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const Point a = c[i] - P, b = c[(i + 1) % c.size()] - P;
        const float la = a.length(), lb = b.length();
        if (!(la > 0) || !(lb > 0)) continue;
        const Point g = cross(a, b);
        const float lg = g.length();
        if (!(lg > 0)) continue;
        const float angle = std::atan2(lg, dot(a, b));
        total += double(angle) * double(dot(N, g) / lg);
    }
    return float(std::fabs(total) / (2 * PI));
}

// Where a vertex gathers: on the edge of its surface (a corner line where
// two walls meet) just inside it, since the light there is the limit from
// inside (the wall next to it, seen from the corner line itself, has no
// extent).
Point gathering_point(GSurface *s, const RadVertex *v)
{
    const float step = 1e-4f;
    const bool edge_u = v->u <= 0 || v->u >= 1, edge_v = v->v <= 0 || v->v >= 1;
    if (!edge_u && !edge_v) return v->P;
    const float u = edge_u ? (v->u <= 0 ? step : 1 - step) : v->u;
    const float w = edge_v ? (v->v <= 0 ? step : 1 - step) : v->v;
    Point P, N;
    rad_surface_point(s, u, w, P, N);
    return P == P ? P : v->P;
}

// The shooter's light at one vertex side: per stratum of the shooter the
// exact form factor of the stratum's surface (as flat pieces), when a shadow
// ray to a random point of it gets through. (The form factor of a disk
// about the stratum's point, cos cos A / (pi r^2 + A), is far off where the
// stratum is near: at a corner line.)
void gather_from_shooter(GSurface *s, RadVertex *v, int side)
{
    Solution &S = sol();
    RadPatch *p = S.shooter;
    if (p->owner == s) return;
    next_serial();
    const int n = S.strata;
    const float du = (p->umax - p->umin) / n, dv = (p->vmax - p->vmin) / n;
    const Point Nv = side_normal(v->N, side), Pv = gathering_point(s, v);
    const Color rho = reflectance(s);
    std::vector<Point> corners;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            const float u0 = p->umin + a * du, v0 = p->vmin + b * dv;
            float fu = n == 1 ? 0.5f : random_uniform(), fv = n == 1 ? 0.5f : random_uniform();
            Point Ps, Ns, Nc;
            rad_surface_point(p->owner, u0 + fu * du, v0 + fv * dv, Ps, Ns);
            Ns = side_normal(Ns, S.shooter_side);
            Point d = Ps - Pv;
            if (!(dot(Ns, d) < 0 && dot(Nv, d) > 0)) continue;
            float r = d.length();
            Color T;
            transmission(d / r, Pv, S.time, 1e-3f * r, T, r * (1 - 1e-3f), nullptr);
            if (!(sum(T) > 2.99f)) continue;
            // The stratum as k x k flat pieces: a curved one loses little
            // to its chords.
            const int k = 3;
            Point grid[k + 1][k + 1];
            for (int i = 0; i <= k; ++i)
                for (int j = 0; j <= k; ++j) rad_surface_point(p->owner, u0 + du * i / k, v0 + dv * j / k, grid[i][j], Nc);
            float F = 0;
            for (int i = 0; i < k; ++i)
                for (int j = 0; j < k; ++j) {
                    corners = {grid[i][j], grid[i + 1][j], grid[i + 1][j + 1], grid[i][j + 1]};
                    F += point_polygon_form_factor(Pv, Nv, corners);
                }
            if (!(F > 0)) continue;
            Color c = S.power * F * rho;
            v->indirect[side] += c;
            v->stepped[side] += c;
        }
}

// Whether any channel of the light of two corners differs by more than the contrast.
bool differ(const RadVertex *a, const RadVertex *b, int side)
{
    Color x = a->direct[side] + a->indirect[side], y = b->direct[side] + b->indirect[side];
    for (int i = 0; i < 3; ++i)
        if (std::fabs(x[i] - y[i]) > REFINE_CONTRAST) return true;
    return false;
}

void refine_element(GSurface *s, RadElement *e)
{
    const GState *g = s->attributes();
    const float minsize = g ? g->rad_minsize : 0;
    const int sides = g && (g->flags & GS_TWOSIDED) ? 2 : 1;
    while (e->corners == 4 && !e->done) {
        float ea = (e->corner[1]->P - e->corner[0]->P).length();
        float eb = (e->corner[2]->P - e->corner[1]->P).length();
        if ((!(ea >= minsize) && !(eb >= minsize)) || !e->may_split()) {
            e->done = 1;
            break;
        }
        bool split = false;
        for (int side = 0; side < sides && !split; ++side)
            for (int i = 0; i < 4 && !split; ++i) split = differ(e->corner[i], e->corner[(i + 1) % 4], side);
        if (!split) {
            e->done = 1;
            break;
        }
        const float um = 0.5f * (e->umin + e->umax), vm = 0.5f * (e->vmin + e->vmax);
        RadVertex **c = e->corner;
        subdivide_element(s, c[0], c[1], um, e->vmin);
        subdivide_element(s, c[1], c[2], e->umax, vm);
        subdivide_element(s, c[3], c[2], um, e->vmax);
        subdivide_element(s, c[0], c[3], e->umin, vm);
        subdivide_element(s, c[0], c[2], um, vm);
        e->subdivide(false);
    }
}

void refine_all(GPrimitive *list)
{
    for_each_rad_patch(
        list,
        [](GSurface *s, RadPatch *p, int side, void *) {
            if (side == 0)
                for (RadElement *e = p->elements; e; e = e->next) refine_element(s, e);
        },
        nullptr, 1);
}

void gather_all(GPrimitive *list)
{
    for_each_rad_vertex(
        list, [](GSurface *s, RadVertex *v, int side, void *) { gather_at_vertex(s, v, side); }, nullptr, 1);
}

bool shoots(const GSurface *s)
{
    const GState *g = s->attributes();
    return g && (g->zonal & 2);
}

// The patch totals from their corners; the unshot energy over every shooting
// patch side, with the side holding the most as the next shooter.
struct Totals {
    bool all = false;   // every patch side, not only the shooting ones
    float unshot = 0, best = 0;
    RadPatch *shooter = nullptr;
    int side = 0;
};

Totals compute_totals(GPrimitive *list, bool all)
{
    Totals t;
    t.all = all;
    for_each_rad_patch(
        list,
        [](GSurface *s, RadPatch *p, int side, void *arg) {
            Totals &t = *static_cast<Totals *>(arg);
            Color total;
            for (RadElement *e = p->elements; e; e = e->next) {
                Color c;
                for (int i = 0; i < e->corners; ++i) c += e->corner[i]->direct[side] + e->corner[i]->indirect[side];
                total += c * (e->area / e->corners);
            }
            p->total[side] = total;
            if (!t.all && !shoots(s)) return;
            float u = sum(total - p->shot[side]);
            t.unshot += u;
            if (u > t.best) {
                t.best = u;
                t.shooter = p;
                t.side = side;
            }
        },
        &t, 1);
    return t;
}

void clear_vertex(GSurface *s, RadVertex *v, int side, void *)
{
    v->direct[side] = v->indirect[side] = v->gathered[side] = v->stepped[side] = Color();
    const GState *g = s->attributes();
    if (side == 0 && g && (g->flags & GS_RAD_EMITTER)) v->direct[0] = g->rad_emissioncolor;
}

void clear_step(GSurface *, RadVertex *v, int side, void *)
{
    v->gathered[side] = v->stepped[side] = Color();
}

// The share of the light a patch side sends out (cosine-weighted over its
// hemisphere, from points spread over it) that meets the scene's surfaces;
// the rest leaves the scene for good.
float closure(RadPatch *p, int side)
{
    const Solution &S = sol();
    const int n = 4;   // n x n rays, one per stratum of the patch
    float kept = 0;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            Point P, N;
            rad_surface_point(p->owner, p->umin + (a + random_uniform()) * (p->umax - p->umin) / n,
                              p->vmin + (b + random_uniform()) * (p->vmax - p->vmin) / n, P, N);
            N = side_normal(N, side);
            // A cosine-weighted direction about N.
            const Point t = normalize(std::fabs(N.x) < 0.9f ? cross(N, Point(1, 0, 0)) : cross(N, Point(0, 1, 0)));
            const Point w = cross(N, t);
            const float r = std::sqrt(random_uniform()), phi = 2 * PI * random_uniform();
            const Point d = normalize(t * (r * std::cos(phi)) + w * (r * std::sin(phi)) + N * std::sqrt(1 - r * r));
            Color T;
            transmission(d, P, S.time, 1e-4f * std::sqrt(p->area), T, 1e30f, nullptr);
            kept += 1 - std::min(1.0f, std::max(0.0f, sum(T) / 3));
        }
    return kept / float(n * n);
}

// Step 4 of the solution: what was left unshot, spread as ambient light.
// Only what lands on the scene's surfaces comes back, and of that only what
// they reflect back onto themselves goes round again: a lone plate gets
// nothing, a closed room everything.
void estimate_ambient(GPrimitive *list)
{
    Solution &S = sol();
    struct Acc {
        Color reflect, unshot;
        float area = 0;
    } acc;
    for_each_rad_patch(
        list,
        [](GSurface *s, RadPatch *p, int side, void *arg) {
            Acc &a = *static_cast<Acc *>(arg);
            const GState *g = s->attributes();
            const int sides = g && (g->flags & GS_TWOSIDED) ? 2 : 1;
            const float kept = closure(p, side);
            // Surfaces that never shoot keep what they received.
            if (shoots(s)) a.unshot += (p->total[side] - p->shot[side]) * kept;
            a.reflect += reflectance(s) * (p->area * kept / float(sides));
            if (side == 0) a.area += p->area;
        },
        &acc, 1);
    if (!(acc.area > 0)) return;
    for (int i = 0; i < 3; ++i) {
        S.reflectivity[i] = std::min(acc.reflect[i] / acc.area, MAX_AVERAGE_REFLECTIVITY);
        S.factor[i] = 1 / (1 - S.reflectivity[i]);
        S.leftover[i] = std::max(acc.unshot[i], 0.0f) / acc.area;
        S.ambient[i] = S.leftover[i] * S.factor[i];
    }
    for_each_rad_vertex(
        list,
        [](GSurface *s, RadVertex *v, int side, void *) { v->indirect[side] += sol().ambient * reflectance(s); },
        nullptr, 1);
}

} // namespace

bool radiosity_results_ready() { return sol().ready; }
void set_radiosity_results_ready(bool ready) { sol().ready = ready; }
bool radiosity_running() { return sol().running; }

void gather_at_vertex(GSurface *s, RadVertex *v, int side)
{
    const GState *g = s->attributes();
    if (!g || !(g->zonal & 1)) return;
    if (sol().stepped) gather_from_shooter(s, v, side);
    else gather_direct(s, v, side);
}

void subdivide_element(GSurface *s, RadVertex *a, RadVertex *b, float u, float v)
{
    RadVertex *m = rad_vertex_at(s, u, v);
    for (int side = 0; side < 2; ++side)
        if (m->direct[side].length() + m->indirect[side].length() >= 0.001f) return;
    const GState *g = s->attributes();
    const int sides = g && (g->flags & GS_TWOSIDED) ? 2 : 1;
    for (int side = 0; side < sides; ++side) {
        m->direct[side] = ((a->direct[side] - a->gathered[side]) + (b->direct[side] - b->gathered[side])) * 0.5f;
        m->indirect[side] = ((a->indirect[side] - a->stepped[side]) + (b->indirect[side] - b->stepped[side])) * 0.5f;
        m->gathered[side] = m->stepped[side] = Color();
        gather_at_vertex(s, m, side);
    }
}

void RayTracer::radiosity()
{
    Solution &S = sol();
    S = Solution();
    S.running = true;
    S.ran = true;
    S.time = options.shutter_open;
    S.strata = std::max<int>(1, options.minpatchsamples);
    S.samples = std::max(16, S.strata * S.strata);
    const bool talk = options.verbosity > 0;
    GPrimitive *list = frame_objects;

    for_each_rad_vertex(list, clear_vertex, nullptr, 1);
    if (talk) {
        printf("\rDirect illum at vertices...");
        fflush(stdout);
    }
    gather_all(list);
    refine_all(list);

    float initial = 0, remaining = 0, threshold = 0;
    int step = 0;
    for (;; ++step) {
        for_each_rad_vertex(list, clear_step, nullptr, 1);
        Totals t = compute_totals(list, false);
        remaining = t.unshot;
        if (step == 0) initial = remaining;
        if (talk && ((options.verbosity & VERBOSE_DEBUG) || step % 5 == 0)) {
            if (step == 0) printf("\rTotal indirect energy = %g\n", initial);
            else if (initial > 0.01f)
                printf("\rProgressive step %d, %4.1lf%% distributed", step, 100.0 * (1 - remaining / initial));
            fflush(stdout);
        }
        if (!t.shooter || !(t.shooter->area > 0)) break;
        S.shooter = t.shooter;
        S.shooter_side = t.side;
        S.power = (t.shooter->total[t.side] - t.shooter->shot[t.side]) * (1 / t.shooter->area);
        S.stepped = true;
        gather_all(list);
        refine_all(list);
        t.shooter->shot[t.side] = t.shooter->total[t.side];
        if (step == 0) threshold = 0.005f * initial;
        if (!(step + 1 < options.radiosity_steps && remaining > threshold)) {
            ++step;
            break;
        }
    }
    S.shooter = nullptr;
    // What the last shooting left is unshot still.
    remaining = compute_totals(list, false).unshot;
    compute_totals(list, true);
    estimate_ambient(list);
    if (talk && initial > 0.001f) {
        printf("\rRefinement done: %d steps distributed %5.2lf%% of indirect energy\n", step,
               100.0 - 100.0 * remaining / initial);
        fflush(stdout);
    }
    S.running = false;
    S.ready = true;
}

bool find_patch(Color &result, ShadingPoint *sv)
{
    Solution &S = sol();
    result = Color();
    if (!sv->obj || !is_surface_type(gprim(sv->obj)->type)) return false;
    GSurface *s = static_cast<GSurface *>(sv->obj);
    // The mesh was made over the parameters of the surface's own map (those
    // its vertex data follows); polygons give other u and v to shaders.
    const float u = std::min(std::max(sv->gu, 0.0f), 1.0f), v = std::min(std::max(sv->gv, 0.0f), 1.0f);
    S.lookups++;
    auto holds = [u, v](float u0, float v0, float u1, float v1) { return u >= u0 && u <= u1 && v >= v0 && v <= v1; };
    RadPatch **pp = &s->rad_patches;
    for (; *pp; pp = &(*pp)->next) {
        S.links++;
        if (holds((*pp)->umin, (*pp)->vmin, (*pp)->umax, (*pp)->vmax)) break;
    }
    RadElement *e = nullptr;
    if (RadPatch *p = *pp) {
        // The next lookup is likely nearby: keep what was found in front.
        *pp = p->next;
        p->next = s->rad_patches;
        s->rad_patches = p;
        RadElement **ep = &p->elements;
        for (; *ep; ep = &(*ep)->next) {
            S.links++;
            if (holds((*ep)->umin, (*ep)->vmin, (*ep)->umax, (*ep)->vmax)) break;
        }
        if ((e = *ep)) {
            *ep = e->next;
            e->next = p->elements;
            p->elements = e;
        }
    }
    if (!e) {
        fprintf(stderr, "Couldn't find a patch: u = %g, v = %g\n", sv->gu, sv->gv);
        fprintf(stderr, "    xy = %g %g\n", sv->Ps.x, sv->Ps.y);
        return false;
    }
    const int side = dot(sv->Ns, sv->I) >= 0 ? 1 : 0;
    const float fu = e->umax > e->umin ? (u - e->umin) / (e->umax - e->umin) : 0;
    const float fv = e->vmax > e->vmin ? (v - e->vmin) / (e->vmax - e->vmin) : 0;
    result = e->corner[0]->indirect[side] * ((1 - fu) * (1 - fv)) + e->corner[1]->indirect[side] * (fu * (1 - fv)) +
             e->corner[2]->indirect[side] * (fu * fv) + e->corner[3]->indirect[side] * ((1 - fu) * fv);
    const GState *g = s->attributes();
    if (g) {
        if (g->flags & GS_RAD_EMITTER) result += g->rad_emissioncolor;
        for (int i = 0; i < 3; ++i)
            if (g->rad_averagecolor[i] > 0.001f) result[i] /= g->rad_averagecolor[i];
        float ka = surface_reflectance(g, Reflectance::AMBIENT);
        if (ka > 0) result = result * (1 / ka);
    }
    return true;
}

void print_radiosity_stats(FILE *out)
{
    const Solution &S = sol();
    if (!S.ran) return;
    const RadMeshCounts &c = rad_mesh_counts();
    fprintf(out, "Radiosity:\n");
    fprintf(out, "  Leftover energy = %g %g %g\n", S.leftover.x, S.leftover.y, S.leftover.z);
    fprintf(out, "  Average reflectivity = %g %g %g\n", S.reflectivity.x, S.reflectivity.y, S.reflectivity.z);
    fprintf(out, "  Overall interreflectance factor = %g %g %g\n", S.factor.x, S.factor.y, S.factor.z);
    fprintf(out, "  Estimated ambient radiosity = %g %g %g\n", S.ambient.x, S.ambient.y, S.ambient.z);
    fprintf(out, "  Used %ld patches (%ldk), %ld elements (%ldk), and %ld vertices (%ldk).\n", c.patches,
            c.patches * RAD_PATCH_BYTES / 1024, c.elements, c.elements * RAD_ELEMENT_BYTES / 1024, c.vertices,
            c.vertices * RAD_VERTEX_BYTES / 1024);
    fprintf(out, "  %d indirect energy lookups, avg links walked %g\n", (int)S.lookups,
            S.lookups ? double(S.links) / double(S.lookups) : 0.0);
}

void write_radiosity_rib(GPrimitive *list, FILE *out, int parts)
{
    struct Dump {
        FILE *out;
        int parts;
    } d{out, parts};
    for_each_surface(
        list,
        [](GSurface *s, void *arg) {
            Dump &d = *static_cast<Dump *>(arg);
            if (!s->rad_patches) {
                fprintf(stderr, "There's a non-polygonal object that I can't reoutput\n");
                return;
            }
            fprintf(d.out, "AttributeBegin\n");
            fprintf(d.out, "Surface \"constant\"\n");
            fprintf(d.out, "Transform [ ");
            static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            const float *m = s->xform.is_set() ? s->xform->key_matrix(0, TM_M) : identity;
            for (int i = 0; i < 16; ++i) fprintf(d.out, "%g ", m[i]);
            fprintf(d.out, "]\n");
            for (RadPatch *p = s->rad_patches; p; p = p->next)
                for (RadElement *e = p->elements; e; e = e->next) {
                    fprintf(d.out, "Polygon \"P\" [ ");
                    for (int i = 0; i < e->corners; ++i) {
                        const Point &P = e->corner[i]->Pobj;
                        fprintf(d.out, "%g %g %g ", P.x, P.y, P.z);
                    }
                    fprintf(d.out, "] \"Cs\" [ ");
                    for (int i = 0; i < e->corners; ++i) {
                        Color c;
                        if (d.parts & 1) c += e->corner[i]->direct[0];
                        if (d.parts & 2) c += e->corner[i]->indirect[0];
                        fprintf(d.out, "%g %g %g ", c.x, c.y, c.z);
                    }
                    fprintf(d.out, "]\n");
                }
            fprintf(d.out, "AttributeEnd\n");
        },
        &d, 1);
}

void reset_radiosity()
{
    Solution &S = sol();
    S = Solution();
}
