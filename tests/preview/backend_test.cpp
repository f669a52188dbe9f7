// The previewer's back end without a window: lights, the background imager,
// RiDisplay, objects, the command line, pacing and the arithmetic of
// tessellation and frame dumps.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "preview/framedump.h"
#include "preview/frame_pacer.h"
#include "preview/gldraw.h"
#include "preview/glrenderer.h"
#include "preview/previewer.h"
#include "preview/tessellate.h"
#include "ri_common/basis.h"
#include "ri/ribfile.h"
#include "tests/ri/error_capture.h"

namespace {

class Backend : public testing::Test {
protected:
    void SetUp() override
    {
        r = new_gl_renderer();
        ASSERT_NE(r, nullptr);
        r->wait_at_end = false;
    }
    void TearDown() override
    {
        if (current_renderer == r) current_renderer = nullptr;
        delete r;
        rib_frame_filter = RibFrameFilter();
    }
    GlRenderer *r = nullptr;
    velktest::ErrorCapture errors;
};

void expect_point(const Point &p, float x, float y, float z)
{
    EXPECT_NEAR(p.x, x, 1e-5f);
    EXPECT_NEAR(p.y, y, 1e-5f);
    EXPECT_NEAR(p.z, z, 1e-5f);
}

TEST_F(Backend, LightsOutsideTheWorldAreKeptUnderTheirTransformationUpToEight)
{
    RiLightSource("ambientlight", RI_NULL);   // global: kept for the run
    RiFrameBegin(0);
    RiTranslate(1, 2, 3);
    RtFloat intensity = 0.5f;
    RtColor colour = {1, 0.5f, 0.25f};
    RtPoint from = {0, 0, 0}, to = {0, 0, 2};
    RtFloat cone = 0.5f;
    EXPECT_NE(RiLightSource("spotlight", "intensity", &intensity, "lightcolor", colour, "from", from, "to", to,
                            "coneangle", &cone, RI_NULL),
              nullptr);
    ASSERT_EQ(r->light_count, 2);
    const GlLight &l = r->lights[1];
    EXPECT_STREQ(l.shader, "spotlight");
    expect_point(l.color, 0.5f, 0.25f, 0.125f);
    expect_point(l.from, 1, 2, 3);
    expect_point(l.to, 1, 2, 5);
    EXPECT_FLOAT_EQ(l.cone_angle, 0.5f);
    EXPECT_NEAR(l.cone_delta, radians(5), 1e-6f);
    for (int i = 0; i < 9; i++) RiLightSource("distantlight", RI_NULL);
    EXPECT_EQ(r->light_count, PREVIEW_MAX_LIGHTS);
    // The frame's lights end with it; the global one stays.
    RiFrameEnd();
    ASSERT_EQ(r->light_count, 1);
    EXPECT_STREQ(r->lights[0].shader, "ambientlight");
}

TEST_F(Backend, LightParametersUnderTheirOtherNames)
{
    RtPoint from = {1, 0, 0}, to = {2, 0, 0};
    RtToken tokens[] = {(RtToken) "point lightfrom", (RtToken) "point lightto"};
    RtPointer values[] = {from, to};
    GlLight l = make_gl_light("pointlight", 2, tokens, values);
    expect_point(l.from, 1, 0, 0);
    expect_point(l.to, 2, 0, 0);
    expect_point(l.color, 1, 1, 1);
}

TEST_F(Backend, UnlitIgnoresLaterLightsAndBackgroundSetsTheClearColour)
{
    r->unlit = true;
    EXPECT_EQ(RiLightSource("pointlight", RI_NULL), nullptr);
    EXPECT_EQ(r->light_count, 0);
    RtColor grey = {0.25f, 0.5f, 0.75f};
    RiImager("background", "background", grey, RI_NULL);
    EXPECT_FLOAT_EQ(r->options.clearcolor[2], 0.75f);
    EXPECT_FLOAT_EQ(r->clear_color[1], 0.5f);
    RiSurface("plastic", RI_NULL);   // other shaders have no effect
    EXPECT_EQ(errors.count(), 0u);
}

TEST_F(Backend, DisplayModesParametersAndRefusals)
{
    RtString none = "0";
    RiDisplay("out.tif", "file", "rgbaz", "rowsperstrip", &none, RI_NULL);
    EXPECT_EQ(r->options.display_mode_bits, 7);
    EXPECT_EQ(r->options.rowsperstrip, 1);
    RtInt origin[2] = {30, 40};
    RiDisplay("out.tif", "file", "z", "origin", origin, RI_NULL);
    EXPECT_EQ(r->options.display_mode_bits, 4);
    EXPECT_EQ(r->options.xpos, 30);
    EXPECT_EQ(r->options.ypos, 40);
    EXPECT_EQ(errors.count(), 0u);

    RiDisplay("b.tif", "file", "normals", RI_NULL);
    EXPECT_TRUE(errors.has_message("No support for arbitrary output variables: display mode \"normals\""));
    EXPECT_EQ(r->options.display_mode_bits, 3);

    RtToken before = r->options.pending_display;
    errors.clear();
    RiDisplay("+extra.tif", "file", "rgba", RI_NULL);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_UNIMPLEMENT);
    EXPECT_EQ(errors.reports[0].severity, RIE_WARNING);
    EXPECT_EQ(r->options.pending_display, before);

    RtInt q = 3;
    RiDisplay("c.tif", "file", "rgb", "integer quality", &q, RI_NULL);
    EXPECT_TRUE(errors.has_message("RiDisplay: Unknown parameter \"quality\""));
    EXPECT_EQ(r->options.display_mode_bits, 1);
}

TEST_F(Backend, ObjectsAreNumberedEvenWithoutAWindow)
{
    EXPECT_EQ(r->max_motion_times(), 1);
    setenv("DISPLAY", "unix:64999", 1);
    RtObjectHandle a = RiObjectBegin();
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiObjectEnd();
    RtObjectHandle b = RiObjectBegin();
    RiObjectEnd();
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a, b);
    // No window, so no list: the definitions record nothing and the
    // instances draw nothing.
    ASSERT_GE(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message.rfind("Could not open a window", 0), 0u) << errors.reports[0].message;
    errors.clear();
    r->object_instance(a);
    r->object_instance(b);
    EXPECT_EQ(errors.count(), 0u);
}

TEST_F(Backend, CommandLineSettingsAndTheFirstFile)
{
    const char *args[] = {"pevrin", "-nowait", "-fc", "touch x", "-sync", "5", "-frames", "2", "3",
                          "-res", "64", "32", "-lines", "first.rib", "-v"};
    std::vector<char *> argv;
    for (const char *a : args) argv.push_back(const_cast<char *>(a));
    EXPECT_EQ(previewer_parse_options(int(argv.size()), argv.data()), 13);
    EXPECT_FALSE(r->wait_at_end);
    EXPECT_EQ(r->frame_command, "touch x");
    EXPECT_EQ(r->pacer.rate(), 5);
    EXPECT_EQ(rib_frame_filter.first, 2);
    EXPECT_EQ(rib_frame_filter.last, 3);
    EXPECT_EQ(r->options.xres, 64);
    EXPECT_EQ(r->options.yres, 32);
    EXPECT_EQ(r->attributes->representation, GEOREP_LINES);
    EXPECT_FLOAT_EQ(r->options.clearcolor[0], 0.1f);
}

// Options that end the program leave that to main: the status comes back.
TEST_F(Backend, HelpAndBadOptionsHandMainTheStatus)
{
    const struct {
        std::vector<const char *> args;
        int end_status;
    } cases[] = {{{"pevrin", "-h", "-lines"}, 0},
                 {{"pevrin", "-nosuch", "a.rib"}, 1},
                 {{"pevrin", "-lines", "-res", "64"}, 1},
                 {{"pevrin", "-lines", "a.rib"}, -1}};
    testing::internal::CaptureStdout();
    for (const auto &c : cases) {
        std::vector<char *> argv;
        for (const char *a : c.args) argv.push_back(const_cast<char *>(a));
        int end_status = 7;
        previewer_parse_options(int(argv.size()), argv.data(), &end_status);
        EXPECT_EQ(end_status, c.end_status) << c.args[1];
    }
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Usage: pevrin"), std::string::npos);
}

TEST_F(Backend, UnlitOptionLightsLikeTheDefaultSurface)
{
    const char *args[] = {"pevrin", "-unlit", "-offscreen", "-dumprgbaz"};
    std::vector<char *> argv;
    for (const char *a : args) argv.push_back(const_cast<char *>(a));
    EXPECT_EQ(previewer_parse_options(4, argv.data()), 4);
    EXPECT_EQ(errors.count(), 0u);
    EXPECT_TRUE(r->unlit);
    EXPECT_EQ(r->options.offscreen, 1);
    EXPECT_EQ(r->options.dumpimage, 7);
    ASSERT_EQ(r->light_count, 2);
    EXPECT_STREQ(r->lights[0].shader, "ambientlight");
    expect_point(r->lights[0].color, 0.1f, 0.1f, 0.1f);
    EXPECT_STREQ(r->lights[1].shader, "distantlight");
    expect_point(r->lights[1].color, 0.9f, 0.9f, 0.9f);
    RiLightSource("pointlight", RI_NULL);
    EXPECT_EQ(r->light_count, 2);
}

TEST(FramePacing, LateFramesAreDroppedAndTheBeatKept)
{
    double now = 0;
    FramePacer p([&] { return now; }, [&](double until) { now = until; });
    EXPECT_TRUE(p.next_frame());   // no pacing
    p.set_rate(10);
    EXPECT_TRUE(p.next_frame());   // waits to 0.1
    EXPECT_DOUBLE_EQ(now, 0.1);
    now += 0.04;
    EXPECT_TRUE(p.next_frame());   // waits to 0.2
    EXPECT_DOUBLE_EQ(now, 0.2);
    now += 0.16;                   // the frame took 0.16 s: 0.06 late at the slot of 0.3
    EXPECT_FALSE(p.next_frame());
    EXPECT_TRUE(p.next_frame());   // the dropped frame cost nothing: back on the beat at 0.4
    EXPECT_DOUBLE_EQ(now, 0.4);
}

TEST(Tessellation, BasisWeights)
{
    float w[4];
    basis_weights(&RiBezierBasis[0][0], 0, false, w);
    EXPECT_EQ(std::vector<float>(w, w + 4), (std::vector<float>{1, 0, 0, 0}));
    basis_weights(&RiBezierBasis[0][0], 1, false, w);
    EXPECT_EQ(std::vector<float>(w, w + 4), (std::vector<float>{0, 0, 0, 1}));
    basis_weights(&RiBSplineBasis[0][0], 0.3f, false, w);
    EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1, 1e-6f);
    basis_weights(&RiBezierBasis[0][0], 0, true, w);
    EXPECT_EQ(std::vector<float>(w, w + 4), (std::vector<float>{-3, 3, 0, 0}));
}

TEST(Tessellation, NurbsBasisSpansAndSteps)
{
    const float linear[] = {0, 0, 1, 2, 2};
    double b[3];
    nurbs_basis(2, linear, 3, 0.5f, b);
    EXPECT_NEAR(b[0], 0.5, 1e-12);
    EXPECT_NEAR(b[1], 0.5, 1e-12);
    EXPECT_NEAR(b[2], 0, 1e-12);
    nurbs_basis(2, linear, 3, 2, b);   // the end of the range
    EXPECT_NEAR(b[2], 1, 1e-12);
    nurbs_basis(2, linear, 3, 7, b);   // beyond it: taken to the end
    EXPECT_NEAR(b[2], 1, 1e-12);

    const float cubic[] = {0, 0, 0, 0, 1, 2, 3, 3, 3, 3};
    double c[6];
    for (float u : {0.0f, 0.7f, 1.5f, 3.0f}) {
        nurbs_basis(4, cubic, 6, u, c);
        double sum = 0;
        for (double v : c) sum += v;
        EXPECT_NEAR(sum, 1, 1e-9) << u;
    }
    EXPECT_EQ(nurbs_span_count(4, cubic, 6, 0, 3), 3);
    EXPECT_EQ(nurbs_span_count(4, cubic, 6, 0.5f, 1.5f), 2);

    EXPECT_EQ(nurbs_steps(3, 1), 6);
    EXPECT_EQ(nurbs_steps(9, 1), 9);     // 18 is halved from 17 on
    EXPECT_EQ(nurbs_steps(100, 1), 50);  // 200 -> 100 -> 50
    EXPECT_EQ(nurbs_steps(0, 1), 1);

    EXPECT_EQ(mesh_patch_count(false, false, 4, 3), 3);
    EXPECT_EQ(mesh_patch_count(false, true, 4, 3), 4);
    EXPECT_EQ(mesh_patch_count(true, false, 7, 3), 2);
    EXPECT_EQ(mesh_patch_count(true, true, 6, 3), 2);
    EXPECT_EQ(mesh_patch_count(true, false, 3, 3), 0);
    EXPECT_EQ(cubic_curve_spans(false, 10, 3), 3);
}

TEST(FrameDump, DepthFileNamesAndDepths)
{
    EXPECT_EQ(zfile_name("out.tif"), "out.zfile");
    EXPECT_EQ(zfile_name("out"), "out.zfile");
    EXPECT_EQ(zfile_name("a.b/out"), "a.b/out.zfile");
    EXPECT_EQ(zfile_name("./frames/f.0001.tif"), "./frames/f.0001.zfile");

    float n = 1, f = 100;
    for (float z : {1.0f, 10.0f, 60.0f}) {
        float ndc = (f + n) / (f - n) - 2 * f * n / ((f - n) * z);
        EXPECT_NEAR(gl_depth_to_camera(0.5f * ndc + 0.5f, n, f, false), z, z * 1e-4f);
    }
    EXPECT_FLOAT_EQ(gl_depth_to_camera(0.5f, 1, 11, true), 6);
    EXPECT_EQ(gl_depth_to_camera(1, 1, 11, true), 1e30f);

    Options o;
    float near_plane, far_plane;
    clip_range(o, near_plane, far_plane);
    EXPECT_FLOAT_EQ(near_plane, 0.05f);
    EXPECT_FLOAT_EQ(far_plane, 100000);
    EXPECT_EQ(tiff_date_time().size(), 19u);
}

TEST_F(Backend, GridNormalsAndSketchColours)
{
    // A flat 2 x 1 grid: x along u, y along v.
    for (int i = 0; i <= 1; i++)
        for (int j = 0; j <= 2; j++) r->grid[i][j] = Point(float(j), float(i), 0);
    compute_grid_normals(*r, 2, 1, false);
    for (int i = 0; i <= 1; i++)
        for (int j = 0; j <= 2; j++) expect_point(r->normals[i][j], 0, 0, 1);
    compute_grid_normals(*r, 2, 1, true);
    expect_point(r->normals[1][2], 0, 0, -1);

    const float white[3] = {1, 1, 1}, black[3] = {0, 0, 0};
    expect_point(sketch_line_color(Color(1, 1, 1), white), 0, 0, 0);
    expect_point(sketch_line_color(Color(0.9f, 0.3f, 0.5f), white), 0.1f, 0.3f, 0.5f);
    expect_point(sketch_line_color(Color(0.5f, 0.5f, 0.5f), black), 0.5f, 0.5f, 0.5f);

    // Face normals: a triangle's cross product; a square whose first three
    // corners lie on one edge, and an L whose second corner turns inwards,
    // keep the normal of their winding.
    const int order[6] = {0, 1, 2, 3, 4, 5};
    const float triangle[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    expect_point(polygon_face_normal(triangle, order, 3, false), 0, 0, 1);
    expect_point(polygon_face_normal(triangle, order, 3, true), 0, 0, -1);
    const float square[15] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0};
    expect_point(normalize(polygon_face_normal(square, order, 5, false)), 0, 0, 1);
    const float ell[18] = {2, 1, 0, 1, 1, 0, 1, 2, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0};
    expect_point(normalize(polygon_face_normal(ell, order, 6, false)), 0, 0, 1);
}

} // namespace
