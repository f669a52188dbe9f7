// pevrin run on real scenes on a private X server: the dumped pictures and
// depth files, the command line, the end-of-run wait and the frame command.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/x11_peer.h"
#include "tests/preview/pevrin_run.h"

namespace {

using previewtest::Picture;
using previewtest::server;

const char ORTHO_40[] = "Format 40 40 1\nProjection \"orthographic\"\n";

// A square facing the camera at depth 1, x in [x0, x1] and y in [y0, y1].
std::string square(float x0, float x1, float y0, float y1)
{
    char text[256];
    std::snprintf(text, sizeof text, "Polygon \"P\" [%g %g 1  %g %g 1  %g %g 1  %g %g 1]\n", x0, y0, x0, y1, x1, y1,
                  x1, y0);
    return text;
}

// The scene of one square-picture world: 40 x 40 pixels seen orthographically,
// written to the named file, the geometry in the colour.
std::string scene(const std::string &file, const char *colour, const std::string &geometry)
{
    return std::string(ORTHO_40) + "Display \"" + file + "\" \"file\" \"rgba\"\nWorldBegin\nColor [" + colour +
           "]\n" + geometry + "WorldEnd\n";
}

using Pevrin = previewtest::PevrinTest;

TEST_F(Pevrin, RedSquareDrawnUnlitCoversItsPixels)
{
    Picture p = run_picture({"-nowait", "-unlit", "-dumprgba"}, scene("sq.tif", "1 0 0", square(-0.5f, 0.5f, -0.5f, 0.5f)),
                            "sq.tif");
    ASSERT_EQ(p.width, 40);
    ASSERT_EQ(p.height, 40);
    // Pixels 10..29 both ways; the head-on light adds its highlight to all channels.
    for (int y = 0; y < 40; y++) {
        for (int x = 0; x < 40; x++) {
            bool inside = x >= 10 && x <= 29 && y >= 10 && y <= 29;
            const unsigned char *c = p.at(x, y);
            if (inside) {
                EXPECT_EQ(c[0], 255) << x << "," << y;
                EXPECT_NEAR(c[1], 128, 4) << x << "," << y;
                EXPECT_EQ(c[1], c[2]);
            } else {
                EXPECT_TRUE(p.black(x, y)) << x << "," << y;
            }
        }
    }
}

TEST_F(Pevrin, ObjectInstancesAreDrawnWhereTheyArePlacedInTheirOwnColour)
{
    // One object defined before the world, one inside it; each placed once,
    // in the colour current where it is placed. Vertex colours stay their own.
    std::string small = square(-0.1f, 0.1f, -0.1f, 0.1f), below = square(-0.1f, 0.1f, -0.6f, -0.4f);
    below.insert(below.size() - 1, " \"Cs\" [0 0 1  0 0 1  0 0 1  0 0 1]");
    std::string rib = std::string(ORTHO_40) + "ObjectBegin 1\n" + below + small + "ObjectEnd\n" +
                      "Display \"inst.tif\" \"file\" \"rgba\"\nWorldBegin\nColor [1 0 0]\n" +
                      "ObjectBegin 2\nColor [0 0 1]\n" + small + "ObjectEnd\nColor [0 1 0]\n" +
                      "AttributeBegin\nTranslate -0.5 0 0\nObjectInstance 1\nAttributeEnd\n"
                      "AttributeBegin\nTranslate 0.5 0 0\nObjectInstance 2\nAttributeEnd\nWorldEnd\n";
    velktest::RunResult r = run({"-nowait", "-unlit", "-dumprgba"}, rib);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    Picture p = picture("inst.tif");
    ASSERT_EQ(p.width, 40);
    for (int x : {10, 30}) {
        EXPECT_EQ(p.at(x, 20)[1], 255) << x;
        EXPECT_LT(p.at(x, 20)[0], 200) << x;
        EXPECT_LT(p.at(x, 20)[2], 200) << x;
    }
    EXPECT_LT(p.at(10, 30)[1], 200);
    EXPECT_EQ(p.at(10, 30)[2], 255);
    EXPECT_TRUE(p.black(20, 20));
    EXPECT_TRUE(p.black(10, 10));
}

TEST_F(Pevrin, OneModelOfALevelOfDetailSetIsDrawn)
{
    // A bound of 4 x 4 pixels: the middle of three models.
    std::string models = "AttributeBegin\nDetail [-0.1 0.1 -0.1 0.1 0 2]\n"
                         "DetailRange [0 0 10 10]\n" + square(-0.9f, -0.5f, -0.2f, 0.2f) +
                         "DetailRange [10 10 100 100]\n" + square(-0.2f, 0.2f, -0.2f, 0.2f) +
                         "DetailRange [100 100 1e38 1e38]\n" + square(0.5f, 0.9f, -0.2f, 0.2f) + "AttributeEnd\n";
    Picture p = run_picture({"-nowait", "-unlit", "-dumprgba"}, scene("lod.tif", "1 0 0", models), "lod.tif");
    ASSERT_EQ(p.width, 40);
    EXPECT_TRUE(p.covered(20, 20));
    EXPECT_FALSE(p.covered(6, 20));
    EXPECT_FALSE(p.covered(34, 20));
}

TEST_F(Pevrin, AMotionBlockOfThreeTimesIsDrawnAtItsFirstKey)
{
    std::string moving = "MotionBegin [0 0.4 1]\nTranslate -0.5 0 0\nTranslate 0 0.5 0\nTranslate 0.5 0 0\n"
                         "MotionEnd\n" + square(-0.1f, 0.1f, -0.1f, 0.1f);
    velktest::RunResult r = run({"-nowait", "-unlit", "-dumprgba"}, scene("motion.tif", "1 0 0", moving));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("scene.rib (6): Program limit\n"
                         "    --> Motion blocks of more than two times keep their first and last keys\n"),
              std::string::npos) << r.err;
    Picture p = picture("motion.tif");
    ASSERT_EQ(p.width, 40);
    EXPECT_TRUE(p.covered(10, 20));
    EXPECT_FALSE(p.covered(20, 20));
    EXPECT_FALSE(p.covered(20, 10));
}

TEST_F(Pevrin, BlobbiesAndNamedGeometryAreToldOnceEachAndNotDrawn)
{
    std::string blobby = "Blobby 1 [1001 0] [0.5 0 0 0 0 0.5 0 0 0 0 0.5 0 0 0 1 1] []\n";
    velktest::RunResult r = run({"-nowait", "-unlit", "-dumprgba"},
                                scene("none.tif", "1 0 0", blobby + blobby + "Geometry \"teapot\"\nGeometry \"teapot\"\n"));
    EXPECT_EQ(r.status, 0);
    for (const char *told : {"scene.rib (6): Optional RI feature not implemented\n"
                             "    --> Blobby primitive not currently supported\n",
                             "scene.rib (8): Optional RI feature not implemented\n"
                             "    --> Geometry \"teapot\" not currently supported\n"})
        EXPECT_NE(r.err.find(told), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 4) << r.err;
    Picture p = picture("none.tif");
    ASSERT_EQ(p.width, 40);
    EXPECT_FALSE(p.covered(20, 20));
}

TEST_F(Pevrin, LaterLargerFramesAreDrawnWhole)
{
    std::string frames;
    const char *sizes[] = {"40 30", "80 60"};
    for (int f = 0; f < 2; f++)
        frames += "FrameBegin " + std::to_string(f) + "\nFormat " + sizes[f] + " 1\nDisplay \"f" + std::to_string(f) +
                  ".tif\" \"file\" \"rgba\"\nWorldBegin\nColor [1 0 0]\n" + square(-2, 2, -2, 2) +
                  "WorldEnd\nFrameEnd\n";
    for (const char *buffering : {"-nowait", "-1buffer"}) {
        SCOPED_TRACE(buffering);
        velktest::RunResult r = run({"-nowait", buffering, "-unlit", "-dumprgba"},
                                    "Projection \"orthographic\"\n" + frames);
        EXPECT_EQ(r.status, 0) << r.err;
        Picture p = picture("f1.tif");
        ASSERT_EQ(p.width, 80);
        ASSERT_EQ(p.height, 60);
        for (int y : {0, 59})
            for (int x : {0, 79}) EXPECT_EQ(p.at(x, y)[0], 255) << x << "," << y;
    }
}

TEST_F(Pevrin, WireframeShowsEdgesOnly)
{
    Picture p = run_picture({"-nowait", "-lines", "-dumprgb"}, scene("w.tif", "1 0 0", square(-0.5f, 0.5f, -0.5f, 0.5f)),
                            "w.tif");
    ASSERT_EQ(p.width, 40);
    // The interior keeps the dark grey background; the left and top edges are red.
    const unsigned char *inside = p.at(20, 20);
    EXPECT_NEAR(inside[0], 26, 2);
    EXPECT_NEAR(inside[1], 26, 2);
    EXPECT_NEAR(inside[2], 26, 2);
    EXPECT_TRUE(p.red(9, 20) || p.red(10, 20) || p.red(11, 20));
    EXPECT_TRUE(p.red(20, 9) || p.red(20, 10) || p.red(20, 11));
}

TEST_F(Pevrin, FrontBufferDumpsAndNoDisplay)
{
    // Drawn straight into the front buffer and read back from there.
    Picture p = run_picture({"-nowait", "-unlit", "-1buffer", "-dumprgba"},
                            scene("front.tif", "1 0 0", square(-0.5f, 0.5f, -0.5f, 0.5f)), "front.tif");
    ASSERT_EQ(p.width, 40);
    EXPECT_EQ(p.at(20, 20)[0], 255);
    EXPECT_TRUE(p.black(2, 2));

    // Without an X server there is no window: a severe error ends the run.
    velktest::RunOptions o = options();
    o.env["DISPLAY"] = "unix:64999";
    velktest::RunResult r = velktest::run(
        {velktest::program("pevrin"), "-nowait", "-dumprgba", dir.write("nowin.rib", scene("nowin.tif", "1 0 0", ""))}, o);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err.find("SEVERE ERROR: "), 0u) << r.err;
    EXPECT_NE(r.err.find("nowin.rib (4): System error\n    --> Could not open a window with an OpenGL context: the X display "
                         "\"unix:64999\" named by DISPLAY could not be opened\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Win32"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("nowin.tif"));
}

TEST_F(Pevrin, DepthDumpBesideTheImageRowsFromTheTop)
{
    // A rectangle in the upper part of the picture: rows 4..15 from the top.
    velktest::RunResult r = run({"-dumprgbaz", "-unlit"}, scene("out", "1 0 0", square(-0.5f, 0.5f, 0.2f, 0.8f)));
    // A dump never waits for a key.
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Picture p = picture("out");
    ASSERT_EQ(p.width, 40);
    EXPECT_EQ(p.at(20, 10)[0], 255);
    EXPECT_TRUE(p.black(20, 30));

    std::string z = dir.read("out.zfile");
    ASSERT_EQ(z.size(), 136u + 40 * 40 * 4);
    EXPECT_EQ(z.substr(0, 4), std::string("\x2f\x08\x67\xab", 4));
    EXPECT_EQ(uint8_t(z[4]) * 256 + uint8_t(z[5]), 40);
    EXPECT_EQ(uint8_t(z[6]) * 256 + uint8_t(z[7]), 40);
    auto depth = [&](int x, int y) { return previewtest::zfile_depth(z, 40, x, y); };
    EXPECT_NEAR(depth(20, 10), 1.0f, 0.05f);
    EXPECT_EQ(depth(20, 30), 1e30f);

    // A dump that cannot be stored (files limited to 1 KB) leaves the one before.
    velktest::RunResult cut = velktest::run(
        {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 2 && exec \"$0\" -dumprgbaz -unlit \"$1\"", velktest::program("pevrin"),
         dir.write("moved.rib", scene("out", "1 0 0", square(-0.5f, 0.5f, -0.8f, -0.2f)))},
        options());
    EXPECT_NE(cut.err.find("Could not write file \"out.zfile\""), std::string::npos) << cut.err;
    EXPECT_EQ(dir.read("out.zfile"), z);
    EXPECT_EQ(velktest::run({"/bin/ls", "-A", dir.path()}).out, "moved.rib\nout\nout.zfile\nscene.rib\n");

    // Neither dump takes the place of the RIB being read.
    for (std::string rib : {"self", "self.zfile"}) {
        const std::string text = scene("self", "1 0 0", square(-0.5f, 0.5f, 0.2f, 0.8f));
        velktest::RunResult own =
            velktest::run({velktest::program("pevrin"), "-dumprgbaz", "-unlit", dir.write(rib, text)}, options());
        EXPECT_NE(own.err.find("Display: the output \"" + rib + "\" is a file being read"), std::string::npos) << own.err;
        EXPECT_EQ(dir.read(rib), text);
    }
    // Nor that of an archive it read.
    dir.write("part.rib", "# kept\n");
    const std::string with = "ReadArchive \"part.rib\"\n" + scene("part.rib", "1 0 0", square(-0.5f, 0.5f, 0.2f, 0.8f));
    velktest::RunResult own =
        velktest::run({velktest::program("pevrin"), "-dumprgbaz", "-unlit", dir.write("with.rib", with)}, options());
    EXPECT_NE(own.err.find("Display: the output \"part.rib\" is a file the frame read"), std::string::npos) << own.err;
    EXPECT_EQ(dir.read("part.rib"), "# kept\n");
}

TEST_F(Pevrin, StandardInputWithTheResolutionOfTheCommandLine)
{
    velktest::RunOptions o = options("Display \"in.tif\" \"file\" \"rgb\"\nWorldBegin\nWorldEnd\n");
    velktest::RunResult r = velktest::run({velktest::program("pevrin"), "-nowait", "-res", "16", "8", "-dumprgb"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    Picture p = picture("in.tif");
    EXPECT_EQ(p.width, 16);
    EXPECT_EQ(p.height, 8);
}

TEST_F(Pevrin, UnknownOptionsAndMissingFilesFailAndHelpPrintsTheUsage)
{
    velktest::RunResult r = velktest::run({velktest::program("pevrin"), "-nowait", "-bogus"}, options());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Unknown option -bogus"), std::string::npos) << r.err;

    r = velktest::run({velktest::program("pevrin"), "-nowait", "nosuch.rib"}, options());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("File not found\n    --> nosuch.rib"), std::string::npos) << r.err;

    r = velktest::run({velktest::program("pevrin"), "-h"}, options());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("pevrin - Polygon preview for RIB files\n"), 0u) << r.out;
    EXPECT_NE(r.out.find("Usage: pevrin [options] file1 ... fileN\n   options:\n"), std::string::npos);
    EXPECT_NE(r.out.find("\t            -fc command        Execute shell command at every FrameEnd\n"),
              std::string::npos);

    r = velktest::run({velktest::program("pevrin"), "-res", "16"}, options());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Option -res takes 2 values"), std::string::npos) << r.err;
}

TEST_F(Pevrin, UnlitIgnoresTheScenesOwnLights)
{
    std::string body = "WorldBegin\nColor [1 0 0]\n" + square(-0.5f, 0.5f, -0.5f, 0.5f) + "WorldEnd\n";
    std::string blue_light = "LightSource \"ambientlight\" 1 \"intensity\" [1] \"lightcolor\" [0 0 1]\n";
    run({"-nowait", "-unlit", "-dumprgb"}, std::string(ORTHO_40) + "Display \"a.tif\" \"file\" \"rgb\"\n" + body);
    run({"-nowait", "-unlit", "-dumprgb"},
        std::string(ORTHO_40) + "Display \"b.tif\" \"file\" \"rgb\"\n" + blue_light + body);
    // Without -unlit the blue ambient light is all there is: a red square is black.
    run({"-nowait", "-dumprgb"}, std::string(ORTHO_40) + "Display \"c.tif\" \"file\" \"rgb\"\n" + blue_light + body);
    Picture a = picture("a.tif"), b = picture("b.tif"), c = picture("c.tif");
    ASSERT_EQ(a.width, 40);
    ASSERT_EQ(b.width, 40);
    ASSERT_EQ(c.width, 40);
    EXPECT_EQ(std::memcmp(a.at(20, 20), b.at(20, 20), 3), 0);
    EXPECT_EQ(a.at(20, 20)[0], 255);
    EXPECT_TRUE(c.black(20, 20));
}

TEST_F(Pevrin, CropShowsTheTopOfThePicture)
{
    Picture p = run_picture({"-nowait", "-lines", "-dumprgb", "-crop", "0", "1", "0", "0.5"},
                            scene("crop.tif", "1 0 0",
                                  square(-0.5f, 0.5f, 0.25f, 0.75f) + "Color [0 0 1]\n" +
                                      square(-0.5f, 0.5f, -0.75f, -0.25f)),
                            "crop.tif");
    ASSERT_EQ(p.width, 40);
    ASSERT_EQ(p.height, 20);
    EXPECT_GT(p.count_strong(0), 40);
    EXPECT_EQ(p.count_strong(2), 0);
}

TEST_F(Pevrin, SketchOutlinesAWhiteSquareInBlack)
{
    Picture p = run_picture({"-nowait", "-sketch", "-dumprgb"}, scene("s.tif", "1 1 1", square(-0.5f, 0.5f, -0.5f, 0.5f)),
                            "s.tif");
    ASSERT_EQ(p.width, 40);
    EXPECT_EQ(p.at(20, 20)[0], 255);   // the fill in the white background colour
    EXPECT_EQ(p.at(2, 2)[1], 255);     // the background
    int dark_left = 0;
    for (int y = 12; y < 28; y++)
        for (int x = 6; x < 15; x++) dark_left += p.black(x, y);
    EXPECT_GT(dark_left, 4);
}

TEST_F(Pevrin, WithoutClearingTheNextFrameDrawsOverThePrevious)
{
    velktest::RunResult r =
        run({"-nowait", "-lines", "-dumprgb"},
            std::string(ORTHO_40) + "FrameBegin 0\nDisplay \"f0.tif\" \"file\" \"rgb\"\nWorldBegin\nColor [1 0 0]\n" +
                square(-0.9f, -0.1f, -0.5f, 0.5f) +
                "WorldEnd\nFrameEnd\n"
                "FrameBegin 1\nOption \"window\" \"clearfb\" [0]\nDisplay \"f1.tif\" \"file\" \"rgb\"\n"
                "WorldBegin\nColor [0 0 1]\n" +
                square(0.1f, 0.9f, -0.5f, 0.5f) + "WorldEnd\nFrameEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    Picture f0 = picture("f0.tif"), f1 = picture("f1.tif");
    ASSERT_EQ(f1.width, 40);
    EXPECT_GT(f0.count_strong(0), 20);
    EXPECT_EQ(f0.count_strong(2), 0);
    EXPECT_GT(f1.count_strong(0), 20);   // the first frame's red outline is still there
    EXPECT_GT(f1.count_strong(2), 20);
}

TEST_F(Pevrin, FrameCommandAndStatistics)
{
    std::string frame = "WorldBegin\nSphere 1 -1 1 360\nWorldEnd\n";
    velktest::RunResult r =
        run({"-nowait", "-stats", "-fc", "echo frame >> frames.log"},
            "Format 20 20 1\nTranslate 0 0 5\nFrameBegin 0\n" + frame + "FrameEnd\nFrameBegin 1\n" + frame + "FrameEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("frames.log"), "frame\nframe\n");
    EXPECT_NE(r.out.find("Geometry:\n    Total GL polygons: 128\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Total GL polygons: 256\n"), std::string::npos) << r.out;
}

int ignore_x_errors(Display *, XErrorEvent *)
{
    return 0;
}

TEST_F(Pevrin, TheLastFrameStaysUpAtItsPlaceUntilEscape)
{
    Display *peer = XOpenDisplay(server().display().c_str());
    ASSERT_NE(peer, nullptr);
    XSetErrorHandler(&ignore_x_errors);
    std::vector<std::string> argv = {velktest::program("pevrin"), "-unlit", "-pos", "30", "40",
                                     dir.write("scene.rib", scene("shown.tif", "1 0 0", square(-0.5f, 0.5f, -0.5f, 0.5f)))};
    velktest::RunResult result;
    std::atomic<bool> done(false);
    std::thread runner([&] {
        result = velktest::run(argv, options());
        done = true;
    });
    Window w = 0;
    for (int i = 0; i < 2000 && !done && !w; ++i) {
        w = velktest::find_window(peer, "shown.tif");
        if (!w) usleep(20000);
    }
    EXPECT_NE(w, 0u) << "no window";
    // At the image position of the command line (there is no window manager to move it).
    int wx = -1, wy = -1;
    ::Window child;
    if (w) XTranslateCoordinates(peer, w, DefaultRootWindow(peer), 0, 0, &wx, &wy, &child);
    EXPECT_EQ(wx, 30);
    EXPECT_EQ(wy, 40);
    // The window keeps the picture while it waits.
    unsigned long centre = 0;
    for (int i = 0; i < 200 && w && !done && (centre & 0xff0000) != 0xff0000; ++i) {
        usleep(20000);
        XImage *image = XGetImage(peer, w, 20, 20, 1, 1, AllPlanes, ZPixmap);
        if (image) {
            centre = XGetPixel(image, 0, 0);
            XDestroyImage(image);
        }
    }
    EXPECT_EQ(centre & 0xff0000, 0xff0000u);
    EXPECT_FALSE(done);
    for (int i = 0; i < 2000 && w && !done; ++i) {
        velktest::press_key(peer, w, XK_Escape);
        usleep(50000);
    }
    runner.join();
    XCloseDisplay(peer);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(result.timed_out);
}

} // namespace

TEST_F(Pevrin, AFormatBeyondWhatAWindowCanBeIsShrunkWithAWarning)
{
    for (const char *format : {"Format 64 65536 1\n", "Format 32767 32767 1\n"}) {
        velktest::RunResult r = run({"-nowait", "-unlit", "-dumprgba"},
                                    std::string(format) + "Projection \"orthographic\"\n"
                                    "Display \"big.tif\" \"file\" \"rgba\"\nWorldBegin\nColor [1 0 0]\n" +
                                    square(-0.5f, 0.5f, -0.5f, 0.5f) + "WorldEnd\n");
        EXPECT_EQ(r.status, 0) << format << r.err;
        EXPECT_NE(r.err.find("is larger than a window can be; previewing at"), std::string::npos) << r.err;
        Picture p = picture("big.tif");
        EXPECT_LE(std::max(p.width, p.height), 8192) << format;
        EXPECT_GT(p.width, 0) << format;
    }
}
