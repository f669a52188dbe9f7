// Tori, polygons with holes, CSG solids and procedurals rendered by raylume on
// a camera where one world unit is one pixel: the pixels they cover follow
// from their geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "tests/support/render_support.h"

namespace {

const int W = 16, H = 16;

// Renders a world of constant-shaded red objects; the alpha of each pixel.
e2e::Image render(const std::string &world, const std::string &options = "")
{
    e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) + options +
                                          "WorldBegin\nSurface \"constant\"\nColor [1 0 0]\n" + world +
                                          "WorldEnd\n");
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_FALSE(r.image.empty()) << r.run.out << r.run.err;
    return r.image;
}

// Whether the pixel centred on world (x + 0.5, y + 0.5) is covered.
bool covered(const e2e::Image &im, int x, int y)
{
    return im.at(x, H - 1 - y, 3) > 0.5f;
}

// Compares every pixel with the coverage the geometry gives at its centre;
// centres closer than margin to an edge of the shape are not judged.
void expect_coverage(const e2e::Image &im, const std::function<float(float, float)> &signed_distance,
                     float margin = 0.05f)
{
    if (im.empty()) return;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float d = signed_distance(x + 0.5f, y + 0.5f);
            if (std::fabs(d) < margin) continue;
            EXPECT_EQ(covered(im, x, y), d < 0) << "pixel at world " << x << ", " << y;
        }
}

// Negative inside an axis-aligned box [x0, x1] x [y0, y1].
float box_distance(float x, float y, float x0, float x1, float y0, float y1)
{
    return std::fmax(std::fmax(x0 - x, x - x1), std::fmax(y0 - y, y - y1));
}

} // namespace

TEST(PrimitivePixels, TorusSeenAlongItsAxisIsARing)
{
    e2e::Image im = render("Translate 8 8 0\nTorus 5 1.5 0 360 360\n");
    expect_coverage(im, [](float x, float y) {
        float d = std::hypot(x - 8, y - 8);
        return std::fabs(d - 5) - 1.5f;
    });
}

TEST(PrimitivePixels, PartialTorusKeepsItsSweep)
{
    // A quarter sweep: only the ring's part with x and y above the centre.
    e2e::Image im = render("Translate 8 8 0\nTorus 5 1.5 0 360 90\n");
    expect_coverage(im, [](float x, float y) {
        float d = std::fabs(std::hypot(x - 8, y - 8) - 5) - 1.5f;
        return std::fmax(d, std::fmax(8 - x, 8 - y));
    });
}

TEST(PrimitivePixels, GeneralPolygonShowsItsHole)
{
    e2e::Image im = render("GeneralPolygon [4 4] \"P\" [2 2 0 14 2 0 14 14 0 2 14 0  5 5 0 11 5 0 11 11 0 5 11 0]\n");
    expect_coverage(im, [](float x, float y) {
        return std::fmax(box_distance(x, y, 2, 14, 2, 14), -box_distance(x, y, 5, 11, 5, 11));
    });
}

TEST(PrimitivePixels, MeshOfTrianglesAndQuadsCoversItsFaces)
{
    // A quadrilateral and two triangles side by side.
    e2e::Image im = render("PointsPolygons [4 3 3] [0 1 4 3  1 2 4  2 5 4] "
                           "\"P\" [1 1 0  8 1 0  15 1 0  1 6 0  8 6 0  15 6 0]\n");
    expect_coverage(im, [](float x, float y) { return box_distance(x, y, 1, 15, 1, 6); });
}

TEST(PrimitivePixels, DifferenceShowsTheHoleThroughABall)
{
    // A ball less a capped cylinder along the view: a ring.
    e2e::Image im = render("SolidBegin \"difference\"\n"
                           "AttributeBegin\nTranslate 8 8 10\nSphere 6 -6 6 360\nAttributeEnd\n"
                           "SolidBegin \"primitive\"\nAttributeBegin\nTranslate 8 8 0\n"
                           "Cylinder 3 0 20 360\nDisk 0 3 360\nDisk 20 3 360\nAttributeEnd\nSolidEnd\n"
                           "SolidEnd\n");
    expect_coverage(im, [](float x, float y) {
        float d = std::hypot(x - 8, y - 8);
        return std::fmax(d - 6, 3 - d);
    });
}

TEST(PrimitivePixels, IntersectionOfTwoBallsIsTheirLens)
{
    e2e::Image im = render("SolidBegin \"intersection\"\n"
                           "AttributeBegin\nTranslate 5.5 8 10\nSphere 5 -5 5 360\nAttributeEnd\n"
                           "AttributeBegin\nTranslate 10.5 8 10\nSphere 5 -5 5 360\nAttributeEnd\n"
                           "SolidEnd\n");
    expect_coverage(im, [](float x, float y) {
        return std::fmax(std::hypot(x - 5.5f, y - 8) - 5, std::hypot(x - 10.5f, y - 8) - 5);
    });
}

TEST(PrimitivePixels, AnInstancePlacesTheDefinitionsTransformationsInsideItsOwn)
{
    // One primitive of every kind and a solid, each under a transformation of
    // its own; instanced, they must cover exactly what they cover written
    // out under the same transformations.
    const std::string prims =
        "AttributeBegin Translate 3 3 0 Sphere 2 -2 2 360 AttributeEnd\n"
        "AttributeBegin Translate 9 3 0 Rotate 180 1 0 0 Cone 1 2 360 AttributeEnd\n"
        "AttributeBegin Translate 15 3 0 Rotate 90 1 0 0 Cylinder 2 -1 1 360 AttributeEnd\n"
        "AttributeBegin Translate 21 3 0 Disk 0 2 300 AttributeEnd\n"
        "AttributeBegin Translate 3 9 0 Rotate 90 1 0 0 Hyperboloid 1 0 -1 2 0 1 360 AttributeEnd\n"
        "AttributeBegin Translate 9 9 0 Rotate 180 1 0 0 Paraboloid 2 0 1 360 AttributeEnd\n"
        "AttributeBegin Translate 15 9 0 Torus 1.5 0.5 0 360 360 AttributeEnd\n"
        "Polygon \"P\" [19 7 0  23 7 0  22 11 0]\n"
        "GeneralPolygon [4 3] \"P\" [1 13 0 5 13 0 5 17 0 1 17 0  2 14 0 4 14 0 3 16 0]\n"
        "PointsPolygons [3 3] [0 1 2 0 2 3] \"P\" [7 13 0 11 13 0 11 17 0 7 16 0]\n"
        "Patch \"bilinear\" \"P\" [13 13 0 17 13 0 13 17 0 17 16 0]\n"
        "Patch \"bicubic\" \"P\" [19 13 0 20 13 0 22 13 0 23 13 0  19 14 0 20 14 -1 22 14 -1 23 14 0 "
        " 19 16 0 20 16 -1 22 16 -1 23 16 0  19 17 0 20 17 0 22 17 0 23 17 0]\n"
        "NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [1 19 0 5 19 0 1 23 0 4 23 0]\n"
        "PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [7 19 0 11 19 0 7 23 0 11 22 0]\n"
        "SolidBegin \"difference\"\n"
        "SolidBegin \"primitive\" AttributeBegin Translate 15 21 0 Sphere 2 -2 2 360 AttributeEnd SolidEnd\n"
        "SolidBegin \"primitive\" AttributeBegin Translate 16 21 -3 Sphere 1.2 -1.2 1.2 360 AttributeEnd SolidEnd\n"
        "SolidEnd\n";
    auto frame = [](const std::string &world) {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(24, 24) +
                                              "Projection \"orthographic\"\nScreenWindow -12 12 -12 12\n"
                                              "Translate 0 0 20\nWorldBegin\nSurface \"constant\"\n" +
                                              world + "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.run.err, "");
        return r.image;
    };
    e2e::Image written = frame("Translate -14 -10 0\nRotate 8 0 0 1\nTranslate 1 -1 0\n" + prims);
    e2e::Image instanced = frame("ObjectBegin 1\nTranslate 1 -1 0\n" + prims +
                                 "ObjectEnd\nTranslate -14 -10 0\nRotate 8 0 0 1\nObjectInstance 1\n");
    ASSERT_EQ(written.values.size(), size_t(24 * 24 * 4));
    ASSERT_EQ(instanced.values.size(), written.values.size());
    int lit = 0;
    for (size_t i = 3; i < written.values.size(); i += 4) lit += written.values[i] > 0.5f;
    EXPECT_GT(lit, 120);
    for (size_t i = 0; i < written.values.size(); ++i)
        EXPECT_EQ(instanced.values[i], written.values[i]) << "pixel " << i / 4 % 24 << ", " << i / 96;
}

TEST(Primitives, InstancesOfADefinitionKeptForLaterFramesTakeEachFramesState)
{
    velktest::TempDir dir;
    std::string frames = "ObjectBegin 1\nSphere 1 -1 1 360\nObjectEnd\n";
    const char *colours[2] = {"1 0 0", "0 0 1"};
    for (int f = 1; f <= 2; f++)
        frames += "FrameBegin " + std::to_string(f) + "\nDisplay \"f" + std::to_string(f) +
                  ".tif\" \"file\" \"rgba\"\nFormat 16 16 1\nPixelSamples 1 1\nProjection \"perspective\" "
                  "\"fov\" 40\nTranslate 0 0 5\nWorldBegin\nSurface \"constant\"\nAttributeBegin\nColor [" +
                  colours[f - 1] + "]\nTranslate " + std::to_string(f - 1) + " 0 0\nObjectInstance 1\n"
                  "AttributeEnd\nWorldEnd\nFrameEnd\n";
    velktest::RunResult run = e2e::raylume(dir, frames);
    ASSERT_EQ(run.status, 0) << run.err;
    e2e::Image first = e2e::read_tiff(dir.path() + "/f1.tif"), second = e2e::read_tiff(dir.path() + "/f2.tif");
    ASSERT_FALSE(first.empty() || second.empty());
    // The middle of the first frame's red ball, then of the second's blue one.
    EXPECT_GT(first.at(8, 8, 0), 200);
    EXPECT_LT(first.at(8, 8, 2), 30);
    EXPECT_LT(second.at(11, 8, 0), 30);
    EXPECT_GT(second.at(11, 8, 2), 200);
}

namespace {

const std::string PROCEDURAL_PATH = "Option \"searchpath\" \"procedural\" [\"" VELK_PROCEDURAL_DIR "\"]\n";

// A sphere of radius 5 made by a procedural at the middle of the frame, and
// the disk it covers.
std::string procedural_at_centre(const std::string &kind, const std::string &name, const std::string &args)
{
    return "AttributeBegin\nTranslate 8 8 10\nProcedural \"" + kind + "\" [\"" + name + "\" \"" + args +
           "\"] [-5 5 -5 5 -5 5]\nAttributeEnd\n";
}

float disk_at_centre(float x, float y)
{
    return std::hypot(x - 8, y - 8) - 5;
}

// The number of covered pixels.
int coverage(const e2e::Image &im)
{
    int n = 0;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) n += covered(im, x, y);
    return n;
}

} // namespace

TEST(ProceduralPixels, ArchiveIsReadWhenTheFirstRayReachesItsBound)
{
    velktest::TempDir dir;
    std::string archive = dir.write("ball.rib", "Sphere 5 -5 5 360\n");
    expect_coverage(render(procedural_at_centre("DelayedReadArchive", archive, "")), disk_at_centre);
}

TEST(ProceduralPixels, ProgramIsRunWithTheDetailAndItsRibIsRendered)
{
    velktest::TempDir dir;
    std::string note = dir.path() + "/request.txt";
    e2e::Image im = render(procedural_at_centre("RunProgram", std::string(VELK_RIB_PROGRAM) + " " + note, "5 rest"));
    expect_coverage(im, disk_at_centre);
    // Run once, with the bound's area in pixels: 10 by 10.
    std::string line = dir.read("request.txt");
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.substr(line.find(' ')), " 5 rest\n");
    EXPECT_NEAR(std::atof(line.c_str()), 100, 0.01);
    // A flat 6 by 3 bound turned a quarter: 3 by 6 pixels.
    render("AttributeBegin\nTranslate 8 8 10\nRotate 90 0 0 1\nProcedural \"RunProgram\" [\"" +
           std::string(VELK_RIB_PROGRAM) + " " + note + "\" \"1\"] [-3 3 -1.5 1.5 0 0]\nAttributeEnd\n");
    EXPECT_NEAR(std::atof(dir.read("request.txt").c_str()), 18, 0.01);
}

TEST(ProceduralPixels, GeneratorAnswersEndWithTheFFByte)
{
    velktest::TempDir dir;
    // Generators loop over requests and end each answer with \377; one of
    // them stays on after answering, never reading its input again.
    const std::string answer = "printf 'Sphere %s -%s %s 360\\n\\377' \"$r\" \"$r\" \"$r\"\n";
    const std::string looping = dir.write("loop.sh", "while read d r; do\n" + answer + "done\n");
    const std::string staying = dir.write("stay.sh", "read d r\n" + answer + "exec sleep 1000\n");
    // Errors in an answer name the program.
    const std::string faulty = dir.write("bad.sh", "read d r\nprintf 'Spheer\\n\\377'\n");
    for (const std::string &script : {looping, staying}) {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                              "WorldBegin\nSurface \"constant\"\n" +
                                              procedural_at_centre("RunProgram", "sh " + script, "5") +
                                              "WorldEnd\n");
        EXPECT_EQ(r.run.err, "") << script;
        expect_coverage(r.image, disk_at_centre);
    }
    e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                          "WorldBegin\n" + procedural_at_centre("RunProgram", "sh " + faulty, "5") +
                                          "WorldEnd\n");
    EXPECT_EQ(r.run.err, "ERROR: sh " + faulty + " (1): Syntax error\n    --> \"Spheer\" is not a valid RenderMan 3.1 "
                         "RIB request\n");
}

TEST(ProceduralPixels, BinaryAnswersEndOnlyWhereARequestMayBegin)
{
    velktest::TempDir dir;
    // Radius 4.9999995 as a binary float (40 9f ff ff), -5 as a two-byte
    // fixed-point number (ff fb), names holding the byte in an ASCII string,
    // a binary string and a comment; the generator stays on after the \377.
    const std::string generator = dir.write(
        "binary.sh", "read d r\n"
                     "printf 'Attribute \"identifier\" \"name\" \"a\\377b\"\\n# \\377\\n'\n"
                     "printf 'Attribute \"identifier\" \"name\" \\222\\377\\377\\n'\n"
                     "printf 'Sphere \\244\\100\\237\\377\\377 \\201\\377\\373 \\200\\005 360\\n\\377'\n"
                     "exec sleep 1000\n");
    e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                          "WorldBegin\nSurface \"constant\"\n" +
                                          procedural_at_centre("RunProgram", "sh " + generator, "5") + "WorldEnd\n");
    EXPECT_EQ(r.run.err, "");
    expect_coverage(r.image, disk_at_centre);
}

TEST(ProceduralPixels, EndlessAnswersAreStoppedAndTheRestRenders)
{
    velktest::TempDir dir;
    // One answers without end, one trickles; each notes its process id.
    const std::string note = "echo $$ > " + dir.path() + "/pid\n";
    const std::string flood = dir.write("flood.sh", "read d r\n" + note + "while :; do echo '# more'; done\n");
    const std::string trickle =
        dir.write("trickle.sh", "read d r\n" + note + "while :; do echo '# more'; sleep 0.1; done\n");
    const std::string limits = "Option \"limits\" \"integer programanswer\" [64] \"integer programtime\" [1]\n";
    const struct {
        std::string script, message;
    } cases[] = {
        {flood, "answered more than 65536 bytes without ending; it was stopped"},
        {trickle, "did not end its answer within 1 seconds; it was stopped"},
    };
    for (const auto &c : cases) {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                              limits + "WorldBegin\nSurface \"constant\"\n" +
                                              procedural_at_centre("RunProgram", "sh " + c.script, "5") +
                                              e2e::unit_disk(1, 1) + "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0);
        EXPECT_NE(r.run.err.find(c.message), std::string::npos) << r.run.err;
        ASSERT_FALSE(r.image.empty());
        EXPECT_TRUE(covered(r.image, 1, 1));
        EXPECT_EQ(coverage(r.image), 1);
        std::string pid = dir.read("pid");
        ASSERT_FALSE(pid.empty());
        std::string stat = dir.read("/proc/" + pid.substr(0, pid.size() - 1) + "/stat");
        EXPECT_TRUE(stat.empty() || stat.find(") Z") != std::string::npos) << stat;
    }
}

TEST(ProceduralPixels, GeneratorsDoNotOutliveAnEndedRenderer)
{
    velktest::TempDir dir;
    const std::string silent = dir.write("silent.sh", "read d r\necho $$ > silent.pid\nexec sleep 1000\n");
    dir.write("scene.rib", e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) + "WorldBegin\n" +
                               procedural_at_centre("RunProgram", "sh " + silent, "5") + "WorldEnd\n");
    for (const char *how : {"TERM", "KILL"}) {
        // The renderer is ended while it waits for the answer.
        velktest::RunResult run = velktest::run(
            {"/bin/sh", "-c",
             "rm -f silent.pid; " + velktest::program("raylume") + " -silent scene.rib > /dev/null & r=$!; "
             "while [ ! -s silent.pid ]; do sleep 0.05; done; kill -" + how + " $r; wait $r; sleep 0.3; "
             "p=$(cat silent.pid); if [ -d /proc/$p ] && ! grep -q ') Z' /proc/$p/stat; then echo left $p; "
             "kill -9 $p; fi"},
            [&] {
                velktest::RunOptions o;
                o.cwd = dir.path();
                o.timeout_seconds = 30;
                return o;
            }());
        EXPECT_EQ(run.out, "") << how;
        EXPECT_FALSE(run.timed_out);
    }
}

TEST(ProceduralPixels, SelfCopyingProceduralsStopAtTheFrameBound)
{
    velktest::TempDir dir;
    // The archive names itself twice; the generator emits two copies of itself.
    const std::string archive = dir.path() + "/twice.rib";
    const std::string copy = "Procedural \"DelayedReadArchive\" [\"" + archive + "\"] [-5 5 -5 5 -5 5]\n";
    dir.write("twice.rib", copy + copy);
    const std::string program = "Procedural \"RunProgram\" [\"sh " + dir.path() + "/twice.sh\" \"\"] [-5 5 -5 5 -5 5]\n";
    dir.write("twice.sh", "read d r\ncat <<'END'\n" + program + program + "END\n");
    // And a plain archive that reads itself twice.
    const std::string read = "ReadArchive \"" + dir.path() + "/read.rib\"\n";
    dir.write("read.rib", read + read);
    for (const std::string &start : {copy, program, read}) {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                              "Option \"limits\" \"integer expansions\" [100]\n"
                                              "WorldBegin\nSurface \"constant\"\nAttributeBegin\nTranslate 8 8 10\n" +
                                              start + "AttributeEnd\n" + e2e::unit_disk(1, 1) + "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0) << start;
        // Reported even after the nesting limit has been (on the same line).
        const std::string message = "More than 100 archives and procedurals expanded in one frame";
        size_t at = r.run.err.find(message);
        EXPECT_NE(at, std::string::npos) << start << r.run.err;
        EXPECT_EQ(r.run.err.find(message, at + 1), std::string::npos) << start;
        // The rest renders.
        ASSERT_FALSE(r.image.empty()) << start;
        EXPECT_TRUE(covered(r.image, 1, 1)) << start;
    }
}

TEST(ProceduralPixels, LibraryCallsBackIntoTheRenderer)
{
    expect_coverage(render(procedural_at_centre("DynamicLoad", "procsphere.so", "5"), PROCEDURAL_PATH),
                    disk_at_centre);
}

TEST(ProceduralPixels, FailuresAreReportedOnceAndLeaveTheBoundEmpty)
{
    velktest::TempDir dir;
    const struct {
        std::string kind, name, message;
    } cases[] = {
        {"RunProgram", dir.path() + "/no-such-program",
         "RiProcRunProgram could not run program \"" + dir.path() + "/no-such-program\""},
        {"DynamicLoad", "no-such-$ARCH.so", "ProcDynamicLoad could not find DSO \"no-such-$ARCH.so\""},
        {"DynamicLoad", "procnofree.so", "Proc DSO \"procnofree.so\" had no Free routine"},
    };
    for (const auto &c : cases) {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                              PROCEDURAL_PATH + "WorldBegin\nSurface \"constant\"\n" +
                                              procedural_at_centre(c.kind, c.name, "5") + "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0) << r.run.err;
        ASSERT_FALSE(r.image.empty()) << c.name << r.run.err;
        EXPECT_EQ(coverage(r.image), 0) << c.name;
        size_t at = r.run.err.find(c.message);
        ASSERT_NE(at, std::string::npos) << r.run.err;
        EXPECT_EQ(r.run.err.find(c.message, at + 1), std::string::npos) << r.run.err;
    }
}
