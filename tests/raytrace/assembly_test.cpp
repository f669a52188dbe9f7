// Scene assembly through the RI procedures: what each primitive request
// builds, polygon fans, patch-mesh gathering, motion keys, the object stack.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/polygon.h"
#include "raytrace/prim_params.h"
#include "raytrace/quadric.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/triangle.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "ri/stdtokens.h"
#include "tests/ri/error_capture.h"

namespace {

class Assembly : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        RiWorldBegin();
    }
    void TearDown() override
    {
        // Nothing is rendered: the world only ends.
        current_renderer->options.render_enabled = 0;
        RiWorldEnd();
        RiEnd();
    }
    static GPrimitive *objects() { return RayTracer::current()->world_objects; }
    static int count()
    {
        int n = 0;
        for (GPrimitive *o = objects(); o; o = o->next) n++;
        return n;
    }
    // Distances of the hits of a ray through the world's objects.
    static std::vector<float> hits(Point o, Point d)
    {
        Ray r(o, d, 0, 0, 1, 0);
        IntersectionList l = r.closest_hit(objects());
        std::vector<float> t;
        for (Intersection *h = l.head(); h; h = h->next) t.push_back(h->linet);
        l.free_list();
        return t;
    }
    // The surface a ray along z from o meets first.
    static GSurface *hit_surface(Point o)
    {
        Ray r(o, Point(0, 0, 1), 0, 0, 1, 0);
        IntersectionList l = r.closest_hit(objects());
        GSurface *s = l.head() ? static_cast<GSurface *>(l.head()->obj) : nullptr;
        l.free_list();
        return s;
    }
};

} // namespace

TEST(PolygonFans, QuadsOrTrianglesAroundTheFirstVertex)
{
    using Fan = std::vector<std::vector<int>>;
    EXPECT_EQ(polygon_fan(3, true), (Fan{{0, 1, 2}}));
    EXPECT_EQ(polygon_fan(4, false), (Fan{{0, 1, 2, 3}}));
    EXPECT_EQ(polygon_fan(5, true), (Fan{{0, 1, 2, 3}, {0, 3, 4}}));
    EXPECT_EQ(polygon_fan(6, true), (Fan{{0, 1, 2, 3}, {0, 3, 4, 5}}));
    EXPECT_EQ(polygon_fan(5, false), (Fan{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}));
    // Long polygons never need fixed arrays.
    Fan many = polygon_fan(40, true);
    EXPECT_EQ(many.size(), 19u);
    EXPECT_EQ(many.back(), (std::vector<int>{0, 37, 38, 39}));
}

TEST(PatchMeshGathering, CornersAndControlPointsWrap)
{
    // Bilinear 3 x 2 vertices: patch (1, 0) uses vertices 1, 2, 4, 5.
    EXPECT_EQ(mesh_patch_vertices(false, 1, 0, 3, 2, 1, 1), (std::vector<int>{1, 2, 4, 5}));
    // Periodic in u: the last patch closes on column 0.
    EXPECT_EQ(mesh_patch_vertices(false, 2, 0, 3, 2, 1, 1), (std::vector<int>{2, 0, 5, 3}));
    // Bicubic with step 3 over 7 x 4: the second patch starts at column 3.
    std::vector<int> cv = mesh_patch_vertices(true, 1, 0, 7, 4, 3, 3);
    ASSERT_EQ(cv.size(), 16u);
    EXPECT_EQ(cv[0], 3);
    EXPECT_EQ(cv[3], 6);
    EXPECT_EQ(cv[4], 10);
    // Periodic bicubic wraps columns modulo nu.
    cv = mesh_patch_vertices(true, 1, 0, 6, 4, 3, 3);
    EXPECT_EQ(cv[3], 0);
    // Varying corners: one more column than patches unless periodic.
    EXPECT_EQ(mesh_patch_corners(1, 0, 2, 1, false, false), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(mesh_patch_corners(1, 0, 2, 1, true, false), (std::vector<int>{1, 0, 3, 2}));
}

TEST(PieceParameters, BlocksAreAlignedCopies)
{
    RiBegin(nullptr);
    RtToken tokens[] = {(RtToken) "P", (RtToken) "constant string label"};
    float P[9] = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    const char *label[] = {"here"};
    RtPointer values[] = {P, label};
    PrimParams pp(2, tokens, values, "Unrecognized parameter: \"%s\"");
    ASSERT_EQ(pp.params.size(), 2u);
    PieceParams piece;
    int order[] = {2, 0};
    piece.add_indexed(pp.params[0], order, 2);
    piece.add_range(pp.params[1], 0, 1);
    ASSERT_EQ(piece.n(), 2);
    const float *p = static_cast<const float *>(piece.values()[0]);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[1], 1);
    EXPECT_EQ(p[3], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(piece.values()[1]) % 8, 0u);
    EXPECT_STREQ(*static_cast<const char *const *>(piece.values()[1]), "here");
    RiEnd();
}

TEST_F(Assembly, QuadricsFromTheRequests)
{
    RiSphere(1, -1, 1, 360, RI_NULL);
    EXPECT_EQ(count(), 1);
    std::vector<float> t = hits(Point(0, 0, -5), Point(0, 0, 1));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 4, 1e-5f);
    // Both ends at one height: an annulus between the two radii.
    RtPoint a = {.5f, 0, 0}, b = {1, 0, 0};
    RiTransformBegin();
    RiTranslate(10, 0, 0);
    RiHyperboloid(a, b, 360, RI_NULL);
    RiTransformEnd();
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(objects()->type, GP_DISK);
    t = hits(Point(10.75f, 0, -5), Point(0, 0, 1));
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NEAR(t[0], 5, 1e-5f);
    EXPECT_TRUE(hits(Point(10.25f, 0, -5), Point(0, 0, 1)).empty());
}

TEST_F(Assembly, DegenerateQuadricsAreReportedAndDropped)
{
    velktest::ErrorCapture errors;
    RiSphere(0, -1, 1, 360, RI_NULL);
    RiCylinder(1, 2, 2, 360, RI_NULL);
    RiCone(1, 1, 0, RI_NULL);
    EXPECT_EQ(count(), 0);
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[0].message, "Degenerate sphere primitive ignored");
    // The common sphere whose z range reaches past its radius is fine.
    RiSphere(0.5f, -1, 1, 360, RI_NULL);
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(errors.count(), 3u);
}

TEST_F(Assembly, PolygonsNeedPointsAndArea)
{
    velktest::ErrorCapture errors;
    float cs[3] = {1, 0, 0};
    RiPolygon(3, "Cs", cs, RI_NULL);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "\"P\" parameter needed for polygon.");
    float two[6] = {0, 0, 0, 1, 0, 0};
    RiPolygon(2, "P", two, RI_NULL);
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[1].message, "Polygon with 2 vertices ignored");
    float line[9] = {0, 0, 0, 1, 0, 0, 2, 0, 0};
    RiPolygon(3, "P", line, RI_NULL);
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[2].message, "Degenerate polygon primitive");
    // A face of a mesh goes the same way, and its neighbours still come.
    RtInt nverts[] = {2, 3};
    RtInt verts[] = {0, 1, 0, 1, 2};
    float P[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    RiPointsPolygons(2, nverts, verts, "P", P, RI_NULL);
    ASSERT_EQ(errors.count(), 4u);
    EXPECT_EQ(errors.reports[3].message, "Polygon with 2 vertices ignored");
    // A mesh without positions.
    RiPointsPolygons(2, nverts, verts, RI_NULL);
    ASSERT_EQ(errors.count(), 5u);
    EXPECT_EQ(errors.reports[4].message, "\"P\" parameter needed for points polygon.");
}

TEST_F(Assembly, OnlyTheFirstMotionKeyOfAQuadricCounts)
{
    float times[] = {0, 1};
    RiMotionBeginV(2, times);
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiSphere(2, -2, 2, 360, RI_NULL);
    RiMotionEnd();
    ASSERT_EQ(count(), 1);
    EXPECT_EQ(static_cast<GSphere *>(objects())->radius, 1);
}

TEST_F(Assembly, SolidAndObjectBlocks)
{
    velktest::ErrorCapture errors;
    RiSolidBegin("bogus");
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "invalid CSG type, assuming primitive");
    RiSphere(1, -1, 1, 360, RI_NULL);
    EXPECT_EQ(count(), 0);   // in the solid's level, not the world
    RiSolidEnd();
    EXPECT_EQ(errors.count(), 1u);
    EXPECT_EQ(count(), 1);   // the composite solid holding the sphere

    // A SolidEnd meeting an open definition leaves the definition open.
    RayTracer *rt = RayTracer::current();
    RtObjectHandle h = RiObjectBegin();
    ASSERT_NE(h, nullptr);
    rt->solid_end();
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[1].message, "RiSolidEnd inside an object definition without a solid");
    // A solid left open inside a definition ends with it.
    RiSolidBegin("union");
    RiObjectEnd();
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[2].message, "RiObjectEnd with an open solid");
    RiSphere(1, -1, 1, 360, RI_NULL);
    EXPECT_EQ(count(), 2);   // both blocks are closed: back in the world
}

TEST_F(Assembly, InstancesAreCopiesPlacedByTheCurrentTransformation)
{
    RtObjectHandle h = RiObjectBegin();
    RiTranslate(0, 0, 5);   // within the definition, from the identity
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiObjectEnd();
    EXPECT_EQ(count(), 0);
    RiTransformBegin();
    RiTranslate(10, 0, 0);
    RiObjectInstance(h);
    RiTransformEnd();
    RiObjectInstance(h);
    ASSERT_EQ(count(), 2);
    // The definition's own transformation is not the instances': each copy is
    // placed by the transformation current at its instance.
    EXPECT_EQ(hits(Point(10, 0, -5), Point(0, 0, 1)).size(), 2u);
    EXPECT_EQ(hits(Point(0, 0, -5), Point(0, 0, 1)).size(), 2u);
    // What a ray meets is a surface of its own instance, the same one each time.
    GSurface *a = hit_surface(Point(10, 0, -5)), *b = hit_surface(Point(0, 0, -5));
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, hit_surface(Point(10, 0, -5)));
    EXPECT_NE(a->xform.get(), b->xform.get());
}

TEST_F(Assembly, InstancesShareTheDefinitionsGeometry)
{
    RtObjectHandle h = RiObjectBegin();
    for (int i = 0; i < 30; i++) {
        RiTranslate(3, 0, 0);
        RiSphere(0.5f, -0.5f, 0.5f, 360, RI_NULL);
    }
    RiObjectEnd();
    const long before = geometry_memory().current;
    RtColor colours[2] = {{1, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 200; i++) {
        RiAttributeBegin();
        RiColor(colours[i % 2]);
        RiTranslate(0, 0, (float)(i % 2) * 10);
        RiTranslate(0, 10.0f * (float)(i / 2), 0);
        RiObjectInstance(h);
        RiAttributeEnd();
    }
    // A record per instance, not a copy of each sphere.
    EXPECT_LT(geometry_memory().current - before, 30 * GPRIM_TYPE_SIZES[GP_SPHERE]);
    EXPECT_EQ(count(), 200);
    // The nearer instance hides the farther one; both have their hits, each
    // coloured and placed by its own instance, the nearer first.
    Ray r(Point(15, 990, -5), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = r.closest_hit(objects());
    ASSERT_EQ(l.size(), 4);
    EXPECT_NEAR(l.head()->linet, 4.5f, 1e-4f);
    GSurface *nearer = static_cast<GSurface *>(l.head()->obj);
    GSurface *farther = static_cast<GSurface *>(l.last->obj);
    EXPECT_NEAR(l.last->linet, 15.5f, 1e-4f);
    EXPECT_EQ(nearer->attributes()->color, Color(1, 0, 0));
    EXPECT_EQ(farther->attributes()->color, Color(0, 0, 1));
    l.free_list();
    // A surface tried first as the likely hit is not met again through its instance.
    Ray again(Point(15, 990, -5), Point(0, 0, 1), 0, 0, 1, 0);
    l = again.find_hit(objects(), nearer);
    ASSERT_EQ(l.size(), 1);
    EXPECT_EQ(l.head()->obj, nearer);
    l.free_list();
}

TEST_F(Assembly, MeshFacesAreShadedAsSurfacesOfTheirOwn)
{
    // A square of two triangles in z = 0 with a colour per vertex.
    RtInt nverts[] = {3, 3};
    RtInt verts[] = {0, 1, 2, 0, 2, 3};
    float P[12] = {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0};
    float Cs[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    RiPointsPolygons(2, nverts, verts, "P", P, "Cs", Cs, RI_NULL);
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(objects()->type, GP_MESHFACE);
    // A hit names a triangle of the face's vertices and values, the same one
    // while it is in use, another one for the other face.
    auto colours = [](GSurface *s) {
        const VVData *v = s->vertex_vars.find_entry(tok::Cs);
        const float *c = v ? static_cast<const float *>(v->data) : nullptr;
        return c ? std::vector<float>(c, c + v->size / sizeof(float)) : std::vector<float>();
    };
    GSurface *a = hit_surface(Point(1.5f, 0.5f, -1)), *b = hit_surface(Point(0.5f, 1.5f, -1));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->type, GP_TRIANGLE);
    EXPECT_EQ(static_cast<GTriangle *>(a)->P1, Point(2, 0, 0));
    EXPECT_EQ(colours(a), std::vector<float>({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(colours(b), std::vector<float>({1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(a, hit_surface(Point(1.6f, 0.4f, -1)));
    // A face is excluded as the triangle standing for it; the blocker kept
    // as a hint is the face itself.
    Ray through(Point(1.5f, 0.5f, -1), Point(0, 0, 1), 0, 0, 1, 0);
    EXPECT_FALSE(through.trace_occlusion(objects(), nullptr, a));
    Ray again(Point(1.5f, 0.5f, -1), Point(0, 0, 1), 0, 0, 1, 0);
    EXPECT_TRUE(again.trace_occlusion(objects(), nullptr, b));
    ASSERT_TRUE(again.hit_object);
    EXPECT_EQ(again.hit_object->type, GP_MESHFACE);
    Ray hinted(Point(1.5f, 0.5f, -1), Point(0, 0, 1), 0, 0, 1, 0);
    EXPECT_TRUE(hinted.trace_occlusion(objects(), again.hit_object, b));
    // A quadrilateral is met as a polygon of its own.
    RtInt four[] = {4}, quad[] = {0, 1, 2, 3};
    float Q[12] = {5, 0, 0, 7, 0, 0, 7, 2, 0, 5, 2, 0};
    RiPointsPolygons(1, four, quad, "P", Q, RI_NULL);
    EXPECT_EQ(objects()->type, GP_MESHFACE);
    GSurface *q = hit_surface(Point(6, 1, -1));
    ASSERT_TRUE(q);
    ASSERT_EQ(q->type, GP_POLYGON);
    EXPECT_EQ(static_cast<GPolygon *>(q)->verts[3], Point(5, 2, 0));
    // Uniform values keep a triangle per face.
    float Os[6] = {1, 1, 1, 0.5f, 0.5f, 0.5f};
    RiPointsPolygons(2, nverts, verts, "P", P, "uniform color Os", Os, RI_NULL);
    EXPECT_EQ(objects()->type, GP_TRIANGLE);
    EXPECT_EQ(count(), 5);
}

TEST_F(Assembly, ObjectStackOverflowIsRefused)
{
    velktest::ErrorCapture errors;   // records severe errors without ending the run
    RayTracer *rt = RayTracer::current();
    for (int i = 0; i < OBJECT_STACK_DEPTH; i++) rt->solid_begin("union");
    EXPECT_EQ(errors.count(), 0u);
    rt->solid_begin("union");   // the 129th
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "Object stack overflow");
    for (int i = 0; i < OBJECT_STACK_DEPTH; i++) rt->solid_end();
    rt->solid_end();   // nothing left to close
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[1].message, "Object stack underflow");
    EXPECT_EQ(count(), 1);   // the outermost union, holding the others
}

TEST_F(Assembly, CurvesAndPointsAreAnnouncedOncePerRun)
{
    velktest::ErrorCapture errors;
    RtInt nv[] = {4};
    float P[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    RiCurves("cubic", 1, nv, "nonperiodic", "P", P, RI_NULL);
    RiCurves("cubic", 1, nv, "nonperiodic", "P", P, RI_NULL);
    RiPoints(4, "P", P, RI_NULL);
    RiPoints(4, "P", P, RI_NULL);
    size_t curves = 0, points = 0;
    for (auto &e : errors.reports) {
        if (e.message == "Curves primitive not currently supported") curves++;
        if (e.message == "Points primitive not currently supported") points++;
    }
    // Earlier tests of this program may have used up the one message already.
    EXPECT_LE(curves, 1u);
    EXPECT_LE(points, 1u);
    EXPECT_EQ(count(), 0);
}
