// raylume end to end on what the ray-tracing back end says: statistics,
// unsupported primitives, solids and dropped input.
#include <gtest/gtest.h>

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
