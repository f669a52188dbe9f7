// The back end drawing into a real window on a private X server: grid sizes,
// normals, motion blocks, lights per world, display lists and the reports
// of primitives that cannot be drawn.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "preview/gldraw.h"
#include "preview/glrenderer.h"
#include "tests/ri/error_capture.h"
#include "tests/support/run_program.h"
#include "tests/preview/pevrin_run.h"

namespace {

using previewtest::server;

// What the grid callback was given, with the normals as drawn.
struct GridRecord {
    int nu, nv;
    std::vector<Point> points, normals;
};
std::vector<GridRecord> grids;

void record_grid(GlRenderer &r, int nu, int nv, bool flip, bool compute_normals)
{
    draw_grid_plain(r, nu, nv, flip, compute_normals);
    GridRecord g{nu, nv, {}, {}};
    for (int i = 0; i <= nv; i++)
        for (int j = 0; j <= nu; j++) {
            g.points.push_back(r.grid[i][j]);
            g.normals.push_back(r.normals[i][j]);
        }
    grids.push_back(g);
}

class Drawing : public testing::Test {
protected:
    void SetUp() override
    {
        alarm(120);
        ASSERT_TRUE(server().ok()) << server().error();
        setenv("DISPLAY", server().display().c_str(), 1);
        r = new_gl_renderer();
        ASSERT_NE(r, nullptr);
        r->wait_at_end = false;
        grids.clear();
        RiFormat(40, 30, 1);
        RiDisplay((dir.path() + "/d.tif").c_str(), "file", "rgba", RI_NULL);
        RiTranslate(0, 0, 5);
    }
    void TearDown() override
    {
        RiEnd();
        alarm(0);
    }
    // Opens the world and records the grids drawn in it.
    void begin_world()
    {
        RiWorldBegin();
        ASSERT_TRUE(r->drawing_world());
        r->grid_callback = record_grid;
    }

    velktest::TempDir dir;
    velktest::ErrorCapture errors;
    GlRenderer *r = nullptr;
};

TEST_F(Drawing, SphereGridsFollowDetailAndDivisions)
{
    begin_world();
    RiSphere(1, -1, 1, 360, RI_NULL);
    EXPECT_EQ(r->total_polygons, 128);
    RtInt four = 4, two = 2, many = 1000;
    RiAttribute("divisions", "udivisions", &four, "vdivisions", &two, RI_NULL);
    RiSphere(1, -1, 1, 360, RI_NULL);
    // More divisions than the grid holds are cut to it.
    RiAttribute("divisions", "udivisions", &many, "vdivisions", &many, RI_NULL);
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiWorldEnd();
    ASSERT_EQ(grids.size(), 3u);
    EXPECT_EQ(grids[0].nu, 16);
    EXPECT_EQ(grids[0].nv, 8);
    EXPECT_EQ(grids[1].nu, 4);
    EXPECT_EQ(grids[1].nv, 2);
    EXPECT_EQ(grids[2].nu, GRID_MAX_QUADS);
    EXPECT_EQ(grids[2].nv, GRID_MAX_QUADS);

    RiRelativeDetail(0.5f);
    begin_world();
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiWorldEnd();
    ASSERT_EQ(grids.size(), 4u);
    EXPECT_EQ(grids[3].nu, 8);
    EXPECT_EQ(grids[3].nv, 4);
}

// Every normal of the grid points away from the axis (or up, for a disk).
void expect_outward(const GridRecord &g, float sign, const char *what)
{
    for (size_t k = 0; k < g.points.size(); k++) {
        const Point &p = g.points[k], &n = g.normals[k];
        EXPECT_GT(dot(n, n), 0) << what << " " << k;
        Point radial(p.x, p.y, 0);
        if (dot(radial, radial) > 1e-4f) {
            EXPECT_GT(sign * dot(n, radial), 0) << what << " " << k;
        }
    }
}

TEST_F(Drawing, QuadricNormalsFaceOutwardUnlessInsideOut)
{
    begin_world();
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiSphere(1, 0.5f, -0.5f, 360, RI_NULL);   // a reversed z range faces in
    RiCone(2, 1, 360, RI_NULL);
    RiCylinder(1, 0, 1, 360, RI_NULL);
    RiParaboloid(1, 0, 2, 360, RI_NULL);
    RtPoint p1 = {1, 0, -1}, p2 = {0, 1, 1};
    RiHyperboloid(p1, p2, 360, RI_NULL);
    RiTorus(2, 0.5f, 0, 360, 360, RI_NULL);
    RiDisk(0, 1, 360, RI_NULL);
    RiOrientation("inside");
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiWorldEnd();
    ASSERT_EQ(grids.size(), 9u);
    expect_outward(grids[0], 1, "sphere");
    expect_outward(grids[1], -1, "reversed sphere");
    expect_outward(grids[2], 1, "cone");
    expect_outward(grids[3], 1, "cylinder");
    expect_outward(grids[5], 1, "hyperboloid");
    // The paraboloid opens upwards: its outside faces down and out.
    for (const Point &n : grids[4].normals) EXPECT_LT(n.z, 0);
    // The torus: away from the tube's centre line.
    for (size_t k = 0; k < grids[6].points.size(); k++) {
        Point p = grids[6].points[k];
        Point centre = normalize(Point(p.x, p.y, 0)) * 2;
        EXPECT_GT(dot(grids[6].normals[k], p - centre), 0) << k;
    }
    for (const Point &n : grids[7].normals) EXPECT_GT(n.z, 0);
    expect_outward(grids[8], -1, "inside-out sphere");
}

TEST_F(Drawing, OnlyTheFirstKeyOfAMotionBlockIsDrawn)
{
    begin_world();
    RiMotionBegin(2, 0.0f, 1.0f);
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiSphere(2, -2, 2, 360, RI_NULL);
    RiMotionEnd();
    RiWorldEnd();
    EXPECT_EQ(grids.size(), 1u);
    EXPECT_EQ(r->total_polygons, 128);
}

TEST_F(Drawing, PrimitivesWithoutPositionsAreReportedAndNotDrawn)
{
    begin_world();
    RiPolygon(4, RI_NULL);
    RtInt one = 1, three = 3, four = 4, triangle[3] = {0, 1, 2};
    RiPointsGeneralPolygons(1, &one, &three, triangle, RI_NULL);
    RiPoints(3, RI_NULL);
    RiCurves("quadratic", 1, &four, "nonperiodic", RI_NULL);
    RiCurves("cubic", 1, &four, "closed", RI_NULL);
    RiWorldEnd();
    EXPECT_EQ(r->total_polygons, 0);
    EXPECT_TRUE(errors.has_message("No \"P\" list found"));
    EXPECT_TRUE(errors.has_message("\"P\" parameter needed."));
    EXPECT_TRUE(errors.has_message("No \"P\" list found in RiPoints"));
    EXPECT_TRUE(errors.has_message("Curves expects \"linear\" or \"cubic\" degree, not \"quadratic\""));
    EXPECT_TRUE(errors.has_message("Curves expects \"periodic\" or \"nonperiodic\" wrap, not \"closed\""));
}

TEST_F(Drawing, PolygonsMeshesAndPatchesCountTheirPolygons)
{
    begin_world();
    RtPoint square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    RiPolygon(4, "P", square, RI_NULL);
    RtInt loops[2] = {4, 3};
    RtPoint holed[7] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.2f, 0.2f, 0}, {0.5f, 0.2f, 0}, {0.2f, 0.5f, 0}};
    RiGeneralPolygon(2, loops, "P", holed, RI_NULL);
    RtInt counts[2] = {3, 3}, verts[6] = {0, 1, 2, 0, 2, 3};
    RiPointsPolygons(2, counts, verts, "P", square, RI_NULL);
    EXPECT_EQ(r->total_polygons, 4);
    RiPatch("bilinear", "P", square, RI_NULL);
    EXPECT_EQ(r->total_polygons, 5);
    std::vector<float> heights(16, 0.0f);
    RiPatch("bicubic", "Pz", heights.data(), RI_NULL);   // 4 x 4 at the default detail
    EXPECT_EQ(r->total_polygons, 21);
    RtFloat knots[] = {0, 0, 1, 1};
    RiNuPatch(2, 2, knots, -1, 2, 2, 2, knots, 0, 1, "P", square, RI_NULL);
    RiWorldEnd();
    EXPECT_TRUE(errors.has_message("NuPatch min/max bad range (corrected)"));
    EXPECT_EQ(r->total_polygons, 21 + 2 * 2);   // one span per side: 2 x 2
}

TEST_F(Drawing, LightsBelongToTheirWorld)
{
    begin_world();
    for (int i = 0; i < 9; i++) RiLightSource("pointlight", RI_NULL);
    EXPECT_EQ(r->enabled_lights, PREVIEW_MAX_LIGHTS);
    EXPECT_EQ(r->light_requests, 9);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT7));
    RiWorldEnd();
    begin_world();
    EXPECT_EQ(r->enabled_lights, 0);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    RiWorldEnd();
}

TEST_F(Drawing, DisplayListsAreRecordedOnceAndReplayed)
{
    begin_world();
    RtInt handle = 0;
    RtPoint square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    RiPolygon(4, "P", square, "constant integer displayListHandle", &handle, RI_NULL);
    EXPECT_NE(handle, 0);
    EXPECT_TRUE(glIsList(GLuint(handle)));
    EXPECT_EQ(r->total_polygons, 1);
    RiPolygon(4, "P", square, "constant integer displayListHandle", &handle, RI_NULL);
    EXPECT_EQ(r->total_polygons, 1);   // replayed, not drawn again
    RiWorldEnd();
}

// What the procedural callbacks were given.
std::vector<float> subdivided;
int freed = 0;

void subdivide(RtPointer, RtFloat detail)
{
    subdivided.push_back(detail);
    RiSphere(0.5f, -0.5f, 0.5f, 360, RI_NULL);
}

void free_data(RtPointer)
{
    freed++;
}

TEST_F(Drawing, ProceduralsInViewAreSubdividedAndAllAreFreed)
{
    subdivided.clear();
    freed = 0;
    RiProjection("perspective", RI_NULL);
    begin_world();
    RtBound in_view = {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f};
    RtBound aside = {100, 101, 0, 1, 0, 1};
    RtBound around_eye = {-1, 1, -1, 1, -6, 1};
    RiProcedural(nullptr, in_view, subdivide, free_data);
    RiProcedural(nullptr, aside, subdivide, free_data);
    RiProcedural(nullptr, around_eye, subdivide, free_data);
    RiWorldEnd();
    EXPECT_EQ(freed, 3);
    ASSERT_EQ(subdivided.size(), 2u);
    // A unit box 4.5 away under a 90 degree view of 15 pixels per unit at
    // distance 1: 10/3 pixels a side.
    EXPECT_NEAR(subdivided[0], 100.0f / 9, 0.01f);
    EXPECT_EQ(subdivided[1], 1e38f);
    EXPECT_EQ(r->total_polygons, 2 * 128);
}

} // namespace
