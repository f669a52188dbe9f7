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

// A wall behind a ball, two shadow-casting lights: each light's shadow rays
// test the object that last blocked it first.
TEST(RaylumeBackEnd, ShadowRaysOfALightTryItsLastBlockerFirst)
{
    TempDir dir;
    RunResult r = velktest::raylume_rib(dir,
                         "Display \"t.tif\" \"file\" \"rgba\"\nFormat 32 32 1\n"
                         "Projection \"perspective\" \"fov\" 60\nTranslate 0 0 4\n"
                         "WorldBegin\nAttribute \"light\" \"shadows\" \"on\"\n"
                         "LightSource \"pointlight\" 1 \"from\" [3 0 -4] \"intensity\" 40\n"
                         "LightSource \"spotlight\" 2 \"from\" [-3 0 -4] \"to\" [0 0 0] "
                         "\"coneangle\" 1 \"intensity\" 40\n"
                         "Surface \"matte\"\nPolygon \"P\" [-9 -9 0 9 -9 0 9 9 0 -9 9 0]\n"
                         "Translate 0 0 -2\nSphere 1 -1 1 360\nWorldEnd\n",
                         {"-stats"});
    EXPECT_EQ(r.status, 0) << r.err;
    long rays = 0, tries = 0;
    double obscured = 0, rate = 0;
    size_t at = r.out.find(" shadow rays cast");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.rfind('\n', at) + 1, "%ld shadow rays cast, %lf", &rays, &obscured), 2);
    at = r.out.find("Tried likely hit ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "Tried likely hit %ld times, %lf%% hit rate", &tries, &rate), 2);
    // Every ray after a light's first blocked one tries it.
    EXPECT_GT(obscured, 5);
    EXPECT_GT(tries, rays / 2);
    EXPECT_GT(rate, 5);
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
