// pevrin drawing procedurals: archives read when their bound is in view,
// programs that answer a request line with RIB, and plug-in libraries that
// call back into the program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "tests/preview/pevrin_run.h"
#include "tests/support/run_program.h"

namespace {

using previewtest::Picture;
using Pevrin = previewtest::PevrinTest;

// A 40 x 40 orthographic picture in which pixel (x, y) shows the point
// (x / 20 - 1, 1 - y / 20), lit like the default surface.
std::string picture_of(const std::string &file, const std::string &world)
{
    return "Format 40 40 1\nProjection \"orthographic\"\nDisplay \"" + file + "\" \"file\" \"rgba\"\nWorldBegin\n" +
           world + "WorldEnd\n";
}

const char SQUARE[] = "Polygon \"P\" [-0.5 -0.5 1  -0.5 0.5 1  0.5 0.5 1  0.5 -0.5 1]\n";

// The square of pixels 10..29 both ways has the colour (by its strongest channel).
void expect_square(const Picture &p, int channel)
{
    ASSERT_EQ(p.width, 40);
    EXPECT_EQ(p.at(12, 12)[channel], 255);
    EXPECT_EQ(p.at(27, 27)[channel], 255);
    EXPECT_FALSE(p.covered(5, 20));
    EXPECT_FALSE(p.covered(34, 20));
}

TEST_F(Pevrin, ArchivesAreReadOnlyWhenTheirBoundIsInView)
{
    dir.write("square.rib", std::string("Color [1 0 0]\n") + SQUARE);
    velktest::RunResult r =
        run({"-nowait", "-unlit", "-dumprgba"},
            picture_of("a.tif", "Procedural \"DelayedReadArchive\" [\"square.rib\"] [-0.5 0.5 -0.5 0.5 1 1]\n"
                                "Procedural \"DelayedReadArchive\" [\"absent.rib\"] [5 6 5 6 1 1]\n"));
    EXPECT_EQ(r.status, 0);
    // The archive out of view is never looked for.
    EXPECT_EQ(r.err.find("absent.rib"), std::string::npos) << r.err;
    expect_square(picture("a.tif"), 0);

    r = run({"-nowait", "-dumprgba"},
            picture_of("b.tif", "Procedural \"DelayedReadArchive\" [\"absent.rib\"] [-1 1 -1 1 1 1]\n"));
    EXPECT_NE(r.err.find("absent.rib"), std::string::npos) << r.err;
}

TEST_F(Pevrin, ProgramsAnswerTheDetailAndArgumentsWithRib)
{
    // The program notes the request line and draws the square in the colour it was given.
    std::string program = dir.write("squares.sh", "#!/bin/sh\n"
                                                   "read detail colour\n"
                                                   "echo \"$detail $colour\" > request.txt\n"
                                                   "echo \"Color [$colour]\"\n"
                                                   "echo '" + std::string(SQUARE, sizeof SQUARE - 2) + "'\n");
    chmod(program.c_str(), 0755);
    velktest::RunResult r = run(
        {"-nowait", "-unlit", "-dumprgba"},
        picture_of("p.tif", "Procedural \"RunProgram\" [\"" + program + "\" \"0 0 1\"] [-0.5 0.5 -0.5 0.5 1 1]\n"));
    EXPECT_EQ(r.status, 0) << r.err;
    // The bound covers 20 x 20 pixels.
    EXPECT_EQ(dir.read("request.txt"), "400 0 0 1\n");
    expect_square(picture("p.tif"), 2);

    r = run({"-nowait", "-dumprgba"},
            picture_of("q.tif", "Procedural \"RunProgram\" [\"/no/such/program\" \"\"] [-1 1 -1 1 1 1]\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("RiProcRunProgram could not run program \"/no/such/program\""), std::string::npos) << r.err;
}

TEST_F(Pevrin, SelfCopyingArchivesStopAtTheFrameBound)
{
    // The archive names itself twice.
    const std::string copy = "Procedural \"DelayedReadArchive\" [\"twice.rib\"] [-0.5 0.5 -0.5 0.5 1 1]\n";
    dir.write("twice.rib", copy + copy);
    velktest::RunResult r = run({"-nowait", "-unlit", "-dumprgba"},
                                "Option \"limits\" \"integer expansions\" [20]\n" +
                                    picture_of("t.tif", copy + "Color [1 0 0]\n" + SQUARE));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string message = "More than 20 archives and procedurals expanded in one frame";
    size_t at = r.err.find(message);
    EXPECT_NE(at, std::string::npos) << r.err.substr(0, 2000);
    EXPECT_EQ(r.err.find(message, at + 1), std::string::npos);
    // The rest is drawn.
    expect_square(picture("t.tif"), 0);
}

TEST_F(Pevrin, PluginLibrariesOnTheProceduralPathDrawThroughTheProgram)
{
    // The library makes a sphere of the radius it is given: 10 pixels here.
    std::string path = "Option \"searchpath\" \"procedural\" [\"" + std::string(VELK_PROCEDURAL_DIR) + "\"]\n";
    velktest::RunResult r =
        run({"-nowait", "-unlit", "-dumprgba"},
            path + picture_of("d.tif", "Translate 0 0 2\nColor [0 1 0]\n"
                                       "Procedural \"DynamicLoad\" [\"procsphere.so\" \"0.5\"] "
                                       "[-0.5 0.5 -0.5 0.5 -0.5 0.5]\n"));
    EXPECT_EQ(r.status, 0) << r.err;
    Picture p = picture("d.tif");
    ASSERT_EQ(p.width, 40);
    EXPECT_GT(p.at(20, 20)[1], 200);
    EXPECT_GT(p.at(20, 20)[1], p.at(20, 20)[0] + 100);   // green under the white highlight
    EXPECT_TRUE(p.covered(14, 14));
    EXPECT_FALSE(p.covered(5, 20));
    EXPECT_FALSE(p.covered(20, 34));

    r = run({"-nowait", "-dumprgba"},
            path + picture_of("e.tif", "Procedural \"DynamicLoad\" [\"absent_procedural.so\" \"\"] [-1 1 -1 1 1 1]\n"));
    EXPECT_NE(r.err.find("ProcDynamicLoad could not find DSO \"absent_procedural.so\""), std::string::npos) << r.err;
}

} // namespace
