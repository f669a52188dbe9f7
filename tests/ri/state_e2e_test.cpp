// raylume end to end on the block structure, options, attributes and
// geometry requests: messages, exit status and what later requests see.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/run_program.h"

namespace {

using velktest::RunOptions;
using velktest::RunResult;
using velktest::TempDir;

// Writes rib as t.rib in dir and renders it.
RunResult render(const TempDir &dir, const std::string &rib, std::vector<std::string> args = {})
{
    return velktest::raylume_rib(dir, rib, std::move(args));
}

// The messages with "t.rib (N): " shortened to "t.rib: ": after a parameter
// list the reader stands on the next line already, which is not what these
// tests are about.
std::string unlined(std::string err)
{
    const std::string mark = "t.rib (";
    for (size_t at = err.find(mark); at != std::string::npos; at = err.find(mark, at + 1)) {
        size_t close = err.find("): ", at);
        if (close != std::string::npos) err.erase(at + 5, close + 1 - (at + 5));
    }
    return err;
}

TEST(RaylumeBlocks, NestingErrors)
{
    TempDir dir;
    RunResult r = render(dir, "WorldBegin\nWorldBegin\n");
    EXPECT_EQ(r.err, "SEVERE ERROR: t.rib (2): Nesting error\n    --> RiWorldBegin called at inappropriate level\n");
    EXPECT_EQ(r.status, 255);
    r = render(dir, "FrameEnd\n");
    EXPECT_EQ(r.err, "SEVERE ERROR: t.rib (1): Nesting error\n"
                     "    --> RiFrameEnd called without corresponding RiFrameBegin\n");
    EXPECT_EQ(r.status, 255);
    r = render(dir, "AttributeEnd\n");
    EXPECT_EQ(r.err, "ERROR: t.rib (1): Nesting error\n    --> Attribute stack underflow\n");
    EXPECT_EQ(r.status, 0);
    std::string deep;
    for (int i = 0; i < 129; i++) deep += "TransformBegin\n";
    r = render(dir, deep);
    EXPECT_EQ(r.err, "SEVERE ERROR: t.rib (129): Program limit\n    --> Transformation stack overflow\n");
    EXPECT_EQ(r.status, 255);
}

TEST(RaylumeBlocks, IgnoredStrayEndsChangeNothing)
{
    TempDir dir;
    RunResult r = render(dir, "ErrorHandler \"ignore\"\nFrameEnd\nWorldEnd\nAttributeEnd\nTransformEnd\n"
                              "ErrorHandler \"print\"\nFrameBegin 1\nWorldBegin\nAttributeBegin\nAttributeEnd\n"
                              "WorldEnd\nFrameEnd\n");
    // nothing was popped or rendered by the stray ends: the blocks after them balance
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(RaylumeOptions, MessagesOfTheOptionProcedures)
{
    TempDir dir;
    RunResult r = render(dir, "Clipping 0 100\n");
    EXPECT_EQ(r.err, "ERROR: t.rib (1): Parameters inconsistent\n    --> Bad values for RiClipping\n");
    r = render(dir, "Projection \"fisheye\"\n");
    EXPECT_EQ(unlined(r.err), "ERROR: t.rib: Invalid token\n    --> RiProjection: Invalid projection \"fisheye\"\n");
    r = render(dir, "Hider \"paint\"\n");
    EXPECT_EQ(unlined(r.err), "WARNING: t.rib: Unimplemented feature\n"
                              "    --> Painter's algorithm for hidden surface not supported\n");
    r = render(dir, "WorldBegin\nFormat 10 10 1\nWorldEnd\n");
    EXPECT_EQ(r.err, "WARNING: t.rib (2): Invalid state for declaring options\n");
    r = render(dir, "PixelFilter \"mitchell\" 2 2\n");
    EXPECT_EQ(r.err, "ERROR: t.rib (1): Invalid token\n");
    r = render(dir, "Option \"runtime\" \"verbosity\" \"loud\"\n");
    EXPECT_EQ(unlined(r.err), "WARNING: t.rib: Invalid token\n    --> Unknown runtime verbosity option \"loud\"\n");
    r = render(dir, "FrameAspectRatio 0\nScreenWindow 0 0 -1 1\nPerspective 180\nRotate 10 0 0 0\n");
    EXPECT_NE(r.err.find("(1): Parameter out of range"), std::string::npos);
    EXPECT_NE(r.err.find("(2): Parameters inconsistent"), std::string::npos);
    EXPECT_NE(r.err.find("(3): Parameter out of range"), std::string::npos);
    EXPECT_NE(r.err.find("(4): Parameter out of range"), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

TEST(RaylumeOptions, DeclaredTokensOfAnUnknownOptionAndInternedOnlyNames)
{
    TempDir dir;
    RunResult r = render(dir, "Option \"nosuch\" \"fov\" 1 \"st\" [1 2] \"texturename\" \"x\"\n"
                              "Option \"nosuch\" \"box\" 1\n");
    EXPECT_EQ(unlined(r.err),
              "WARNING: t.rib: Invalid token\n    --> RiOption: Unknown option \"nosuch\" \"fov\"\n"
              "WARNING: t.rib: Invalid token\n    --> RiOption: Unknown option \"nosuch\" \"st\"\n"
              "WARNING: t.rib: Invalid token\n    --> RiOption: Unknown option \"nosuch\" \"texturename\"\n"
              "WARNING: t.rib: Invalid token\n    --> Undeclared token \"box\"\n"
              "WARNING: t.rib: Invalid token\n    --> RiOption: Token \"box\" not declared\n"
              "WARNING: t.rib: Invalid token\n    --> RiOption: Unknown option \"nosuch\" \"box\"\n");
}

TEST(RaylumeOptions, ArchitectureInArchivePath)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() + "/intelnt");
    dir.write("intelnt/x.rib", "");
    std::string base = dir.path();
    RunResult r = render(dir, "Option \"searchpath\" \"archive\" \"/nowhere:" + base + "/$ARCH\"\n"
                              "ReadArchive \"x.rib\"\n"
                              "Option \"searchpath\" \"archive\" \"&:" + base + "/%ARCH\"\n"
                              "ReadArchive \"x.rib\"\nReadArchive \"y.rib\"\n");
    EXPECT_EQ(unlined(r.err), "WARNING: t.rib: File not found\n    --> y.rib\n");
}

TEST(RaylumeOptions, StatisticsBlock)
{
    TempDir dir;
    // (a small picture: the real time printed stays below ten seconds)
    RunResult r = render(dir, "Format 16 16 1\nWorldBegin\nSphere 1 -1 1 360\nWorldEnd\n", {"-stats"});
    // The statistics follow the rendering messages.
    EXPECT_NE(r.out.find("Done computing image.               \nRuntime stats:\n\tReal time:    00:0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("GStates allocated: "), std::string::npos);
    EXPECT_NE(r.out.find("    Transformations allocated: "), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

TEST(RaylumeAttributes, MessagesOfTheAttributeProcedures)
{
    TempDir dir;
    RunResult r = render(dir, "ShadingInterpolation \"flat\"\nDetail [0 1 0 1 0 1]\nDetailRange 0 10 5 20\n");
    EXPECT_EQ(r.err, "WARNING: t.rib (1): Invalid token\n    --> RiShadingInterpolation(): bad type\n"
                     "ERROR: t.rib (3): Parameters inconsistent\n"
                     "    --> RiDetailRange: 0 10 5 20 is not an increasing range\n");
    r = render(dir, "WorldBegin\nAttribute \"identifier\" \"name\" \"lamp\"\n"
                    "GeometricRepresentation \"wire\"\nWorldEnd\n");
    EXPECT_EQ(unlined(r.err), "ERROR: t.rib: Invalid token\n    --> Bad GeometricRepresentation: \"wire\"\n"
                              "\t(error encountered in object \"lamp\")\n");
}

TEST(RaylumeGeometry, StateChecksAndBlocks)
{
    TempDir dir;
    RunResult r = render(dir, "Sphere 1 -1 1 360\n");
    EXPECT_EQ(unlined(r.err), "WARNING: t.rib: Invalid state for declaring primitives\n");
    r = render(dir, "WorldBegin\nPatch \"bilinear\" \"Cs\" [1 0 0 1 0 0 1 0 0 1 0 0]\n"
                    "Patch \"trilinear\" \"P\" [0 0 0 1 0 0 0 1 0 1 1 0]\nWorldEnd\n");
    EXPECT_EQ(unlined(r.err), "ERROR: t.rib: Invalid token\n    --> Unknown patch type: \"trilinear\"\n\n");
    r = render(dir, "WorldBegin\nSolidEnd\nObjectBegin 1\nObjectBegin 2\nObjectEnd\nObjectEnd\n"
                    "AttributeBegin\nObjectInstance 1\nAttributeEnd\nWorldEnd\n");
    EXPECT_EQ(r.err, "ERROR: t.rib (2): Bad Solid block\n    --> Unexpected SolidEnd\n"
                     "ERROR: t.rib (4): Nesting error\n    --> Nested RiObjectBegin\n"
                     "ERROR: t.rib (6): Nesting error\n    --> Bad placement of RiObjectEnd\n");
    EXPECT_EQ(r.status, 0);
    r = render(dir, "WorldBegin\nObjectBegin 1\nObjectEnd\nWorldEnd\nWorldBegin\nObjectInstance 1\nWorldEnd\n");
    EXPECT_EQ(r.err, "ERROR: t.rib (6): Bad handle\n    --> Object handle no longer valid\n");
    r = render(dir, "WorldBegin\nPolygon \"P\" [0 0 0 1 0 0 1 1 0] \"Cs\" [1 0 0]\n"
                    "Points \"P\" [0 0 0] \"bogus\" [1]\nWorldEnd\n");
    // (a second syntax error on one line is shown once)
    EXPECT_EQ(unlined(r.err), "ERROR: t.rib: Syntax error\n    --> vertex length mismatch: Cs (found 3, expected 9)\n"
                              "ERROR: t.rib: Syntax error\n    --> vertex variable unknown: bogus\n"
                              "INFO: t.rib: Optional RI feature not implemented\n"
                              "    --> Points primitive not currently supported\n");
}

// Basis matrices live in a store of 262,144 slots freed at the end of each world.
std::string bases(int n)
{
    std::string rib;
    rib.reserve((size_t)n * 60);
    for (int i = 0; i < n; i++) rib += "Basis [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] 1 \"bezier\" 3\n";
    return rib;
}

TEST(RaylumeGeometry, BasisMatrixStore)
{
    TempDir dir;
    RunResult r = render(dir, "WorldBegin\n" + bases(262145) + "WorldEnd\n");
    EXPECT_EQ(r.err, "SEVERE ERROR: t.rib (262146): Memory allocation error\n    --> out of memory for RtMatrix\n");
    EXPECT_EQ(r.status, 255);
    std::string world = "WorldBegin\n" + bases(200000) + "WorldEnd\n";
    r = render(dir, "Format 8 8 1\n" + world + world);   // (small pictures: quick in every build)
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

} // namespace
