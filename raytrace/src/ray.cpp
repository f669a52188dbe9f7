#include "raytrace/ray.h"

#include <cmath>
#include <utility>

#include "raytrace/gprim.h"
#include "ri/transformation.h"

// ---- IntersectionList ----------------------------------------------------

void IntersectionList::append(IntersectionList &l)
{
    if (&l == this || !l.first) return;
    if (last) last->next = l.first;
    else first = l.first;
    last = l.last;
    count += l.count;
    l.first = l.last = nullptr;
    l.count = 0;
}

namespace {

// Stable merge of two sorted chains.
Intersection *merge_hits(Intersection *a, Intersection *b)
{
    Intersection head;
    Intersection *tail = &head;
    while (a && b) {
        if (b->linet < a->linet) {
            tail->next = b;
            b = b->next;
        } else {
            tail->next = a;
            a = a->next;
        }
        tail = tail->next;
    }
    tail->next = a ? a : b;
    Intersection *r = head.next;
    head.next = nullptr;
    return r;
}

Intersection *sort_hits(Intersection *h, int n)
{
    if (n < 2) {
        if (h) h->next = nullptr;
        return h;
    }
    int half = n / 2;
    Intersection *mid = h;
    for (int i = 1; i < half; i++) mid = mid->next;
    Intersection *rest = mid->next;
    mid->next = nullptr;
    return merge_hits(sort_hits(h, half), sort_hits(rest, n - half));
}

} // namespace

void IntersectionList::sort()
{
    if (count < 2) return;
    if (count == 2) {
        // The two roots of a quadric, often nearest last.
        if (last->linet < first->linet) {
            Intersection *a = first, *b = last;
            b->next = a;
            a->next = nullptr;
            first = b;
            last = a;
        }
        return;
    }
    // Already ordered lists (the common case) are left alone.
    bool ordered = true;
    for (Intersection *i = first; i->next; i = i->next)
        if (i->next->linet < i->linet) {
            ordered = false;
            break;
        }
    if (ordered) return;
    first = sort_hits(first, count);
    last = first;
    while (last->next) last = last->next;
}

// ---- Ray -----------------------------------------------------------------

void Ray::set_likely_hit(const Color &ci, const Color &oi)
{
    has_hint = 1;
    reuse_ci = ci;
    reuse_oi = oi;
}

namespace {

// The slab test: entry and exit distances of the ray through the box; NaN in
// the box or the ray is a miss.
bool slab(const Ray &r, const Bound &box, float &entry, float &exit)
{
    float near = -1e38f, far = 1e38f;
    for (int a = 0; a < 3; a++) {
        float o = r.origin[a], d = r.dir[a];
        float lo = box[2 * a], hi = box[2 * a + 1];
        if (d >= -1e-10f && d <= 1e-10f) {
            // Parallel to the slab: inside it or a miss.
            if (!(o >= lo && o <= hi)) return false;
            continue;
        }
        float t1 = (lo - o) / d, t2 = (hi - o) / d;
        if (std::isnan(t1) || std::isnan(t2)) return false;
        if (t1 > t2) std::swap(t1, t2);
        if (t1 < -1e38f) t1 = -1e38f;
        if (t2 > 1e38f) t2 = 1e38f;
        if (t1 > near) near = t1;
        if (t2 < far) far = t2;
        if (!(near <= far)) return false;
    }
    entry = near;
    exit = far;
    return true;
}

} // namespace

bool Ray::box_range(const Bound &box, float &entry, float &exit) const
{
    RayStats &st = ray_stats();
    st.box_tests++;
    if (!slab(*this, box, entry, exit)) return false;
    st.box_hits++;
    return true;
}

bool Ray::hits_box(const Bound &box) const
{
    RayStats &st = ray_stats();
    st.box_tests++;
    float entry, exit;
    if (!slab(*this, box, entry, exit) || !(exit >= tmin)) return false;
    st.box_hits++;
    return true;
}

Ray Ray::to_object_space(const Transformation &t) const
{
    Ray r;
    to_object_space(t, r);
    return r;
}

namespace {

// Origin, direction, scale and limits of r: ray under t.
inline void object_space_geometry(const Ray &ray, const Transformation &t, Ray &r)
{
    // One look-up of the matrix serves both the origin and the direction.
    float tmp[16];
    const float *m = t.matrix_at(TM_INVERSE, ray.time, tmp);
    point_times_matrix(ray.origin.data(), m, r.origin.data());
    vector_times_matrix(ray.dir.data(), m, r.dir.data());
    r.scale = r.dir.normalize();
    r.tmin = 1e-10f;
    r.tmax = 1e38f;
}

} // namespace

void Ray::to_object_space(const Transformation &t, Ray &r) const
{
    r = *this;
    object_space_geometry(*this, t, r);
}

void Ray::to_object_space_again(const Transformation &t, Ray &r) const
{
    // What hit tests read besides the geometry; the rest of r is as the
    // whole copy left it (only this ray's results may have changed since).
    r.time = time;
    r.sample_value = sample_value;
    r.windowed = false;
    r.dropped = 0;
    object_space_geometry(*this, t, r);
}

// ---- statistics ----------------------------------------------------------

void count_ray(int level)
{
    if (level < 0) level = 0;
    if (level >= RAY_LEVELS) level = RAY_LEVELS - 1;
    ray_stats().rays[level]++;
}

namespace {

double percent(unsigned long part, unsigned long whole)
{
    return whole ? 100.0 * (double)part / (double)whole : 0.0;
}

void likely_remark(FILE *out, const RayStats &st, int level)
{
    if (st.likely_tries[level])
        fprintf(out, "  (tried likely hit %7lu times, %5.2f%% hit rate)", st.likely_tries[level],
                percent(st.likely_hits[level], st.likely_tries[level]));
}

} // namespace

void print_ray_stats(FILE *out)
{
    const RayStats &st = ray_stats();
    unsigned long total = 0;
    for (int i = 0; i < RAY_LEVELS; i++) total += st.rays[i];
    fprintf(out, "Ray tracing:\n");
    fprintf(out, " %9lu total rays traced:\n", total);
    fprintf(out, " %9lu primary rays ", st.rays[0]);
    likely_remark(out, st, 0);
    fprintf(out, "\n");
    for (int i = 1; i < RAY_LEVELS; i++) {
        if (!st.rays[i]) continue;
        fprintf(out, " %9lu bounce %d rays", st.rays[i], i);
        likely_remark(out, st, i);
        fprintf(out, "\n");
    }
    if (st.shadow_rays)
        fprintf(out, " %9lu shadow rays cast, %2.2lf%% obscured.\n", st.shadow_rays,
                percent(st.shadow_obscured, st.shadow_rays));
    if (st.screen_tests)
        fprintf(out, " %9lu screen bound tests performed, %ld hit (%.4g%%).\n", st.screen_tests,
                (long)st.screen_hits, percent(st.screen_hits, st.screen_tests));
    if (st.shadow_likely_tries)
        fprintf(out, "\t\tTried likely hit %ld times, %5.2f%% hit rate\n", (long)st.shadow_likely_tries,
                percent(st.shadow_likely_hits, st.shadow_likely_tries));
    fprintf(out, " %9lu total shading calculations", st.shading_calcs);
    if (st.shading_reused)
        fprintf(out, ", %lu reused (%0.2g%%)", st.shading_reused,
                percent(st.shading_reused, st.shading_reused + st.shading_calcs));
    fprintf(out, "\n");
    fprintf(out, " %9lu bounding box tests performed", st.box_tests);
    if (st.box_tests) fprintf(out, ", %ld hit (%.4g%%)", (long)st.box_hits, percent(st.box_hits, st.box_tests));
    fprintf(out, "\n");
    fprintf(out, " %9lu intersection tests performed, of which %ld hit.\n", st.isect_tests, (long)st.isect_hits);
    fprintf(out, "  Max potential hit heap size: %d\n", st.heap_peak);
    fprintf(out, "\n");
    fflush(out);
}
