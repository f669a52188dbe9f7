// Indirect diffuse light at a shading point: interpolated from the irradiance
// cache when enough nearby records are good enough, else estimated by
// stratified hemisphere rays and added to the cache. One bounce: points
// shaded for the estimate get no indirect light themselves.
#include <cmath>

#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/shade_hits.h"
#include "sampling/random.h"
#include "sampling/sampling.h"
#include "shading/shadehit.h"

namespace {

const float PI = 3.14159265358979f;

// Whether the hit lies on the geometry of an area light (which gives no
// bounced colour of its own).
bool on_area_light(const Intersection *h)
{
    if (!h->obj || !is_surface_type(gprim(h->obj)->type)) return false;
    const GState *g = static_cast<GSurface *>(h->obj)->attributes();
    return g && g->area_light;
}

} // namespace

void RayTracer::indirect_illumination(const Point &P, const Point &axis, float time, float weight, int level,
                                      int indirect_level, int algorithm, Point &L, Color &Cl)
{
    (void)weight;
    (void)algorithm;
    L = -axis;
    Cl = Color();
    if (indirect_level > 0) return;
    Point N = normalize(axis);
    if (N == Point()) return;   // no hemisphere to sample
    IrradianceStats &st = irradiance_cache.stats;
    st.queries++;

    const Options &o = options;
    float radius = (P - o.eye).length() * o.max_pixel_size * o.indirect_maxpixeldist;
    IrradianceRecord *near[IRRADIANCE_GATHER_MAX];
    int n = irradiance_cache.gather(P, near, IRRADIANCE_GATHER_MAX, radius);
    if (interpolate_irradiance(near, n, P, N, o.indirect_maxerror, o.indirect_minvalid, o.indirect_interpolate != 0,
                               Cl)) {
        st.from_cache++;
        return;
    }

    // A new estimate.
    HemisphereSamples s;
    hemisphere_strata(o.indirect_nsamples, s.nt, s.np);
    s.color.assign(size_t(s.nt) * s.np, Color());
    s.dist.assign(size_t(s.nt) * s.np, 1e38f);
    Point U, V;
    frame_about(N, U, V);
    GPrimitive *root = secondary_hierarchy ? static_cast<GPrimitive *>(secondary_hierarchy) : frame_objects;
    const int32_t serial = shade_index_counter();
    for (int j = 0; j < s.nt; ++j)
        for (int k = 0; k < s.np; ++k) {
            float theta = std::asin(std::sqrt((j + random_uniform()) / s.nt));
            float phi = 2 * PI * (k + random_uniform()) / s.np;
            Point dir = N * std::cos(theta) + (U * std::cos(phi) + V * std::sin(phi)) * std::sin(theta);
            Ray ray(P, dir, time, level + 1, 1, 0);
            ray.indirect_level = indirect_level + 1;
            ray.set_range(o.minshadowbias, 1e38f);
            count_ray(ray.level);
            st.rays++;
            if (!root) continue;
            IntersectionList hits = ray.find_hit(root);
            if (Intersection *h = hits.head()) {
                size_t i = size_t(j) * s.np + k;
                s.dist[i] = h->linet;
                shade_hit(h, ray);
                if (!on_area_light(h)) s.color[i] = h->Ci;
            }
            hits.free_list();
        }
    set_shade_index_counter(serial);
    st.computed++;
    IrradianceRecord r = irradiance_record(P, U, V, N, s);
    irradiance_cache.insert(r);
    Cl = Color::from(r.E);
}
