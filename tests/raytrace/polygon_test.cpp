// Triangles, polygons and polygons with holes: made through the RI requests
// and hit by rays straight down the z axis.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "raytrace/planar.h"
#include "raytrace/polygon.h"
#include "raytrace/raytracer.h"
#include "raytrace/triangle.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "tests/raytrace/world_fixture.h"
#include "tests/ri/error_capture.h"

namespace {

const Point DOWN(0, 0, -1);

class Planar : public WorldTest {
protected:
    // The objects hit by a ray down onto (x, y) from z = 5, nearest first.
    static std::vector<GPrimitive *> hit_objects(float x, float y)
    {
        Ray r(Point(x, y, 5), DOWN, 0, 0, 1, 0);
        IntersectionList l = r.closest_hit(objects());
        std::vector<GPrimitive *> o;
        for (Intersection *h = l.head(); h; h = h->next) o.push_back(gprim(h->obj));
        l.free_list();
        return o;
    }
    // The filled nearest hit of a ray down onto (x, y) (caller releases).
    static Intersection *filled_hit(float x, float y, int vars_used = 0)
    {
        Ray r(Point(x, y, 5), DOWN, 0, 0, 1, 0);
        IntersectionList l = r.closest_hit(objects());
        Intersection *h = l.dequeue();
        l.free_list();
        if (h) {
            h->vars_used = vars_used;
            gprim(h->obj)->fill_hit(h);
        }
        return h;
    }
};

} // namespace

TEST_F(Planar, TriangleHitWithParametersAndNormal)
{
    RtPoint P[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    RiPolygon(3, "P", P, RI_NULL);
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(objects()->type, GP_TRIANGLE);
    EXPECT_TRUE(hit_objects(0.8f, 0.8f).empty());
    Intersection *h = filled_hit(0.2f, 0.2f, VU_TEXCOORDS);
    ASSERT_NE(h, nullptr);
    EXPECT_NEAR(h->linet, 5, 1e-5f);
    // P = P0 + u (1 - v) (P1 - P0) + v (P2 - P0).
    EXPECT_NEAR(h->gu, 0.25f, 1e-5f);
    EXPECT_NEAR(h->gv, 0.2f, 1e-5f);
    EXPECT_NEAR(h->u, 0.2f, 1e-6f);
    EXPECT_NEAR(h->s, 0.2f, 1e-6f);
    // s and t are x and y, their derivatives taken along gu and gv (the
    // parameters du and dv step in): dP/du = (1 - v) (P1 - P0), dP/dv = (-u, 1, 0).
    EXPECT_NEAR(h->dsdu, 0.8f, 1e-6f);
    EXPECT_NEAR(h->dtdu, 0, 1e-6f);
    EXPECT_NEAR(h->dsdv, -0.25f, 1e-6f);
    EXPECT_NEAR(h->dtdv, 1, 1e-6f);
    EXPECT_NEAR(h->Ng.z, 1, 1e-6f);
    h->release();
}

TEST_F(Planar, InsideOutOrientationTurnsTheNormalOnce)
{
    RtPoint P[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    RiReverseOrientation();
    RiPolygon(3, "P", P, RI_NULL);
    Intersection *h = filled_hit(0.2f, 0.2f);
    ASSERT_NE(h, nullptr);
    EXPECT_NEAR(h->Ng.z, -1, 1e-6f);
    h->release();
}

TEST_F(Planar, DegenerateTrianglesAreReportedOnceAndNeverHit)
{
    velktest::ErrorCapture errors;
    // Two coincident vertices reach the triangle through a mesh face.
    RtPoint P[4] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    RtInt nverts[2] = {3, 3}, verts[6] = {0, 1, 2, 0, 1, 3};
    RiPointsPolygons(2, nverts, verts, "P", P, RI_NULL);
    EXPECT_EQ(count(), 1);   // only the good face
    EXPECT_EQ(errors.count(), 1u);
    // Made directly: flagged out of every list.
    RtToken tokens[] = {(RtToken) "P"};
    float bad[9] = {0, 0, 0, 1e-12f, 0, 0, 0, 1, 0};
    RtPointer values[] = {bad};
    errors.clear();
    GTriangle t(1, tokens, values);
    EXPECT_TRUE(t.flags & GPF_UNLINKED);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_RANGE);
    EXPECT_EQ(errors.reports[0].message, "Degenerate triangle primitive");
}

TEST_F(Planar, SharedEdgeBelongsToExactlyOneTriangle)
{
    RtPoint P[4] = {{0, 0, 0}, {0, 2, 0}, {-1, 1, 0}, {1, 1, 0}};
    RtInt nverts[2] = {3, 3}, verts[6] = {0, 1, 2, 0, 3, 1};
    RiPointsPolygons(2, nverts, verts, "P", P, RI_NULL);
    ASSERT_EQ(count(), 2);
    for (float y : {0.3f, 0.5f, 1.0f, 1.7f}) EXPECT_EQ(hit_objects(0, y).size(), 1u) << "y = " << y;
    // Through the shared vertex at the side corners' height, and off the edge.
    EXPECT_EQ(hit_objects(-0.5f, 1).size(), 1u);
    EXPECT_EQ(hit_objects(0.5f, 1).size(), 1u);
}

TEST_F(Planar, HolesOfGeneralPolygonsAreMisses)
{
    RtPoint P[8] = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}};
    RtInt loops[2] = {4, 4};
    RiGeneralPolygon(2, loops, "P", P, RI_NULL);
    ASSERT_EQ(count(), 1);
    EXPECT_TRUE(hit_objects(2, 2).empty());
    EXPECT_EQ(hit_objects(0.5f, 0.5f).size(), 1u);
    EXPECT_EQ(hit_objects(3.5f, 2).size(), 1u);
    EXPECT_TRUE(hit_objects(5, 2).empty());
}

TEST_F(Planar, ManyVerticesAndManyHoles)
{
    // A 40-gon outline with 30 small square holes along a row.
    std::vector<float> P;
    std::vector<RtInt> loops = {40};
    for (int i = 0; i < 40; i++) {
        float a = 6.2831853f * (float)i / 40;
        P.insert(P.end(), {100 * std::cos(a), 100 * std::sin(a), 0});
    }
    for (int k = 0; k < 30; k++) {
        float x = -60 + 4 * (float)k;
        P.insert(P.end(), {x, -1, 0, x + 2, -1, 0, x + 2, 1, 0, x, 1, 0});
        loops.push_back(4);
    }
    RiGeneralPolygon((RtInt)loops.size(), loops.data(), "P", P.data(), RI_NULL);
    ASSERT_EQ(count(), 1);
    EXPECT_TRUE(hit_objects(-59, 0).empty());         // in the first hole
    EXPECT_TRUE(hit_objects(-60 + 4 * 29 + 1, 0).empty());   // in the last
    EXPECT_EQ(hit_objects(-57, 0).size(), 1u);        // between holes
    EXPECT_EQ(hit_objects(0, 95).size(), 1u);         // near the rim
    EXPECT_TRUE(hit_objects(0, 101).empty());
}

TEST(PlanarDirect, FivePointPolygonInterpolatesItsFirstFourVertices)
{
    RiBegin(nullptr);
    // A square with a fifth vertex to its left; the colours of the first
    // four corners give (gu, gv) back, the fifth one's must not count.
    RtToken tokens[] = {(RtToken) "P", (RtToken) "Cs"};
    float P[15] = {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0, -1, 1, 0};
    float Cs[15] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 9};
    RtPointer values[] = {P, Cs};
    GPolygon poly(5, 2, tokens, values);
    for (Point at : {Point(0.5f, 1.5f, 0), Point(-0.5f, 1, 0)}) {
        Ray r(at + Point(0, 0, 5), DOWN, 0, 0, 1, 0);
        IntersectionList l = poly.intersect(r);
        Intersection *h = l.dequeue();
        ASSERT_NE(h, nullptr) << at;
        poly.fill_hit(h);
        EXPECT_NEAR(h->Cs.x, at.x / 2, 1e-5f);
        EXPECT_NEAR(h->Cs.y, at.y / 2, 1e-5f);
        EXPECT_NEAR(h->Cs.z, 0, 1e-5f);
        h->release();
    }
    RiEnd();
}

TEST(PlanarDirect, NormalsOfShortCornersAndTinyPolygons)
{
    RiBegin(nullptr);
    RtToken tokens[] = {(RtToken) "P"};
    // The first corner is straight: the normal comes from the next edge.
    float straight[12] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 1, 1, 0};
    RtPointer v1[] = {straight};
    GPolygon a(4, 1, tokens, v1);
    EXPECT_NEAR(a.N.z, 1, 1e-6f);
    // A square a thousandth across still faces +z and is hit.
    float tiny[12] = {0, 0, 0, 1e-3f, 0, 0, 1e-3f, 1e-3f, 0, 0, 1e-3f, 0};
    RtPointer v2[] = {tiny};
    GPolygon b(4, 1, tokens, v2);
    EXPECT_FALSE(b.flags & GPF_UNLINKED);
    EXPECT_NEAR(b.N.z, 1, 1e-6f);
    Ray r(Point(5e-4f, 5e-4f, 1), DOWN, 0, 0, 1, 0);
    IntersectionList l = b.intersect(r);
    EXPECT_EQ(l.count, 1);
    l.free_list();
    // All on one line: reported and left out.
    velktest::ErrorCapture errors;
    float line[12] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0};
    RtPointer v3[] = {line};
    GPolygon c(4, 1, tokens, v3);
    EXPECT_TRUE(c.flags & GPF_UNLINKED);
    EXPECT_TRUE(errors.has(RIE_RANGE));
    RiEnd();
}

TEST(PlanarDirect, ParallelNaNAndOutOfWindowRaysMiss)
{
    RiBegin(nullptr);
    RtToken tokens[] = {(RtToken) "P"};
    float P[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    RtPointer values[] = {P};
    GPolygon quad(4, 1, tokens, values);
    GTriangle tri(1, tokens, values);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (GPrimitive *p : std::vector<GPrimitive *>{&quad, &tri}) {
        for (Ray r : {Ray(Point(-1, .2f, 0), Point(1, 0, 0), 0, 0, 1, 0),
                      Ray(Point(nan, .2f, 1), DOWN, 0, 0, 1, 0), Ray(Point(.2f, .2f, 1), Point(0, nan, -1), 0, 0, 1, 0)}) {
            IntersectionList l = p->intersect(r);
            EXPECT_EQ(l.count, 0);
            l.free_list();
        }
        // A hit outside the window of a hit test is not made.
        Ray r(Point(.6f, .2f, 1), DOWN, 0, 0, 1, 0);
        r.set_window(2, 10);
        IntersectionList l = p->intersect(r);
        EXPECT_EQ(l.count, 0);
        EXPECT_TRUE(r.dropped);
        r.set_window(0.5f, 1);
        l = p->intersect(r);
        EXPECT_EQ(l.count, 1);
        l.free_list();
    }
    RiEnd();
}

TEST(PlanarMath, InverseMapOfATwistedQuad)
{
    // A quadrilateral that is no parallelogram: the map's inverse undoes it.
    Point c[4] = {Point(0, 0, 0), Point(2, 0, 0), Point(0, 1, 0), Point(3, 2, 0)};
    for (float u : {0.1f, 0.5f, 0.9f})
        for (float v : {0.2f, 0.7f}) {
            float gu, gv;
            bilinear_inverse(c, Point(0, 0, 1), bilinear_point(c, u, v), false, gu, gv);
            EXPECT_NEAR(gu, u, 1e-4f);
            EXPECT_NEAR(gv, v, 1e-4f);
        }
}
