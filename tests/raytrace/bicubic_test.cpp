// Bicubic patches: evaluation in their bases, motion keys, rational weights,
// rays through their grids, vertex variables and the patches of meshes.
#include "raytrace/bicubic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "raytrace/dice.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/raytracer.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "ri/stdtokens.h"
#include "tests/ri/error_capture.h"

namespace {

// Control points of the flat square [x0, x0 + 3s] x [y0, y0 + 3s] in the
// Bezier basis (evenly spaced, so the patch is the identity map scaled).
std::vector<float> flat_points(float x0 = 0, float y0 = 0, float s = 1.0f / 3, float z = 0)
{
    std::vector<float> P;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) P.insert(P.end(), {x0 + s * c, y0 + s * r, z});
    return P;
}

class Bicubic : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        RiShutter(0, 1);
        current_renderer->options.prepare_world(current_renderer->transformation);
    }
    void TearDown() override { RiEnd(); }

    static GBicubicPatch *patch(RtToken name, float *values, int ucol = 0, int nu = 1, int vrow = 0, int nv = 1)
    {
        RtToken tokens[1] = {name};
        RtPointer data[1] = {values};
        return static_cast<GBicubicPatch *>(make_bicubic_patch(1, tokens, data, ucol, nu, vrow, nv));
    }
};

// Shader parameters for vertex-variable binding: one float named "height".
class HeightParam : public ShaderParamLookup {
public:
    const char *shader_name() const override { return "test"; }
    bool find(RtToken name, int &type, int &howmany, int &offset) const override
    {
        if (std::strcmp(name, "height") != 0) return false;
        type = DECL_FLOAT;
        howmany = 1;
        offset = 0;
        return true;
    }
};

} // namespace

TEST_F(Bicubic, FlatBezierSquareIsTheIdentity)
{
    std::vector<float> P = flat_points();
    GBicubicPatch *p = patch(tok::P, P.data());
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->has_object_bound_test());
    for (float u : {0.0f, 0.3f, 1.0f})
        for (float v : {0.0f, 0.6f, 1.0f}) {
            Point q;
            p->eval_point(u, v, 0, q);
            EXPECT_NEAR(q.x, u, 1e-6);
            EXPECT_NEAR(q.y, v, 1e-6);
            EXPECT_EQ(q.z, 0);
        }
    Point du, dv;
    p->eval_derivs(0.5f, 0.5f, 0, du, dv);
    EXPECT_NEAR(du.x, 1, 1e-5);
    EXPECT_NEAR(dv.y, 1, 1e-5);
    delete p;
}

TEST_F(Bicubic, RaysMeetTheDicedPatch)
{
    std::vector<float> P = flat_points();
    GBicubicPatch *p = patch(tok::P, P.data());
    ASSERT_NE(p, nullptr);
    Ray r(Point(0.25f, 0.75f, -5), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = p->intersect(r);
    ASSERT_EQ(l.count, 1);
    Intersection *h = l.head();
    ASSERT_NE(p->subpatch_grid, nullptr);
    EXPECT_EQ(h->obj, p);
    EXPECT_NE(h->whichpiece, nullptr);
    EXPECT_NEAR(h->linet, 5, 1e-5);
    p->fill_hit(h);
    EXPECT_NEAR(h->u, 0.25f, 1e-5);
    EXPECT_NEAR(h->v, 0.75f, 1e-5);
    EXPECT_GT(h->Ng.z, 0);
    l.free_list();
    // The grid's box is the object's box from now on.
    Bound b;
    p->bound(b);
    EXPECT_EQ(b[0], p->subpatch_grid->bound[0]);
    Ray beside(Point(1.5f, 0.5f, -5), Point(0, 0, 1), 0, 0, 1, 0);
    l = p->intersect(beside);
    EXPECT_EQ(l.count, 0);
    delete p;
}

TEST_F(Bicubic, MovingPatchBlendsItsKeys)
{
    std::vector<float> a = flat_points(), b = flat_points(0, 0, 1.0f / 3, 2);
    GBicubicPatch *p = patch(tok::P, a.data());
    GBicubicPatch *q = patch(tok::P, b.data());
    ASSERT_TRUE(set_motion_key(p, q));
    delete q;
    EXPECT_TRUE(p->flags & GPF_MOVING_CVS);
    Point P;
    p->eval_point(0.5f, 0.5f, 0, P);
    EXPECT_EQ(P.z, 0);
    p->eval_point(0.5f, 0.5f, 0.5f, P);
    EXPECT_NEAR(P.z, 1, 1e-6);
    p->eval_point(0.5f, 0.5f, 1, P);
    EXPECT_NEAR(P.z, 2, 1e-6);
    // The box holds both keys.
    Bound bb;
    p->bound(bb);
    EXPECT_LE(bb[4], 0);
    EXPECT_GE(bb[5], 2);
    delete p;
}

TEST_F(Bicubic, EqualWeightsLeaveShapeAndBox)
{
    std::vector<float> P = flat_points(1, 1, 1, 0);
    for (int i = 0; i < 16; i++) P[3 * i + 2] = (float)(i % 3);
    std::vector<float> Pw1, Pw2;
    for (int i = 0; i < 16; i++) {
        Pw1.insert(Pw1.end(), {P[3 * i], P[3 * i + 1], P[3 * i + 2], 1});
        Pw2.insert(Pw2.end(), {2 * P[3 * i], 2 * P[3 * i + 1], 2 * P[3 * i + 2], 2});
    }
    GBicubicPatch *one = patch(tok::Pw, Pw1.data()), *two = patch(tok::Pw, Pw2.data());
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    for (float u : {0.1f, 0.5f, 0.9f}) {
        Point a, b;
        one->eval_point(u, 1 - u, 0, a);
        two->eval_point(u, 1 - u, 0, b);
        EXPECT_NEAR((a - b).length(), 0, 1e-5);
    }
    Bound ba, bb;
    one->bound(ba);
    two->bound(bb);
    for (int k = 0; k < 6; k++) EXPECT_NEAR(ba[k], bb[k], 1e-5);
    delete one;
    delete two;
}

TEST_F(Bicubic, GridPointsAndKeptNormalsAreExactlyTheValuesOneByOne)
{
    std::vector<float> P = flat_points(-1, 0.5f, 0.7f), Q = flat_points(0.2f, 0, 0.6f), Pw;
    for (int i = 0; i < 16; i++) {
        P[3 * i + 2] = 0.3f * (float)((i * 7) % 5) - 0.4f;
        float w = 0.5f + 0.25f * (float)(i % 4);
        Pw.insert(Pw.end(), {P[3 * i] * w, P[3 * i + 1] * w, P[3 * i + 2] * w, w});
    }
    RiBasis(RiCatmullRomBasis, 1, RiBSplineBasis, 1);
    GBicubicPatch *plain = patch(tok::P, P.data()), *weighted = patch(tok::Pw, Pw.data());
    GBicubicPatch *moving = patch(tok::P, P.data()), *key = patch(tok::P, Q.data());
    ASSERT_TRUE(plain && weighted && moving && key);
    // A normal kept from before the patch took its second key is not given again.
    Point before, after, fresh;
    moving->eval_normal(0.3f, 0.6f, 0.35f, before);
    moving->set_motion_key(*key);
    moving->eval_normal(0.3f, 0.6f, 0.35f, after);
    moving->GSurface::eval_normal(0.3f, 0.6f, 0.35f, fresh);
    EXPECT_TRUE(after.x == fresh.x && after.y == fresh.y && after.z == fresh.z);
    EXPECT_FALSE(after.x == before.x && after.y == before.y && after.z == before.z);
    for (GBicubicPatch *p : {plain, weighted, moving}) {
        for (float time : {0.0f, 0.35f}) {
            const int nu = 5, nv = 3;
            std::vector<Point> grid((nu + 1) * (nv + 1));
            p->eval_grid(nu, nv, time, grid.data());
            for (int i = 0; i <= nv; i++)
                for (int j = 0; j <= nu; j++) {
                    Point one;
                    p->eval_point((float)j / nu, (float)i / nv, time, one);
                    const Point &g = grid[j + (nu + 1) * i];
                    EXPECT_TRUE(g.x == one.x && g.y == one.y && g.z == one.z) << j << " " << i;
                }
        }
    }
    for (GBicubicPatch *p : {plain, weighted, moving, key}) delete p;
}

TEST_F(Bicubic, DegenerateEdgeFallsBackToDifferences)
{
    // Every point of the first row at the origin: dPdu vanishes along v = 0.
    std::vector<float> P = flat_points();
    for (int c = 0; c < 4; c++) P[3 * c] = P[3 * c + 1] = 0;
    GBicubicPatch *p = patch(tok::P, P.data());
    ASSERT_NE(p, nullptr);
    Point du, dv, fu, fv;
    p->eval_derivs(0.5f, 0, 0, du, dv);
    p->GSurface::eval_derivs(0.5f, 0, 0, fu, fv);
    EXPECT_EQ(du, fu);
    EXPECT_EQ(dv, fv);
    EXPECT_TRUE(std::isfinite(dv.length()));
    delete p;
}

TEST_F(Bicubic, VertexVariablesFollowTheBasis)
{
    RiDeclare("height", "vertex float");
    std::vector<float> P = flat_points();
    float height[16];
    for (int i = 0; i < 16; i++) height[i] = P[3 * i];   // x of each point: height = u
    RtToken tokens[2] = {tok::P, "height"};
    RtPointer data[2] = {P.data(), height};
    GBicubicPatch *p = static_cast<GBicubicPatch *>(make_bicubic_patch(2, tokens, data, 0, 1, 0, 1));
    ASSERT_NE(p, nullptr);
    float block[1] = {-1};
    p->bind_vertex_vars(HeightParam(), reinterpret_cast<char *>(block), 0, 0.3f, 0.8f);
    EXPECT_NEAR(block[0], 0.3f, 1e-6);
    delete p;
}

TEST_F(Bicubic, HeightsSpreadOverTheMesh)
{
    float z[16] = {};
    // Column 1 of a mesh of 2 in u with the Bezier step 3: x = (l + 3) / 6.
    GBicubicPatch *p = patch(tok::Pz, z, 1, 2, 0, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->G[0][0], 0.5f);
    EXPECT_FLOAT_EQ(p->G[0][3], 1);
    EXPECT_FLOAT_EQ(p->G[1][12], 1);
    delete p;
}

TEST_F(Bicubic, BadPointsAreReportedAndDropped)
{
    velktest::ErrorCapture errors;
    std::vector<float> P = flat_points();
    P[7] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(patch(tok::P, P.data()), nullptr);
    std::vector<float> same(48, 1.0f);
    EXPECT_EQ(patch(tok::P, same.data()), nullptr);
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].message, "Degenerate bicubic primitive ignored");
}

TEST_F(Bicubic, MotionBlocksAndMeshesThroughTheInterface)
{
    RiWorldBegin();
    std::vector<float> a = flat_points(), b = flat_points(0, 0, 1.0f / 3, 1);
    RiMotionBegin(2, 0.0f, 1.0f);
    RiPatch("bicubic", "P", a.data(), RI_NULL);
    RiPatch("bicubic", "P", b.data(), RI_NULL);
    RiMotionEnd();
    // Of three keys the first and the last are kept.
    std::vector<float> c = flat_points(0, 0, 1.0f / 3, 2), d = flat_points(0, 0, 1.0f / 3, 3);
    RiMotionBegin(3, 0.0f, 0.5f, 1.0f);
    RiPatch("bicubic", "P", c.data(), RI_NULL);
    RiPatch("bicubic", "P", b.data(), RI_NULL);
    RiPatch("bicubic", "P", d.data(), RI_NULL);
    RiMotionEnd();
    // A 7 x 4 mesh in the Bezier basis: two patches side by side.
    std::vector<float> mesh;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 7; c++) mesh.insert(mesh.end(), {c / 3.0f, r / 3.0f, 5});
    RiPatchMesh("bicubic", 7, "nonperiodic", 4, "nonperiodic", "P", mesh.data(), RI_NULL);
    std::vector<GBicubicPatch *> found;
    for (GPrimitive *o = RayTracer::current()->world_objects; o; o = o->next)
        if (o->type == GP_BICUBIC) found.push_back(static_cast<GBicubicPatch *>(o));
    ASSERT_EQ(found.size(), 4u);
    int moving = 0, pieces = 0, first_and_last = 0;
    for (GBicubicPatch *p : found) {
        if (p->flags & GPF_MOVING_CVS) {
            moving++;
            Point q0, q1;
            p->eval_point(0, 0, 0, q0);
            p->eval_point(0, 0, 1, q1);
            first_and_last += q0.z == 2 && q1.z == 3;
        }
        if (p->nu == 2) {
            pieces++;
            Point q;
            p->eval_point(0, 0, 0, q);
            EXPECT_FLOAT_EQ(q.x, p->ucol);
        }
    }
    EXPECT_EQ(moving, 2);
    EXPECT_EQ(first_and_last, 1);
    EXPECT_EQ(pieces, 2);
    current_renderer->options.render_enabled = 0;
    RiWorldEnd();
}
