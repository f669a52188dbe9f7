// Rays shot at tori in their own space.
#include "raytrace/torus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// The distances of the hits in the order the torus gives them.
std::vector<float> torus_hits(GTorus &t, Point o, Point d)
{
    Ray r(o, d, 0, 0, 1, 0);
    IntersectionList l = t.intersect(r);
    std::vector<float> out;
    for (Intersection *h = l.head(); h; h = h->next) out.push_back(h->linet);
    l.free_list();
    return out;
}

void expect_near_all(const std::vector<float> &got, const std::vector<float> &want, float tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(got[i], want[i], tol) << "hit " << i;
}

const Point PX(1, 0, 0), MZ(0, 0, -1);

} // namespace

TEST(Torus, AxisMissesAndCrossingGivesFourHitsInOrder)
{
    GTorus t(1, 0.25f, 0, 360, 360);
    EXPECT_TRUE(torus_hits(t, Point(0, 0, 5), MZ).empty());
    expect_near_all(torus_hits(t, Point(-5, 0, 0), PX), {3.75f, 4.25f, 5.75f, 6.25f}, 2e-4f);
    // A ray from inside the tube still gets the roots behind it.
    expect_near_all(torus_hits(t, Point(1, 0, 0), PX), {-2.25f, -1.75f, -0.25f, 0.25f}, 2e-4f);
    // Above the tube: nothing.
    EXPECT_TRUE(torus_hits(t, Point(-5, 0, 0.3f), PX).empty());
}

TEST(Torus, CloseRootsOfAGrazingRayAreSeparated)
{
    GTorus t(1, 0.25f, 0, 360, 360);
    // The ray skims the top of the tube: each pair lies 0.014 apart, far
    // closer than a quarter of the minor radius.
    float z = 0.2499f, half = std::sqrt(0.25f * 0.25f - z * z);
    std::vector<float> got = torus_hits(t, Point(-5, 0, z), PX);
    expect_near_all(got, {4 - half, 4 + half, 6 - half, 6 + half}, 1e-3f);
}

TEST(Torus, ThinTorusIsStillFound)
{
    // Major radius a million times the minor one.
    GTorus t(1000, 0.001f, 0, 360, 360);
    std::vector<float> got = torus_hits(t, Point(-2000, 0, 0), PX);
    expect_near_all(got, {999.999f, 1000.001f, 2999.999f, 3000.001f}, 2e-3f);
}

TEST(Torus, SweepAndTubeRangeLimitTheHits)
{
    // A quarter sweep keeps only the side of positive x (and y).
    GTorus quarter(1, 0.25f, 0, 360, 90);
    expect_near_all(torus_hits(quarter, Point(-5, 0.01f, 0), PX), {5.75f, 6.25f}, 2e-3f);
    GTorus back(1, 0.25f, 0, 360, -90);   // negative sweep: y <= 0
    EXPECT_TRUE(torus_hits(back, Point(-5, 0.01f, 0), PX).empty());
    EXPECT_EQ(torus_hits(back, Point(-5, -0.01f, 0), PX).size(), 2u);
    // A negative major radius turns the sweep by pi.
    GTorus turned(-1, 0.25f, 0, 360, 90);
    EXPECT_TRUE(torus_hits(turned, Point(-5, 0.01f, 0), PX).empty());
    EXPECT_EQ(torus_hits(turned, Point(-5, -0.01f, 0), PX).size(), 2u);

    // The upper outer quarter of the tube, given either way round.
    GTorus band(1, 0.25f, 0, 90, 360), swapped(1, 0.25f, 90, 0, 360);
    for (GTorus *t : {&band, &swapped}) {
        std::vector<float> got = torus_hits(*t, Point(1.1f, 0, 5), MZ);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_NEAR(got[0], 5 - std::sqrt(0.25f * 0.25f - 0.01f), 1e-3f);
        EXPECT_TRUE(torus_hits(*t, Point(0.9f, 0, 5), MZ).empty());   // inner side
    }
    // A negative tube range below zero.
    GTorus under(1, 0.25f, -90, 0, 360);
    std::vector<float> got = torus_hits(under, Point(1.1f, 0, 5), MZ);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NEAR(got[0], 5 + std::sqrt(0.25f * 0.25f - 0.01f), 1e-3f);
}

TEST(Torus, HitIsFilledWithParametersAndOutwardNormal)
{
    GTorus band(1, 0.25f, 0, 90, 360), swapped(1, 0.25f, 90, 0, 360);
    Point normals[2];
    GTorus *tori[2] = {&band, &swapped};
    for (int i = 0; i < 2; i++) {
        Ray r(Point(1.1f, 0.001f, 5), MZ, 0, 0, 1, 0);
        IntersectionList l = tori[i]->intersect(r);
        Intersection *h = l.dequeue();
        ASSERT_NE(h, nullptr);
        tori[i]->fill_hit(h);
        normals[i] = normalize(h->Ng);
        float phi = std::atan2(h->Pobj.z, 0.1f);
        EXPECT_NEAR(h->v, i == 0 ? phi / 1.5707964f : 1 - phi / 1.5707964f, 1e-3f);
        EXPECT_NEAR(h->u, 0, 1e-3f);
        h->release();
        l.free_list();
    }
    // Up and out from the tube's centre, and flipped for the swapped range.
    EXPECT_GT(normals[0].z, 0.9f);
    EXPECT_GT(normals[0].x, 0.3f);
    EXPECT_NEAR(normals[1].x, -normals[0].x, 1e-4f);
    EXPECT_NEAR(normals[1].z, -normals[0].z, 1e-4f);
    // The parametric form agrees with the ray equation's point.
    Point P;
    band.eval_point(0, 0.5f, 0, P);
    EXPECT_NEAR(P.x, 1 + 0.25f * std::cos(0.7853982f), 1e-5f);
    EXPECT_NEAR(P.z, 0.25f * std::sin(0.7853982f), 1e-5f);
}

TEST(Torus, NaNAndDegenerateInputNeverHit)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    GTorus t(1, 0.25f, 0, 360, 360);
    EXPECT_TRUE(torus_hits(t, Point(nan, 0, 0), PX).empty());
    EXPECT_TRUE(torus_hits(t, Point(-5, 0, 0), Point(1, nan, 0)).empty());
    EXPECT_TRUE(GTorus(1, 0, 0, 360, 360).degenerate());
    EXPECT_TRUE(GTorus(1, 0.25f, 30, 30, 360).degenerate());
    EXPECT_TRUE(GTorus(nan, 0.25f, 0, 360, 360).degenerate());
    EXPECT_FALSE(GTorus(0, 0.25f, 0, 360, 360).degenerate());   // a spindle is fine
}
