// Caustic photons: shooting from the lights that ask for them, the photon
// tree, and the density estimate that shading asks for.
#include "raytrace/photon.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/files.h"
#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "sampling/random.h"
#include "sampling/sampling.h"
#include "ri/counters.h"
#include "ri_common/rierror.h"
#include "shading/lightsource.h"
#include "shading/reflectance.h"

namespace {

const float PI = 3.14159265358979f;

float mean(const Color &c) { return (c.x + c.y + c.z) / 3; }

// One photon path of a light sample: traced from the light, stored at every
// hit after the first until the sample has its share.
class PhotonShooter {
public:
    PhotonShooter(RayTracer &rt, PhotonMap &map) : rt_(rt), map_(map)
    {
        root_ = rt.secondary_hierarchy ? static_cast<GPrimitive *>(rt.secondary_hierarchy) : rt.frame_objects;
        tmin_ = rt.options.minshadowbias;
        time_ = rt.options.shutter_open;
    }

    // Shoots the photons of sample `sample` of the light.
    void shoot_sample(LightSource *light, int sample, int samples, int count);

private:
    // The nearest hit along the ray, completed; null on a miss (release it after use).
    Intersection *first_hit(Ray &ray, IntersectionList &hits);
    // Follows one photon from its first hit; answers the photons stored.
    int follow(LightSource *light, int sample, int samples, int count, int stored, Ray ray);

    RayTracer &rt_;
    PhotonMap &map_;
    GPrimitive *root_;
    float tmin_, time_;
};

Intersection *PhotonShooter::first_hit(Ray &ray, IntersectionList &hits)
{
    ray.set_range(tmin_, 1e38f);
    hits = root_ ? ray.find_hit(root_) : IntersectionList();
    Intersection *h = hits.head();
    if (!h) return nullptr;
    h->time = ray.time;
    h->Ps = ray.origin + ray.dir * h->linet;
    if (h->obj && is_surface_type(gprim(h->obj)->type)) h->surf = static_cast<GSurface *>(h->obj)->attrs;
    if (!h->finished && h->obj) gprim(h->obj)->fill_hit(h);
    return h;
}

int PhotonShooter::follow(LightSource *light, int sample, int samples, int count, int stored, Ray ray)
{
    IntersectionList hits;
    Intersection *h = first_hit(ray, hits);
    if (!h) return 0;
    // The light as it reaches the first hit, on the side the photon arrived.
    h->level = 0;
    h->doillum = 1;
    Point facing = dot(h->Ns, ray.dir) > 0 ? -h->Ns : h->Ns;
    light->run(h->Ps, facing, 0, 0, sample, samples, h);
    Color power = h->Cl;
    float intensity = mean(power);
    Point L = h->Ps - ray.origin;
    power *= 4 * PI * dot(L, L) / float(count);
    int made = 0;
    for (int bounce = 1; stored + made < count && intensity > 1e-6f; ++bounce) {
        Point N = normalize(h->Ns);
        if (dot(N, ray.dir) > 0) N = -N;   // the side the photon came from
        if (bounce >= 2) {
            Photon p;
            std::memcpy(p.P, h->Ps.data(), 12);
            std::memcpy(p.power, power.data(), 12);
            std::memcpy(p.N, N.data(), 12);
            map_.insert(p);
            made++;
        }
        if (bounce > 6 && intensity < 0.01f) {
            if (random_uniform() < 0.25f) break;
            intensity *= 4.0f / 3.0f;
            power *= 0.75f;
        }
        GState *g = h->surf.get();
        Color reflectance = g ? g->rad_averagecolor * surface_reflectance(g, Reflectance::DIFFUSE) : Color(1, 1, 1);
        power = power * reflectance;
        intensity *= mean(reflectance);
        Point from = h->Ps;
        hits.free_list();
        ray = Ray(from, random_hemisphere_direction(N), time_, 1, 1, 0);
        h = first_hit(ray, hits);
        if (!h) return made;
    }
    hits.free_list();
    return made;
}

void PhotonShooter::shoot_sample(LightSource *light, int sample, int samples, int count)
{
    Point origin;
    if (light->xform.is_set()) {
        float zero[3] = {0, 0, 0};
        light->xform->point_to_world(zero, origin.data(), time_);
    }
    int stored = 0;
    const long tries = long(count) * PHOTON_TRIES_PER_PHOTON;
    for (long k = 0; stored < count && k < tries; ++k) {
        Point dir = photon_direction(int(k % 256), 255, int(k / 255));
        Ray ray(origin, dir, time_, 1, 1, 0);
        stored += follow(light, sample, samples, count, stored, ray);
    }
}

} // namespace

// ---- the tree ------------------------------------------------------------

void PhotonMap::insert(const Photon &p)
{
    photons_.push_back(p);
    tree_.insert(&photons_.back());
}

void PhotonMap::clear()
{
    tree_.clear();
    photons_.clear();
}

// ---- directions, counts and density ----------------------------------------

Point photon_direction(int i, int strata, int sequence)
{
    return sample_cone_direction(i, strata, sequence + 15, Point(0, 0, 1), PI);
}

int photons_per_sample(int nphotons, int samples)
{
    if (nphotons <= 0 || samples <= 0) return 0;
    int q = nphotons / samples;
    return q <= 255 ? 0 : q & ~0xff;
}

float photon_weight(const Photon &p, const Point &N)
{
    float c = dot(normalize(N), Point::from(p.N));
    return c > 0 ? std::min(c, 1.0f) : 0.0f;
}

Color photon_density(Photon *const *photons, int n, const Point *N, float radius)
{
    Color sum;
    float weights = 0;
    int counted = 0;
    for (int i = 0; i < n; ++i) {
        float w = N ? photon_weight(*photons[i], *N) : 1.0f;
        if (!(w > 0)) continue;
        sum += Color::from(photons[i]->power) * w;
        weights += w;
        counted++;
    }
    if (counted < 2 || !(radius > 0)) return Color();
    return sum * (float(counted) / (PI * radius * radius * weights));
}

// ---- the renderer's side ---------------------------------------------------

namespace {

// The bytes a map of n photons takes: the photons, their nodes and the
// containers' slack.
const uint64_t PHOTON_BYTES = sizeof(Photon) + 2 * KDTREE_NODE_BYTES;

// Reports that the photons cannot be kept: the renderer's severe
// out-of-memory error, which ends the run.
void photons_out_of_memory(uint64_t bytes)
{
    fprintf(stderr, "Request for %llu bytes\n", (unsigned long long)bytes);
    ri_error(RIE_NOMEM, RIE_SEVERE, "out of core memory");
}

// Whether the photons the lights ask for can be kept: more than the machine
// holds, or a block of that size the allocator refuses, is out of core
// memory before a single photon is traced.
bool photon_memory_available(uint64_t photons)
{
    const uint64_t bytes = photons * PHOTON_BYTES, memory = velk::physical_memory();
    if (memory > 0 && bytes > memory) {
        photons_out_of_memory(bytes);
        return false;
    }
    void *probe = bytes ? myalloc(size_t(bytes)) : nullptr;
    if (bytes && !probe) return false;
    if (probe) myfree(probe);
    return true;
}

// Shoots the photons of every light that asks for them into the map.
void shoot_every_light(RayTracer &rt)
{
    PhotonShooter shooter(rt, rt.photon_map);
    for (LightSource *l = light_list().head; l; l = l->prev) {
        int nphotons = l->gstate.is_set() ? l->gstate->light_photons : 0;
        if (nphotons <= 0 || l->kind == LIGHT_AMBIENT || l->kind == LIGHT_BOUNCER) continue;
        const int samples = std::max(l->nsamples, 1);
        const int count = photons_per_sample(nphotons, samples);
        for (int s = samples - 1; s >= 0; --s) {
            if (rt.options.verbosity > 0) {
                printf("Shooting photons...\n");
                fflush(stdout);
            }
            if (count > 0) shooter.shoot_sample(l, s, samples, count);
        }
    }
}

} // namespace

void RayTracer::shoot_photons()
{
    photon_map.clear();
    uint64_t wanted = 0;
    for (LightSource *l = light_list().head; l; l = l->prev) {
        int nphotons = l->gstate.is_set() ? l->gstate->light_photons : 0;
        if (nphotons > 0 && l->kind != LIGHT_AMBIENT && l->kind != LIGHT_BOUNCER) wanted += uint64_t(nphotons);
    }
    if (!photon_memory_available(wanted)) return;
    try {
        shoot_every_light(*this);
    } catch (const std::bad_alloc &) {
        photon_map.clear();
        photons_out_of_memory(wanted * PHOTON_BYTES);
    }
}

void RayTracer::caustic_irradiance(const Point &P, const Point *N, Color &result)
{
    result = Color();
    const float base = (P - options.eye).length() * options.max_pixel_size;
    float radius = 32 * base;
    Photon *found[PHOTON_GATHER_MAX];
    int n = 0;
    float gathered = 0;   // the radius of the last gathering
    for (int pass = 0; pass < 8 && base < radius && radius < 200 * base; ++pass) {
        n = photon_map.gather(P, found, PHOTON_GATHER_MAX, radius);
        gathered = radius;
        if (n > 9 && n < PHOTON_GATHER_MAX) break;
        radius *= n == PHOTON_GATHER_MAX ? 0.618034f : 1.618034f;
    }
    result = photon_density(found, n, N, gathered);
}
