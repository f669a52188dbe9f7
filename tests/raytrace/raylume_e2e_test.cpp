// raylume end to end on what the ray-tracing back end says: statistics,
// unsupported primitives, solids and dropped input.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace {

using velktest::RunResult;
using velktest::TempDir;
size_t occurrences(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

} // namespace

TEST(RaylumeBackEnd, StatisticsInTheirOrder)
{
    TempDir dir;
    RunResult r = velktest::raylume_rib(dir,
                         "Display \"t.tif\" \"file\" \"rgba\"\nFormat 8 8 1\n"
                         "WorldBegin\nSphere 1 -1 1 360\nSphere 0.5 -1 1 360\nWorldEnd\n",
                         {"-stats"});
    EXPECT_EQ(r.status, 0) << r.err;
    const char *order[] = {"Runtime stats:\n",
                           "Bounding volume construction time = ",
                           "Ray tracing:\n",
                           " total rays traced:\n",
                           " intersection tests performed, of which ",
                           "  Max potential hit heap size: ",
                           "Geometry:\n",
                           "       2 spheres (0k)\n",
                           "       2 total gprims   (",
                           "Vertex vector stats:\n",
                           "  Hier bounds: ",
                           "   bound size = 52\n",
                           "GStates allocated: ",
                           "    Transformations allocated: ",
                           "Shaders: "};
    size_t at = 0;
    for (const char *line : order) {
        size_t found = r.out.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << r.out;
        at = found;
    }
    // Without -stats nothing of it.
    r = velktest::raylume_rib(dir, "Display \"t.tif\" \"file\" \"rgba\"\nFormat 8 8 1\nWorldBegin\nSphere 1 -1 1 360\nWorldEnd\n");
    EXPECT_EQ(r.out.find("Geometry:"), std::string::npos);
}

namespace {

// The number after a label in the statistics (-1 when missing).
long stat_after(const std::string &text, const std::string &label)
{
    size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::stol(text.substr(at + label.size()));
}

// The number that starts the line holding a label (-1 when missing).
long stat_line(const std::string &text, const std::string &label)
{
    size_t at = text.find(label);
    if (at == std::string::npos) return -1;
    size_t start = text.rfind('\n', at);
    return std::stol(text.substr(start == std::string::npos ? 0 : start + 1));
}

} // namespace

TEST(RaylumeBackEnd, CameraTreeOncePerFrameAndInstancesByReference)
{
    TempDir dir;
    // Spheres over the whole picture: small buckets build no more tree nodes than one bucket.
    std::string spheres;
    for (int i = 0; i < 60; i++)
        spheres += "TransformBegin Translate " + std::to_string(i % 8 - 3.5) + " " + std::to_string(i / 8 - 3.5) +
                   " 0 Sphere 0.3 -0.3 0.3 360 TransformEnd\n";
    auto nodes = [&](int bucket, int size = 64, const char *which = "Hier bounds: ") {
        RunResult r = velktest::raylume_rib(
            dir, "Display \"t.tif\" \"file\" \"rgba\"\nFormat " + std::to_string(size) + " " +
                     std::to_string(size) + " 1\nOption \"limits\" \"bucketsize\" [" +
                     std::to_string(bucket) + " " + std::to_string(bucket) +
                     "]\nProjection \"perspective\" \"fov\" 60\nTranslate 0 0 8\nWorldBegin\n" + spheres +
                     "WorldEnd\n",
            {"-stats"});
        EXPECT_EQ(r.status, 0) << r.err;
        return stat_after(r.out, which);
    };
    long one = nodes(64);
    EXPECT_GT(one, 0);
    EXPECT_EQ(nodes(8), one);
    // A picture of a few pixels holds no more tree than a larger one.
    EXPECT_LE(nodes(64, 4, " outstanding, "), nodes(8, 64, " outstanding, "));

    // Instances of a definition of 50 triangles: the definition's triangles
    // only, however many instances there are.
    std::string tris;
    for (int i = 0; i < 50; i++) {
        std::string x = std::to_string(i % 10 * 0.1), y = std::to_string(i / 10 * 0.1);
        tris += "TransformBegin Translate " + x + " " + y + " 0 Polygon \"P\" [0 0 0  0.08 0 0  0 0.08 0] TransformEnd\n";
    }
    auto geometry = [&](int instances, int size) {
        std::string rib = "Display \"t.tif\" \"file\" \"rgba\"\nFormat " + std::to_string(size) + " " +
                          std::to_string(size) + " 1\nTranslate 0 0 30\nWorldBegin\n"
                          "ObjectBegin 1\n" + tris + "ObjectEnd\n";
        for (int i = 0; i < instances; i++)
            rib += "TransformBegin Translate " + std::to_string(i % 10 - 5) + " " + std::to_string(i / 10 - 5) +
                   " 0 ObjectInstance 1 TransformEnd\n";
        RunResult r = velktest::raylume_rib(dir, rib + "WorldEnd\n", {"-stats"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("      50 triangles"), std::string::npos) << r.out;
        return stat_after(r.out, "total gprims   (");
    };
    // The copies that stand for an instance's surfaces in hits are few, however
    // many instances and pixels there are.
    EXPECT_LE(geometry(100, 64), geometry(1, 8) + 16);
}

// A translucent square in front of a stack of opaque ones, as instances and
// as plain surfaces: the same picture, and the instance's walk stops at the
// first opaque layer instead of testing the whole stack.
TEST(RaylumeBackEnd, AnInstanceIsWalkedNoFurtherThanItsNearestOpaqueHit)
{
    TempDir dir;
    const std::string front = "Polygon \"P\" [-5 -5 0  5 -5 0  5 5 0  -5 5 0]\n";
    std::string stack;
    for (int i = 1; i <= 11; i++) {
        std::string z = std::to_string(0.1 * i);
        stack += "Polygon \"P\" [-5 -5 " + z + "  5 -5 " + z + "  5 5 " + z + "  -5 5 " + z + "]\n";
    }
    auto render = [&](bool instanced) {
        std::string rib = "Display \"t.tif\" \"file\" \"rgba\"\nFormat 16 16 1\nPixelSamples 1 1\n"
                          "Projection \"perspective\" \"fov\" 40\nTranslate 0 0 8\nWorldBegin\n"
                          "Attribute \"light\" \"shadows\" \"on\"\n"
                          "LightSource \"pointlight\" 1 \"from\" [0 3 -4] \"intensity\" 30\nSurface \"matte\"\n";
        if (instanced)
            rib += "ObjectBegin 1\n" + front + "ObjectEnd\nObjectBegin 2\n" + stack + "ObjectEnd\n"
                   "AttributeBegin Opacity [0.5 0.5 0.5] Color [1 0 0] ObjectInstance 1 AttributeEnd\n"
                   "ObjectInstance 2\n";
        else
            rib += "AttributeBegin Opacity [0.5 0.5 0.5] Color [1 0 0]\n" + front + "AttributeEnd\n" + stack;
        RunResult r = velktest::raylume_rib(dir, rib + "WorldEnd\n", {"-stats"});
        EXPECT_EQ(r.status, 0) << r.err;
        long rays = stat_line(r.out, " primary rays"), tests = stat_line(r.out, " intersection tests performed");
        EXPECT_GT(rays, 0) << r.out;
        EXPECT_LT(tests, 8 * rays) << r.out;
        return dir.read("t.tif");
    };
    std::string copies = render(false), instances = render(true);
    EXPECT_FALSE(copies.empty());
    EXPECT_TRUE(copies == instances);
}

TEST(RaylumeBackEnd, AFarControlPointLeavesTheOtherRaysAlone)
{
    // One control point at 1e20 throws the diced cells beside the border out
    // as slivers; their boxes must stay as thin as they are.
    std::string points;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            points += (i == 1 && j == 1 ? std::string("1e20") : std::to_string(i - 1.5)) + " " +
                      std::to_string(j - 1.5) + " " + std::to_string(0.3 * ((i + j) % 2)) + " ";
    TempDir dir;
    RunResult r = velktest::raylume_rib(
        dir, "Display \"t.tif\" \"file\" \"rgba\"\nFormat 32 24 1\nProjection \"perspective\" \"fov\" 40\n"
             "Translate 0 0 8\nWorldBegin\nRotate -30 1 0 0\n"
             "NuPatch 4 4 [0 0 0 0 1 1 1 1] 0 1 4 4 [0 0 0 0 1 1 1 1] 0 1 \"P\" [" + points + "]\nWorldEnd\n",
        {"-stats"});
    EXPECT_EQ(r.status, 0) << r.err;
    long rays = stat_line(r.out, " primary rays");
    long boxes = stat_line(r.out, " bounding box tests performed");
    ASSERT_GT(rays, 0) << r.out;
    EXPECT_LT(boxes, 100 * rays) << r.out;
}

// A wall behind a ball, two shadow-casting lights: each light's shadow rays
// test the object that last blocked it first. A blocker inside an instance is
// remembered as the instance, not as the one small surface that blocked.
TEST(RaylumeBackEnd, ShadowRaysOfALightTryItsLastBlockerFirst)
{
    TempDir dir;
    auto rate_with = [&](const std::string &blocker, bool blocks_both) {
        RunResult r = velktest::raylume_rib(dir,
                             "Display \"t.tif\" \"file\" \"rgba\"\nFormat 32 32 1\n"
                             "Projection \"perspective\" \"fov\" 60\nTranslate 0 0 4\n"
                             "WorldBegin\nAttribute \"light\" \"shadows\" \"on\"\n"
                             "LightSource \"pointlight\" 1 \"from\" [3 0 -4] \"intensity\" 40\n"
                             "LightSource \"spotlight\" 2 \"from\" [-3 0 -4] \"to\" [0 0 0] "
                             "\"coneangle\" 1 \"intensity\" 40\n"
                             "Surface \"matte\"\nPolygon \"P\" [-9 -9 0 9 -9 0 9 9 0 -9 9 0]\n"
                             "Translate 0 0 -2\n" + blocker + "WorldEnd\n",
                             {"-stats"});
        EXPECT_EQ(r.status, 0) << r.err;
        long rays = 0, tries = 0;
        double obscured = 0, rate = 0;
        size_t at = r.out.find(" shadow rays cast");
        EXPECT_NE(at, std::string::npos) << r.out;
        if (at == std::string::npos) return 0.0;
        EXPECT_EQ(std::sscanf(r.out.c_str() + r.out.rfind('\n', at) + 1, "%ld shadow rays cast, %lf", &rays, &obscured), 2);
        at = r.out.find("Tried likely hit ");
        EXPECT_NE(at, std::string::npos) << r.out;
        if (at == std::string::npos) return 0.0;
        EXPECT_EQ(std::sscanf(r.out.c_str() + at, "Tried likely hit %ld times, %lf%% hit rate", &tries, &rate), 2);
        EXPECT_GT(obscured, 5);
        // Every ray after a light's first blocked one tries it.
        if (blocks_both) {
            EXPECT_GT(tries, rays / 2);
        }
        return rate;
    };
    EXPECT_GT(rate_with("Sphere 1 -1 1 360\n", true), 5);
    std::string plate = "ObjectBegin 1\n";
    for (int i = 0; i < 400; i++) {
        std::string x = std::to_string(-0.5 + 0.05 * (i % 20)), y = std::to_string(-0.5 + 0.05 * (i / 20));
        plate += "TransformBegin Translate " + x + " " + y + " 0 Polygon \"P\" [0 0 0  0.05 0 0  0.05 0.05 0  0 0.05 0] TransformEnd\n";
    }
    // A plate of 400 small squares, its shadow amid the wall.
    EXPECT_GT(rate_with(plate + "ObjectEnd\nTranslate 1.5 0 0 ObjectInstance 1\n", false), 10);
}

TEST(RaylumeBackEnd, UnsupportedPrimitivesAreAnnouncedOnce)
{
    TempDir dir;
    RunResult r = velktest::raylume_rib(dir, "WorldBegin\n"
                              "Curves \"linear\" [2] \"nonperiodic\" \"P\" [0 0 0 1 0 0] \"constantwidth\" 0.1\n"
                              "Curves \"linear\" [2] \"nonperiodic\" \"P\" [0 0 0 1 0 0] \"constantwidth\" 0.1\n"
                              "Points \"P\" [0 0 0 1 1 1]\nPoints \"P\" [0 0 0 1 1 1]\n"
                              "Blobby 1 [1001 0] [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] []\n"
                              "Blobby 1 [1001 0] [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] []\n"
                              "Geometry \"teapot\"\nGeometry \"teapot\"\nGeometry \"bunny\"\n"
                              "WorldEnd\nWorldBegin\nCurves \"linear\" [2] \"nonperiodic\" \"P\" [0 0 0 1 0 0]\n"
                              "Blobby 1 [1001 0] [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] []\nGeometry \"teapot\"\n"
                              "WorldEnd\n");
    EXPECT_EQ(occurrences(r.err, "Curves primitive not currently supported\n"), 1u) << r.err;
    EXPECT_EQ(occurrences(r.err, "Points primitive not currently supported\n"), 1u) << r.err;
    EXPECT_EQ(occurrences(r.err, "Blobby primitive not currently supported\n"), 1u) << r.err;
    EXPECT_EQ(occurrences(r.err, "Geometry \"teapot\" not currently supported\n"), 1u) << r.err;
    EXPECT_EQ(occurrences(r.err, "Geometry \"bunny\" not currently supported\n"), 1u) << r.err;
    EXPECT_NE(r.err.find("Optional RI feature not implemented\n"
                         "    --> Curves primitive not currently supported\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.status, 0);
}

TEST(RaylumeBackEnd, SolidsAndDroppedInput)
{
    TempDir dir;
    RunResult r = velktest::raylume_rib(dir, "WorldBegin\nSolidBegin \"cube\"\nSphere 1 -1 1 360\nSolidEnd\n"
                              "Sphere 0 -1 1 360\n"
                              "Polygon \"P\" [0 0 0 1 0 0 2 0 0]\n"
                              "PointsPolygons [2 3] [0 1 0 1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
                              "WorldEnd\n");
    EXPECT_NE(r.err.find("ERROR: t.rib (2): Bad Solid block\n    --> invalid CSG type, assuming primitive\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Degenerate sphere primitive ignored"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Degenerate polygon primitive"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Polygon with 2 vertices ignored"), std::string::npos) << r.err;
    EXPECT_EQ(r.status, 0);
}
