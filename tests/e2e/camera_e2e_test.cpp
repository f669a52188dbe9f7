// The camera and the named spaces seen in rendered pixels: where a point is
// drawn against what the shaders' "raster" and "NDC" say, RiPerspective in
// the camera transformation, and spaces named before the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/support/render_support.h"

namespace {

class CameraSpaces : public testing::Test {
protected:
    velktest::TempDir dir;

    void SetUp() override
    {
        // Red and green: the raster position; blue: NDC x + NDC y x 1000.
        compile("rasterpos", "surface rasterpos() {\n"
                             "    point r = transform(\"raster\", P), n = transform(\"NDC\", P);\n"
                             "    Ci = color(xcomp(r), ycomp(r), xcomp(n) + 1000 * ycomp(n)); Oi = 1;\n"
                             "}\n");
        compile("spacepos", "surface spacepos(string space = \"camera\") {\n"
                            "    Ci = color(transform(space, point \"world\" (0, 0, 0))); Oi = 1;\n"
                            "}\n");
    }
    void compile(const std::string &name, const std::string &source)
    {
        velktest::RunResult r = velktest::murn_compile(dir, name, source);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // A float dump of w x h pixels with the given camera and world.
    e2e::Image render(int w, int h, const std::string &camera, const std::string &world)
    {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(w, h) + "Option \"searchpath\" \"shader\" [\"" +
                                              dir.path() + ":&\"]\n" + camera + "WorldBegin\n" + world +
                                              "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.run.err, "");
        return r.image;
    }
};

} // namespace

TEST_F(CameraSpaces, RasterAndNdcAreWhereThePointIsDrawn)
{
    // One sample at each pixel centre: the surface seen there must be at
    // raster (x + 0.5, y + 0.5) and NDC raster / resolution.
    const char *cameras[] = {
        "Format 8 6 1\nProjection \"perspective\" \"fov\" 30\n",
        "Format 8 6 1\nProjection \"perspective\" \"fov\" 70\nScreenWindow -2 1 -0.5 1.5\n",
        "Format 9 5 1\nFrameAspectRatio 1\nProjection \"perspective\" \"fov\" 20\n",
        "Format 6 8 2\nProjection \"orthographic\"\nScreenWindow -3 5 -1 2\n",
        // Unevenly scaled cameras: what is drawn is stretched as camera space is.
        "Format 8 6 1\nProjection \"perspective\" \"fov\" 30\nScale 2 1 1\n",
        "Format 8 6 1\nProjection \"perspective\" \"fov\" 70\nScale 1 0.5 3\n",
        "Format 8 6 1\nProjection \"perspective\" \"fov\" 50\nRotate 20 0 1 0\nScale 1 1 0.5\nRotate 10 1 0 0\n",
        "Format 8 6 1\nScale 1.5 1 1\nProjection \"perspective\" \"fov\" 40\n",
        // A moving camera builds its rays at each sample's time.
        "Format 8 6 1\nShutter 0 1\nProjection \"perspective\" \"fov\" 40\nMotionBegin [0 1]\nScale 2 1 1\n"
        "Scale 2 1 1\nMotionEnd\n",
    };
    for (const char *camera : cameras) {
        SCOPED_TRACE(camera);
        e2e::Image im = render(9, 9, std::string(camera) + "Translate 0 0 5\n",
                               "Surface \"rasterpos\"\nPolygon \"P\" [-50 -50 0  50 -50 0  50 50 0  -50 50 0]\n");
        ASSERT_FALSE(im.empty());
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                float rx = x + 0.5f, ry = y + 0.5f;
                EXPECT_NEAR(im.at(x, y, 0), rx, 1e-3f) << x << ", " << y;
                EXPECT_NEAR(im.at(x, y, 1), ry, 1e-3f) << x << ", " << y;
                EXPECT_NEAR(im.at(x, y, 2), rx / im.width + 1000 * ry / im.height, 2e-2f) << x << ", " << y;
            }
    }
}

TEST_F(CameraSpaces, PerspectiveInTheCameraTransformationIsAProjection)
{
    // Perspective then a translation draws what the perspective projection does.
    std::string world = "Surface \"constant\"\nSphere 2 -2 2 360\n";
    e2e::Image by_projection = render(16, 12, "Projection \"perspective\" \"fov\" 40\nTranslate 1 0 10\n", world);
    e2e::Image by_request = render(16, 12, "Perspective 40\nTranslate 1 0 10\n", world);
    ASSERT_FALSE(by_projection.empty());
    ASSERT_EQ(by_request.values.size(), by_projection.values.size());
    int covered = 0;
    for (size_t i = 3; i < by_projection.values.size(); i += 4) covered += by_projection.values[i] > 0.5f;
    EXPECT_GT(covered, 20);
    EXPECT_LT(covered, 60);
    for (size_t i = 0; i < by_projection.values.size(); ++i)
        EXPECT_NEAR(by_request.values[i], by_projection.values[i], 1e-4f) << "value " << i;
    // A rigid camera with the rounding noise RIB writers print is no perspective.
    e2e::Image noisy = render(16, 12, "Projection \"perspective\" \"fov\" 40\n"
                                      "Transform [1 0 0 1e-9  0 1 0 -2e-9  0 0 1 1e-9  1 0 10 1.000000001]\n", world);
    ASSERT_EQ(noisy.values.size(), by_projection.values.size());
    for (size_t i = 0; i < by_projection.values.size(); ++i)
        EXPECT_NEAR(noisy.values[i], by_projection.values[i], 1e-4f) << "value " << i;
    // Perspective followed by a moving camera: the same picture at either key.
    std::string moving = "MotionBegin [0 1]\nTranslate 1 0 10\nTranslate -1.5 0.5 10\nMotionEnd\n";
    std::vector<float> first;
    for (const char *shutter : {"Shutter 0 0\n", "Shutter 1 1\n"}) {
        SCOPED_TRACE(shutter);
        e2e::Image a = render(16, 12, std::string(shutter) + "Projection \"perspective\" \"fov\" 40\n" + moving, world);
        e2e::Image b = render(16, 12, std::string(shutter) + "Perspective 40\n" + moving, world);
        ASSERT_EQ(a.values.size(), by_projection.values.size());
        ASSERT_EQ(b.values.size(), a.values.size());
        for (size_t i = 0; i < a.values.size(); ++i) EXPECT_NEAR(b.values[i], a.values[i], 1e-4f) << "value " << i;
        if (first.empty()) first = a.values;
        else EXPECT_NE(first, a.values);   // the camera did move
    }
}

TEST_F(CameraSpaces, SpacesNamedBeforeTheWorldFollowTheCamera)
{
    // "camspace" is camera space; "tilted" is one unit further along the
    // camera's x axis. A static space may carry a motion block of its own.
    e2e::Image im = render(3, 1,
                           "Projection \"perspective\"\nCoordinateSystem \"camspace\"\n"
                           "TransformBegin\nTranslate 1 0 0\nCoordinateSystem \"tilted\"\nTransformEnd\n"
                           "Translate 0 0 5\n",
                           "AttributeBegin\nTranslate -10 0 0\nSurface \"spacepos\" \"string space\" \"camspace\"\n"
                           "Sphere 2 -2 2 360\nAttributeEnd\n"
                           "AttributeBegin\nSurface \"spacepos\" \"string space\" \"tilted\"\n"
                           "CoordSysTransform \"camspace\"\nMotionBegin [0 1]\nTranslate 0 0 5\nTranslate 0 0 5\n"
                           "MotionEnd\nSphere 2 -2 2 360\nAttributeEnd\n"
                           "AttributeBegin\nTranslate 10 0 0\nSurface \"spacepos\"\nSphere 2 -2 2 360\n"
                           "AttributeEnd\n");
    ASSERT_EQ(im.width, 3);
    const float want[3][3] = {{0, 0, 5}, {-1, 0, 5}, {0, 0, 5}};
    for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(im.at(x, 0, c), want[x][c], 1e-4f) << x << ", " << c;
}

TEST_F(CameraSpaces, ClippingPlanesCutAtCameraSpaceZWhateverTheCameraScale)
{
    // A ground tilted away through the clipping planes; a camera scaled to
    // other units sees the same picture, and with its planes scaled alike
    // must clip it along the same rows.
    compile("camz", "surface camz() { Ci = color(zcomp(transform(\"camera\", P))); Oi = 1; }\n");
    const std::string world = "Surface \"camz\"\nPolygon \"P\" [-40 -20 -5  40 -20 -5  40 20 15  -40 20 15]\n";
    struct Camera {
        const char *scale;
        float near, far;
    } cameras[] = {{"", 4.5f, 5.5f}, {"Scale 0.5 0.5 0.5\n", 2.25f, 2.75f}, {"Scale 2 2 2\n", 9, 11}};
    std::vector<bool> first;
    for (const Camera &c : cameras) {
        SCOPED_TRACE(c.scale);
        e2e::Image im = render(16, 12, std::string("Projection \"perspective\" \"fov\" 60\n") + c.scale + "Clipping " +
                                           std::to_string(c.near) + " " + std::to_string(c.far) + "\n",
                               world);
        ASSERT_EQ(im.values.size(), size_t(16 * 12 * 4));
        std::vector<bool> seen;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) {
                seen.push_back(im.at(x, y, 3) > 0);
                if (seen.back()) {
                    EXPECT_GE(im.at(x, y, 0), c.near) << x << ", " << y;
                    EXPECT_LE(im.at(x, y, 0), c.far) << x << ", " << y;
                }
            }
        if (first.empty()) {
            first = seen;
            int count = int(std::count(seen.begin(), seen.end(), true));
            EXPECT_GT(count, 16);
            EXPECT_LT(count, 16 * 11);
        } else {
            EXPECT_EQ(seen, first);
        }
    }
}

TEST_F(CameraSpaces, DepthOfFieldFocusesAtCameraSpaceDepthWhateverTheCameraScale)
{
    // A small square at world origin, camera z 10 on every camera, filling
    // most of the middle pixel: focused there it stays in that pixel, focused
    // at half the depth it spreads over its neighbours.
    struct Camera {
        const char *camera;
        float half, focal_length;
    } cameras[] = {
        {"Projection \"perspective\" \"fov\" 45\nScale 2 2 2\nTranslate 0 0 5\n", 0.16f, 8},
        {"Projection \"perspective\" \"fov\" 45\nScale 1 1 0.5\nTranslate 0 0 20\n", 0.32f, 8},
        {"Projection \"orthographic\"\nScale 2 2 2\nTranslate 0 0 5\n", 0.039f, 1},
    };
    for (const Camera &c : cameras)
        for (float focus : {10.0f, 5.0f}) {
            SCOPED_TRACE(std::string(c.camera) + " focus " + std::to_string(focus));
            const std::string h = std::to_string(c.half);
            e2e::Image im = render(9, 9,
                                   std::string("PixelSamples 4 4\n") + "DepthOfField 1 " +
                                       std::to_string(c.focal_length) + " " + std::to_string(focus) + "\n" +
                                       c.camera,
                                   "Surface \"constant\"\nPolygon \"P\" [-" + h + " -" + h + " 0  " + h + " -" + h +
                                       " 0  " + h + " " + h + " 0  -" + h + " " + h + " 0]\n");
            ASSERT_EQ(im.values.size(), size_t(9 * 9 * 4));
            int covered = 0;
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 9; ++x) covered += im.at(x, y, 3) > 0;
            if (focus == 10) {
                EXPECT_EQ(covered, 1);
                EXPECT_GT(im.at(4, 4, 3), 0.2f);
            } else {
                EXPECT_GT(covered, 4);
            }
        }
}
