// pevrin on whole scenes: the same camera and shapes as the ray tracer, the
// example scenes, lights judged by their pixels, the frame range and the
// depth of a perspective view.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/preview/pevrin_run.h"
#include "tests/support/run_program.h"

namespace {

using previewtest::Picture;
using Pevrin = previewtest::PevrinTest;

// The coverage of two pictures of one size side by side, for failure messages.
std::string masks(const Picture &a, const Picture &b)
{
    std::string text;
    for (int y = 0; y < a.height; y++) {
        for (int x = 0; x < a.width; x++) text += a.covered(x, y) ? '#' : '.';
        text += "   ";
        for (int x = 0; x < b.width; x++) text += b.covered(x, y) ? '#' : '.';
        text += '\n';
    }
    return text;
}

std::string source_file(const std::string &name)
{
    std::ifstream in(velktest::source_path("scenes/" + name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every kind of surface, turned and moved, seen in perspective.
const char SHAPES[] = R"(Format 64 48 1
PixelSamples 1 1
Projection "perspective" "fov" 40
Translate 0 -0.3 8
Rotate -20 1 0 0
WorldBegin
  LightSource "ambientlight" 1 "intensity" 1
  AttributeBegin
    Translate -2.2 1.2 0
    Sphere 1 -1 0.5 300
  AttributeEnd
  AttributeBegin
    Rotate -90 1 0 0
    Cylinder 0.6 0 1.5 270
    Disk 1.5 0.6 270
  AttributeEnd
  AttributeBegin
    Translate 2.2 0 0
    Rotate -90 1 0 0
    Cone 1.8 0.9 360
  AttributeEnd
  AttributeBegin
    Translate 1.4 -1.8 0
    Rotate -90 1 0 0
    Paraboloid 0.7 0 1.2 360
    Translate 1.6 0 0
    Hyperboloid 0.5 -0.3 0  0.3 0.4 1.2  360
  AttributeEnd
  AttributeBegin
    Translate -1.2 -1.4 0
    Rotate 30 0 1 0
    Torus 0.6 0.25 0 360 360
  AttributeEnd
  Polygon "P" [-4.5 -2.5 -1  -4.5 -2.5 2.5  4.5 -2.5 2.5  4.5 -2.5 -1]
  PointsPolygons [3 3] [0 1 2 0 2 3] "P" [3 2 0  4 2 0  4 3 0  3 3 0]
  NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 "P" [-4 -0.5 0  -3 -0.5 0  -4 0.5 0.5  -3 0.5 0.5]
  Patch "bilinear" "P" [-4 2 0  -3 2 0.5  -4 3 0  -3 3 -0.5]
  Patch "bicubic" "P" [-1 2.2 0  -0.5 2.2 0.6  0.5 2.2 -0.6  1 2.2 0
                       -1 2.6 0.3  -0.5 2.6 0  0.5 2.6 0  1 2.6 0.3
                       -1 3 0  -0.5 3 0  0.5 3 0  1 3 0
                       -1 3.4 0  -0.5 3.4 0.5  0.5 3.4 0.5  1 3.4 0]
WorldEnd
)";

TEST_F(Pevrin, SurfacesCoverThePixelsTheRayTracerCovers)
{
    std::string shapes = SHAPES;
    velktest::RunResult traced =
        velktest::run({velktest::program("raylume"),
                       dir.write("traced.rib", "Display \"traced.tif\" \"file\" \"rgba\"\n" + shapes)},
                      options());
    ASSERT_EQ(traced.status, 0) << traced.err;
    Picture gl = run_picture({"-nowait", "-dumprgba"}, "Display \"gl.tif\" \"file\" \"rgba\"\n" + shapes, "gl.tif");
    Picture rt = picture("traced.tif");
    ASSERT_EQ(gl.width, 64);
    ASSERT_EQ(gl.height, 48);
    ASSERT_EQ(rt.width, 64);
    ASSERT_EQ(rt.height, 48);
    // The tessellated outlines differ from the true ones by a pixel here and there.
    int covered = 0, differ = 0;
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++) {
            covered += rt.covered(x, y);
            differ += rt.covered(x, y) != gl.covered(x, y);
        }
    EXPECT_GT(covered, 1500);
    EXPECT_LT(differ, 30) << "traced, then drawn:\n" << masks(rt, gl);
}

TEST_F(Pevrin, EveryExampleSceneIsDrawnAtItsSize)
{
    struct Scene {
        const char *file;
        std::vector<const char *> images;
        int width, height;
    };
    const Scene scenes[] = {
        {"example.rib", {"example.tif"}, 640, 480},
        {"quadrics.rib", {"quadrics.tif"}, 800, 360},
        {"lights.rib", {"lights-ambient.tif", "lights-distant.tif", "lights-point.tif", "lights-spot.tif"}, 400, 300},
        {"mirror.rib", {"mirror.tif"}, 560, 420},
        {"transparency.rib", {"transparency.tif"}, 560, 420},
        {"instances.rib", {"instances.tif"}, 560, 420},
    };
    dir.write("lights-set.rib", source_file("lights-set.rib"));
    object_lists_ = true;
    for (const Scene &s : scenes) {
        SCOPED_TRACE(s.file);
        velktest::RunResult r = run({"-nowait", "-dumprgba"}, source_file(s.file), s.file);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        for (const char *name : s.images) {
            Picture p = picture(name);
            ASSERT_EQ(p.width, s.width) << name;
            EXPECT_EQ(p.height, s.height) << name;
            int drawn = 0;
            for (int y = 0; y < p.height; y++)
                for (int x = 0; x < p.width; x++) drawn += p.covered(x, y);
            EXPECT_GT(drawn, p.width * p.height / 10) << name;
        }
    }
}

TEST_F(Pevrin, ExampleScenesAsWireframesAndSketches)
{
    struct Run {
        const char *mode, *file, *image;
        int background;   // grey level of the background the mode sets
    };
    const Run runs[] = {{"-lines", "example.rib", "example.tif", 26}, {"-sketch", "quadrics.rib", "quadrics.tif", 255}};
    object_lists_ = true;
    for (const Run &run_ : runs) {
        SCOPED_TRACE(run_.mode);
        velktest::RunResult r = run({"-nowait", run_.mode, "-dumprgb"}, source_file(run_.file), run_.file);
        EXPECT_EQ(r.status, 0) << r.err;
        Picture p = picture(run_.image);
        ASSERT_GT(p.width, 0);
        // Lines over the background, and most of the picture still the background.
        int lines = 0, background = 0;
        for (int y = 0; y < p.height; y++)
            for (int x = 0; x < p.width; x++) {
                const unsigned char *c = p.at(x, y);
                bool plain = std::abs(c[0] - run_.background) < 3 && std::abs(c[1] - run_.background) < 3 &&
                             std::abs(c[2] - run_.background) < 3;
                background += plain;
                lines += !plain;
            }
        EXPECT_GT(lines, p.width * 2);
        EXPECT_GT(background, p.width * p.height / 2);
    }
}

// A flat red square over the whole 40 x 40 picture at depth 1, finely
// divided (GL lights its vertices), under the light.
std::string lit_square(const std::string &file, const std::string &light)
{
    return "Format 40 40 1\nProjection \"orthographic\"\nDisplay \"" + file +
           "\" \"file\" \"rgba\"\nWorldBegin\n" + light +
           "Color [1 0 0]\nAttribute \"divisions\" \"udivisions\" [32] \"vdivisions\" [32]\n"
           "Patch \"bicubic\" \"P\" [-1 -1 1  -0.3333 -1 1  0.3333 -1 1  1 -1 1\n"
           "  -1 -0.3333 1  -0.3333 -0.3333 1  0.3333 -0.3333 1  1 -0.3333 1\n"
           "  -1 0.3333 1  -0.3333 0.3333 1  0.3333 0.3333 1  1 0.3333 1\n"
           "  -1 1 1  -0.3333 1 1  0.3333 1 1  1 1 1]\nWorldEnd\n";
}

TEST_F(Pevrin, PointLightsFadeWithTheSquareOfTheDistance)
{
    Picture p = run_picture({"-nowait", "-dumprgba"},
                            lit_square("p.tif", "LightSource \"pointlight\" 1 \"from\" [0 0 -1] \"intensity\" 4\n"),
                            "p.tif");
    ASSERT_EQ(p.width, 40);
    // Two units away: 4 / (1 + 2 * 2) of diffuse light, and the highlight
    // of the light's half-white specular colour, as faint.
    EXPECT_NEAR(p.at(20, 20)[0], 229, 10);
    EXPECT_NEAR(p.at(20, 20)[1], 25, 8);
    // In a corner, about 2.43 away and at a slant of cosine 0.82.
    EXPECT_NEAR(p.at(0, 0)[0], 121, 15);
    EXPECT_LT(p.at(0, 0)[1], 5);
}

TEST_F(Pevrin, SpotLightsShineInsideTheirConeOnly)
{
    Picture p = run_picture({"-nowait", "-dumprgba"},
                            lit_square("s.tif",
                                       "LightSource \"spotlight\" 1 \"from\" [0 0 -1] \"to\" [0 0 1] \"intensity\" 4 "
                                       "\"coneangle\" 0.15 \"conedeltaangle\" 0.05\n"),
                            "s.tif");
    ASSERT_EQ(p.width, 40);
    // The cone of 0.2 radians meets the square 0.4 units (8 pixels) from its centre.
    EXPECT_NEAR(p.at(20, 20)[0], 229, 10);
    EXPECT_GT(p.at(20, 25)[0], 150);
    EXPECT_TRUE(p.black(20, 31));
    EXPECT_TRUE(p.black(32, 20));
    EXPECT_TRUE(p.black(0, 0));
}

TEST_F(Pevrin, DistantLightsShineFromTheirFromPointTowardsTheirToPoint)
{
    // Head on: the full colour and the highlight.
    Picture head_on = run_picture({"-nowait", "-dumprgba"},
                                  lit_square("d0.tif", "LightSource \"distantlight\" 1 \"from\" [0 0 0] \"to\" [0 0 1]\n"),
                                  "d0.tif");
    // At 60 degrees from the square's normal: half the colour, no highlight.
    Picture slanted = run_picture(
        {"-nowait", "-dumprgba"},
        lit_square("d1.tif", "LightSource \"distantlight\" 1 \"from\" [0 0 0] \"to\" [1.7320508 0 1]\n"), "d1.tif");
    // From behind the square: nothing reaches its front.
    Picture behind = run_picture(
        {"-nowait", "-dumprgba"},
        lit_square("d2.tif", "LightSource \"distantlight\" 1 \"from\" [0 0 5] \"to\" [0 0 4]\n"), "d2.tif");
    ASSERT_EQ(head_on.width, 40);
    ASSERT_EQ(slanted.width, 40);
    ASSERT_EQ(behind.width, 40);
    EXPECT_EQ(head_on.at(5, 30)[0], 255);
    EXPECT_NEAR(head_on.at(5, 30)[1], 128, 4);
    EXPECT_NEAR(slanted.at(5, 30)[0], 128, 4);
    EXPECT_LT(slanted.at(5, 30)[1], 4);
    EXPECT_TRUE(behind.black(5, 30));
}

TEST_F(Pevrin, NurbsMeshesPointsAndCurvesCoverTheirPlaces)
{
    // Seen orthographically, pixel (x, y) shows the point (x / 20 - 1, 1 - y / 20).
    Picture p = run_picture(
        {"-nowait", "-unlit", "-dumprgba"},
        "Format 40 40 1\nProjection \"orthographic\"\nDisplay \"m.tif\" \"file\" \"rgba\"\nWorldBegin\n"
        "Color [1 0 0]\n"
        "NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [-0.9 0.1 1  -0.1 0.1 1  -0.9 0.9 1  -0.1 0.9 1]\n"
        "PatchMesh \"bilinear\" 3 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [0.1 0.1 1  0.5 0.1 1  0.9 0.1 1"
        "  0.1 0.9 1  0.5 0.9 1  0.9 0.9 1]\n"
        "Color [0 0 1]\n"
        "Points \"P\" [-0.5 -0.5 1] \"constantwidth\" [6]\n"
        "Curves \"linear\" [2] \"nonperiodic\" \"P\" [0.1 -0.525 1  0.9 -0.525 1]\n"
        "Curves \"cubic\" [4] \"nonperiodic\" \"P\" [0.725 -0.1 1  0.725 -0.3 1  0.725 -0.7 1  0.725 -0.9 1]\n"
        "WorldEnd\n",
        "m.tif");
    ASSERT_EQ(p.width, 40);
    // The NURBS square and the mesh of two patches, red, with a gap between.
    EXPECT_EQ(p.at(10, 10)[0], 255);
    EXPECT_EQ(p.at(3, 3)[0], 255);
    EXPECT_EQ(p.at(25, 10)[0], 255);
    EXPECT_EQ(p.at(35, 16)[0], 255);
    EXPECT_FALSE(p.covered(20, 10));
    EXPECT_FALSE(p.covered(10, 19));
    // The point, six pixels wide, in blue.
    EXPECT_EQ(p.at(10, 30)[2], 255);
    EXPECT_TRUE(p.covered(12, 30));
    EXPECT_FALSE(p.covered(15, 30));
    EXPECT_FALSE(p.covered(10, 25));
    // The straight line along row 30 and the cubic one down column 34.
    for (int x = 23; x <= 37; x++) EXPECT_EQ(p.at(x, 30)[2], 255) << x;
    for (int y = 23; y <= 37; y++) EXPECT_EQ(p.at(34, y)[2], 255) << y;
    EXPECT_FALSE(p.covered(28, 26));
    EXPECT_FALSE(p.covered(30, 34));
}

TEST_F(Pevrin, SketchedSphereShowsItsOutlineAndItsSeam)
{
    // A sphere of 18 pixels' radius in four rows, its poles towards and away
    // from the eye, seen orthographically.
    Picture p = run_picture({"-nowait", "-sketch", "-dumprgb"},
                            "Format 40 40 1\nProjection \"orthographic\"\nDisplay \"ball.tif\" \"file\" \"rgb\"\n"
                            "WorldBegin\nTranslate 0 0 2\nColor [1 1 1]\n"
                            "Attribute \"divisions\" \"udivisions\" [16] \"vdivisions\" [4]\n"
                            "Sphere 0.9 -0.9 0.9 360\nWorldEnd\n",
                            "ball.tif");
    ASSERT_EQ(p.width, 40);
    int outline = 0, inside = 0;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++) {
            float dx = x + 0.5f - 20, dy = y + 0.5f - 20, r = std::sqrt(dx * dx + dy * dy);
            bool dark = p.at(x, y)[0] < 128;
            if (r > 16 && r < 19.5f) outline += dark;
            if (r < 15 && x < 18) inside += dark;
        }
    // The equator, where the front and back halves meet, in black on white;
    // no row of the front half (the one at 45 degrees lies 12.7 pixels out).
    EXPECT_GT(outline, 40);
    EXPECT_EQ(inside, 0);
    // The first and last columns of the grid (the seam at angle 0) always show.
    int seam = 0;
    for (int x = 22; x <= 36; x++) seam += p.at(x, 19)[0] < 128 || p.at(x, 20)[0] < 128;
    EXPECT_GE(seam, 13);
}

TEST_F(Pevrin, OnlyTheFramesOfTheRangeAreDrawn)
{
    std::string scene = "Format 8 8 1\n";
    for (int f = 0; f < 4; f++)
        scene += "FrameBegin " + std::to_string(f) + "\nDisplay \"f" + std::to_string(f) +
                 ".tif\" \"file\" \"rgb\"\nWorldBegin\nWorldEnd\nFrameEnd\n";
    velktest::RunResult r = run({"-nowait", "-dumprgb", "-frames", "1", "2"}, scene);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.exists("f0.tif"));
    EXPECT_TRUE(dir.exists("f1.tif"));
    EXPECT_TRUE(dir.exists("f2.tif"));
    EXPECT_FALSE(dir.exists("f3.tif"));
}

TEST_F(Pevrin, PerspectiveDepthsAreDistancesFromTheEye)
{
    // A far wall at 5 and, over the left half, a nearer one at 2.5.
    velktest::RunResult r =
        run({"-nowait", "-dumprgbaz"}, "Format 40 40 1\nProjection \"perspective\" \"fov\" 90\n"
                                       "Display \"far.tif\" \"file\" \"rgbaz\"\nWorldBegin\n"
                                       "Polygon \"P\" [-10 -10 5  -10 10 5  10 10 5  10 -10 5]\n"
                                       "Polygon \"P\" [-5 -5 2.5  -5 5 2.5  0 5 2.5  0 -5 2.5]\nWorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string z = dir.read("far.zfile");
    ASSERT_EQ(z.size(), 136u + 40 * 40 * 4);
    auto depth = [&](int x, int y) { return previewtest::zfile_depth(z, 40, x, y); };
    EXPECT_NEAR(depth(30, 20), 5.0f, 0.02f);
    EXPECT_NEAR(depth(39, 0), 5.0f, 0.02f);
    EXPECT_NEAR(depth(10, 20), 2.5f, 0.01f);
}

} // namespace
