// Scenes that ask too much or say something impossible: the renderer answers
// with a message and an exit status, in bounded time and memory, and renders
// what it can.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/render_support.h"

using e2e::Image;

namespace {

const int W = 6, H = 4;

// A constant white disk that covers the whole frame of the pixel camera.
std::string covering_disk()
{
    return "Surface \"constant\"\nTranslate 3 2 0\nDisk 0 1000 360\n";
}

// Renders options + the pixel camera + a world to a float dump.
e2e::Render frame(const std::string &options, const std::string &world)
{
    return e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + options + e2e::pixel_camera(W, H) +
                                 "WorldBegin\n" + world + "WorldEnd\n");
}

bool all_white(const Image &im)
{
    if (im.empty()) return false;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            if (im.at(x, y, 0) < 0.99f || im.at(x, y, 3) < 0.99f) return false;
    return true;
}

} // namespace

TEST(BadInputRender, AFrameBeyondMemoryIsRefusedAsOutOfCore)
{
    for (const char *format : {"Format 2147483647 2147483647 1\n", "Format 1e30 1e30 1\n"}) {
        e2e::Render r = frame(format, covering_disk());
        EXPECT_EQ(r.run.status, 255) << format << r.run.err;
        EXPECT_NE(r.run.err.find("out of core memory"), std::string::npos) << r.run.err;
    }
}

TEST(BadInputRender, AFrameBeyondTheMemoryAtHandLeavesThePreviousPictureAsItWas)
{
    // The second frame asks for more samples than the 400 MB at hand: one
    // message, and the file of the first frame stays byte for byte.
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    velktest::TempDir dir;
    const struct {
        const char *display, *name, *format;
    } cases[] = {{"Display \"keep.tif\" \"file\" \"rgba\"\n", "keep.tif", "Format 500000 300 1\n"},
                 {"Display \"keep.z\" \"zfile\" \"z\"\n", "keep.z", "Format 65000 600 1\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string world = e2e::pixel_camera(W, H) + "WorldBegin\n" + covering_disk() + "WorldEnd\n";
        velktest::RunResult first = e2e::raylume(dir, c.display + std::string("Format 6 4 1\n") + world);
        ASSERT_EQ(first.status, 0) << first.err;
        const std::string kept = dir.read(c.name);
        ASSERT_GT(kept.size(), 100u);
        dir.write("big.rib", c.display + std::string(c.format) + world);
        velktest::RunOptions opts;
        opts.cwd = dir.path();
        velktest::RunResult r = velktest::run(
            {"/bin/sh", "-c", "ulimit -v 400000 && exec \"$0\" -silent big.rib", velktest::program("raylume")}, opts);
        EXPECT_EQ(r.status, 255) << r.err;
        const size_t at = r.err.find("out of core memory");
        EXPECT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("out of core memory", at + 1), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("TIFF"), std::string::npos) << r.err;
        EXPECT_EQ(dir.read(c.name), kept);
        const std::string listing = velktest::run({"/bin/ls", "-A", dir.path()}).out;
        EXPECT_EQ(listing.find(std::string(c.name) + "."), std::string::npos) << listing;
    }
}

TEST(BadInputRender, AnOutputThatCannotBeWrittenIsOneMessageAndTheOldFileStays)
{
    // Files are limited to 1 KB: the 64 x 64 frame cannot be stored.
    velktest::TempDir dir;
    for (const char *display : {"Display \"keep\" \"file\" \"rgba\"\nQuantize \"rgba\" 0 0 0 0\n",
                                "Display \"keep\" \"zfile\" \"z\"\n"}) {
        SCOPED_TRACE(display);
        dir.write("keep", "the old picture");
        dir.write("scene.rib", display + std::string("Format 64 64 1\n") + e2e::pixel_camera(64, 64) +
                                   "WorldBegin\n" + covering_disk() + "WorldEnd\n");
        velktest::RunOptions opts;
        opts.cwd = dir.path();
        velktest::RunResult r = velktest::run(
            {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 2 && exec \"$0\" -silent scene.rib", velktest::program("raylume")},
            opts);
        EXPECT_EQ(r.err.rfind("ERROR: scene.rib (", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("): Bad file\n    --> Could not write file \"keep\""), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
        EXPECT_EQ(r.status, 1);   // a script can tell the picture was not made
        EXPECT_EQ(dir.read("keep"), "the old picture");
        EXPECT_EQ(velktest::run({"/bin/ls", "-A", dir.path()}).out, "keep\nscene.rib\n");
    }
    // Nor does a picture take the place of the RIB being read, by its name or on standard input.
    const std::string rib = "Display \"scene.rib\" \"file\" \"rgba\"\n" + e2e::pixel_camera(W, H) + "WorldBegin\n" +
                            covering_disk() + "WorldEnd\n";
    for (bool piped : {false, true}) {
        velktest::RunOptions opts;
        opts.cwd = dir.path();
        dir.write("scene.rib", rib);
        velktest::RunResult r = piped ? velktest::run({"/bin/sh", "-c", "exec \"$0\" -silent < scene.rib",
                                                       velktest::program("raylume")}, opts)
                                      : velktest::run({velktest::program("raylume"), "-silent", "scene.rib"}, opts);
        EXPECT_NE(r.err.find("Display: the output \"scene.rib\" is a file being read"), std::string::npos) << r.err;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(dir.read("scene.rib"), rib);
    }
    // Nor of an archive, a shader, a procedural program (found on PATH) or library the frame read.
    dir.write("part.rib", covering_disk());
    ASSERT_EQ(velktest::murn_compile(dir, "flat", "surface flat() { Ci = 1; }\n").status, 0);
    const std::string shader = dir.read("flat.murn");
    const std::string program = dir.write("gen", "#!/bin/sh\ncat part.rib\n");
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    std::filesystem::copy_file(VELK_RX_PLUGIN, dir.path() + "/lib.so");
    const std::string library = dir.read("lib.so");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.env["PATH"] = dir.path() + ":/usr/bin:/bin";
    for (const char *input : {"part.rib", "flat.murn", "gen", "lib.so"}) {
        dir.write("scene.rib", "Option \"searchpath\" \"shader\" [\".:&\"] \"procedural\" [\".\"]\nDisplay \"" +
                                   std::string(input) + "\" \"file\" \"rgba\"\n" + e2e::pixel_camera(W, H) +
                                   "WorldBegin\nSurface \"flat\"\nReadArchive \"part.rib\"\n"
                                   "Procedural \"RunProgram\" [\"gen\" \"\"] [-1e4 1e4 -1e4 1e4 -1 1]\n"
                                   "Procedural \"DynamicLoad\" [\"lib.so\" \"\"] [-1e4 1e4 -1e4 1e4 -1 1]\n"
                                   "WorldEnd\n");
        velktest::RunResult r = velktest::run({velktest::program("raylume"), "-silent", "scene.rib"}, opts);
        EXPECT_NE(r.err.find("Display: the output \"" + std::string(input) + "\" is a file this frame read"),
                  std::string::npos) << r.err;
        EXPECT_EQ(dir.read("part.rib"), covering_disk());
        EXPECT_EQ(dir.read("flat.murn"), shader);
        EXPECT_EQ(dir.read("gen"), "#!/bin/sh\ncat part.rib\n");
        EXPECT_EQ(dir.read("lib.so"), library);
    }
    // A shader, a shadeop library or the noise library loaded by an earlier
    // frame is an input of every frame using it.
    std::filesystem::copy_file(VELK_SHADEOP_DIR "/testops.so", dir.path() + "/testops.so");
    std::filesystem::copy_file(VELK_RX_PLUGIN, dir.path() + "/librx.so");
    ASSERT_EQ(velktest::murn_compile(dir, "sqflat", "surface sqflat() { float f = sq(0.5); Ci = f; }\n").status, 0);
    const std::string frame = e2e::pixel_camera(W, H) + "WorldBegin\nSurface \"flat\"\nSphere 1 -1 1 360\n"
                              "Translate 3 2 0\nSurface \"sqflat\"\nSphere 1 -1 1 360\nWorldEnd\n";
    for (const char *input : {"flat.murn", "testops.so", "librx.so"}) {
        SCOPED_TRACE(input);
        const std::string before = dir.read(input);
        dir.write("scene.rib", "Option \"searchpath\" \"shader\" [\".:&\"]\nOption \"render\" \"useprmannoise\" [1]\n"
                               "FrameBegin 1\nDisplay \"one.tif\" \"file\" \"rgba\"\n" + frame +
                               "FrameEnd\nFrameBegin 2\nDisplay \"" + input + "\" \"file\" \"rgba\"\n" + frame +
                               "FrameEnd\n");
        velktest::RunResult r = velktest::run({velktest::program("raylume"), "-silent", "scene.rib"}, opts);
        EXPECT_NE(r.err.find("Display: the output \"" + std::string(input) + "\" is a file this frame read"),
                  std::string::npos) << r.err;
        EXPECT_TRUE(dir.read(input) == before);
    }
}

TEST(BadInputRender, FramesOfMoreThanAHundredThousandPixelsAreDrawnToTheirFarEdge)
{
    // A crop window at the far end of a very tall and a very wide frame, each
    // primitive covering the whole view.
    const char *frames[] = {"Format 2000 150001 1\nCropWindow 0 0.001 0.9999 1\n",
                            "Format 150001 300 1\nCropWindow 0.99995 1 0.5 0.51\n"};
    const char *prims[] = {"Polygon \"P\" [-1e4 -1e4 0 1e4 -1e4 0 1e4 1e4 0 -1e4 1e4 0]\n",
                           "Patch \"bilinear\" \"P\" [-1e4 -1e4 0 1e4 -1e4 0 -1e4 1e4 0 1e4 1e4 0]\n",
                           "Disk 0 1e4 360\n"};
    for (const char *format : frames)
        for (const char *prim : prims) {
            SCOPED_TRACE(std::string(format) + prim);
            e2e::Render r = e2e::render_floatdump(std::string("Display \"dump\" \"floatdump\" \"rgba\"\n") +
                                                  "Quantize \"rgba\" 0 0 0 0\nPixelSamples 1 1\n" + format +
                                                  "Projection \"perspective\" \"fov\" 40\nWorldBegin\n"
                                                  "Surface \"constant\"\nTranslate 0 0 5\n" + prim + "WorldEnd\n");
            EXPECT_EQ(r.run.status, 0) << r.run.err;
            ASSERT_FALSE(r.image.empty()) << r.run.out;
            EXPECT_TRUE(all_white(r.image));
        }
}

TEST(BadInputRender, TooDeepANestingNamesTheStackThatIsFull)
{
    const struct {
        std::string begin, end;
        const char *stack;
    } cases[] = {{"AttributeBegin\n", "AttributeEnd\n", "Attribute stack overflow"},
                 {"AttributeBegin\nTransformBegin\n", "TransformEnd\nAttributeEnd\n", "Transformation stack overflow"},
                 {"TransformBegin\n", "TransformEnd\n", "Transformation stack overflow"}};
    for (const auto &c : cases) {
        std::string begins, ends;
        for (int i = 0; i < 130; ++i) begins += c.begin, ends += c.end;
        velktest::TempDir dir;
        velktest::RunResult r = e2e::raylume(dir, "Display \"x\" \"floatdump\" \"rgba\"\nFormat 2 2 1\nWorldBegin\n" +
                                                      begins + covering_disk() + ends + "WorldEnd\n");
        EXPECT_EQ(r.status, 255);
        EXPECT_NE(r.err.find(std::string("Program limit\n    --> ") + c.stack + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    }
}

TEST(BadInputRender, HugeSampleCountsAndFilterWidthsAreClampedWithAWarning)
{
    e2e::Render r = frame("PixelSamples 65536 65536\n", covering_disk());
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_NE(r.run.err.find("clamped"), std::string::npos) << r.run.err;
    EXPECT_TRUE(all_white(r.image));
    for (const char *filter : {"PixelFilter \"gaussian\" 1e6 1e6\n", "PixelFilter \"gaussian\" 3000 3000\n"}) {
        r = frame(filter, covering_disk());
        EXPECT_EQ(r.run.status, 0) << filter << r.run.err;
        EXPECT_NE(r.run.err.find("clamped"), std::string::npos) << r.run.err;
        EXPECT_TRUE(all_white(r.image)) << filter;
    }
}

// An error that ends the run is its last message: nothing after it is read,
// rendered or written, and raylume ends with status 255.
TEST(BadInputRender, AnErrorThatEndsTheRunIsTheLastThingDone)
{
    velktest::TempDir dir;
    dir.write("inner.rib", "Surface \"nosuch\"\nDisk 0 1000 360\n");
    const std::string frame = "Format 8 8 1\nWorldBegin\n" + covering_disk() + "WorldEnd\n";
    const struct {
        std::string rib, last;
    } cases[] = {
        // A nesting error, with requests and errors after it.
        {"Display \"a.tif\" \"file\" \"rgba\"\nWorldBegin\nWorldBegin\nBogus\n" + frame,
         "RiWorldBegin called at inappropriate level\n"},
        // An output that cannot be opened, with a frame after it.
        {"Display \"no/such/dir/b.tif\" \"file\" \"rgba\"\n" + frame + "Display \"c.tif\" \"file\" \"rgba\"\n" + frame,
         "Could not open file \"no/such/dir/b.tif\"\n"},
        // An error of a procedural expanded while the frame is rendered, under the abort handler.
        {"ErrorHandler \"abort\"\nDisplay \"d.tif\" \"file\" \"rgba\"\nFormat 8 8 1\nWorldBegin\n"
         "Procedural \"DelayedReadArchive\" [\"inner.rib\"] [-1e4 1e4 -1e4 1e4 -1 1]\nWorldEnd\nBogus\n",
         "    --> nosuch\n"},
        // The renderer still inside its world at the end of the input.
        {"Display \"e.tif\" \"file\" \"rgba\"\nFormat 8 8 1\nWorldBegin\n" + covering_disk(),
         "RiEnd called at inappropriate level\n"},
    };
    for (const auto &c : cases) {
        velktest::RunResult r = e2e::raylume(dir, c.rib, {"-v"});
        EXPECT_EQ(r.status, 255) << c.rib << r.err;
        EXPECT_EQ(r.err.size() >= c.last.size() ? r.err.substr(r.err.size() - c.last.size()) : r.err, c.last);
        EXPECT_EQ(r.out.find("Done computing"), std::string::npos) << r.out;
        EXPECT_EQ(velktest::run({"/bin/ls", "-A", dir.path()}).out, "inner.rib\nscene.rib\n");
    }
}

TEST(BadInputRender, FrameAndWorldRequestsInsideAProceduralAreRefusedAndTheRestIsRendered)
{
    velktest::TempDir dir;
    dir.write("inner.rib", "WorldEnd\nWorldBegin\nFrameBegin 2\nFrameEnd\n"
                           "Surface \"constant\"\nTranslate 3 2 0\nDisk 0 1000 360\n");
    for (const char *proc : {"Procedural \"DelayedReadArchive\" [\"inner.rib\"] [-1e4 1e4 -1e4 1e4 -1 1]\n",
                             "Procedural \"RunProgram\" [\"cat inner.rib\" \"\"] [-1e4 1e4 -1e4 1e4 -1 1]\n"}) {
        velktest::RunResult run = e2e::raylume(dir, e2e::exact_floatdump_options(W, H) + e2e::pixel_camera(W, H) +
                                                        "WorldBegin\n" + proc + "WorldEnd\n");
        EXPECT_EQ(run.status, 0) << run.err;
        for (const char *request : {"RiWorldEnd", "RiWorldBegin", "RiFrameBegin", "RiFrameEnd"})
            EXPECT_NE(run.err.find(std::string(request) + " is not allowed inside a procedural primitive"),
                      std::string::npos) << proc << run.err;
        EXPECT_EQ(run.out.rfind("6 4 rgba\n1 1 1 1 ", 0), 0u) << proc << run.out;
    }
}

TEST(BadInputRender, AnOpenSolidAnUnknownWrapWordAndAnInfiniteDisplacementBoundAreReported)
{
    e2e::Render r = frame("", "PatchMesh \"bilinear\" 2 \"perodic\" 2 \"nonperiodic\" \"P\" [0 0 0 1 0 0 0 1 0 1 1 0]\n"
                              "Attribute \"displacementbound\" \"sphere\" 1e39\n"
                              "SolidBegin \"primitive\"\n" + covering_disk());
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_NE(r.run.err.find("Bad wrap mode for PatchMesh: \"perodic\""), std::string::npos) << r.run.err;
    EXPECT_NE(r.run.err.find("\"displacementbound\" \"sphere\": bound inf is not finite"), std::string::npos)
        << r.run.err;
    EXPECT_NE(r.run.err.find("SolidBegin without SolidEnd"), std::string::npos) << r.run.err;
    // The solid's contents and the object with the bad bound are still drawn.
    EXPECT_TRUE(all_white(r.image));
}

TEST(BadInputRender, AParameterOfTheWrongLengthIsDroppedAndItsRequestKept)
{
    e2e::Render r = frame("", "Color [0 1 0]\nSurface \"constant\"\n"
                              "\"int quality\" [7 8]\n"
                              "\"string names\" [\"a\" \"b\"]\n"
                              "\"float[3] f\" [1 2]\n"
                              "\"uniform float[2] x\" [1 2 3]\n"
                              "\"color c\" [1 1 1 1]\n"
                              "\"integer[2] ok\" [1 2]\n"
                              "Translate 3 2 0\nDisk 0 1000 360\n");
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    for (const char *told : {"\"int quality\" (found 2, expected 1)", "\"string names\" (found 2, expected 1)",
                             "\"float[3] f\" (found 2, expected 3)", "\"uniform float[2] x\" (found 3, expected 2)",
                             "\"color c\" (found 4, expected 3)"})
        EXPECT_NE(r.run.err.find(std::string("Wrong amount of data in array: ") + told + "\n"), std::string::npos)
            << told << "\n" << r.run.err;
    EXPECT_EQ(r.run.err.find("ok"), std::string::npos) << r.run.err;
    EXPECT_EQ(r.run.err.find("Missing"), std::string::npos) << r.run.err;
    // The surface was bound: every pixel is its constant green.
    ASSERT_FALSE(r.image.empty()) << r.run.out;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            EXPECT_EQ(r.image.at(x, y, 0), 0.0f) << x << ", " << y;
            EXPECT_EQ(r.image.at(x, y, 1), 1.0f) << x << ", " << y;
        }
}

TEST(BadInputRender, AShaderOfTheWrongKindIsRefusedAndTheRestIsRendered)
{
    // Each refused request leaves what was there: the matte surface, lit by
    // the ambient light alone (Ka 1, intensity 1), so white; no imager, no atmosphere.
    e2e::Render r = frame("Imager \"matte\"\n",
                          "LightSource \"paintedplastic\" 1\nLightSource \"ambientlight\" 2\nIlluminate 1 1\n"
                          "AreaLightSource \"constant\" 3\nSurface \"matte\"\nSurface \"pointlight\"\n"
                          "Displacement \"spotlight\"\nAtmosphere \"plastic\"\nInterior \"bumpy\"\n"
                          "Exterior \"ambientlight\"\nTranslate 3 2 0\nDisk 0 1000 360\n");
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_TRUE(all_white(r.image)) << r.run.out;
    for (const char *said : {"\"matte\" is of kind surface; Imager takes imager shaders",
                             "\"paintedplastic\" is of kind surface; LightSource takes light shaders",
                             "Bad handle for RiIlluminate()",
                             "\"constant\" is of kind surface; AreaLightSource takes light shaders",
                             "\"pointlight\" is of kind light; Surface takes surface shaders",
                             "\"spotlight\" is of kind light; Displacement takes displacement shaders",
                             "\"plastic\" is of kind surface; Atmosphere takes volume shaders",
                             "\"bumpy\" is of kind displacement; Interior takes volume shaders",
                             "\"ambientlight\" is of kind light; Exterior takes volume shaders"})
        EXPECT_NE(r.run.err.find(said), std::string::npos) << said << "\n" << r.run.err;
    EXPECT_EQ(r.run.err.find("SEVERE"), std::string::npos) << r.run.err;
}
