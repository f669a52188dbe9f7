// CSG solids built through the RI solid blocks and shot along the x axis.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "raytrace/csg.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "tests/raytrace/world_fixture.h"

namespace {

const Point PX(1, 0, 0);

class Csg : public WorldTest {
protected:
    // The distances of the hits of the first object for a ray along x from
    // (-10, y, 0), in the order it gives them.
    static std::vector<float> hits(float y = 0, GPrimitive *o = nullptr, float tmax = 1e38f)
    {
        Ray r(Point(-10, y, 0), PX, 0, 0, 1, 0);
        r.tmax = tmax;
        IntersectionList l = (o ? o : objects())->intersect(r);
        std::vector<float> t;
        for (Intersection *h = l.head(); h; h = h->next) {
            EXPECT_EQ(h->incsg, 1);
            t.push_back(h->linet);
        }
        l.free_list();
        return t;
    }
    // A sphere of radius r centred on (x, 0, 0).
    static void sphere_at(float x, float r)
    {
        RiTransformBegin();
        RiTranslate(x, 0, 0);
        RiSphere(r, -r, r, 360, RI_NULL);
        RiTransformEnd();
    }
    static void solid(const char *op, std::vector<std::pair<float, float>> spheres)
    {
        RiSolidBegin((RtToken)op);
        for (auto &s : spheres) sphere_at(s.first, s.second);
        RiSolidEnd();
    }
};

typedef std::vector<float> Hits;

void expect_hits(const Hits &got, const Hits &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(got[i], want[i], 1e-4f) << "hit " << i;
}

} // namespace

TEST_F(Csg, UnionKeepsTheOuterSurfaceOfOverlappingSpheres)
{
    solid("union", {{0, 2}, {2, 2}});
    ASSERT_EQ(objects()->type, GP_UNION);
    expect_hits(hits(), {8, 14});
}

TEST_F(Csg, IntersectionNeedsBothOperands)
{
    solid("intersection", {{0, 2}, {2, 2}});
    expect_hits(hits(), {10, 12});
    // Through both, but where they do not overlap.
    EXPECT_TRUE(hits(1.9f).empty());
}

TEST_F(Csg, DifferenceCutsTheLaterOperandsOutOfTheFirst)
{
    solid("difference", {{0, 2}, {2, 2}, {-3, 0.5f}});
    // The first sphere less the part inside the second; the third misses.
    expect_hits(hits(), {8, 10});
    // Leaving the first sphere before the second is met: its hits unchanged.
    std::vector<float> t = hits(-1.9f);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 10 - 0.6245f, 1e-3f);
}

TEST_F(Csg, DifferenceOfAMissedMinuendIsEmpty)
{
    solid("difference", {{20, 1}, {0, 2}});
    EXPECT_TRUE(hits(1.5f).empty());
    expect_hits(hits(), {29, 31});
}

TEST_F(Csg, NestedSolidsCombine)
{
    // (sphere 0 union sphere 3) minus the sphere at 1.5: two caps remain.
    RiSolidBegin("difference");
    solid("union", {{0, 2}, {3, 2}});
    sphere_at(1.5f, 1);
    RiSolidEnd();
    expect_hits(hits(), {8, 10.5f, 12.5f, 15});
}

TEST_F(Csg, CompositeGivesEveryHitWithoutAndOnlyThoseInRangeWithItsHierarchy)
{
    unsetenv("RAYLUME_CSG_ACCEL");
    solid("primitive", {{0, 1}, {5, 1}});
    expect_hits(hits(0, nullptr, 12), {9, 11, 14, 16});
    setenv("RAYLUME_CSG_ACCEL", "", 1);
    solid("primitive", {{0, 1}, {5, 1}});
    unsetenv("RAYLUME_CSG_ACCEL");
    ASSERT_NE(static_cast<GSolid *>(objects())->accel, nullptr);
    expect_hits(hits(0, nullptr, 12), {9, 11});
}

TEST_F(Csg, InstancesOfSolidsStandWhereTheyAreInstanced)
{
    // A hollow ball: what the definition holds is placed by each instance.
    RtObjectHandle h = RiObjectBegin();
    solid("difference", {{0, 3}, {0, 1}});
    RiObjectEnd();
    RiTransformBegin();
    RiTranslate(0, 0, 0);
    RiObjectInstance(h);
    RiTranslate(100, 0, 0);
    RiObjectInstance(h);
    RiTransformEnd();
    GPrimitive *far = objects(), *near = far->next;
    ASSERT_TRUE(far && near);
    expect_hits(hits(0, near), {7, 9, 11, 13});
    expect_hits(hits(0, far), {107, 109, 111, 113});
    EXPECT_GE(far->world_bound[1], 103);
    EXPECT_NE(solid_children(far), solid_children(near));
}

TEST(CsgMerge, TiesTakeTheNewOperandFirst)
{
    GPrimitive a_obj, b_obj;
    auto list = [](GPrimitive *o, std::vector<float> ts) {
        IntersectionList l;
        for (float t : ts) l.add(new Intersection(o, t, 0));
        return l;
    };
    GSolid s(GP_INTERSECTION, nullptr);
    IntersectionList a = list(&a_obj, {1, 3}), b = list(&b_obj, {1, 2});
    s.merge_hits(a, b);
    // B's hit at 1 enters B outside A (dropped); A's at 1 then enters both.
    ASSERT_EQ(a.count, 2);
    EXPECT_EQ(a.first->obj, &a_obj);
    EXPECT_EQ(a.first->linet, 1);
    EXPECT_EQ(a.last->obj, &b_obj);
    EXPECT_EQ(b.count, 0);
    a.free_list();
}
