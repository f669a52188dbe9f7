// Bilinear patches: rays shot straight at patches and mesh pieces.
#include "raytrace/bilinear.h"

#include <gtest/gtest.h>

#include <limits>

#include "raytrace/primitive_makers.h"
#include "ri_common/ri.h"
#include "ri/stdtokens.h"
#include "tests/ri/error_capture.h"

namespace {

class Bilinear : public ::testing::Test {
protected:
    void SetUp() override { RiBegin(nullptr); }
    void TearDown() override { RiEnd(); }

    // A patch made as scene assembly makes it (null when dropped).
    static GBilinearPatch *patch(RtToken name, float *values, int ucol = 0, int nu = 1, int vrow = 0, int nv = 1)
    {
        RtToken tokens[1] = {name};
        RtPointer data[1] = {values};
        return static_cast<GBilinearPatch *>(make_bilinear_patch(1, tokens, data, ucol, nu, vrow, nv));
    }
    // The hit of a ray from (x, y, -5) along +z, filled in; null on a miss.
    static Intersection *shoot(GBilinearPatch *p, float x, float y)
    {
        Ray r(Point(x, y, -5), Point(0, 0, 1), 0, 0, 1, 0);
        IntersectionList l = p->intersect(r);
        Intersection *h = l.dequeue();
        l.free_list();
        if (h) p->fill_hit(h);
        return h;
    }
};

} // namespace

TEST_F(Bilinear, CentreOfAFlatSquare)
{
    float P[12] = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
    GBilinearPatch *p = patch(tok::P, P);
    ASSERT_NE(p, nullptr);
    Intersection *h = shoot(p, 0, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_FLOAT_EQ(h->linet, 5);
    EXPECT_FLOAT_EQ(h->u, 0.5f);
    EXPECT_FLOAT_EQ(h->v, 0.5f);
    // u along +x and v along +y: dPdu x dPdv is +z.
    EXPECT_NEAR(h->Ng.z, 1, 1e-6);
    h->release();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Ray bad(Point(0, nan, -5), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = p->intersect(bad);
    EXPECT_EQ(l.count, 0);
    delete p;
}

TEST_F(Bilinear, RayInsideTheBoxButOutsideTheBoundaryMisses)
{
    // A trapezoid narrowing towards +y.
    float P[12] = {-1, -1, 0, 1, -1, 0, -0.2f, 1, 0, 0.2f, 1, 0};
    GBilinearPatch *p = patch(tok::P, P);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(shoot(p, 0.9f, 0.9f), nullptr);
    Intersection *h = shoot(p, 0.1f, 0.9f);
    ASSERT_NE(h, nullptr);
    h->release();
    delete p;
}

TEST_F(Bilinear, TwistedPatchHitsStayInTheUnitSquare)
{
    float P[12] = {-1, -1, -1, 1, -1, 1, -1, 1, 1, 1, 1, -1};
    GBilinearPatch *p = patch(tok::P, P);
    ASSERT_NE(p, nullptr);
    for (float x : {-0.999f, -0.5f, 0.0f, 0.7f, 0.999f})
        for (float y : {-0.999f, 0.3f, 0.999f}) {
            Intersection *h = shoot(p, x, y);
            ASSERT_NE(h, nullptr) << x << " " << y;
            EXPECT_GE(h->gu, 0);
            EXPECT_LE(h->gu, 1);
            EXPECT_GE(h->gv, 0);
            EXPECT_LE(h->gv, 1);
            // The reported point lies on the ray.
            EXPECT_NEAR(h->Pobj.x, x, 1e-4);
            EXPECT_NEAR(h->Pobj.y, y, 1e-4);
            EXPECT_NEAR(h->linet, 5 + h->Pobj.z, 1e-4);
            h->release();
        }
    delete p;
}

TEST_F(Bilinear, MeshPiecesReportMeshParameters)
{
    // Column 3 of 4, row 1 of 2.
    float P[12] = {3, 1, 0, 4, 1, 0, 3, 2, 0, 4, 2, 0};
    GBilinearPatch *p = patch(tok::P, P, 3, 4, 1, 2);
    ASSERT_NE(p, nullptr);
    Intersection *h = shoot(p, 3.5f, 1.25f);
    ASSERT_NE(h, nullptr);
    EXPECT_FLOAT_EQ(h->u, 0.875f);
    EXPECT_FLOAT_EQ(h->v, 0.625f);
    h->release();
    delete p;
}

TEST_F(Bilinear, HeightsAndHomogeneousCorners)
{
    // Heights over the mesh's unit square: column 1 of 2 spans x 0.5 to 1.
    float z[4] = {0, 1, 2, 3};
    GBilinearPatch *p = patch(tok::Pz, z, 1, 2, 0, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->P00, Point(0.5f, 0, 0));
    EXPECT_EQ(p->P11, Point(1, 1, 3));
    EXPECT_EQ(p->vertex_vars.find(tok::Pz), nullptr);
    delete p;
    float pw[16] = {0, 0, 0, 2, 4, 0, 0, 2, 0, 4, 0, 2, 4, 4, 2, 2};
    p = patch(tok::Pw, pw);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->P10, Point(2, 0, 0));
    EXPECT_EQ(p->P11, Point(2, 2, 1));
    delete p;
}

TEST_F(Bilinear, DegenerateCornersAreReportedAndDropped)
{
    velktest::ErrorCapture errors;
    float line[12] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0};
    EXPECT_EQ(patch(tok::P, line), nullptr);
    float inf = std::numeric_limits<float>::infinity();
    float far[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, inf, 1, 0};
    EXPECT_EQ(patch(tok::P, far), nullptr);
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].message, "Degenerate bilinear primitive ignored");
    float cs[12] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    EXPECT_EQ(patch(tok::Cs, cs), nullptr);
    EXPECT_EQ(errors.count(), 3u);
}

TEST_F(Bilinear, DerivativesBlendTheEdges)
{
    float P[12] = {0, 0, 0, 2, 0, 0, 0, 1, 0, 4, 1, 0};
    GBilinearPatch *p = patch(tok::P, P);
    ASSERT_NE(p, nullptr);
    Point du, dv;
    p->eval_derivs(0.5f, 0.5f, 0, du, dv);
    EXPECT_EQ(du, Point(3, 0, 0));
    EXPECT_EQ(dv, Point(1, 1, 0));
    // Beyond the patch the blend is held at its edge.
    p->eval_derivs(2, -1, 0, du, dv);
    EXPECT_EQ(du, Point(2, 0, 0));
    EXPECT_EQ(dv, Point(2, 1, 0));
    delete p;
}
