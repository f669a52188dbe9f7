// raylume's image window on a private X server: shown where and as large as
// asked, kept up at the end of the run, 'W' saves it, Escape ends the run.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/x11_peer.h"
#include "tests/support/xvfb.h"

namespace {

velktest::XvfbServer &server()
{
    static velktest::XvfbServer s;
    return s;
}

// The window goes away when raylume ends, perhaps between two presses.
int ignore_x_errors(Display *, XErrorEvent *)
{
    return 0;
}

class ImageWindowRun : public testing::Test {
protected:
    void SetUp() override
    {
        alarm(240);
        ASSERT_TRUE(server().ok()) << server().error();
        peer_ = XOpenDisplay(server().display().c_str());
        ASSERT_NE(peer_, nullptr);
        XSetErrorHandler(&ignore_x_errors);
    }
    void TearDown() override
    {
        if (peer_) XCloseDisplay(peer_);
        alarm(0);
    }

    // Runs raylume on the scene with args; while it runs, waits for its
    // window, checks it, presses 'W' until the image is saved (a while when
    // the file is there already), then Escape.
    velktest::RunResult run_and_save(const std::vector<std::string> &args, int expect_w, int expect_h, int expect_x,
                                     int expect_y, const std::string &name = "win.tif",
                                     const std::string &world = "")
    {
        // A red sphere in the middle, shaded flat with its colour.
        velktest::RunResult c = velktest::murn_compile(dir, "flat", "surface flat() { Ci = Cs; Oi = Os; }\n");
        EXPECT_EQ(c.status, 0) << c.err;
        std::string rib = dir.write("w.rib", "Option \"searchpath\" \"shader\" \".:&\"\n"
                                             "Format 32 24 1\nDisplay \"" + name + "\" \"framebuffer\" \"rgb\"\n"
                                             "Projection \"perspective\" \"fov\" 40\nTranslate 0 0 5\n"
                                             "WorldBegin\n" + world + "Color [1 0 0]\nSurface \"flat\"\n"
                                             "Sphere 1 -1 1 360\nWorldEnd\n");
        std::vector<std::string> argv = {velktest::program("raylume")};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(rib);
        velktest::RunOptions opts;
        opts.cwd = dir.path();
        opts.env["DISPLAY"] = server().display();
        opts.timeout_seconds = 120;
        velktest::RunResult result;
        struct stat before = {};
        const bool existed = stat((dir.path() + "/" + name).c_str(), &before) == 0;
        auto saved = [&] {
            struct stat now;
            return stat((dir.path() + "/" + name).c_str(), &now) == 0 && (!existed || now.st_ino != before.st_ino);
        };
        std::atomic<bool> done(false);
        std::thread runner([&] {
            result = velktest::run(argv, opts);
            done = true;
        });
        Window w = 0;
        for (int i = 0; i < 2000 && !done && !w; ++i) {
            w = velktest::find_window(peer_, name.c_str());
            if (!w) usleep(20000);
        }
        EXPECT_NE(w, 0u) << "no window";
        if (w) {
            XWindowAttributes a;
            XGetWindowAttributes(peer_, w, &a);
            EXPECT_EQ(a.width, expect_w);
            EXPECT_EQ(a.height, expect_h);
            int sx = 0, sy = 0;
            Window child;
            XTranslateCoordinates(peer_, w, DefaultRootWindow(peer_), 0, 0, &sx, &sy, &child);
            EXPECT_EQ(sx, expect_x);
            EXPECT_EQ(sy, expect_y);
            // The saved image keeps its own size whatever the window's.
            XResizeWindow(peer_, w, unsigned(expect_w + 30), unsigned(expect_h + 10));
            XSync(peer_, False);
            // Keys that arrive while rendering are not the end-of-run loop's:
            // press 'W' until the file appears.
            for (int i = 0; i < (existed ? 60 : 2000) && !done && !saved(); ++i) {
                velktest::press_key(peer_, w, XK_W);
                usleep(50000);
            }
            XImage *image = XGetImage(peer_, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
            EXPECT_NE(image, nullptr);
            if (image) {
                unsigned long middle = XGetPixel(image, expect_w / 2, expect_h / 2) & 0xffffff;
                EXPECT_EQ(middle >> 16, 255u) << std::hex << middle;
                EXPECT_EQ(middle & 0xffff, 0u) << std::hex << middle;
                EXPECT_EQ(XGetPixel(image, 0, 0) & 0xffffff, 0u);
                XDestroyImage(image);
            }
            for (int i = 0; i < 2000 && !done; ++i) {
                velktest::press_key(peer_, w, XK_Escape);
                usleep(50000);
            }
        }
        runner.join();
        return result;
    }

    velktest::TempDir dir;
    Display *peer_ = nullptr;
};

TEST_F(ImageWindowRun, ShownAtItsPlaceSavedWithWEndedWithEscape)
{
    velktest::RunResult r = run_and_save({"-d", "-pos", "40", "30", "-zoom", "2"}, 64, 48, 40, 30);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(r.timed_out);
    TIFF *t = TIFFOpen((dir.path() + "/win.tif").c_str(), "r");
    ASSERT_NE(t, nullptr);
    uint32_t w = 0, h = 0, rows = 0;
    uint16_t spp = 0, bps = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rows);
    EXPECT_EQ(w, 32u);
    EXPECT_EQ(h, 24u);
    EXPECT_EQ(spp, 4);
    EXPECT_EQ(bps, 8);
    EXPECT_EQ(rows, 8u);
    std::vector<uint8_t> row(size_t(TIFFScanlineSize(t)));
    for (uint32_t y = 0; y <= 12; ++y) ASSERT_EQ(TIFFReadScanline(t, row.data(), y, 0), 1);
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[3], 255);
    EXPECT_EQ(row[16 * 4], 255);   // the sphere, as shown: dither keeps full red full
    EXPECT_EQ(row[16 * 4 + 1], 0);
    TIFFClose(t);
}

TEST_F(ImageWindowRun, InterlacedLoopAtTheDefaultPlace)
{
    velktest::RunResult r = run_and_save({"-d", "4"}, 32, 24, 100, 100);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(dir.exists("win.tif"));
}

// 'W' does not replace a file the frame read: an archive, or the RIB itself.
TEST_F(ImageWindowRun, SaveLeavesTheFrameInputsAlone)
{
    const std::string archive = "Attribute \"identifier\" \"name\" \"kept\"\n";
    dir.write("part.rib", archive);
    velktest::RunResult r = run_and_save({"-d"}, 32, 24, 100, 100, "part.rib", "ReadArchive \"part.rib\"\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("\"part.rib\" is a file the frame read; it is not replaced"), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("part.rib"), archive);
    r = run_and_save({"-d"}, 32, 24, 100, 100, "w.rib");
    EXPECT_NE(r.err.find("\"w.rib\" is a file the frame read"), std::string::npos) << r.err;
    EXPECT_NE(dir.read("w.rib").find("WorldBegin"), std::string::npos);
}

TEST(ImageWindowWithoutDisplay, FailsWithTheErrorAtOnce)
{
    velktest::TempDir dir;
    std::string rib = dir.write("w.rib", "Format 8 8 1\nWorldBegin\nWorldEnd\n");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.env["DISPLAY"] = "unix:64999";
    opts.timeout_seconds = 60;
    velktest::RunResult r = velktest::run({velktest::program("raylume"), "-d", rib}, opts);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "SEVERE ERROR: " + rib + " (3): System error\n    --> Could not open a window: the X display "
                     "\"unix:64999\" named by DISPLAY could not be opened\n");
    // With a file display as well, the file is written all the same.
    rib = dir.write("f.rib", "Format 8 8 1\nDisplay \"f.tif\" \"file\" \"rgb\"\nWorldBegin\nWorldEnd\n");
    r = velktest::run({velktest::program("raylume"), "-d", rib}, opts);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "WARNING: " + rib + " (4): System error\n    --> Could not open a window: the X display "
                     "\"unix:64999\" named by DISPLAY could not be opened; writing \"f.tif\" only\n");
    EXPECT_TRUE(dir.exists("f.tif"));
}

} // namespace
