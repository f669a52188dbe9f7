// Hit lists, the slab test and the tracing queries over object lists and
// hierarchies, with objects made under a real renderer's attributes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "raytrace/box4.h"
#include "raytrace/hierarchy.h"
#include "raytrace/quadric.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "ri_common/ri.h"
#include "ri/shader.h"

namespace {

int shaded_points = 0;

// The object's own colour and opacity: Ci = Cs x Os, Oi = Os.
int colour_of_object(ShaderVars *sv, char *)
{
    shaded_points++;
    sv->Ci = sv->Cs * sv->Os;
    sv->Oi = sv->Os;
    return 1;
}

class Scene : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        static Shader *colour = register_shader("trace_test_colour", colour_of_object, nullptr, nullptr,
                                                nullptr, SH_SURFACE);
        RiSurface(colour->name, RI_NULL);
    }
    void TearDown() override
    {
        free_object_list(list);
        RiEnd();
    }
    // A unit sphere at (0, 0, z) linked into the list.
    GSphere *sphere_at(float z, float opacity = 1)
    {
        RiAttributeBegin();
        RtColor o = {opacity, opacity, opacity};
        RiOpacity(o);
        RiTranslate(0, 0, z);
        GSphere *s = new GSphere(1, -1, 1, 360);
        RiAttributeEnd();
        s->link(&list, 1);
        return s;
    }
    GPrimitive *list = nullptr;
};

Intersection *hit_at(float t)
{
    return new Intersection(nullptr, t, 0);
}

std::vector<float> distances(const IntersectionList &l)
{
    std::vector<float> d;
    for (Intersection *h = l.head(); h; h = h->next) d.push_back(h->linet);
    return d;
}

} // namespace

TEST(HitLists, AddDequeueAppendSortFree)
{
    IntersectionList a, b;
    EXPECT_EQ(a.add(nullptr), 0);
    EXPECT_EQ(a.dequeue(), nullptr);
    a.add(hit_at(3));
    a.add(hit_at(1));
    b.add(hit_at(2));
    Intersection *tie = hit_at(1);
    b.add(tie);
    a.append(b);
    EXPECT_EQ(b.size(), 0);
    EXPECT_EQ(b.head(), nullptr);
    EXPECT_EQ(a.size(), 4);
    a.sort();
    EXPECT_EQ(distances(a), (std::vector<float>{1, 1, 2, 3}));
    EXPECT_NE(a.head(), tie);   // equal distances keep their order
    long free_before = hit_records_free();
    a.free_list();
    EXPECT_EQ(a.size(), 0);
    EXPECT_EQ(hit_records_free(), free_before + 4);
    // The tail is right after moving lists around.
    a.add(hit_at(5));
    EXPECT_EQ(a.last, a.first);
    a.free_list();
}

TEST(HitLists, PoolRecyclesRecordsAndCopiesKeepReferences)
{
    Intersection *a = new Intersection;
    a->release();
    long made = hit_records_made();
    long free_before = hit_records_free();
    Intersection *b = new Intersection(nullptr, 1, 0);
    EXPECT_EQ(hit_records_made(), made);   // taken from the free list
    EXPECT_EQ(hit_records_free(), free_before - 1);
    // A recycled record starts fresh.
    EXPECT_EQ(b->next, nullptr);
    EXPECT_FALSE(b->surf.is_set());
    EXPECT_EQ(b->whichpiece, nullptr);
    EXPECT_EQ(b->shade_task, 0);

    GState *g = new GState;
    b->surf.set(g);
    b->linet = 2.5f;
    b->time = 0.5f;
    Intersection *c = new Intersection;
    c->copy_from(*b);
    EXPECT_EQ(g->refcount, 2);
    EXPECT_EQ(c->linet, 2.5f);
    EXPECT_EQ(c->time, 0.5f);
    // A hit made at a shading point takes its fields, not hit data.
    Intersection *d = new Intersection(static_cast<const ShadingPoint &>(*c));
    EXPECT_EQ(d->linet, 0.0f);
    EXPECT_EQ(d->time, 0.5f);
    EXPECT_EQ(g->refcount, 3);
    b->release();
    c->release();
    d->release();
}

TEST(Rays, SlabTest)
{
    Bound box(-1, 1, -1, 1, -1, 1);
    Ray r(Point(0, 0, -5), Point(0, 0, 1), 0, 0, 1, 0);
    float entry, exit;
    ASSERT_TRUE(r.box_range(box, entry, exit));
    EXPECT_EQ(entry, 4);
    EXPECT_EQ(exit, 6);
    // Parallel to the x and y slabs: a hit only from inside them.
    Ray outside(Point(2, 0, -5), Point(0, 0, 1), 0, 0, 1, 0);
    EXPECT_FALSE(outside.box_range(box, entry, exit));
    // A box wholly behind tmin is missed by hits_box only.
    Ray past(Point(0, 0, 5), Point(0, 0, 1), 0, 0, 1, 0);
    EXPECT_TRUE(past.box_range(box, entry, exit));
    EXPECT_FALSE(past.hits_box(box));
    EXPECT_TRUE(r.hits_box(box));
    // NaN never hits.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(r.box_range(Bound(nan, 1, -1, 1, -1, 1), entry, exit));
    Ray bad(Point(nan, 0, -5), Point(1, 0, 1), 0, 0, 1, 0);
    EXPECT_FALSE(bad.hits_box(box));
    // The direction is normalised, and a copy drops the reuse hint.
    Ray slanted(Point(0, 0, 0), Point(3, 0, 4), 0, 2, 1, 0);
    EXPECT_NEAR(slanted.dir.length(), 1, 1e-6);
    EXPECT_EQ(slanted.primary, 0);
    slanted.set_likely_hit(Color(1, 0, 0), Color(1, 1, 1));
    Ray copy(slanted);
    EXPECT_EQ(copy.has_hint, 0);

    // Four boxes at once answer as the one-box test does, NaN and parallel
    // slabs included; distances agree to rounding.
    const Bound lanes[4] = {box, Bound(2, 3, -1, 1, -1, 1), Bound(nan, 1, -1, 1, -1, 1), Bound(-1, 1, 0.5f, 2, 3, 4)};
    alignas(16) float lo[3][4], hi[3][4];
    for (int i = 0; i < 4; i++)
        for (int a = 0; a < 3; a++) lo[a][i] = lanes[i][2 * a], hi[a][i] = lanes[i][2 * a + 1];
    for (const Ray *ray : {&r, &outside, &past, &slanted, &bad}) {
        RaySlabs slabs(ray->origin, ray->dir);
        __m128 near4, far4;
        const int mask = slab4(slabs, lo, hi, near4, far4);
        alignas(16) float near[4], far[4];
        _mm_store_ps(near, near4);
        _mm_store_ps(far, far4);
        for (int i = 0; i < 4; i++) {
            const bool one = ray->box_range(lanes[i], entry, exit);
            EXPECT_EQ((mask >> i) & 1, one ? 1 : 0) << "lane " << i;
            if (!one || !((mask >> i) & 1)) continue;
            EXPECT_NEAR(near[i], entry, 1e-5f * (1 + std::fabs(entry)));
            EXPECT_NEAR(far[i], exit, 1e-5f * (1 + std::fabs(exit)));
        }
    }
}

TEST_F(Scene, ObjectSpaceRaysScaleDistancesBack)
{
    RiScale(2, 2, 2);
    GSphere *s = new GSphere(1, -1, 1, 360);   // radius 2 in world space
    s->link(&list, 1);
    Ray r(Point(0, 0, -10), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = r.closest_hit(list);
    EXPECT_EQ(distances(l), (std::vector<float>{8, 12}));
    l.free_list();
    // A hit test's window is in world units: the root before it is never
    // made into a record.
    Ray o = r.to_object_space(*s->xform);
    o.set_window(9, 100);
    l = s->intersect(o);
    ASSERT_EQ(l.size(), 1);
    EXPECT_EQ(l.head()->linet / o.scale, 12);
    EXPECT_TRUE(o.dropped);
    l.free_list();
    Ray far(Point(0, 0, -10), Point(0, 0, 1), 0, 0, 1, 0);
    far.set_range(9, 100);
    l = far.closest_hit(list);
    EXPECT_EQ(distances(l), (std::vector<float>{12}));
    l.free_list();
}

TEST_F(Scene, NearestAndAllHitsThroughAHierarchy)
{
    for (int i = 0; i < 9; i++) sphere_at(10.0f * (i + 1));
    GHierBound *h = GHierBound::build(HIER_ALL, list, 0, 0, 0, 0);
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList all = r.closest_hit(h);
    ASSERT_EQ(all.size(), 18);
    EXPECT_EQ(all.head()->linet, 9);
    for (Intersection *i = all.head(); i->next; i = i->next) EXPECT_LE(i->linet, i->next->linet);
    all.free_list();

    Ray n(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList near = n.find_hit(h);
    ASSERT_GT(near.size(), 0);
    EXPECT_EQ(near.head()->linet, 9);
    EXPECT_NE(n.hit_object, nullptr);
    near.free_list();

    // A limited range keeps only what lies within it.
    Ray windowed(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    windowed.set_range(30, 45);
    IntersectionList some = windowed.closest_hit(h);
    std::vector<float> d = distances(some);
    ASSERT_EQ(d.size(), 3u);
    const float expect[3] = {31, 39, 41};
    for (int i = 0; i < 3; i++) EXPECT_NEAR(d[i], expect[i], 1e-4f);
    some.free_list();
    delete h;

    // A child whose box may change after the build is met by its box of now.
    GSphere *moved = static_cast<GSphere *>(list);
    moved->flags |= GPF_DICEABLE;
    h = GHierBound::build(HIER_ALL, list, 0, 0, 0, 0);
    moved->world_bound = Bound(50, 51, 50, 51, 50, 51);
    Ray past(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList rest = past.closest_hit(h);
    EXPECT_EQ(rest.size(), 16);
    rest.free_list();
    delete h;
}

TEST_F(Scene, CameraRaysCompositeFrontToBack)
{
    GSphere *back = sphere_at(30);
    sphere_at(10, 0.5f);
    sphere_at(20, 0.5f);
    for (int order = 0; order < 2; order++) {
        // Whatever order the list holds, the result is the same.
        Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
        ASSERT_TRUE(r.trace_primary_hit(list, nullptr));
        EXPECT_NEAR(r.opacity.x, 1, 1e-6);
        EXPECT_NEAR(r.alpha, 1, 1e-6);
        EXPECT_NEAR(r.depth, 9, 1e-5);
        // Four half-covering walls, then the opaque one; the wall behind it is dropped.
        EXPECT_NEAR(r.color.x, 0.5f + 0.25f + 0.125f + 0.0625f + 0.0625f, 1e-5);
        EXPECT_NEAR(r.tmax, 29, 1e-4f);   // lowered to the opaque surface
        // Reverse the list for the second round.
        GPrimitive *rev = nullptr;
        while (list) {
            GPrimitive *n = list->next;
            list->next = rev;
            rev = list;
            list = n;
        }
        list = rev;
    }
    // A likely hit is tried first and counted.
    unsigned long tries = ray_stats().likely_tries[0];
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    r.trace_primary_hit(list, back);
    EXPECT_EQ(ray_stats().likely_tries[0], tries + 1);
    EXPECT_NEAR(r.opacity.x, 1, 1e-6);

    // Nothing hit: black, transparent, far.
    Ray miss(Point(5, 5, 0), Point(0, 0, 1), 0, 0, 1, 0);
    EXPECT_FALSE(miss.trace_primary_hit(list, nullptr));
    EXPECT_EQ(miss.depth, 1e38f);
    EXPECT_EQ(miss.color, Color());
    EXPECT_EQ(miss.alpha, 0);
}

TEST_F(Scene, HitsBehindANearerOpaqueOneAreNotShaded)
{
    // A wide sphere whose box the ray enters first (at 20) but hits at 25.6,
    // and a small opaque one hit at 22.
    RiAttributeBegin();
    RiTranslate(9, 0, 30);
    (new GSphere(10, -10, 10, 360))->link(&list, 1);
    RiAttributeEnd();
    sphere_at(23);
    for (int level : {0, 1}) {
        shaded_points = 0;
        Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, level, 1, 0);
        ASSERT_TRUE(level == 0 ? r.trace_primary_hit(list, nullptr) : r.trace_shaded(list, nullptr, nullptr));
        EXPECT_EQ(shaded_points, 1) << level;
        EXPECT_NEAR(r.depth, 22, 1e-4f);
    }
}

TEST_F(Scene, MatteStopsCameraCompositing)
{
    RiAttributeBegin();
    RiMatte(1);
    sphere_at(10);
    RiAttributeEnd();
    sphere_at(20);
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    r.trace_primary_hit(list, nullptr);
    EXPECT_EQ(r.color, Color());
    EXPECT_EQ(r.alpha, 0);
    // A reflection ray sees the matte object as a surface.
    Ray s(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    s.trace_shaded(list, nullptr, nullptr);
    EXPECT_NEAR(s.alpha, 1, 1e-6);
}

TEST_F(Scene, ShadowRaysByShadowMode)
{
    GSphere *half = sphere_at(10, 0.5f);
    RiAttributeBegin();
    const char *none = "none";
    RiAttribute("render", "casts_shadows", &none, RI_NULL);
    GSphere *ghost = sphere_at(20);
    RiAttributeEnd();
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    r.flags = RAY_SHADOW;
    EXPECT_FALSE(r.trace_occlusion(list));
    EXPECT_NEAR(r.opacity.x, 0.75f, 1e-5);   // two walls of the half-opaque sphere
    EXPECT_EQ(ghost->attributes()->casts_shadows, 0);

    const char *opaque = "opaque";
    RiAttributeBegin();
    RiAttribute("render", "casts_shadows", &opaque, RI_NULL);
    GSphere *wall = sphere_at(5, 0.1f);
    RiAttributeEnd();
    Ray s(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    EXPECT_TRUE(s.trace_occlusion(list));
    EXPECT_EQ(s.hit_object, wall);
    EXPECT_NEAR(s.opacity.x, 1, 1e-6);
    // With the occluder tested first, the rest is never visited.
    unsigned long tests = ray_stats().isect_tests;
    Ray t(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    EXPECT_TRUE(t.trace_occlusion(list, wall));
    EXPECT_EQ(ray_stats().isect_tests, tests);

    // A likely blocker answers only rays within its sample limits, and one
    // hit without blocking counts once.
    wall->flags |= GPF_SAMPLE_LIMITS;
    wall->attributes()->detail_values[1] = 0.5f;
    for (GPrimitive *first : {static_cast<GPrimitive *>(wall), static_cast<GPrimitive *>(half)}) {
        Ray u(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
        u.flags = RAY_SHADOW;
        u.set_sample_value(0.25f);
        EXPECT_FALSE(u.trace_occlusion(list, first));
        EXPECT_NEAR(u.opacity.x, 0.75f, 1e-5);
    }

    // A caster blocks by its farther wall when the nearer one is swept away
    // or lies behind the ray.
    RiAttributeBegin();
    RiAttribute("render", "casts_shadows", &opaque, RI_NULL);
    RiTranslate(30, 0, 0);
    GSphere *quarter = new GSphere(2, -2, 2, 90);
    RiAttributeEnd();
    RiAttributeBegin();
    RiTranslate(60, 0, 0);
    GSphere *around = new GSphere(2, -2, 2, 360);
    RiAttributeEnd();
    ASSERT_EQ(around->attributes()->casts_shadows, 2);
    quarter->link(&list, 1);
    around->link(&list, 1);
    for (float x : {0.0f, 60.0f}) {
        Ray v(Point(x, 0.5f, 0), Point(1, 0, 0), 0, 1, 1, 0);
        v.flags = RAY_SHADOW;
        EXPECT_TRUE(v.trace_occlusion(list)) << x;
        EXPECT_EQ(v.hit_object, x == 0 ? quarter : around) << x;
        EXPECT_NEAR(v.opacity.x, 1, 1e-6) << x;
    }
}

TEST_F(Scene, TraversalHeapGrowsForFlatScenes)
{
    // Thousands of overlapping boxes pending at once.
    for (int i = 0; i < 3000; i++) sphere_at(3.0f + 0.001f * i, 0.0f);
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = r.closest_hit(list);
    EXPECT_EQ(l.size(), 6000);
    l.free_list();
    EXPECT_GE(ray_stats().heap_peak, 3000);
}

TEST_F(Scene, SecondaryRaysBeyondTheLevelLimitAreBlack)
{
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 99, 1, 0);
    r.color = Color(1, 1, 1);
    EXPECT_FALSE(r.trace());
    EXPECT_EQ(r.color, Color());
    EXPECT_EQ(r.opacity, Color());
    EXPECT_GE(ray_stats().rays[RAY_LEVELS - 1], 1u);
}
