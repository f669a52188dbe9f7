// Rays shot straight at each quadric in its own space.
#include "raytrace/quadric.h"
#include "raytrace/torus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

// The distances at which a ray meets a primitive, nearest first.
std::vector<float> hits(GPrimitive &p, Point o, Point d)
{
    Ray r(o, d, 0, 0, 1, 0);
    IntersectionList l = p.intersect(r);
    l.sort();
    std::vector<float> t;
    for (Intersection *h = l.head(); h; h = h->next) t.push_back(h->linet);
    l.free_list();
    return t;
}

// The nearest hit filled in as a shading point (caller releases).
Intersection *first_hit(GPrimitive &p, Point o, Point d)
{
    Ray r(o, d, 0, 0, 1, 0);
    IntersectionList l = p.intersect(r);
    l.sort();
    Intersection *h = l.dequeue();
    l.free_list();
    if (h) p.fill_hit(h);
    return h;
}

const Point PZ(0, 0, 1), MZ(0, 0, -1), PX(1, 0, 0);

} // namespace

TEST(Quadrics, SphereHitsAndMisses)
{
    GSphere s(1, -1, 1, 360);
    EXPECT_EQ(hits(s, Point(0, 0, -5), PZ), (std::vector<float>{4, 6}));
    // A grazing ray misses, however exactly it touches.
    EXPECT_TRUE(hits(s, Point(1, 0, -5), PZ).empty());
    // A ray that starts on the sphere and leaves it gets nothing.
    EXPECT_TRUE(hits(s, Point(0, 0, 1), PZ).empty());
    // A partial sweep: only 0 <= azimuth <= 90 degrees exists.
    GSphere quarter(1, -1, 1, 90);
    std::vector<float> t = hits(quarter, Point(.5f, .5f, -5), PZ);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 4.29289f, 1e-5);
    EXPECT_TRUE(hits(quarter, Point(-.5f, .5f, -5), PZ).empty());
    GSphere negative_sweep(1, -1, 1, -90);
    EXPECT_TRUE(hits(negative_sweep, Point(.5f, .5f, -5), PZ).empty());
    EXPECT_EQ(hits(negative_sweep, Point(.5f, -.5f, -5), PZ).size(), 2u);
    // A negative radius turns the sweep by pi.
    GSphere turned(-1, -1, 1, 90);
    EXPECT_TRUE(hits(turned, Point(.5f, .5f, -5), PZ).empty());
    EXPECT_EQ(hits(turned, Point(-.5f, -.5f, -5), PZ).size(), 2u);
    // A z range cuts off the caps.
    GSphere band(1, -.5f, .5f, 360);
    EXPECT_TRUE(hits(band, Point(0, 0, -5), PZ).empty());
    EXPECT_EQ(hits(band, Point(-5, 0, 0), PX), (std::vector<float>{4, 6}));
}

TEST(Quadrics, RaysWithNaNNeverHit)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    GSphere s(1, -1, 1, 360);
    GCylinder c(1, -1, 1, 360);
    GDisk d(0, 1, 360, 0);
    for (GPrimitive *p : std::vector<GPrimitive *>{&s, &c, &d}) {
        EXPECT_TRUE(hits(*p, Point(nan, 0, -5), PZ).empty());
        EXPECT_TRUE(hits(*p, Point(0, 0, -5), Point(nan, 0, 1)).empty());
    }
}

TEST(Quadrics, SphereZBeyondRadiusIsClamped)
{
    // The z range reaches past the radius: the poles, not NaN.
    GSphere s(0.5f, -1, 1, 360);
    EXPECT_FALSE(std::isnan(s.phimin));
    EXPECT_NEAR(s.phimin, -1.5707964f, 1e-6);
    EXPECT_NEAR(s.phimax, 1.5707964f, 1e-6);
    Intersection *h = first_hit(s, Point(0, 0, -5), PZ);
    ASSERT_NE(h, nullptr);
    EXPECT_NEAR(h->linet, 4.5f, 1e-6);
    EXPECT_NEAR(h->v, 0, 1e-6);
    EXPECT_NEAR(h->Ng.z, -0.5f, 1e-6);
    h->release();
}

TEST(Quadrics, ReversedZRangeFlipsNormals)
{
    GSphere up(1, -.5f, .5f, 360), down(1, .5f, -.5f, 360);
    Intersection *a = first_hit(up, Point(-5, 0, 0), PX);
    Intersection *b = first_hit(down, Point(-5, 0, 0), PX);
    ASSERT_TRUE(a && b);
    EXPECT_NEAR(a->linet, b->linet, 1e-6);
    EXPECT_LT(a->Ng.x, 0);   // outward, towards the ray
    EXPECT_GT(b->Ng.x, 0);
    a->release();
    b->release();
}

TEST(Quadrics, ConeCylinderDiskParaboloid)
{
    GCone cone(1, 1, 360);
    std::vector<float> t = hits(cone, Point(.5f, 0, 5), MZ);
    ASSERT_FALSE(t.empty());
    EXPECT_NEAR(t[0], 4.5f, 1e-5);

    GCylinder cyl(1, -1, 1, 360);
    EXPECT_EQ(hits(cyl, Point(-5, 0, 0), PX), (std::vector<float>{4, 6}));
    // Along the axis the wall is never met.
    EXPECT_TRUE(hits(cyl, Point(0, 0, -5), PZ).empty());
    EXPECT_TRUE(hits(cyl, Point(.5f, 0, -5), PZ).empty());

    GDisk disk(0, 1, 360, .5f);
    t = hits(disk, Point(.75f, 0, -5), PZ);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NEAR(t[0], 5, 1e-6);
    EXPECT_TRUE(hits(disk, Point(.25f, 0, -5), PZ).empty());
    // Parallel to the plane: no hit.
    EXPECT_TRUE(hits(disk, Point(-5, 0, 0), PX).empty());

    GParaboloid para(1, 0, 1, 360);
    t = hits(para, Point(.5f, 0, 5), MZ);
    ASSERT_FALSE(t.empty());
    EXPECT_NEAR(t[0], 4.75f, 1e-5);
    GParaboloid turned(-1, 0, 1, 90);
    EXPECT_TRUE(hits(turned, Point(.5f, .1f, 5), MZ).empty());
    EXPECT_FALSE(hits(turned, Point(-.5f, -.1f, 5), MZ).empty());
}

TEST(Quadrics, Hyperboloid)
{
    // A vertical line at radius 1: a cylinder wall.
    GHyperboloid wall(Point(1, 0, 0), Point(1, 0, 1), 360);
    std::vector<float> t = hits(wall, Point(-5, 0, .5f), PX);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 4, 1e-5);
    EXPECT_NEAR(t[1], 6, 1e-5);
    EXPECT_TRUE(hits(wall, Point(-5, 0, 1.5f), PX).empty());
    // A slanted line sweeps a cone-like waist: radius .5 at z 0 to 1 at z 1.
    GHyperboloid flare(Point(.5f, 0, 0), Point(1, 0, 1), 360);
    t = hits(flare, Point(.75f, 0, 5), MZ);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NEAR(t[0], 4.5f, 1e-5);
    Intersection *h = first_hit(flare, Point(-5, 0, .5f), PX);
    ASSERT_NE(h, nullptr);
    EXPECT_NEAR(h->v, .5f, 1e-5);
    EXPECT_LT(h->Ng.x, 0);   // facing the ray coming from -x
    h->release();
}

TEST(Quadrics, DegenerateShapesAreRecognised)
{
    EXPECT_TRUE(GSphere(0, -1, 1, 360).degenerate());
    EXPECT_TRUE(GSphere(1, .5f, .5f, 360).degenerate());
    EXPECT_TRUE(GSphere(1, -1, 1, 0).degenerate());
    EXPECT_TRUE(GCone(0, 1, 360).degenerate());
    EXPECT_TRUE(GCylinder(1, 1, 1, 360).degenerate());
    EXPECT_TRUE(GDisk(0, 1, 360, 1).degenerate());
    EXPECT_TRUE(GParaboloid(1, 0, 0, 360).degenerate());
    EXPECT_TRUE(GHyperboloid(Point(0, 0, 0), Point(0, 0, 1), 360).degenerate());
    EXPECT_TRUE(GSphere(std::numeric_limits<float>::quiet_NaN(), -1, 1, 360).degenerate());
    EXPECT_FALSE(GSphere(1, -1, 1, 360).degenerate());
    EXPECT_FALSE(GDisk(0, 1, 360, 0).degenerate());
    EXPECT_FALSE(GHyperboloid(Point(.5f, 0, 0), Point(1, 0, 1), 360).degenerate());
}

TEST(Quadrics, ParametricFormsAgreeWithHits)
{
    // The point at a hit's (u, v) is the hit point, for every quadric.
    struct Case {
        GQuadric *q;
        Point o, d;
    };
    GSphere s(1, -1, 1, 270);
    GCone c(2, 1, 300);
    GCylinder y(1, -1, 2, 200);
    GDisk k(.5f, 2, 330, .5f);
    GParaboloid p(1, .2f, 1, 180);
    GHyperboloid h(Point(.5f, .2f, 0), Point(1, .4f, 1), 320);
    std::vector<Case> cases = {{&s, Point(.3f, .4f, -5), PZ},
                               {&c, Point(.1f, .3f, 5), MZ},
                               {&y, Point(-5, .3f, .5f), PX},
                               {&k, Point(-1.2f, .4f, -5), PZ},
                               {&p, Point(-.6f, .2f, 5), MZ},
                               {&h, Point(-5, .1f, .5f), PX}};
    for (const Case &cs : cases) {
        Intersection *hit = first_hit(*cs.q, cs.o, cs.d);
        ASSERT_NE(hit, nullptr) << GPRIM_TYPE_NAMES[cs.q->type];
        Point P;
        cs.q->eval_point(hit->u, hit->v, 0, P);
        EXPECT_NEAR((P - hit->Pobj).length(), 0, 2e-4f) << GPRIM_TYPE_NAMES[cs.q->type];
        // The normal from the derivatives agrees with the hit's normal.
        Point N;
        cs.q->eval_normal(hit->u, hit->v, 0, N);
        EXPECT_GT(dot(normalize(N), normalize(hit->Ng)), 0.99f) << GPRIM_TYPE_NAMES[cs.q->type];
        hit->release();
    }
}

TEST(Quadrics, RadiosityPatchesAlongVFollowTheSurface)
{
    // Patch rows by the length of the surface along v: a sphere's arc, a
    // cap's short arc, a cone's slant, a disk's width, a paraboloid's curve,
    // a flat hyperboloid's width; not by the z extent. A cap's columns by
    // its widest circle.
    struct Case {
        GQuadric *q;
        float patch;
        int nu, nv;
    };
    GSphere sphere(1, -1, 1, 360), cap(1, .9f, 1, 360), south(1, -1, -.9f, 360);
    GCone cone(1, 3, 360);
    GDisk disk(0, 2, 360, .5f), negative(0, 2, -360, 0);   // a negative sweep goes round as far
    GCylinder cylinder(1, 0, 2, 360);
    GParaboloid dish(1, 0, .1f, 360);
    GHyperboloid ring(Point(.5f, 0, 0), Point(2, 0, 0), 360), flipped(Point(.5f, 0, 0), Point(2, 0, 0), -360);
    const Case cases[] = {{&sphere, .5f, 13, 7},   {&cap, .1f, 28, 5},    {&south, .1f, 28, 5},
                          {&cone, .5f, 38, 7},     {&disk, .5f, 26, 3},   {&negative, 1, 13, 2},
                          {&cylinder, .5f, 13, 4}, {&dish, .3f, 21, 4},   {&ring, .5f, 26, 3},
                          {&flipped, .5f, 26, 3}};
    for (const Case &c : cases) {
        int nu = 0, nv = 0;
        c.q->radiosity_mesh_size(c.patch, nu, nv);
        EXPECT_EQ(nu, c.nu) << GPRIM_TYPE_NAMES[c.q->type] << " " << c.patch;
        EXPECT_EQ(nv, c.nv) << GPRIM_TYPE_NAMES[c.q->type] << " " << c.patch;
    }
}

TEST(Quadrics, SphereAreaSamplesLieOnTheVisibleSide)
{
    GSphere s(1, -1, 1, 360);
    Point Q(0, 0, -10);
    for (int i = 0; i < 16; i++) {
        Intersection sv;
        float w = s.area_sample(Q, i, 16, 0, &sv);
        EXPECT_NEAR(sv.Pl.length(), 1, 1e-4f);
        EXPECT_LT(sv.Pl.z, 0);                          // the half facing Q
        EXPECT_LT(dot(sv.Ngl, normalize(sv.Pl - Q)), 0);  // facing Q
        EXPECT_GT(w, 0);
        EXPECT_LT(w, 1);
    }
}

namespace {

// The area-weighted mean of f over the light samples of s seen from Q: the
// sample weights less their emitter cosine weigh each sample as uniform
// sampling by area would.
double sampled_mean(GSurface &s, const Point &Q, const std::function<double(const Point &)> &f)
{
    const int n = 4096;
    double sum = 0, weights = 0;
    for (int i = 0; i < n; ++i) {
        Intersection sv;
        float w = s.area_sample(Q, i, n, 0, &sv);
        float c = std::fabs(dot(sv.Ngl, normalize(sv.Pl - Q)));
        if (!(c > 1e-4f)) continue;
        sum += w / c * f(sv.Pl);
        weights += w / c;
    }
    EXPECT_NEAR(weights / n, 1, 0.03);
    return sum / weights;
}

// The mean of f over a surface of revolution about z whose profile is
// (radius(t), z(t)) for t in 0..1: area element radius * |profile'|.
double revolved_mean(const std::function<double(double)> &radius, const std::function<double(double)> &z,
                     const std::function<double(double, double)> &f)
{
    const int k = 20000;
    double sum = 0, area = 0;
    for (int i = 0; i < k; ++i) {
        double t = (i + 0.5) / k, h = 1e-6;
        double dr = (radius(t + h) - radius(t - h)) / (2 * h), dz = (z(t + h) - z(t - h)) / (2 * h);
        double dA = std::fabs(radius(t)) * std::sqrt(dr * dr + dz * dz);
        sum += f(radius(t), z(t)) * dA;
        area += dA;
    }
    return sum / area;
}

} // namespace

TEST(Quadrics, AreaLightSamplesFallEvenlyByArea)
{
    // Uniform parameters put as many samples near a disk's centre as near
    // its rim; weighted by the area element they average as the area does.
    const Point Q(0.3f, 0.2f, 5);
    auto r2 = [](const Point &P) { return double(P.x * P.x + P.y * P.y); };
    auto zof = [](const Point &P) { return double(P.z); };
    GDisk disk(0, 1.8f, 360, 0);
    EXPECT_NEAR(sampled_mean(disk, Q, r2), 1.8 * 1.8 / 2, 0.02);
    GCone cone(2, 1, 360);
    EXPECT_NEAR(sampled_mean(cone, Q, zof), revolved_mean([](double t) { return 1 - t; }, [](double t) { return 2 * t; },
                                                          [](double, double z) { return z; }),
                0.02);
    GParaboloid para(1.5f, 0, 2, 360);
    EXPECT_NEAR(sampled_mean(para, Q, zof),
                revolved_mean([](double t) { return 1.5 * std::sqrt(t); }, [](double t) { return 2 * t; },
                              [](double, double z) { return z; }),
                0.02);
    GHyperboloid hyper(Point(1, 0, 0), Point(0.2f, 1.5f, 2), 360);
    EXPECT_NEAR(sampled_mean(hyper, Q, zof),
                revolved_mean([](double t) { return std::hypot(1 - 0.8 * t, 1.5 * t); }, [](double t) { return 2 * t; },
                              [](double, double z) { return z; }),
                0.02);
    // Seen from inside, a cylinder's samples are uniform in area already.
    GCylinder cyl(1, 0, 2, 360);
    EXPECT_NEAR(sampled_mean(cyl, Point(0.1f, 0, 1), zof), 1, 0.02);
    // A torus: its outer side has more area than its inner side.
    GTorus torus(2, 1, 0, 360, 360);
    EXPECT_NEAR(sampled_mean(torus, Q, [](const Point &P) { return double(std::hypot(P.x, P.y)); }),
                (4 + 0.5) / 2, 0.02);
}
